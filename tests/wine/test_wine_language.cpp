// The system language as Wine reports it, read the way the program reads it at start. Wine
// takes the system locale from the Unix locale (LANG), so this program runs once for each
// locale the message catalogue knows; ctest sets LANG and LOCPATH for each run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "lib_getwnver.h"
#include "platform_seam.h"
#include "windows_platform.h"

namespace korvel {
namespace {

struct ExpectedLanguage {
    const char* unix_locale;
    std::uint32_t lcid;
    std::int32_t language;
    std::int32_t sublanguage;
};

constexpr ExpectedLanguage expected_languages[] = {
    {"en_US.UTF-8", 0x0409, 0x09, 0x01},  // English (United States)
    {"zh_TW.UTF-8", 0x0404, 0x04, 0x01},  // Chinese (Taiwan): the Traditional Chinese texts
    {"ja_JP.UTF-8", 0x0411, 0x11, 0x01},  // Japanese
};

const ExpectedLanguage* expected_for_this_run() {
    const char* lang = std::getenv("LANG");
    if (lang == nullptr) return nullptr;
    for (const ExpectedLanguage& expected : expected_languages) {
        if (std::strcmp(lang, expected.unix_locale) == 0) return &expected;
    }
    return nullptr;
}

TEST(WineLanguage, SystemDefaultLocaleGivesTheLanguageAndSublanguage) {
    const ExpectedLanguage* expected = expected_for_this_run();
    ASSERT_NE(expected, nullptr) << "run with LANG set to en_US.UTF-8, zh_TW.UTF-8 or "
                                    "ja_JP.UTF-8 (and LOCPATH to where those are generated)";
    install_os_platform();
    EXPECT_EQ(installed_platform().identity->system_default_lcid(), expected->lcid);

    system_language = -1;
    system_sublanguage = -1;
    detect_system_language();
    EXPECT_EQ(system_language, expected->language) << expected->unix_locale;
    EXPECT_EQ(system_sublanguage, expected->sublanguage) << expected->unix_locale;
}

}  // namespace
}  // namespace korvel
