// Ready-made simulated devices of the common SCSI types, with the identity texts real drives
// of each kind report.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "sim_device.h"

namespace korvel {

// Peripheral device types (INQUIRY byte 0, low five bits).
inline constexpr std::uint8_t SIM_TYPE_DISK = 0x00;
inline constexpr std::uint8_t SIM_TYPE_TAPE = 0x01;
inline constexpr std::uint8_t SIM_TYPE_PROCESSOR = 0x03;
inline constexpr std::uint8_t SIM_TYPE_WORM = 0x04;
inline constexpr std::uint8_t SIM_TYPE_CDROM = 0x05;
inline constexpr std::uint8_t SIM_TYPE_SCANNER = 0x06;
inline constexpr std::uint8_t SIM_TYPE_OPTICAL = 0x07;
inline constexpr std::uint8_t SIM_TYPE_CHANGER = 0x08;

/// 36 bytes of standard INQUIRY data: type in byte 0, RMB in bit 7 of byte 1, SCSI-2
/// version and response format, additional length 31, and the vendor (8), product (16) and
/// revision (4) texts at bytes 8, 16 and 32, blank-padded or cut to their widths.
std::vector<std::uint8_t> standard_inquiry(std::uint8_t type, bool removable,
                                           std::string_view vendor, std::string_view product,
                                           std::string_view revision);

/// A fixed disk (type 0).
std::shared_ptr<SimDevice> make_disk(std::string_view vendor = "SEAGATE",
                                     std::string_view product = "ST39173N",
                                     std::string_view revision = "6244");
/// A CD-ROM drive (type 5, removable).
std::shared_ptr<SimDevice> make_cdrom(std::string_view vendor = "TOSHIBA",
                                      std::string_view product = "CD-ROM XM-6201TA",
                                      std::string_view revision = "1037");
/// A tape drive (type 1, removable).
std::shared_ptr<SimDevice> make_tape(std::string_view vendor = "HP",
                                     std::string_view product = "C1537A",
                                     std::string_view revision = "L708");
/// A flatbed scanner (type 6).
std::shared_ptr<SimDevice> make_scanner(std::string_view vendor = "UMAX",
                                        std::string_view product = "Astra 2400S",
                                        std::string_view revision = "V1.0");
/// A magneto-optical drive (optical memory, type 7, removable).
std::shared_ptr<SimDevice> make_optical(std::string_view vendor = "FUJITSU",
                                        std::string_view product = "M2513A",
                                        std::string_view revision = "1300");
/// A device of any peripheral type, with texts typical of that type.
std::shared_ptr<SimDevice> make_device_of_type(std::uint8_t type);

}  // namespace korvel
