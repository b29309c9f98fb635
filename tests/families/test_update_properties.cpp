// Whole updates over many generated firmware files, for every family code with a module.
//
// Each case builds a file from a sound image and then damages it at random: bytes changed
// (anywhere, or where the checks look), chip codes, kind tags and letters replaced, texts put
// in lower case, the checksum sometimes brought right again afterwards, the file cut short or
// lengthened; the bridge's model text is sometimes changed or replaced by a random one as
// well. The update then runs the whole road, through update_firmware_for_family, the real
// command library and transport, to a simulated bridge on a simulated NT port.
//
// What must hold for every case:
//   - no WRITE BUFFER (0x3B) and no READ BUFFER reaches the bridge unless the question was
//     asked and answered Yes; a rejected file shows 109 or 110 and nothing else;
//   - the question is asked exactly when the family's check_image, applied to the bytes the
//     module takes out of the file, says CHECK_OK, and that agrees with the rules written out
//     independently below (reference_check);
//   - after Yes, the bridge receives exactly the expected command sequence, and the data it
//     receives is the image as the module took it out of the file;
//   - the file is closed before the first message box.
//
// The cases come from std::mt19937 seeded per case with (seed, family, case number); a failure
// names the seed and the case. KORVEL_PROPERTY_SEED replaces the seed, and
// KORVEL_PROPERTY_SCALE multiplies the number of cases (e.g. 10 for a long soak).
#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "family_test_support.h"
#include "korvel_family.h"
#include "korvel_family_dispatch.h"
#include "korvel_msg.h"
#include "korvel_pv20.h"
#include "korvel_pv30.h"
#include "korvel_pv40.h"
#include "korvel_pv50.h"
#include "korvel_pv50a.h"
#include "korvel_pv70.h"
#include "korvel_runtime_flags.h"
#include "lib_aspi_bridge.h"
#include "ui_seam.h"

namespace korvel {
namespace {

using namespace family_test;
using namespace firmware_images;

constexpr std::uint32_t DEFAULT_SEED = 20240611;

std::uint32_t base_seed() {
    if (const char* text = std::getenv("KORVEL_PROPERTY_SEED")) {
        return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 0));
    }
    return DEFAULT_SEED;
}

int scaled(int count) {
    if (const char* text = std::getenv("KORVEL_PROPERTY_SCALE")) {
        const long scale = std::strtol(text, nullptr, 10);
        if (scale > 0) return count * static_cast<int>(scale);
    }
    return count;
}

// --- The rules, written out from the file layouts, independent of the modules ------------

std::uint8_t lower(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<std::uint8_t>(c + 32) : c;
}
std::uint8_t at(const Bytes& bytes, std::size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}
std::uint8_t model_at(const std::string& model, std::size_t position) {
    return position < model.size() ? static_cast<std::uint8_t>(model[position]) : 0;
}
// count bytes from offset equal text, without regard to letter case
bool has_text(const Bytes& bytes, std::size_t offset, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(at(bytes, offset + i)) != lower(static_cast<std::uint8_t>(text[i]))) return false;
    }
    return true;
}
// count image bytes from offset equal the model text from position, without regard to case
bool has_model(const Bytes& image, std::size_t offset, const std::string& model,
               std::size_t position, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (lower(at(image, offset + i)) != lower(model_at(model, position + i))) return false;
    }
    return true;
}
bool same_run(const Bytes& a, std::size_t a_at, const Bytes& b, std::size_t b_at,
              std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (lower(at(a, a_at + i)) != lower(at(b, b_at + i))) return false;
    }
    return true;
}
bool sums_to_z(const Bytes& image, std::size_t span) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < span; ++i) sum = static_cast<std::uint8_t>(sum + at(image, i));
    return sum == 0x5A;
}
bool is_digit(std::uint8_t c) { return c >= '0' && c <= '9'; }

int reference_pv20(std::int32_t code, const std::string& model, const Bytes& image, bool fae) {
    if (!has_text(image, 48, "PV20")) return CHECK_WRONG_FILE;
    if (code == 1 && !has_text(image, 53, "QTRL")) return CHECK_WRONG_FILE;
    if (code == 3 && !has_text(image, 53, "QTVN")) return CHECK_WRONG_FILE;
    if (at(image, 0) != 0x02 || at(image, 1) != 0x7C || at(image, 2) != 0x00) {
        return CHECK_BAD_IMAGE;
    }
    if (!sums_to_z(image, 0x7C00)) return CHECK_BAD_IMAGE;
    if (fae) return CHECK_OK;
    const std::uint8_t d = model_at(model, 11), f = at(image, 59);
    const auto checked = [](std::uint8_t c) { return c == 'G' || c == 'P' || c == 'V'; };
    if (checked(d)) return f == d ? CHECK_OK : CHECK_WRONG_FILE;
    return checked(f) ? CHECK_WRONG_FILE : CHECK_OK;
}

int reference_pv30(const std::string& model, const Bytes& image) {
    const std::uint8_t d = model_at(model, 12), f = at(image, 60);
    const bool n_takes = d == 'N' && (f == 'B' || f == 'Q');
    if (!has_text(image, 48, "PV30")) return CHECK_WRONG_FILE;
    if (!has_model(image, 53, model, 5, 4) && !n_takes) return CHECK_WRONG_FILE;
    if (at(image, 0) != 0x02) return CHECK_BAD_IMAGE;
    if (!sums_to_z(image, 0x4000)) return CHECK_BAD_IMAGE;
    return (d == f || n_takes) ? CHECK_OK : CHECK_WRONG_FILE;
}

int reference_pv40(const std::string& model, const Bytes& section) {
    if (!has_text(section, 48, "PV40")) return CHECK_WRONG_FILE;
    if (!has_model(section, 53, model, 5, 4)) return CHECK_WRONG_FILE;
    if (at(section, 0) != 0x02) return CHECK_BAD_IMAGE;
    if (!sums_to_z(section, 0xC000)) return CHECK_BAD_IMAGE;
    return model_at(model, 12) == at(section, 60) ? CHECK_OK : CHECK_WRONG_FILE;
}

int reference_pv50a(const std::string& model, const Bytes& image) {
    if (!has_model(image, 48, model, 0, 9)) return CHECK_WRONG_FILE;
    if (!has_text(image, 48, "PV50")) return CHECK_WRONG_FILE;
    if (model_at(model, 12) != at(image, 60)) return CHECK_WRONG_FILE;
    if (at(image, 0) != 0x02) return CHECK_BAD_IMAGE;
    if (!sums_to_z(image, 0x8000)) return CHECK_BAD_IMAGE;
    return model_at(model, 4) == at(image, 52) ? CHECK_OK : CHECK_WRONG_FILE;
}

int reference_pv50(const std::string& model, const Bytes& image, const Bytes& standard,
                   const Bytes& page83) {
    const std::uint8_t r = model_at(model, 9), s = at(image, 57);
    const bool matches = lower(r) == lower(s);
    const bool digits = is_digit(r) && is_digit(s);
    const bool zero_mark = at(image, 58) == '0' && at(image, 59) == '0';
    const bool newer = has_text(image, 232, "PV50");
    const bool calls_itself_bridge = has_text(standard, 23, "BRIDGE");

    if (same_run(standard, 23, image, 239, 9)) {  // made for this very product
        if (!has_text(image, 48, "PV50")) return CHECK_WRONG_FILE;
        if (at(image, 0) != 0x02 || !sums_to_z(image, 0x8000)) return CHECK_BAD_IMAGE;
        if (r == s) return CHECK_OK;
        return (s >= 'A' && s <= 'Z' && zero_mark) ? CHECK_OK : CHECK_WRONG_FILE;
    }
    if (calls_itself_bridge && !newer) return CHECK_WRONG_FILE;
    if (newer) {
        if (has_text(page83, 56, "PV50")) {
            return same_run(page83, 61, image, 237, 3) ? CHECK_OK : CHECK_WRONG_FILE;
        }
        if (calls_itself_bridge) {
            const bool m = same_run(standard, 29, image, 53, 3);
            return (m && (matches || digits || zero_mark)) ? CHECK_OK : CHECK_WRONG_FILE;
        }
        return (matches || digits) ? CHECK_OK : CHECK_WRONG_FILE;
    }
    if (!has_text(image, 48, "PV50")) return CHECK_WRONG_FILE;
    std::size_t speed_digits = 0;
    if (has_text(image, 239, "BRIDGE20")) {
        speed_digits = 2;
    } else if (has_text(image, 239, "BRIDGE160") || has_text(image, 239, "BRIDGE320")) {
        speed_digits = 3;
    }
    if (speed_digits != 0) {
        if (!has_model(image, 245, model, 5, speed_digits)) return CHECK_WRONG_FILE;
        return (matches || digits || zero_mark) ? CHECK_OK : CHECK_WRONG_FILE;
    }
    if (at(image, 0) != 0x02 || !sums_to_z(image, 0x8000)) return CHECK_BAD_IMAGE;
    return r == s ? CHECK_OK : CHECK_WRONG_FILE;
}

int reference_pv70(const Bytes& header, const Bytes& image) {
    if (!has_text(header, 0, "PVM-070 Copier")) return CHECK_WRONG_FILE;
    if (!has_text(header, 16, "TAVRO Technology")) return CHECK_WRONG_FILE;
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 0x80000; i += 2) {
        sum = static_cast<std::uint16_t>(sum + (at(image, i) << 8 | at(image, i + 1)));
    }
    return sum == (at(header, 14) << 8 | at(header, 15)) ? CHECK_OK : CHECK_BAD_IMAGE;
}

// --- What a module takes out of the file --------------------------------------------------

Bytes slice(const Bytes& file, std::size_t from, std::size_t size) {
    Bytes part(size, 0);
    for (std::size_t i = 0; i < size && from + i < file.size(); ++i) part[i] = file[from + i];
    return part;
}

// One data-carrying WRITE BUFFER the bridge must receive after Yes (the LSI preamble aside).
struct ExpectedWrite {
    std::uint8_t buffer;
    Bytes data;
};

struct Expectation {
    int reference = CHECK_OK;  // what the rules say
    int module_check = 0;      // what the family's own check_image says of the same bytes
    std::size_t image_size = 0;  // bytes the family writes whole; 0 when it writes what it read
    std::vector<ExpectedWrite> writes;
};

// --- Generation ----------------------------------------------------------------------------

struct FamilyParam {
    std::int32_t family;
    SimChipPlacement placement;
    int cases;
    int write_budget;  // cases that may end in a write (each costs the real 100 ms pauses)
    const char* name;
};

void PrintTo(const FamilyParam& param, std::ostream* out) { *out << param.name; }

class Generator {
public:
    Generator(std::uint32_t seed, std::int32_t family, int index) {
        std::seed_seq sequence{seed, static_cast<std::uint32_t>(family),
                               static_cast<std::uint32_t>(index)};
        rng_.seed(sequence);
    }

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    std::size_t below(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
    }
    bool chance(int percent) { return below(100) < percent; }
    std::uint8_t any_byte() { return static_cast<std::uint8_t>(below(256)); }
    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& items) { return items[below(N)]; }

    // A character that could stand in a model text or an identification block: letters of
    // both cases, the letters the checks single out, digits, separators, and now and then any
    // byte but zero.
    char text_char() {
        static constexpr std::string_view POOL =
            "ABCDGNPQVXYZabcgnpqvxz0123456789- ";
        if (chance(10)) return static_cast<char>(1 + below(255));
        return POOL[below(POOL.size())];
    }
    static char other_case(std::uint8_t c) {
        if (c >= 'A' && c <= 'Z') return static_cast<char>(c + 32);
        if (c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
        return static_cast<char>(c);
    }
    std::string random_text(std::size_t max_length) {
        std::string text(below(max_length + 1), ' ');
        for (char& c : text) c = text_char();
        if (!text.empty() && chance(40)) {
            static constexpr std::array<std::string_view, 6> CHIPS{"PV20", "PV30", "PV40",
                                                                   "PV50", "pv50", "PV99"};
            const std::string_view chip = pick(CHIPS);
            text.replace(0, std::min(text.size(), chip.size()), chip.substr(0, text.size()));
        }
        return text;
    }

    // The model text handed to the update: mostly the bridge's own.
    std::string model_for(const std::string& own, std::string& story) {
        const int roll = below(100);
        std::string model = own;
        if (roll < 55) {
            story += "own model; ";
        } else if (roll < 70 && !model.empty()) {
            const std::size_t position = below(model.size());
            model[position] = text_char();
            story += "model[" + std::to_string(position) + "] changed; ";
        } else if (roll < 80) {
            for (char& c : model) {
                if (c >= 'A' && c <= 'Z' && chance(50)) c = static_cast<char>(c + 32);
            }
            story += "model partly lower case; ";
        } else if (roll < 88) {
            model.resize(below(own.size() + 1));
            story += "model cut to " + std::to_string(model.size()) + "; ";
        } else {
            model = random_text(16);
            story += "random model; ";
        }
        return model;
    }

    // The model text the file's image is built for.
    std::string image_model(const std::string& passed, const std::string& own,
                            std::string& story) {
        const int roll = below(100);
        if (roll < 70) return passed;
        if (roll < 85) {
            story += "image for the bridge's own model; ";
            return own;
        }
        story += "image for a random model; ";
        return random_text(15);
    }

    // Damage where the checks look, or anywhere.
    void mutate(Bytes& file, std::int32_t family, std::size_t image_size, std::string& story) {
        const int count = pick(std::array<int, 10>{0, 0, 0, 0, 1, 1, 1, 2, 2, 3});
        for (int i = 0; i < count && !file.empty(); ++i) {
            // Which image of the file (PV30 variant and PV40 two-section files hold two).
            const std::size_t base =
                (image_size != 0 && file.size() > image_size && chance(50)) ? image_size : 0;
            const int kind = below(8);
            if (family == FAMILY_PV70) {
                mutate_pv70(file, kind, story);
                continue;
            }
            switch (kind) {
                case 0: {
                    const std::size_t offset = below(file.size());
                    file[offset] ^= static_cast<std::uint8_t>(1 + below(255));
                    story += "byte " + std::to_string(offset) + " changed; ";
                    break;
                }
                case 1:
                case 2: {
                    static constexpr std::array<std::size_t, 6> HOT{0, 48, 52, 53, 57, 232};
                    const std::size_t offset =
                        base + std::min<std::size_t>(pick(HOT) + below(std::size_t{16}), 255);
                    if (offset < file.size()) file[offset] = static_cast<std::uint8_t>(text_char());
                    story += "byte " + std::to_string(offset) + " replaced; ";
                    break;
                }
                case 3: {
                    static constexpr std::array<std::string_view, 8> CHIPS{
                        "PV20", "PV30", "PV40", "PV50", "pv40", "Pv30", "PV99", "PVM-"};
                    const std::string_view chip = pick(CHIPS);
                    if (base + 52 <= file.size()) put_text(file, base + 48, chip);
                    story += "chip code " + std::string(chip) + "; ";
                    break;
                }
                case 4: {
                    static constexpr std::array<std::string_view, 8> TAGS{
                        "QTRL", "QTVN", "QTWD", "QTZF", "qtrl", "9271", "S160", "QTRX"};
                    const std::string_view tag = pick(TAGS);
                    if (base + 57 <= file.size()) put_text(file, base + 53, tag);
                    story += "kind tag " + std::string(tag) + "; ";
                    break;
                }
                case 5: {
                    static constexpr std::array<std::size_t, 4> LETTERS{52, 57, 59, 60};
                    const std::size_t offset = base + pick(LETTERS);
                    // Single letters are compared exactly: the same letter in the other case
                    // is as wrong as any other.
                    char letter = pick(std::array<char, 10>{'A', 'B', 'C', 'G', 'N', 'Q', 'V',
                                                            'a', 'c', '0'});
                    if (offset < file.size() && chance(50)) letter = other_case(file[offset]);
                    if (offset < file.size()) file[offset] = static_cast<std::uint8_t>(letter);
                    story += "letter at " + std::to_string(offset) + " = " + letter + "; ";
                    break;
                }
                case 6:
                    for (std::size_t o = base + 48; o < base + 57 && o < file.size(); ++o) {
                        if (file[o] >= 'A' && file[o] <= 'Z') file[o] = static_cast<std::uint8_t>(file[o] + 32);
                    }
                    story += "identification in lower case; ";
                    break;
                default:
                    if (base < file.size()) {
                        file[base] = pick(std::array<std::uint8_t, 4>{0x00, 0x03, 0x82, 0x02});
                    }
                    story += "format mark " + std::to_string(at(file, base)) + "; ";
                    break;
            }
        }
    }

    void mutate_pv70(Bytes& file, int kind, std::string& story) {
        switch (kind) {
            case 0:
            case 1: {
                const std::size_t offset = below(file.size());
                file[offset] ^= static_cast<std::uint8_t>(1 + below(255));
                story += "byte " + std::to_string(offset) + " changed; ";
                break;
            }
            case 2: {
                const std::size_t offset = below(std::size_t{32});
                if (offset < file.size()) file[offset] = static_cast<std::uint8_t>(text_char());
                story += "header byte " + std::to_string(offset) + " replaced; ";
                break;
            }
            case 3:
                for (std::size_t o = 0; o < 32 && o < file.size(); ++o) {
                    if (o != 14 && o != 15 && file[o] >= 'A' && file[o] <= 'Z') {
                        file[o] = static_cast<std::uint8_t>(file[o] + 32);
                    }
                }
                story += "header texts in lower case; ";
                break;
            case 4: {
                // Two whole words exchanged: the word sum stays as it was.
                if (file.size() < 0x800 + 4) break;
                const std::size_t words = (file.size() - 0x800) / 2;
                const std::size_t a = 0x800 + 2 * below(words), b = 0x800 + 2 * below(words);
                std::swap(file[a], file[b]);
                std::swap(file[a + 1], file[b + 1]);
                story += "words at " + std::to_string(a) + " and " + std::to_string(b) +
                         " exchanged; ";
                break;
            }
            case 5:
                if (file.size() >= 16) put_text(file, 0, pick(std::array<std::string_view, 3>{
                                                             "PVM-070 Copier", "PVM-071 Copier",
                                                             "pvm-070 copier"}));
                story += "product text replaced; ";
                break;
            case 6:
                if (file.size() >= 32) put_text(file, 16, pick(std::array<std::string_view, 3>{
                                                              "TAVRO Technology",
                                                              "TAVRO Technologi",
                                                              "tavro technology"}));
                story += "maker text replaced; ";
                break;
            default:
                if (file.size() >= 16) file[14 + below(std::size_t{2})] ^= 0x01;
                story += "stored checksum changed; ";
                break;
        }
    }

    // Cut the file short or lengthen it, now and then.
    void resize(Bytes& file, std::size_t image_size, std::string& story) {
        const int roll = below(100);
        if (roll < 8) {
            const std::size_t length = pick(std::array<std::size_t, 5>{
                0, below(std::size_t{64}), below(std::size_t{300}), below(file.size() + 1),
                file.size() - std::min<std::size_t>(file.size(), 1)});
            file.resize(length);
            story += "cut to " + std::to_string(length) + "; ";
        } else if (roll < 16) {
            const std::size_t extra = chance(30) && image_size != 0 ? image_size
                                                                    : 1 + below(std::size_t{4096});
            for (std::size_t i = 0; i < extra; ++i) file.push_back(any_byte());
            story += "lengthened by " + std::to_string(extra) + "; ";
        }
    }

private:
    std::mt19937 rng_;
};

// Brings the byte checksum of every image of the file right again (balancing byte 63).
void rebalance_all(Bytes& file, std::size_t image_size, std::size_t span) {
    for (std::size_t base = 0; base + 64 <= file.size() && base < 2 * image_size;
         base += image_size) {
        Bytes image = slice(file, base, image_size);
        rebalance(image, span);
        file[base + BALANCE_AT] = image[BALANCE_AT];
    }
}

// --- The test ------------------------------------------------------------------------------

class UpdateProperty : public FamilyTest, public ::testing::WithParamInterface<FamilyParam> {
protected:
    void SetUp() override {
        FamilyTest::SetUp();
        const FamilyParam& param = GetParam();
        SimBridgeOptions options;
        options.placement = param.placement;
        attach(make_bridge(param.family, options));
        own_model = bridge->profile().model_text;
        if (param.family == FAMILY_PV50) {
            // What the module will learn from the bridge, asked straight from the device.
            standard = ask_bridge(0x00, 0x00);
            page83 = ask_bridge(0x01, 0x83);
            bridge->clear_journal();
        }
    }

    Bytes ask_bridge(std::uint8_t evpd, std::uint8_t page) {
        const std::array<std::uint8_t, 6> cdb{0x12, evpd, page, 0, 0xF8, 0};
        Bytes data(pv50::INQUIRY_DATA_SIZE, 0);
        SimCommand command;
        command.address = SimAddress{0, 0, 2, 0};
        command.cdb = cdb;
        command.direction = SimDirection::in;
        command.data = data.data();
        command.length = static_cast<std::uint32_t>(data.size());
        const SimDelivery delivery = bridge->deliver(command);
        if (delivery.os_error != 0 || delivery.result.status != 0) {
            std::fill(data.begin(), data.end(), std::uint8_t{0});
        }
        return data;
    }

    // A file meant (before damage) for this family.
    Bytes sound_file(Generator& g, const std::string& model, std::string& story) {
        const std::int32_t family = GetParam().family;
        switch (family) {
            case FAMILY_PV70: {
                Pv70Header header;
                if (g.chance(10)) header.checksum_delta = 1 + g.below(0xFFFF);
                return pv70_file(pv70_image(1 + static_cast<std::uint32_t>(g.below(4))), header);
            }
            case FAMILY_PV40_QTZF: {
                Bytes first = bridge_image(20, model);
                Bytes second = bridge_image(20, g.chance(80) ? model : g.random_text(14));
                for (std::size_t i = 64; i < second.size(); ++i) second[i] ^= 0xA5;
                rebalance(second, second.size());
                return joined(first, second);
            }
            case FAMILY_PV30_A:
            case FAMILY_PV30_C: {
                const Bytes own = bridge_image(family, model);
                std::string other_model = model;
                if (other_model.size() < 13) other_model.resize(13, ' ');
                other_model[12] = family == FAMILY_PV30_A ? 'C' : 'A';
                Bytes other = bridge_image(family, other_model);
                for (std::size_t i = 64; i < other.size(); ++i) other[i] ^= 0x3C;
                rebalance(other, other.size());
                switch (g.below(6)) {
                    case 0: story += "own+other; "; return joined(own, other);
                    case 1: story += "other+own; "; return joined(other, own);
                    case 2: story += "other+other; "; return joined(other, other);
                    case 3: story += "own+own; "; return joined(own, own);
                    default: story += "one image; "; return own;
                }
            }
            case FAMILY_PV50:
                return pv50_file(g, model, story);
            default:
                return bridge_image(family, model);
        }
    }

    Bytes pv50_file(Generator& g, const std::string& model, std::string& story) {
        Bytes image = bridge_image(7, model);
        switch (g.below(4)) {
            case 0: {  // made for this product: the bridge's own product text
                std::string text(standard.begin() + 23, standard.begin() + 32);
                if (g.chance(30)) {
                    for (char& c : text) c = static_cast<char>(lower(static_cast<std::uint8_t>(c)));
                }
                pv50_set_product_text(image, text);
                story += "same product '" + text + "'; ";
                break;
            }
            case 1: {
                const std::string_view text = g.pick(std::array<std::string_view, 4>{
                    "BRIDGE20", "BRIDGE160", "BRIDGE320", "bridge160"});
                pv50_set_product_text(image, text);
                story += "product text " + std::string(text) + "; ";
                break;
            }
            case 2: {
                std::string code(page83.begin() + 61, page83.begin() + 64);
                if (g.chance(40)) code = g.random_text(3) + "   ";
                code.resize(3, ' ');
                pv50_make_newer(image, code);
                story += "newer image '" + code + "'; ";
                break;
            }
            default:
                story += "older image; ";
                break;
        }
        if (g.chance(50)) {
            // The bridge's own revision character, in the other case, a digit, or any.
            const std::uint8_t own = model.size() > 9 ? static_cast<std::uint8_t>(model[9]) : 'C';
            const int roll = g.below(4);
            const char revision = roll == 0   ? Generator::other_case(own)
                                  : roll == 1 ? static_cast<char>(own)
                                  : roll == 2 ? static_cast<char>('0' + g.below(10))
                                              : g.text_char();
            pv50_set_revision(image, revision);
            story += std::string("revision ") + revision + "; ";
        }
        if (g.chance(30)) {
            pv50_add_zero_mark(image);
            story += "00 mark; ";
        }
        if (g.chance(15)) {
            image.resize(0x5000 + g.below(std::size_t{0x3000}));
            rebalance(image, 0x8000);
            story += "short image " + std::to_string(image.size()) + "; ";
        }
        return image;
    }

    // What the module must make of the file for the model text.
    Expectation expect(const std::string& model, const Bytes& file, bool fae) const {
        Expectation e;
        const char* text = model.c_str();
        switch (const std::int32_t family = GetParam().family) {
            case FAMILY_PV20_QTRL:
            case FAMILY_PV20_QTVN: {
                const Bytes view = slice(file, 0, pv20::IMAGE_SIZE);
                e.reference = reference_pv20(family, model, view, fae);
                e.module_check = pv20::check_image(family, text, view);
                e.writes = {{0x76, view}};
                e.image_size = pv20::IMAGE_SIZE;
                break;
            }
            case FAMILY_PV30:
            case FAMILY_PV30_A:
            case FAMILY_PV30_C: {
                Bytes view = slice(file, 0, pv30::IMAGE_SIZE);
                if (family != FAMILY_PV30) {
                    const std::uint8_t own = family == FAMILY_PV30_A ? 'A' : 'C';
                    if (file.size() == pv30::DOUBLE_FILE_SIZE && at(file, 60) != own) {
                        view = slice(file, pv30::IMAGE_SIZE, pv30::IMAGE_SIZE);
                    } else if (file.size() != pv30::IMAGE_SIZE &&
                               file.size() != pv30::DOUBLE_FILE_SIZE) {
                        view = Bytes(pv30::IMAGE_SIZE, 0);
                    }
                }
                e.reference = reference_pv30(model, view);
                e.module_check = pv30::check_image(text, view);
                e.writes = {{0x78, view}};
                e.image_size = pv30::IMAGE_SIZE;
                break;
            }
            case FAMILY_PV40: {
                const Bytes view = slice(file, 0, pv40::SECTION_SIZE);
                e.reference = reference_pv40(model, view);
                e.module_check = pv40::check_image(text, view, pv40::SECTION_SIZE);
                e.writes = {{0x78, view}};
                e.image_size = pv40::SECTION_SIZE;
                break;
            }
            case FAMILY_PV40_QTZF: {
                const Bytes first = slice(file, 0, pv40::SECTION_SIZE);
                const Bytes second = slice(file, pv40::SECTION_SIZE, pv40::SECTION_SIZE);
                e.reference = reference_pv40(model, first);
                if (e.reference == CHECK_OK) e.reference = reference_pv40(model, second);
                e.module_check =
                    pv40::check_two_section_image(text, slice(file, 0, pv40::TWO_SECTION_SIZE));
                e.writes = {{0x7C, first}, {0x7D, second}};
                e.image_size = pv40::TWO_SECTION_SIZE;
                break;
            }
            case FAMILY_PV50:
            case FAMILY_PV50_9271: {
                const Bytes view = slice(file, 0, pv50::IMAGE_SIZE);
                const Bytes written = slice(file, 0, std::min(file.size(), pv50::IMAGE_SIZE));
                if (family == FAMILY_PV50) {
                    e.reference = reference_pv50(model, view, standard, page83);
                    e.module_check = pv50::check_image(text, view, standard, page83);
                } else {
                    e.reference = reference_pv50a(model, view);
                    e.module_check = pv50a::check_image(text, view);
                }
                e.writes = {{0x78, written}};
                break;
            }
            case FAMILY_PV70: {
                const Bytes header = slice(file, 0, pv70::HEADER_SIZE);
                const Bytes image = file.size() >= pv70::HEADER_SIZE
                                        ? slice(file, pv70::HEADER_SIZE, pv70::IMAGE_SIZE)
                                        : Bytes(pv70::IMAGE_SIZE, 0);
                e.reference = reference_pv70(header, image);
                e.module_check = pv70::check_image(header, image);
                for (std::size_t o = 0; o < pv70::IMAGE_SIZE; o += pv70::PIECE_SIZE) {
                    e.writes.push_back({0x64, slice(image, o, pv70::PIECE_SIZE)});
                }
                e.writes.push_back({0x61, {}});
                e.image_size = pv70::HEADER_SIZE + pv70::IMAGE_SIZE;
                break;
            }
            default:
                ADD_FAILURE() << "no expectation for family " << family;
        }
        return e;
    }

    // What the update makes of the file: the check's result, except that a file shorter than
    // the image it would fill is damaged.
    static int update_check(const Expectation& e, const Bytes& file) {
        return e.module_check == CHECK_OK && file.size() < e.image_size ? CHECK_BAD_IMAGE
                                                                         : e.module_check;
    }

    // The buffer commands (operation, buffer ID) a confirmed update sends when every command
    // completes.
    std::vector<std::pair<int, int>> expected_commands(bool lsi) const {
        const std::int32_t family = GetParam().family;
        std::vector<std::pair<int, int>> sequence;
        if (family == FAMILY_PV50) sequence = {{0x12, 0x83}, {0x12, 0x00}};
        const auto preamble = [&] {
            if (lsi) sequence.insert(sequence.end(), {{0x3B, 0x71}, {0x3B, 0x71}});
        };
        switch (family) {
            case FAMILY_PV20_QTRL:
            case FAMILY_PV20_QTVN:
                preamble();
                sequence.push_back({0x3B, 0x76});
                break;
            case FAMILY_PV50:
                preamble();
                sequence.push_back({0x3B, 0x78});
                break;
            case FAMILY_PV40_QTZF:
                preamble();
                sequence.insert(sequence.end(), {{0x3B, 0x7C}, {0x3C, 0x7C}});
                preamble();
                sequence.insert(sequence.end(), {{0x3B, 0x7D}, {0x3C, 0x7D}});
                break;
            case FAMILY_PV70:
                for (int piece = 0; piece < 16; ++piece) {
                    sequence.insert(sequence.end(), {{0x3B, 0x64}, {0x3C, 0x62}});
                }
                sequence.push_back({0x3B, 0x61});
                break;
            default:  // PV30 and its variants, PV40 one section, PV50 variant A
                preamble();
                sequence.insert(sequence.end(), {{0x3B, 0x78}, {0x3C, 0x78}});
                break;
        }
        return sequence;
    }

    // The story of one case; returns whether it ended in a write.
    bool run_case(std::uint32_t seed, int index, int& writes_left) {
        const FamilyParam& param = GetParam();
        Generator g(seed, param.family, index);
        std::string story;
        const std::string model = g.model_for(own_model, story);
        Bytes file = sound_file(g, g.image_model(model, own_model, story), story);

        const std::size_t image_size =
            param.family == FAMILY_PV70 ? 0 : firmware_images::image_size(param.family);
        g.mutate(file, param.family, image_size, story);
        if (param.family != FAMILY_PV70 && g.chance(50)) {
            rebalance_all(file, image_size, checksum_span(param.family));
            story += "checksum brought right; ";
        }
        if (param.family == FAMILY_PV70 && g.chance(30) && file.size() >= 0x800) {
            const std::uint16_t sum = pv70_word_sum(slice(file, 0x800, 0x80000));
            file[14] = static_cast<std::uint8_t>(sum >> 8);
            file[15] = static_cast<std::uint8_t>(sum);
            story += "word sum brought right; ";
        }
        g.resize(file, param.family == FAMILY_PV70 ? 0x80000 : image_size, story);

        const bool lsi = g.chance(20);
        const bool fae = g.chance(20);
        set_lsi_adapter(lsi);
        set_fae_test_mode(fae);
        int answer = ID_YES;
        if (writes_left <= 0 || g.chance(65)) {
            answer = g.pick(std::array<int, 4>{ID_NO, ID_NO, 2, ID_OK});
        }
        story += "lsi " + std::to_string(lsi) + ", fae " + std::to_string(fae) + ", answer " +
                 std::to_string(answer) + ", file " + std::to_string(file.size()) + " bytes";

        SCOPED_TRACE(::testing::Message() << "seed " << seed << " (KORVEL_PROPERTY_SEED), "
                                          << param.name << " case " << index << ": model '"
                                          << model << "', " << story);
        const Expectation e = expect(model, file, fae && param.family <= FAMILY_PV20_QTVN);
        // The family's own check and the rules written out here must agree.
        EXPECT_EQ(e.module_check, e.reference);

        bridge->clear_journal();
        ui.events.clear();
        ui.answers = {answer};
        const int result = update(param.family, model, file);
        std::error_code ignored;
        std::filesystem::remove(folder / ("firmware" + std::to_string(file_count) + ".bin"),
                                ignored);

        const std::vector<SimJournalEntry> journal = bridge->journal();
        const auto buffer_commands = [&] {
            std::size_t n = 0;
            for (const SimJournalEntry& entry : journal) {
                if (entry.cdb[0] == 0x3B || entry.cdb[0] == 0x3C) ++n;
            }
            return n;
        };
        const std::vector<int> shown = ui.messages();
        // The module closed the file before it showed anything.
        if (!ui.events.empty()) {
            EXPECT_FALSE(ui.events.front().file_open);
        }

        const bool asked = !shown.empty() && shown.front() == MSG_CONFIRM_UPDATE;
        const bool confirmed = asked && answer == ID_YES;
        // The property that keeps boards alive: no buffer command without a check that
        // passed and a Yes.
        const int check = update_check(e, file);
        if (check != CHECK_OK || !confirmed) {
            EXPECT_EQ(buffer_commands(), 0u) << "a buffer command reached the bridge";
            EXPECT_EQ(result, UPDATE_NOT_WRITTEN);
        }
        if (check != CHECK_OK) {
            EXPECT_EQ(shown, (std::vector<int>{check == CHECK_BAD_IMAGE
                                                   ? MSG_BAD_FIRMWARE
                                                   : MSG_WRONG_FIRMWARE_FILE}));
            return false;
        }
        if (!confirmed) {
            EXPECT_EQ(shown, (std::vector<int>{MSG_CONFIRM_UPDATE}));
            return false;
        }

        // Confirmed: exactly the expected commands, carrying exactly the image.
        EXPECT_EQ(result, UPDATE_WRITTEN);
        EXPECT_EQ(shown, (std::vector<int>{MSG_CONFIRM_UPDATE, MSG_UPDATE_SUCCEEDED}));
        std::vector<std::pair<int, int>> sent;
        for (const SimJournalEntry& entry : journal) sent.push_back({entry.cdb[0], entry.cdb[2]});
        EXPECT_EQ(sent, expected_commands(lsi));
        // No buffer command went out before the question was answered.
        const UiEvent& question = ui.events.front();
        for (std::size_t i = 0; i < question.commands_before && i < journal.size(); ++i) {
            EXPECT_NE(journal[i].cdb[0], 0x3B) << "write before the question";
        }
        std::size_t next = 0;
        for (const SimJournalEntry& entry : journal) {
            if (entry.cdb[0] != 0x3B || entry.cdb[2] == 0x71) continue;
            if (next >= e.writes.size()) {
                ADD_FAILURE() << "more writes than expected";
                break;
            }
            EXPECT_EQ(entry.cdb[2], e.writes[next].buffer);
            EXPECT_TRUE(entry.data_out == e.writes[next].data)
                << "write " << next << " carried " << entry.data_out.size()
                << " bytes that differ from the " << e.writes[next].data.size()
                << " bytes of the image";
            ++next;
        }
        EXPECT_EQ(next, e.writes.size());
        --writes_left;
        return true;
    }

    std::string own_model;
    Bytes standard;
    Bytes page83;
};

TEST_P(UpdateProperty, NoWriteWithoutAPassedCheckAndAYesAndThenExactlyTheImage) {
    const FamilyParam& param = GetParam();
    const std::uint32_t seed = base_seed();
    const int cases = scaled(param.cases);
    int writes_left = scaled(param.write_budget);
    int written = 0, declined = 0, damaged = 0, foreign = 0;
    for (int index = 0; index < cases && !HasFailure(); ++index) {
        const bool wrote = run_case(seed, index, writes_left);
        const std::vector<int> shown = ui.messages();
        const int first = shown.empty() ? 0 : shown.front();
        if (wrote) {
            ++written;
        } else if (first == MSG_CONFIRM_UPDATE) {
            ++declined;
        } else if (first == MSG_BAD_FIRMWARE) {
            ++damaged;
        } else {
            ++foreign;
        }
    }
    // Each road must have been taken, or the generator has stopped covering it.
    EXPECT_GT(written, 0);
    EXPECT_GT(declined, 0);
    EXPECT_GT(damaged, 0);
    EXPECT_GT(foreign, 0);
    RecordProperty("cases", cases);
    RecordProperty("written", written);
    std::cout << "[ property ] " << param.name << ": " << cases << " updates: " << written
              << " written, " << declined << " declined, " << damaged << " rejected as damaged, "
              << foreign << " rejected as not for this bridge (seed " << seed << ")\n";
}

// PV50 boards carry their identification in three ways, and the module's choice of rules
// depends on it: one bridge of each.
const FamilyParam FAMILY_PARAMS[] = {
    {FAMILY_PV20_QTRL, SimChipPlacement::at_44, 300, 12, "pv20_qtrl"},
    {FAMILY_PV20_QTVN, SimChipPlacement::at_44, 300, 12, "pv20_qtvn"},
    {FAMILY_PV70, SimChipPlacement::at_44, 60, 6, "pv70"},
    {FAMILY_PV30, SimChipPlacement::at_44, 300, 12, "pv30"},
    {FAMILY_PV40, SimChipPlacement::at_44, 300, 12, "pv40"},
    {FAMILY_PV50, SimChipPlacement::at_44, 200, 6, "pv50_at_44"},
    {FAMILY_PV50, SimChipPlacement::at_56, 200, 6, "pv50_at_56"},
    {FAMILY_PV50, SimChipPlacement::at_24, 200, 6, "pv50_at_24"},
    {FAMILY_PV50_9271, SimChipPlacement::at_44, 300, 12, "pv50a"},
    {FAMILY_PV40_QTZF, SimChipPlacement::at_44, 300, 8, "pv40_two_sections"},
    {FAMILY_PV30_A, SimChipPlacement::at_44, 300, 12, "pv30a"},
    {FAMILY_PV30_C, SimChipPlacement::at_44, 300, 12, "pv30c"},
};

std::string family_name(const ::testing::TestParamInfo<FamilyParam>& param) {
    return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, UpdateProperty, ::testing::ValuesIn(FAMILY_PARAMS),
                         family_name);

}  // namespace
}  // namespace korvel
