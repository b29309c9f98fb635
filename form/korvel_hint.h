// The texts a target button shows in its hint: address, identity, capacity, bridge model and
// SCSI bus capability.
#pragma once

#include <cstdint>
#include <string>

namespace korvel {

/// What the scan learnt about one shown device.
struct DeviceFacts {
    int host = 0;
    int target = 0;
    int lun = 0;
    int type = 0;  ///< after substitution
    const char* vendor = "";
    const char* product = "";
    const char* revision = "";
    const char* bridge_ident = "";
    std::uint32_t block_count = 0;
    std::uint32_t block_length = 0;
    int wide = 0;
    int speed = -1;  ///< MB/s; 0 asynchronous, -1 not reported
};

/// Whether devices of this type have a capacity worth asking for (disk, CD-ROM, optical).
bool type_has_capacity(int type);

/// Capacity in megabytes from READ CAPACITY's answer, computed in floating point; 0 when
/// either number is 0 or the block length is 2^31 or more.
double capacity_megabytes(std::uint32_t block_count, std::uint32_t block_length);

/// "1.44MB" for a floppy, "%.1fGB" from 1024 MB on, "%dMB" below, message 116 for 0.
std::string capacity_text(std::uint32_t block_count, std::uint32_t block_length);

/// The whole hint, lines separated by "\n".
std::string device_hint(const DeviceFacts& facts);

}  // namespace korvel
