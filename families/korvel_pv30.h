// PV30 bridges (family code 5): a 16 KiB image written with WRITE BUFFER 0x78 and read back
// with READ BUFFER 0x78. The variant modules korvel_pv30a and korvel_pv30c share the check
// and the file reading of their 16 or 32 KiB files from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "korvel_family.h"

namespace korvel::pv30 {

/// Size of a PV30 image, of each PV30 module's image buffer and of its read-back buffer; the
/// byte checksum covers all of it.
inline constexpr std::size_t IMAGE_SIZE = 0x4000;
/// A variant file holding two images back to back.
inline constexpr std::size_t DOUBLE_FILE_SIZE = 2 * IMAGE_SIZE;

/// Reads the first 16 KiB of the file (which it closes; the rest is ignored), checks, asks,
/// writes with read-back and shows the outcome. True when confirmed and written.
bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     const char* model, int file);

/// Checks an image for a PV30 bridge (all three PV30 modules). Rules in order: chip code
/// "PV30", kind tag (a bridge of variant "N" also takes images of variant "B" or "Q"),
/// format mark, checksum, variant letter.
int check_image(const char* model, std::span<const std::uint8_t> image);

/// The LSI preamble, then up to three writes of the whole image, each read back and
/// compared. WRITE_OK when one attempt matched.
int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image);

/// The same write with a read-back buffer of the caller's (each variant module has its own).
int write_image_using(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                      std::span<const std::uint8_t> image, std::span<std::uint8_t> readback);

/// How the variant modules take their image out of the file: a 16 KiB file whole; of a
/// 32 KiB file the first half when its variant letter is own_letter, else the second half;
/// any other length nothing (the buffer stays zero and the check rejects it). Zeroes the
/// buffer first; leaves the file open. Returns how many bytes of the image taken were read.
std::size_t read_variant_image(int file, std::uint8_t own_letter,
                               std::span<std::uint8_t, IMAGE_SIZE> buffer);

/// The update of a variant module over its own buffers and letter.
bool update_variant_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                             const char* model, int file, std::uint8_t own_letter,
                             std::span<std::uint8_t, IMAGE_SIZE> image,
                             std::span<std::uint8_t, IMAGE_SIZE> readback);

}  // namespace korvel::pv30
