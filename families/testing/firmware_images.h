// Firmware files for tests and the demo: a sound image for any family and bridge model text,
// and images broken in one chosen way. Never linked into the program.
//
// A bridge image is built as the bridges expect it: format mark at 0 (PV20: 02 7C 00), the
// model text copied to offset 48 + position, a payload of varied bytes elsewhere (so that a
// read-back compares something), and a balancing byte at offset 63 that brings the byte
// checksum over the family's span to 0x5A. Every flaw except Flaw::bad_checksum keeps the
// checksum right, so exactly one rule is broken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::firmware_images {

using Bytes = std::vector<std::uint8_t>;

/// Offset of the balancing byte in every bridge image.
inline constexpr std::size_t BALANCE_AT = 63;

/// One way to break an otherwise sound bridge image.
enum class Flaw {
    none,
    bad_format_mark,   ///< byte 0 is 0x03 (PV20: byte 1 is 0x7D)
    bad_checksum,      ///< one payload byte changed, checksum left as it was
    wrong_chip_code,   ///< "PV99" in place of the chip code
    wrong_kind_tag,    ///< the last letter of the kind tag changed
    wrong_variant,     ///< the variant letter (PV20: 59, others: 60) changed
    lower_case_texts,  ///< chip code and kind tag (48-56) in lower case (still sound)
};

/// Size of a sound image of the family (PV20 0x8000, PV30 0x4000, PV40 0xC000 per section,
/// PV50 0x8000); 0 for codes without a bridge image (PV70 and unknown codes).
std::size_t image_size(std::int32_t family_code);
/// The byte-checksum span of the family (PV20 0x7C00, else the image size).
std::size_t checksum_span(std::int32_t family_code);
/// Offset of the variant letter the family checks (PV20 59, else 60).
std::size_t variant_offset(std::int32_t family_code);

/// A sound image of `size` bytes (0: the family's size) for a bridge of family_code with the
/// given model text, broken as flaw says. For a PV40 two-section code this is one section.
Bytes bridge_image(std::int32_t family_code, std::string_view model, Flaw flaw = Flaw::none,
                   std::size_t size = 0);

/// The 8-bit sum of the first span bytes (missing bytes count as 0).
std::uint8_t byte_sum(const Bytes& image, std::size_t span);
/// Sets the balancing byte so that the byte checksum over span comes to 0x5A again.
void rebalance(Bytes& image, std::size_t span, std::size_t at = BALANCE_AT);
/// Writes text at offset (growing nothing: the text must fit).
void put_text(Bytes& image, std::size_t offset, std::string_view text);
/// The image cut to its first length bytes.
Bytes truncated(const Bytes& image, std::size_t length);
/// Two files back to back.
Bytes joined(const Bytes& first, const Bytes& second);

/// A two-section PV40 file: two sound sections for the model (each with its own payload),
/// the second broken as flaw says.
Bytes pv40_two_section_file(std::string_view model, Flaw second_section_flaw = Flaw::none);

/// PV50 layouts. Each takes a sound older image (bridge_image(7 or 8, ...)) and rewrites it,
/// keeping the checksum right.
/// The "00" mark at 58-59.
void pv50_add_zero_mark(Bytes& image);
/// The revision character at 57.
void pv50_set_revision(Bytes& image, char revision);
/// A product text (e.g. "BRIDGE160" or the tail of a bridge's product identification) at 239.
void pv50_set_product_text(Bytes& image, std::string_view text);
/// A newer image: "PV50" at 232 and the three-character product code at 237.
void pv50_make_newer(Bytes& image, std::string_view product_code);

/// Header texts and checksum of a PV70 file.
struct Pv70Header {
    std::string product = "PVM-070 Copier";
    std::string maker = "TAVRO Technology";
    int checksum_delta = 0;  ///< added to the true word sum before it is stored
};

/// The 512 KiB PV70 image with a varied payload.
Bytes pv70_image(std::uint32_t seed = 1);
/// The word sum of a PV70 image.
std::uint16_t pv70_word_sum(const Bytes& image);
/// A PV70 file: the 2048-byte header (texts, stored checksum) followed by the image.
Bytes pv70_file(const Bytes& image, const Pv70Header& header = {});

/// The sound firmware file for a bridge of family_code with the given model text, in the
/// layout its family takes: a PV70 file, a two-section PV40 file for code 20, else one bridge
/// image. A PV50 image (code 7) made for the very product carries the tail of the bridge's
/// product identification: bytes 23-31 of its standard INQUIRY data.
Bytes sound_file(std::int32_t family_code, std::string_view model,
                 std::span<const std::uint8_t> standard_inquiry);

/// Writes bytes to a file at path (created or emptied); false on failure.
bool save_file(const std::string& path, const Bytes& bytes);

}  // namespace korvel::firmware_images
