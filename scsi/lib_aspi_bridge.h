// Bridge identification: recognising a KORVEL bridge, its chip family and kind, its model
// text and its SCSI bus capability from vital product data pages.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib_aspi.h"
#include "platform_seam.h"

namespace korvel {

/// Family codes: the chip family and kind of a bridge; 0 means not a recognised bridge.
inline constexpr std::int32_t FAMILY_NONE = 0;
inline constexpr std::int32_t FAMILY_PV20_QTRL = 1;
inline constexpr std::int32_t FAMILY_PV20_QTWD = 2;
inline constexpr std::int32_t FAMILY_PV20_QTVN = 3;
inline constexpr std::int32_t FAMILY_PV70 = 4;
inline constexpr std::int32_t FAMILY_PV30 = 5;
inline constexpr std::int32_t FAMILY_PV40 = 6;
inline constexpr std::int32_t FAMILY_PV50 = 7;
inline constexpr std::int32_t FAMILY_PV50_9271 = 8;
inline constexpr std::int32_t FAMILY_PV40_QTZF = 20;
inline constexpr std::int32_t FAMILY_PV30_A = 21;
inline constexpr std::int32_t FAMILY_PV30_C = 22;

/// Capacity of the model text buffer identify_bridge fills (longest model 14 + zero byte).
inline constexpr std::size_t BRIDGE_MODEL_CAPACITY = 15;
/// Transfer rate reported when the bridge names none (or an unknown speed code).
inline constexpr std::int32_t RATE_UNKNOWN = -1;

/// Asks for vital product data pages 0x83, 0x50 and 0xC3 in turn until one names a bridge.
/// Writes the family code (0 when none), the model text (at least 15 bytes; left as it was when
/// no page named a chip), and, when the pointers are given, the wide bus flag (0/1) and the
/// transfer rate in MB/s (0 asynchronous, -1 unknown).
void identify_bridge(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     std::int32_t& family_code, char* model, std::uint8_t* wide,
                     std::int32_t* rate);

/// The transfer rate of a speed code (upper four bits of the capability byte) on a narrow
/// bus, in MB/s; RATE_UNKNOWN for codes the bridges do not use.
std::int32_t narrow_bus_rate(std::uint8_t speed_byte);

/// What a scan learns of the device at one address.
struct ScannedDevice {
    std::int32_t type = -1;  ///< peripheral device type; -1 when no device answered
    std::int32_t removable = 0;
    std::int32_t family_code = FAMILY_NONE;
    char model[BRIDGE_MODEL_CAPACITY] = {};
    char vendor[VENDOR_TEXT_CAPACITY] = {};
    char product[PRODUCT_TEXT_CAPACITY] = {};
    char revision[REVISION_TEXT_CAPACITY] = {};
    std::uint8_t wide = 0;              ///< from the bridge's pages, when it was asked
    std::int32_t speed = RATE_UNKNOWN;  ///< likewise, in MB/s
};

/// The scan's identification of one device, the one sequence the window and the sg helper
/// share: the standard INQUIRY and, when it names no family, the vital product data pages.
/// True when the device is a KORVEL bridge (a family code other than FAMILY_NONE).
bool scan_device(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                 ScannedDevice& device);

/// Target IDs a scan asks on each host adapter, LUN 0 of each.
inline constexpr int SCANNED_TARGET_IDS = 16;

/// A bridge a scan found, and the provider's open handle of its device.
struct BridgeNode {
    std::uint8_t host;
    std::uint8_t target;
    std::uint8_t lun;
    std::int32_t family_code;
    OsHandle handle;
};

/// Scans every host adapter of the started service as the window's scan does (standard
/// INQUIRY, then the vital product data pages) and writes the bridges it finds, at most
/// capacity of them; returns how many it found (which may be more).
std::size_t find_bridge_nodes(BridgeNode* nodes, std::size_t capacity);

}  // namespace korvel
