// libFuzzer target over korvel-sim's input readers: arbitrary bytes read as a bus file and as
// a script, as korvel-sim reads them once they are off the disk.
//
// Besides staying clean under the sanitizers, each reader must
//   - give either a result or the reason it has none, never both and never neither;
//   - give a bus whose every device a simulated device can stand for: it answers its standard
//     INQUIRY data and each of its vital product data pages, whatever their length.
// A broken rule ends the run with abort(), which libFuzzer records as a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim_bus_file.h"
#include "sim_device.h"
#include "sim_script.h"

namespace {

using namespace korvel;

constexpr std::uint8_t OP_INQUIRY = 0x12;
constexpr std::uint8_t EVPD = 0x01;

void require(bool rule) {
    if (!rule) std::abort();
}

// A device built from the file's description answers INQUIRY and every page it was given.
void ask_every_page(const BusFileDevice& described) {
    SimDevice device(described.inquiry);
    for (const auto& [code, bytes] : described.pages) device.set_vpd_page(code, bytes);
    std::vector<std::uint8_t> answer(0xFF);
    const auto ask = [&](std::uint8_t flags, std::uint8_t page) {
        const std::uint8_t cdb[6] = {OP_INQUIRY, flags, page, 0, 0xFF, 0};
        SimCommand command;
        command.cdb = cdb;
        command.direction = SimDirection::in;
        command.data = answer.data();
        command.length = static_cast<std::uint32_t>(answer.size());
        require(device.deliver(command).result.status == SCSI_STATUS_GOOD);
    };
    ask(0, 0);
    for (const auto& page : described.pages) ask(EVPD, page.first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exactly sized copy, so a read past the end is caught.
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    std::string error;
    const std::optional<BusFile> bus = parse_bus_file(bytes, error);
    require(bus.has_value() == error.empty());
    if (bus) {
        for (const BusFileAdapter& adapter : bus->adapters) {
            for (const BusFileDevice& device : adapter.devices) ask_every_page(device);
        }
    }

    error.clear();
    const auto steps = parse_script(bytes, "/scripts", error);
    require(steps.has_value() == error.empty());
    return 0;
}
