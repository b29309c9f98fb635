// PV70 copier boards (family code 4): a file of a 2048-byte header and a 512 KiB image, the
// image protected by a 16-bit word checksum stored in the header and written in 32 KiB
// pieces to board addresses from 0x100000, each piece read back and compared, followed by a
// finishing command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "korvel_family.h"

namespace korvel::pv70 {

inline constexpr std::size_t HEADER_SIZE = 0x800;
inline constexpr std::size_t IMAGE_SIZE = 0x80000;
inline constexpr std::size_t PIECE_SIZE = 0x8000;
/// Board address of image offset 0.
inline constexpr std::uint32_t BASE_ADDRESS = 0x100000;

/// Reads header and image from the file (which it closes), checks, asks, writes and shows
/// the outcome. True when confirmed and written.
bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun, int file);

/// The image read as big-endian 16-bit words, summed modulo 65536 (bytes past its end count
/// as 0, an odd last byte as a high byte).
std::uint16_t word_sum(std::span<const std::uint8_t> image);

/// Rules in order: product text "PVM-070 Copier" at 0, maker text "TAVRO Technology" at 16
/// (both in any letter case), then the image's word sum against header bytes 14-15.
int check_image(std::span<const std::uint8_t> header, std::span<const std::uint8_t> image);

/// Writes a 512 KiB image piece by piece with read-back, stopping at the first failure;
/// after the sixteenth piece sends the finishing command, whose result does not count. No
/// retries and no LSI preamble. WRITE_FAILED without a command for an image of another size.
int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image);

}  // namespace korvel::pv70
