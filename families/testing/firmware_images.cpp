#include "firmware_images.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace korvel::firmware_images {

namespace {

constexpr std::size_t IDENTIFICATION_AT = 48;
constexpr std::size_t PAYLOAD_FROM = 64;
// PV50 images keep their product texts and marks here; the payload leaves it zero.
constexpr std::size_t PV50_MARKS_FROM = 232;
constexpr std::size_t PV50_MARKS_TO = 248;

bool is_pv20(std::int32_t code) { return code == 1 || code == 2 || code == 3; }
bool is_pv50(std::int32_t code) { return code == 7 || code == 8; }

std::uint8_t payload_byte(std::size_t offset, std::uint32_t seed) {
    std::uint32_t x = static_cast<std::uint32_t>(offset) * 2654435761u + seed * 40503u;
    x ^= x >> 13;
    return static_cast<std::uint8_t>(x);
}

void fill_payload(Bytes& image, std::int32_t code, std::uint32_t seed) {
    for (std::size_t i = PAYLOAD_FROM; i < image.size(); ++i) {
        if (is_pv50(code) && i >= PV50_MARKS_FROM && i < PV50_MARKS_TO) continue;
        image[i] = payload_byte(i, seed);
    }
}

char changed_letter(std::uint8_t letter) {
    return letter == 'X' ? 'Y' : 'X';
}

}  // namespace

std::size_t image_size(std::int32_t family_code) {
    switch (family_code) {
        case 1: case 2: case 3: return 0x8000;
        case 5: case 21: case 22: return 0x4000;
        case 6: case 20: return 0xC000;
        case 7: case 8: return 0x8000;
        default: return 0;
    }
}

std::size_t checksum_span(std::int32_t family_code) {
    return is_pv20(family_code) ? 0x7C00 : image_size(family_code);
}

std::size_t variant_offset(std::int32_t family_code) { return is_pv20(family_code) ? 59 : 60; }

std::uint8_t byte_sum(const Bytes& image, std::size_t span) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < std::min(span, image.size()); ++i) {
        sum = static_cast<std::uint8_t>(sum + image[i]);
    }
    return sum;
}

void rebalance(Bytes& image, std::size_t span, std::size_t at) {
    image[at] = 0;
    image[at] = static_cast<std::uint8_t>(0x5A - byte_sum(image, span));
}

void put_text(Bytes& image, std::size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

Bytes truncated(const Bytes& image, std::size_t length) {
    return Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(
                                                    std::min(length, image.size())));
}

Bytes joined(const Bytes& first, const Bytes& second) {
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    return both;
}

Bytes bridge_image(std::int32_t family_code, std::string_view model, Flaw flaw,
                   std::size_t size) {
    const std::size_t full = image_size(family_code);
    Bytes image(size != 0 ? size : (full != 0 ? full : 0x8000), 0);
    fill_payload(image, family_code, static_cast<std::uint32_t>(family_code));
    image[0] = 0x02;
    if (is_pv20(family_code)) {
        image[1] = 0x7C;
        image[2] = 0x00;
    }
    put_text(image, IDENTIFICATION_AT, model);
    const std::size_t span = checksum_span(family_code) != 0 ? checksum_span(family_code)
                                                             : image.size();
    switch (flaw) {
        case Flaw::none:
        case Flaw::bad_checksum:
            break;
        case Flaw::bad_format_mark:
            if (is_pv20(family_code)) {
                image[1] = 0x7D;
            } else {
                image[0] = 0x03;
            }
            break;
        case Flaw::wrong_chip_code:
            put_text(image, IDENTIFICATION_AT, "PV99");
            break;
        case Flaw::wrong_kind_tag:
            image[IDENTIFICATION_AT + 8] =
                static_cast<std::uint8_t>(changed_letter(image[IDENTIFICATION_AT + 8]));
            break;
        case Flaw::wrong_variant: {
            const std::size_t at = variant_offset(family_code);
            image[at] = static_cast<std::uint8_t>(changed_letter(image[at]));
            break;
        }
        case Flaw::lower_case_texts:
            // Chip code and kind tag; single letters stay as they are (compared exactly).
            for (std::size_t i = IDENTIFICATION_AT; i < IDENTIFICATION_AT + 9; ++i) {
                image[i] = static_cast<std::uint8_t>(std::tolower(image[i]));
            }
            break;
    }
    rebalance(image, span);
    if (flaw == Flaw::bad_checksum) image[PAYLOAD_FROM + 100] ^= 0x01;
    return image;
}

Bytes pv40_two_section_file(std::string_view model, Flaw second_section_flaw) {
    Bytes first = bridge_image(20, model);
    Bytes second = bridge_image(20, model, second_section_flaw);
    // A payload of its own, so that a section written to the wrong buffer shows.
    for (std::size_t i = PAYLOAD_FROM; i < second.size(); ++i) {
        second[i] = static_cast<std::uint8_t>(second[i] ^ 0xA5);
    }
    rebalance(second, second.size());
    if (second_section_flaw == Flaw::bad_checksum) second[PAYLOAD_FROM + 100] ^= 0x01;
    return joined(first, second);
}

void pv50_add_zero_mark(Bytes& image) {
    put_text(image, 58, "00");
    rebalance(image, 0x8000);
}

void pv50_set_revision(Bytes& image, char revision) {
    image[57] = static_cast<std::uint8_t>(revision);
    rebalance(image, 0x8000);
}

void pv50_set_product_text(Bytes& image, std::string_view text) {
    put_text(image, 239, text);
    rebalance(image, 0x8000);
}

void pv50_make_newer(Bytes& image, std::string_view product_code) {
    put_text(image, 232, "PV50");
    put_text(image, 237, product_code);
    rebalance(image, 0x8000);
}

Bytes pv70_image(std::uint32_t seed) {
    Bytes image(0x80000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = payload_byte(i, seed);
    return image;
}

std::uint16_t pv70_word_sum(const Bytes& image) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i + 1 < image.size(); i += 2) {
        sum = static_cast<std::uint16_t>(sum + ((image[i] << 8) | image[i + 1]));
    }
    return sum;
}

Bytes pv70_file(const Bytes& image, const Pv70Header& header) {
    Bytes file(0x800, 0);
    put_text(file, 0, std::string_view(header.product).substr(0, 14));
    put_text(file, 16, std::string_view(header.maker).substr(0, 16));
    const auto stored = static_cast<std::uint16_t>(pv70_word_sum(image) + header.checksum_delta);
    file[14] = static_cast<std::uint8_t>(stored >> 8);
    file[15] = static_cast<std::uint8_t>(stored & 0xFF);
    for (std::size_t i = 32; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i * 3);
    return joined(file, image);
}

bool save_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

Bytes sound_file(std::int32_t family_code, std::string_view model,
                 std::span<const std::uint8_t> standard_inquiry) {
    if (family_code == 4) return pv70_file(pv70_image());
    if (family_code == 20) return pv40_two_section_file(model);
    Bytes image = bridge_image(family_code, model);
    constexpr std::size_t PRODUCT_TAIL_AT = 23;
    constexpr std::size_t PRODUCT_TAIL_END = 32;
    if (family_code == 7 && standard_inquiry.size() >= PRODUCT_TAIL_END) {
        pv50_set_product_text(image, std::string(standard_inquiry.begin() + PRODUCT_TAIL_AT,
                                                 standard_inquiry.begin() + PRODUCT_TAIL_END));
    }
    return image;
}

}  // namespace korvel::firmware_images
