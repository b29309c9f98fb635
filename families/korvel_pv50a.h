// PV50 bridges of variant A (family code 8, kind "9271"): up to 32 KiB, written with as many
// bytes as the file held through WRITE BUFFER 0x78 and read back with READ BUFFER 0x78.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "korvel_family.h"

namespace korvel::pv50a {

/// Largest image, size of the image and read-back buffers and span of the byte checksum.
inline constexpr std::size_t IMAGE_SIZE = 0x8000;

/// Reads up to 32 KiB of the file (which it closes), checks, asks, writes the bytes read with
/// read-back and shows the outcome. True when confirmed and written.
bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     const char* model, int file);

/// Rules in order: model text 0-8 against image 48-56, chip code "PV50", variant letter,
/// format mark, checksum over 32 KiB, the character after the chip code.
int check_image(const char* model, std::span<const std::uint8_t> image);

/// The LSI preamble, then up to three writes of the whole image at offset 0, each read back
/// and compared. WRITE_FAILED without a command for an image over 32 KiB.
int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image);

}  // namespace korvel::pv50a
