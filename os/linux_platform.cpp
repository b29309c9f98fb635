#include "linux_platform.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "linux_sg.h"
#include "os_threads.h"

namespace korvel {

namespace {

constexpr std::uint32_t LCID_ENGLISH_US = 0x0409;

struct LocaleLcid {
    const char* name;  // language, or language_TERRITORY
    std::uint32_t lcid;
};

// Territory-qualified names first; a bare language stands for its usual territory.
constexpr LocaleLcid known_locales[] = {
    {"zh_TW", 0x0404}, {"zh_CN", 0x0804}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004},
    {"zh_MO", 0x1404}, {"zh", 0x0804},    {"ja_JP", 0x0411}, {"ja", 0x0411},
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
    {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"en", 0x0409},    {"ko_KR", 0x0412},
    {"ko", 0x0412},    {"de_DE", 0x0407}, {"de_AT", 0x0C07}, {"de_CH", 0x0807},
    {"de", 0x0407},    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C},
    {"fr_CH", 0x100C}, {"fr", 0x040C},    {"es_ES", 0x0C0A}, {"es_MX", 0x080A},
    {"es", 0x0C0A},    {"it_IT", 0x0410}, {"it", 0x0410},    {"pt_BR", 0x0416},
    {"pt_PT", 0x0816}, {"pt", 0x0816},    {"nl_NL", 0x0413}, {"nl_BE", 0x0813},
    {"nl", 0x0413},    {"ru_RU", 0x0419}, {"ru", 0x0419},    {"pl_PL", 0x0415},
    {"pl", 0x0415},    {"sv_SE", 0x041D}, {"sv", 0x041D},    {"cs_CZ", 0x0405},
    {"cs", 0x0405},    {"th_TH", 0x041E}, {"th", 0x041E},    {"tr_TR", 0x041F},
    {"tr", 0x041F},
};

class LinuxIdentity final : public PlatformIdentity {
public:
    PlatformFamily family() override { return PlatformFamily::linux_kernel; }
    std::uint32_t system_default_lcid() override {
        return lcid_from_locale_name(process_locale_name());
    }
};

LinuxIdentity linux_identity;

}  // namespace

std::uint32_t lcid_from_locale_name(const char* name) {
    if (name == nullptr) return LCID_ENGLISH_US;
    // Keep "language_TERRITORY": drop ".codeset" and "@modifier".
    char key[16] = {};
    std::size_t length = 0;
    while (name[length] != '\0' && name[length] != '.' && name[length] != '@') {
        if (length + 1 >= sizeof key) return LCID_ENGLISH_US;
        key[length] = name[length];
        ++length;
    }
    for (const LocaleLcid& entry : known_locales) {
        if (std::strcmp(entry.name, key) == 0) return entry.lcid;
    }
    // An unknown territory of a known language: fall back to the language alone.
    if (const char* underscore = std::strchr(key, '_')) {
        key[underscore - key] = '\0';
        for (const LocaleLcid& entry : known_locales) {
            if (std::strcmp(entry.name, key) == 0) return entry.lcid;
        }
    }
    return LCID_ENGLISH_US;
}

const char* process_locale_name() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') return value;
    }
    return "C";
}

void install_os_platform() { install_os_platform_over(&linux_scsi_generic()); }

void install_os_platform_over(LinuxScsiGeneric* sg) {
    Platform platform;
    platform.identity = &linux_identity;
    platform.linux_sg = sg;
    platform.threads = &os_threads();
    install_platform(platform);
}

bool running_as_root() { return ::geteuid() == 0; }

}  // namespace korvel
