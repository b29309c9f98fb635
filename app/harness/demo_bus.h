// The demo bus of korvel-sim: two simulated SCSI adapters with one KORVEL bridge of every
// family code, two ordinary drives that must not be shown, and sample firmware files for
// every bridge plus one damaged and one foreign file, so every outcome can be tried at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim_bridge.h"
#include "sim_device.h"
#include "sim_platform.h"

namespace korvel {

/// One device of the demo bus.
struct DemoDevice {
    std::uint8_t host = 0;
    std::uint8_t target = 0;
    std::int32_t family_code = 0;        ///< 0 for an ordinary drive
    std::shared_ptr<SimDevice> device;
    std::shared_ptr<SimBridge> bridge;   ///< null for an ordinary drive
    std::string sample_file;             ///< its sound firmware file's name; empty for none
};

struct DemoBus {
    std::vector<DemoDevice> devices;
    /// Driver names of adapters 0 and 1.
    std::string adapter_0_driver;
    std::string adapter_1_driver;
};

/// A firmware file whose checksum does not add up: "The KORVEL firmware is bad".
inline constexpr const char* DEMO_DAMAGED_FILE = "damaged-PV30-QTRLC-0B1.bin";
/// A sound image of a chip no bridge on the bus carries: "not a correct KORVEL firmware".
inline constexpr const char* DEMO_FOREIGN_FILE = "foreign-PV99.bin";

/// Lays the demo bus out on the simulated Windows NT system of sim (does not install it):
/// adapter 0 ("aic78xx") with the bridges of family codes 1, 2, 3, 4, 5, 6, 7, 8, 20, 21, 22,
/// an ordinary disk and a CD-ROM drive, target 7 left to the adapter itself; adapter 1
/// ("Symmpi") with one PV30 bridge.
DemoBus lay_out_demo_bus(SimPlatform& sim);

/// Gives the demo's bridges a real bridge's answer times: 300 ms for each write (WRITE BUFFER)
/// and 50 ms for each read-back (READ BUFFER), so an update takes its time as on a real board.
void give_flash_times(const DemoBus& bus);

/// Writes the sample files into folder (created when missing): one sound file per bridge,
/// named after its model text, and the damaged and foreign files. False when one could not be
/// written.
bool write_demo_firmware_files(const DemoBus& bus, const std::filesystem::path& folder);

}  // namespace korvel
