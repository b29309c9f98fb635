// The bus the real-kernel test serves to its guest through the kernel's userspace SCSI target:
// one simulated device per target ID of a tcm_loop host, made by the same catalogue as the
// demo's, and the journal line that both the serving program and the check write for each
// command a device received.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "sim_device.h"

namespace korvel::kernel_bus {

/// One target of the tcm_loop host: a catalogue bridge of a family code, or an ordinary disk.
struct Slot {
    std::uint8_t target;
    std::int32_t family_code;
};
inline constexpr std::int32_t ORDINARY_DISK = 0;

/// The demo's adapter 0 without its CD-ROM drive: a bridge of every family code (code 4 is
/// the PV70 copier board) and one ordinary disk, target 7 left free.
inline constexpr Slot SLOTS[] = {
    {0, 1}, {1, 2}, {2, ORDINARY_DISK}, {3, 3},   {4, 4},  {5, 5}, {6, 6},
    {8, 7}, {9, 8}, {11, 20},           {12, 21}, {13, 22}};

/// The start of every backstore's configuration string; the target ID follows.
inline constexpr const char* CONFIG_PREFIX = "korvel/";

/// The device of a slot, as the demo builds it.
std::shared_ptr<SimDevice> make_device(const Slot& slot);

/// The 64-bit FNV-1a hash of bytes, as 16 hex digits.
std::string hash_text(std::span<const std::uint8_t> bytes);

/// "<target> <cdb in hex> <in|out|none> <length> <hash of the data sent, or -> <status>";
/// a command without data is "none" whatever its declared direction.
std::string journal_line(std::uint8_t target, std::span<const std::uint8_t> cdb,
                         SimDirection direction, std::uint32_t length,
                         std::span<const std::uint8_t> data_out, std::uint8_t status);

}  // namespace korvel::kernel_bus
