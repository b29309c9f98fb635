// PV50 bridges (family code 7). Their images come in several layouts that carry their
// identification in different places, so the check also asks the bridge for its standard
// INQUIRY data and its vital product data page 0x83 and picks a rule set by what it finds.
// The image is written with as many bytes as the file held (at most 32 KiB) through WRITE
// BUFFER 0x78, without read-back, falling back to the buffer's upper area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "korvel_family.h"

namespace korvel::pv50 {

/// Largest PV50 image, size of the image buffer and span of the byte checksum.
inline constexpr std::size_t IMAGE_SIZE = 0x8000;
/// Length of each of the two identification data buffers.
inline constexpr std::size_t INQUIRY_DATA_SIZE = 248;

/// Asks the bridge for page 0x83, reads up to 32 KiB of the file (which it closes), asks for
/// the standard INQUIRY data, checks, asks the person, writes the bytes read and shows the
/// outcome. True when confirmed and written.
bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     const char* model, int file);

/// The whole check: picks check_image_same_product when the bridge's product text (standard
/// bytes 23-31) equals the image's (239-247), check_image_general when the bridge does not
/// call itself "Bridge" at 23-28 or the image is a newer one ("PV50" at 232), and otherwise
/// rejects the file as not meant for this bridge.
int check_image(const char* model, std::span<const std::uint8_t> image,
                std::span<const std::uint8_t> standard, std::span<const std::uint8_t> page83);

/// Rules for an image made for this very product: chip code, format mark, checksum, then the
/// revision character (equal, or an upper-case letter with the "00" mark).
int check_image_same_product(const char* model, std::span<const std::uint8_t> image);

/// Rules for the other layouts: newer images by product code or bus speed, images with a
/// "BRIDGE20/160/320" product text by bus speed, older images by format mark, checksum and
/// exact revision character.
int check_image_general(const char* model, std::span<const std::uint8_t> image,
                        std::span<const std::uint8_t> standard,
                        std::span<const std::uint8_t> page83);

/// The LSI preamble, then up to three WRITE BUFFER 0x78 of the whole image at offset 0,
/// stopping at the first that completes; when all three failed, one write to the upper area
/// decides. WRITE_FAILED without a command for an empty image or one over 32 KiB.
int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image);

}  // namespace korvel::pv50
