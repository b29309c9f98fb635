// PV40 bridges. One-section bridges (family code 6) take one 48 KiB image through WRITE /
// READ BUFFER 0x78; two-section bridges (family code 20) take two 48 KiB images, each into its
// own buffer (0x7C and 0x7D), from a 96 KiB file. Every write is read back and compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "korvel_family.h"

namespace korvel::pv40 {

/// Size of one section image; the byte checksum covers all of it.
inline constexpr std::size_t SECTION_SIZE = 0xC000;
/// Size of a two-section file.
inline constexpr std::size_t TWO_SECTION_SIZE = 2 * SECTION_SIZE;

/// One-section entry: reads the first 48 KiB of the file (which it closes), checks, asks,
/// writes with read-back and shows the outcome. True when confirmed and written.
bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     const char* model, int file);

/// Two-section entry: reads 96 KiB, checks section 1 and then section 2, asks, writes section
/// 1 and, only when that succeeded, section 2. True when confirmed and written.
bool update_two_section_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                                 const char* model, int file);

/// Checks one section image with the byte checksum over its first length bytes. Rules in
/// order: chip code "PV40", kind tag, format mark, checksum, variant letter.
int check_image(const char* model, std::span<const std::uint8_t> image, std::size_t length);

/// Checks a two-section file: section 1, then section 2; the first rejection decides.
int check_two_section_image(const char* model, std::span<const std::uint8_t> file_image);

/// One section: the LSI preamble, then up to three writes with read-back through buffer 0x78.
int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image);

/// One section of a two-section bridge: the LSI preamble, then up to three writes with
/// read-back through buffer 0x7D for section 2 and 0x7C for any other section number.
int write_section(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                  std::int32_t section, std::span<const std::uint8_t> data);

}  // namespace korvel::pv40
