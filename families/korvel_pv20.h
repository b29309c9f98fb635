// PV20 bridges (family codes 1 and 3): a 32 KiB image written in one WRITE BUFFER 0x76
// command, without read-back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "korvel_family.h"

namespace korvel::pv20 {

/// Size of a PV20 image, and of the module's image buffer.
inline constexpr std::size_t IMAGE_SIZE = 0x8000;
/// The byte checksum covers offsets 0 to 0x7BFF; the last KiB is written but not summed.
inline constexpr std::size_t CHECKSUM_SPAN = 0x7C00;

/// Reads the image from the file (which it closes), checks it for the bridge, asks, writes it
/// and shows the outcome. True when the person confirmed and the write was attempted.
bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     std::int32_t family_code, const char* model, int file);

/// Checks an image (bytes past its end read as 0) for a bridge of this family code and model
/// text. Rules in order: chip code "PV20", kind tag of the family code, fixed bytes 02 7C 00,
/// checksum, then (unless the field test mode is on) the variant letter. Family codes other
/// than 1 and 3 name no PV20 kind this module may write and give CHECK_WRONG_FILE.
int check_image(std::int32_t family_code, const char* model,
                std::span<const std::uint8_t> image);

/// The LSI preamble, then one WRITE BUFFER 0x76 of the whole image at offset 0.
/// WRITE_OK when it completed; WRITE_FAILED also for an empty image or one over 64 KiB.
int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image);

}  // namespace korvel::pv20
