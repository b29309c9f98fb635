// PV30 bridges of variant A (family code 21): the PV30 image, check and write, from a
// file that holds one 16 KiB image or two of them back to back (32 KiB); of two, the first is
// taken when its variant letter is "A", else the second.
#pragma once

#include <cstdint>
#include <span>

namespace korvel::pv30a {

/// Reads the image out of the file (which it closes), checks, asks, writes with read-back
/// and shows the outcome. True when confirmed and written.
bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     const char* model, int file);

/// The PV30 check (pv30::check_image).
int check_image(const char* model, std::span<const std::uint8_t> image);

/// The PV30 write with this module's own read-back buffer.
int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image);

}  // namespace korvel::pv30a
