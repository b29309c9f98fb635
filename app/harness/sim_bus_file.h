// A simulated SCSI system described in a file: korvel-sim's --bus. The file names the system
// locale and, per SCSI port, its driver and the devices on its first bus (LUN 0), each with
// its INQUIRY data, the vital product data pages it answers, its READ CAPACITY data and the
// faults it shows. README.md describes the format.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim_bridge.h"
#include "sim_platform.h"

namespace korvel {

/// Ports a bus file may describe, and the target IDs a device may take.
inline constexpr std::size_t BUS_FILE_MAX_ADAPTERS = 32;
inline constexpr int BUS_FILE_MAX_TARGET = 15;
/// Bounds of the other values.
inline constexpr std::size_t BUS_FILE_MAX_DRIVER_LENGTH = 255;
inline constexpr std::size_t BUS_FILE_MAX_PAGE_BYTES = 0xFFFF;
inline constexpr std::size_t BUS_FILE_CAPACITY_BYTES = 8;
inline constexpr std::size_t BUS_FILE_MAX_CDB_BYTES = 16;
inline constexpr std::int64_t BUS_FILE_MAX_COUNT = 1000000;
inline constexpr std::int64_t BUS_FILE_MAX_ANSWER_MS = 60000;

/// "The first `times` commands whose CDB starts with these bytes end in CHECK CONDITION."
struct BusFileFailRule {
    std::vector<std::uint8_t> cdb_prefix;
    std::uint32_t times = 0;
};

/// "Commands whose CDB starts with these bytes take this long to answer."
struct BusFileAnswerTime {
    std::vector<std::uint8_t> cdb_prefix;
    std::uint32_t milliseconds = 0;
};

struct BusFileDevice {
    std::uint8_t target = 0;
    std::vector<std::uint8_t> inquiry;
    std::map<std::uint8_t, std::vector<std::uint8_t>> pages;
    std::optional<std::array<std::uint8_t, BUS_FILE_CAPACITY_BYTES>> capacity;
    std::vector<BusFileFailRule> fail;
    std::vector<BusFileAnswerTime> latency;
    std::uint32_t corrupt_reads = 0;
    SimBoardKind board = SimBoardKind::bridge;
};

struct BusFileAdapter {
    std::string driver;
    std::vector<BusFileDevice> devices;
};

struct BusFile {
    std::string locale = "en_US";
    std::uint32_t lcid = 0x0409;
    std::vector<BusFileAdapter> adapters;
};

/// Checks the bytes of a bus file and reads them. On any problem returns nothing and sets
/// error to what and where ("adapters[0].devices[1].inquiry: 249 bytes, expected 0 to 248
/// bytes").
std::optional<BusFile> parse_bus_file(std::string_view bytes, std::string& error);

/// One device of a bus file as placed on the simulated system.
struct PlacedDevice {
    std::uint8_t host = 0;  ///< the adapter (SCSI port) index
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
    std::shared_ptr<SimBridge> device;
};

/// Builds the devices of bus and lays them out on the simulated Windows NT system of sim, as
/// the class drivers would by each device's type; sets the system locale. Does not install.
std::vector<PlacedDevice> lay_out_bus_file(const BusFile& bus, SimPlatform& sim);

/// The Windows locale identifier of a locale name the bus file may give ("zh_TW"); nothing
/// for a name it does not know.
std::optional<std::uint32_t> bus_file_lcid(std::string_view locale);

}  // namespace korvel
