#include "kernel_bus.h"

#include <cstdio>

#include "sim_bridge_catalog.h"
#include "sim_journal.h"

namespace korvel::kernel_bus {

std::shared_ptr<SimDevice> make_device(const Slot& slot) {
    if (slot.family_code == ORDINARY_DISK) return make_plain_disk_with_capacity(17783239);
    return make_bridge(slot.family_code);
}

// Not korvel-sim's SHA-256: the server hashes every command's data before completing it, and
// under the guest's emulated CPU SHA-256 adds some 40 ms to a PV70 update's measured time.
std::string hash_text(std::span<const std::uint8_t> bytes) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const std::uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001B3ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string journal_line(std::uint8_t target, std::span<const std::uint8_t> cdb,
                         SimDirection direction, std::uint32_t length,
                         std::span<const std::uint8_t> data_out, std::uint8_t status) {
    std::string line = std::to_string(target) + " " + hex_text(cdb);
    const bool out = direction == SimDirection::out;
    line += length == 0 ? " none " : out ? " out " : " in ";
    line += std::to_string(length) + " ";
    line += out && length != 0 ? hash_text(data_out) : "-";
    return line + " " + std::to_string(status);
}

}  // namespace korvel::kernel_bus
