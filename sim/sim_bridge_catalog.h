// Ready-made KORVEL bridges of every family code, and plain drives to sit next to them.
//
// Each bridge carries its identification where boards of its family carry it: a vital product
// data page (0x83, 0x50 or 0xC3) of 248 bytes with
//   bytes 0-3    device type, page code, page length 244
//   bytes 4-23   a T10 vendor identification descriptor: "KORVEL  " and an 8-character serial
//   bytes 32-34  the bus capability block: "Z", wide flag (bit 0), speed code (bits 4-7)
//   bytes 44-57  the model text (12 characters for PV20 and PV70, 14 for the others):
//                chip code at 0-3, kind tag at 5-8 ("S160"-style speed tag at 4-7 for
//                PV50), revision character at 9, PV20 variant letter at 11, variant letter
//                of PV30/PV40/PV50-9271 at 12
//   bytes 64-71  the firmware date, "YYYYMMDD"
// Older PV50 boards place things differently (SimChipPlacement). PV20 bridges also name
// themselves in their standard INQUIRY data: the model text at bytes 44-55 and their own
// vendor, product and revision at bytes 56-83, while bytes 8-35 name the drive behind them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "os_threads.h"
#include "sim_bridge.h"
#include "sim_device.h"
#include "sim_device_catalog.h"  // SIM_TYPE_* for device_type

namespace korvel {

/// The family codes make_bridge builds bridges for.
std::vector<std::int32_t> sim_bridge_family_codes();

/// Where a PV50 board (family code 7 or 8) puts its chip text; ignored for other families.
enum class SimChipPlacement : std::uint8_t {
    at_44,  ///< model text at bytes 44-57, capability block at 32
    at_56,  ///< family 7 only: "PV50" and speed tag at bytes 56-63, model text at 24-35,
            ///< capability block at 48
    at_24   ///< model text (12 bytes, 13 for "9271") at 24, so no capability block
};

/// Capacity a drive answers to READ CAPACITY(10).
struct SimCapacity {
    std::uint32_t last_block = 0;
    std::uint32_t block_length = 512;
};

/// Choices for make_bridge; every field left empty takes the family's usual value. Designated
/// initializers work ({.placement = SimChipPlacement::at_56}: every member has an initializer),
/// and so do the chaining with_ setters.
struct SimBridgeOptions {
    /// The model text, written where the placement puts it (its characters decide what the
    /// recognition rules see, so a text of another chip or tag makes another bridge).
    std::string model{};
    /// The vital product data page carrying the identification: 0x83, 0x50 or 0xC3.
    std::uint8_t page = 0;
    SimChipPlacement placement = SimChipPlacement::at_44;
    /// The three bytes of the bus capability block ({0, 0, 0}: no block).
    std::optional<std::array<std::uint8_t, 3>> capability{};
    std::optional<std::uint8_t> device_type{};
    std::optional<bool> removable{};
    std::optional<SimCapacity> capacity{};

    SimBridgeOptions& with_model(std::string text) { model = std::move(text); return *this; }
    SimBridgeOptions& with_page(std::uint8_t code) { page = code; return *this; }
    SimBridgeOptions& with_placement(SimChipPlacement where) { placement = where; return *this; }
    SimBridgeOptions& with_capability(std::array<std::uint8_t, 3> block) {
        capability = block;
        return *this;
    }
    SimBridgeOptions& with_device_type(std::uint8_t type) { device_type = type; return *this; }
    SimBridgeOptions& with_removable(bool rmb) { removable = rmb; return *this; }
    SimBridgeOptions& with_capacity(SimCapacity blocks) { capacity = blocks; return *this; }
};

/// A bridge of the family code (1-8, 20-22) with the family's usual identification; null for
/// any other code. Its profile() names the family code, model text and page.
std::shared_ptr<SimBridge> make_bridge(std::int32_t family_code,
                                       const SimBridgeOptions& options = {});

/// The 248-byte identification page make_bridge puts on a bridge.
std::vector<std::uint8_t> bridge_identification_page(std::uint8_t device_type, std::uint8_t page,
                                                     SimChipPlacement placement,
                                                     std::string_view model,
                                                     const std::array<std::uint8_t, 3>& capability);

/// A drive that is not a bridge: it answers READ CAPACITY(10) when it has a capacity and, for a
/// CD-ROM, operation 0x42; vendor buffer commands are rejected as by any SCSI device.
class SimPlainDrive : public SimDevice {
public:
    explicit SimPlainDrive(std::span<const std::uint8_t> inquiry_data);
    void set_capacity(std::optional<SimCapacity> capacity);

protected:
    SimResult execute(const SimCommand& command) override;

private:
    const bool answers_sub_channel_;  ///< a CD-ROM drive (type from the INQUIRY data it was built with)
    ThreadLock capacity_mutex_{os_threads()};
    std::optional<SimCapacity> capacity_;
};

/// A fixed disk (type 0) with a capacity and device identification pages 0x00, 0x80, 0x83.
std::shared_ptr<SimPlainDrive> make_plain_disk_with_capacity(
    std::uint32_t last_block, std::uint32_t block_length = 512,
    std::string_view vendor = "IBM", std::string_view product = "DDRS-39130D",
    std::string_view revision = "DC1B");
/// A removable disk (type 0, RMB set) with a cartridge in it.
std::shared_ptr<SimPlainDrive> make_removable_disk(std::uint32_t last_block = 196607,
                                                   std::uint32_t block_length = 512,
                                                   std::string_view vendor = "IOMEGA",
                                                   std::string_view product = "ZIP 100",
                                                   std::string_view revision = "J.03");
/// A CD-ROM drive (type 5, removable) with a disc in it (2048-byte blocks).
std::shared_ptr<SimPlainDrive> make_cdrom_with_disc(std::uint32_t last_block = 333000,
                                                    std::string_view vendor = "PLEXTOR",
                                                    std::string_view product = "CD-ROM PX-40TS",
                                                    std::string_view revision = "1.01");

}  // namespace korvel
