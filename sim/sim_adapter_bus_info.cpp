#include "sim_adapter_bus_info.h"

#include <algorithm>

namespace korvel {

namespace {

void put_u32(std::vector<std::uint8_t>& out, std::size_t offset, std::size_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) {
        out[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::size_t align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

}  // namespace

std::vector<std::uint8_t> build_adapter_bus_info(std::span<const SimBus> buses) {
    std::size_t entries = 0;
    for (const SimBus& bus : buses) entries += bus.units.size();
    const std::size_t first_entry =
        align8(BUS_INFO_BUS_DATA_OFFSET + BUS_DATA_SIZE * std::max<std::size_t>(buses.size(), 1));
    std::vector<std::uint8_t> out(first_entry + INQUIRY_ENTRY_SIZE * entries, 0);

    out[0] = static_cast<std::uint8_t>(buses.size());
    std::size_t next = first_entry;
    for (std::size_t path = 0; path < buses.size(); ++path) {
        const SimBus& bus = buses[path];
        const std::size_t bus_data = BUS_INFO_BUS_DATA_OFFSET + BUS_DATA_SIZE * path;
        out[bus_data] = static_cast<std::uint8_t>(bus.units.size());
        out[bus_data + 1] = bus.initiator_id;
        put_u32(out, bus_data + 4, bus.units.empty() ? 0 : next);

        for (std::size_t i = 0; i < bus.units.size(); ++i) {
            const SimLogicalUnit& unit = bus.units[i];
            out[next] = static_cast<std::uint8_t>(path);
            out[next + 1] = unit.target_id;
            out[next + 2] = unit.lun;
            out[next + 3] = unit.claimed ? 1 : 0;
            put_u32(out, next + 4, INQUIRY_ENTRY_DATA_SIZE);
            const bool last = i + 1 == bus.units.size();
            put_u32(out, next + 8, last ? 0 : next + INQUIRY_ENTRY_SIZE);
            if (unit.device) {
                const auto inquiry = unit.device->inquiry_data();
                std::copy_n(
                    inquiry.begin(), INQUIRY_ENTRY_DATA_SIZE,
                    out.begin() + static_cast<std::ptrdiff_t>(next + INQUIRY_ENTRY_HEADER_SIZE));
            }
            next += INQUIRY_ENTRY_SIZE;
        }
    }
    return out;
}

}  // namespace korvel
