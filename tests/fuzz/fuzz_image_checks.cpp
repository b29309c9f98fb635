// libFuzzer target over the image checks of every family: arbitrary file contents, model texts
// and bridge identification data. The checks run on exactly-sized heap copies, so that
// AddressSanitizer reports any read past the bytes a check was given, and the model text is a
// zero-terminated heap copy of exactly its length plus one.
//
// Input layout (every part may come out short or empty):
//   byte 0     which checks run (low bits) and the field test mode (bit 7)
//   byte 1     length of the model text, modulo 17
//   byte 2     length of the standard INQUIRY data (PV50), 0-255
//   byte 3     length of the page 0x83 data (PV50), 0-255
//   bytes 4-7  a number, little-endian: a PV20 family code, a PV40 checksum length, a PV70
//              header length
//   then the model text, the standard data, the page 0x83 data, and the rest is the image.
//
// Besides staying clean under the sanitizers, each check must
//   - return CHECK_OK, CHECK_BAD_IMAGE or CHECK_WRONG_FILE;
//   - judge a short image as it judges the same image padded with zeros to the module's
//     buffer (the module zeroes its buffer before reading a file), and likewise short
//     identification data;
//   - agree with the other entries built on it (the PV30 variants, the PV40 two-section check,
//     the PV50 choice between its two rule sets).
// A broken rule ends the run with abort(), which libFuzzer records as a crash.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "korvel_family.h"
#include "korvel_pv20.h"
#include "korvel_pv30.h"
#include "korvel_pv30a.h"
#include "korvel_pv30c.h"
#include "korvel_pv40.h"
#include "korvel_pv50.h"
#include "korvel_pv50a.h"
#include "korvel_pv70.h"
#include "korvel_runtime_flags.h"

namespace {

using namespace korvel;

constexpr std::size_t HEADER_BYTES = 8;
constexpr std::size_t MODEL_LENGTH_LIMIT = 16;

// A heap block of exactly the given bytes; empty input gives an empty block with no storage.
class Exact {
public:
    Exact(const std::uint8_t* bytes, std::size_t size)
        : size_(size), data_(size != 0 ? std::make_unique<std::uint8_t[]>(size) : nullptr) {
        if (size != 0) std::memcpy(data_.get(), bytes, size);
    }
    /// The same bytes followed by zeros up to size (at least the bytes themselves).
    Exact padded(std::size_t size) const {
        Exact copy(nullptr, 0);
        copy.size_ = std::max(size, size_);
        copy.data_ = std::make_unique<std::uint8_t[]>(copy.size_);  // zeroed
        if (size_ != 0) std::memcpy(copy.data_.get(), data_.get(), size_);
        return copy;
    }
    std::span<const std::uint8_t> span() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }

private:
    std::size_t size_;
    std::unique_ptr<std::uint8_t[]> data_;
};

// The input cut into its parts; each part is consumed from what remains.
class Parts {
public:
    Parts(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte(std::size_t at) const { return at < size_ ? data_[at] : 0; }
    std::uint32_t number() const {
        return static_cast<std::uint32_t>(byte(4)) | static_cast<std::uint32_t>(byte(5)) << 8 |
               static_cast<std::uint32_t>(byte(6)) << 16 | static_cast<std::uint32_t>(byte(7)) << 24;
    }
    std::span<const std::uint8_t> take(std::size_t wanted) {
        const std::size_t count = std::min(wanted, size_ - std::min(size_, next_));
        const std::span<const std::uint8_t> part(data_ + std::min(size_, next_), count);
        next_ += count;
        return part;
    }
    void skip_header() { next_ = std::min(size_, HEADER_BYTES); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0;
};

[[noreturn]] void broken(const char* what, int a, int b) {
    std::fprintf(stderr, "image check rule broken: %s (%d, %d)\n", what, a, b);
    std::abort();
}

int judged(int result) {
    if (result != CHECK_OK && result != CHECK_BAD_IMAGE && result != CHECK_WRONG_FILE) {
        broken("result outside the three check results", result, 0);
    }
    return result;
}

void same(const char* what, int a, int b) {
    if (a != b) broken(what, a, b);
}

bool same_ignoring_case(std::uint8_t a, std::uint8_t b) {
    const auto lower = [](std::uint8_t c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<std::uint8_t>(c + 32) : c;
    };
    return lower(a) == lower(b);
}

std::uint8_t at(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}

void check_pv20(const char* model, const Exact& image, std::uint32_t number) {
    const std::int32_t codes[] = {1, 3, 2, 0, static_cast<std::int32_t>(number)};
    for (const std::int32_t code : codes) {
        const int exact = judged(pv20::check_image(code, model, image.span()));
        if (image.size() <= pv20::IMAGE_SIZE) {
            same("pv20: short image judged unlike its zero-padded buffer", exact,
                 judged(pv20::check_image(code, model, image.padded(pv20::IMAGE_SIZE).span())));
        }
        // Only the two kinds the module writes can ever pass.
        if (code != 1 && code != 3 && exact == CHECK_OK) broken("pv20: foreign code passed", code, 0);
    }
}

void check_pv30(const char* model, const Exact& image) {
    const int exact = judged(pv30::check_image(model, image.span()));
    same("pv30a differs from pv30", exact, judged(pv30a::check_image(model, image.span())));
    same("pv30c differs from pv30", exact, judged(pv30c::check_image(model, image.span())));
    if (image.size() <= pv30::IMAGE_SIZE) {
        same("pv30: short image judged unlike its zero-padded buffer", exact,
             judged(pv30::check_image(model, image.padded(pv30::IMAGE_SIZE).span())));
    }
}

void check_pv40(const char* model, const Exact& image, std::uint32_t number) {
    const int section = judged(pv40::check_image(model, image.span(), pv40::SECTION_SIZE));
    // Any checksum length, up to twice the buffer.
    judged(pv40::check_image(model, image.span(), number % (2 * pv40::TWO_SECTION_SIZE)));
    if (image.size() <= pv40::SECTION_SIZE) {
        same("pv40: short section judged unlike its zero-padded buffer", section,
             judged(pv40::check_image(model, image.padded(pv40::SECTION_SIZE).span(),
                                      pv40::SECTION_SIZE)));
    }
    const int both = judged(pv40::check_two_section_image(model, image.span()));
    if (image.size() <= pv40::TWO_SECTION_SIZE) {
        const Exact buffer = image.padded(pv40::TWO_SECTION_SIZE);
        same("pv40: short two-section file judged unlike its zero-padded buffer", both,
             judged(pv40::check_two_section_image(model, buffer.span())));
        // Section 1 decides first, then section 2, each on its own 48 KiB.
        const int first = pv40::check_image(model, buffer.span().first(pv40::SECTION_SIZE),
                                            pv40::SECTION_SIZE);
        const int second = pv40::check_image(model, buffer.span().last(pv40::SECTION_SIZE),
                                             pv40::SECTION_SIZE);
        same("pv40: two-section check is not section 1 then section 2", both,
             first != CHECK_OK ? first : second);
    }
}

void check_pv50(const char* model, const Exact& image, const Exact& standard,
                const Exact& page83) {
    const int whole = judged(pv50::check_image(model, image.span(), standard.span(), page83.span()));
    const int same_product = judged(pv50::check_image_same_product(model, image.span()));
    const int general = judged(
        pv50::check_image_general(model, image.span(), standard.span(), page83.span()));

    // The choice between the rule sets.
    bool product_matches = true;
    for (std::size_t i = 0; i < 9; ++i) {
        product_matches = product_matches &&
                          same_ignoring_case(at(standard.span(), 23 + i), at(image.span(), 239 + i));
    }
    bool calls_itself_bridge = true;
    for (std::size_t i = 0; i < 6; ++i) {
        calls_itself_bridge = calls_itself_bridge &&
                              same_ignoring_case(at(standard.span(), 23 + i),
                                                 static_cast<std::uint8_t>("BRIDGE"[i]));
    }
    bool newer = true;
    for (std::size_t i = 0; i < 4; ++i) {
        newer = newer && same_ignoring_case(at(image.span(), 232 + i),
                                            static_cast<std::uint8_t>("PV50"[i]));
    }
    const int chosen = product_matches                  ? same_product
                       : (!calls_itself_bridge || newer) ? general
                                                         : CHECK_WRONG_FILE;
    same("pv50: check does not follow its choice of rules", whole, chosen);

    if (image.size() <= pv50::IMAGE_SIZE && standard.size() <= pv50::INQUIRY_DATA_SIZE &&
        page83.size() <= pv50::INQUIRY_DATA_SIZE) {
        const Exact full = image.padded(pv50::IMAGE_SIZE);
        same("pv50: short data judged unlike the module's zero-padded buffers", whole,
             judged(pv50::check_image(model, full.span(),
                                      standard.padded(pv50::INQUIRY_DATA_SIZE).span(),
                                      page83.padded(pv50::INQUIRY_DATA_SIZE).span())));
    }
}

void check_pv50a(const char* model, const Exact& image) {
    const int exact = judged(pv50a::check_image(model, image.span()));
    if (image.size() <= pv50a::IMAGE_SIZE) {
        same("pv50a: short image judged unlike its zero-padded buffer", exact,
             judged(pv50a::check_image(model, image.padded(pv50a::IMAGE_SIZE).span())));
    }
}

void check_pv70(std::span<const std::uint8_t> rest, std::uint32_t number) {
    // The header part may be short, whole or longer than a header.
    const std::size_t header_size = std::min<std::size_t>(rest.size(), number % (pv70::HEADER_SIZE + 64));
    const Exact header(rest.data(), header_size);
    const Exact image(rest.data() + header_size, rest.size() - header_size);
    const int exact = judged(pv70::check_image(header.span(), image.span()));
    if (header.size() <= pv70::HEADER_SIZE && image.size() <= pv70::IMAGE_SIZE) {
        same("pv70: short file judged unlike its zero-padded buffers", exact,
             judged(pv70::check_image(header.padded(pv70::HEADER_SIZE).span(),
                                      image.padded(pv70::IMAGE_SIZE).span())));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Parts parts(data, size);
    const std::uint8_t selector = parts.byte(0);
    const std::size_t model_length = parts.byte(1) % (MODEL_LENGTH_LIMIT + 1);
    const std::size_t standard_length = parts.byte(2);
    const std::size_t page83_length = parts.byte(3);
    const std::uint32_t number = parts.number();
    parts.skip_header();

    // The model text as the checks receive it: zero-terminated, on the heap, exactly sized.
    const std::span<const std::uint8_t> model_bytes = parts.take(model_length);
    const auto model = std::make_unique<char[]>(model_bytes.size() + 1);
    if (!model_bytes.empty()) std::memcpy(model.get(), model_bytes.data(), model_bytes.size());
    model[model_bytes.size()] = '\0';

    set_fae_test_mode((selector & 0x80) != 0);
    switch (selector % 6) {
        case 0: {
            const std::span<const std::uint8_t> rest = parts.take(size);
            check_pv20(model.get(), Exact(rest.data(), rest.size()), number);
            break;
        }
        case 1: {
            const std::span<const std::uint8_t> rest = parts.take(size);
            check_pv30(model.get(), Exact(rest.data(), rest.size()));
            break;
        }
        case 2: {
            const std::span<const std::uint8_t> rest = parts.take(size);
            check_pv40(model.get(), Exact(rest.data(), rest.size()), number);
            break;
        }
        case 3: {
            const std::span<const std::uint8_t> standard_bytes = parts.take(standard_length);
            const std::span<const std::uint8_t> page83_bytes = parts.take(page83_length);
            const std::span<const std::uint8_t> rest = parts.take(size);
            check_pv50(model.get(), Exact(rest.data(), rest.size()),
                       Exact(standard_bytes.data(), standard_bytes.size()),
                       Exact(page83_bytes.data(), page83_bytes.size()));
            break;
        }
        case 4: {
            const std::span<const std::uint8_t> rest = parts.take(size);
            check_pv50a(model.get(), Exact(rest.data(), rest.size()));
            break;
        }
        default:
            check_pv70(parts.take(size), number);
            break;
    }
    set_fae_test_mode(false);
    return 0;
}
