#include "demo_bus.h"

#include <system_error>

#include "firmware_images.h"
#include "sim_bridge_catalog.h"

namespace korvel {

namespace {

namespace images = firmware_images;

// Adapter 0 in target order; 0 stands for the ordinary disk, -1 for the CD-ROM drive, and
// target 7 (the adapter's own ID on a real bus) is left free.
struct Slot {
    std::uint8_t target;
    std::int32_t family_code;
};
constexpr std::int32_t ORDINARY_DISK = 0;
constexpr std::int32_t ORDINARY_CDROM = -1;
constexpr Slot ADAPTER_0[] = {
    {0, 1},  {1, 2},  {2, ORDINARY_DISK}, {3, 3},  {4, 4},  {5, 5},  {6, 6},
    {8, 7},  {9, 8},  {10, ORDINARY_CDROM}, {11, 20}, {12, 21}, {13, 22},
};
constexpr std::uint8_t ADAPTER_1_TARGET = 4;
constexpr const char* ADAPTER_1_MODEL = "PV30-QTHXC-0B1";

// A model text as a file name: letters, digits, '-' and '_' kept, anything else '_'.
std::string file_name_for(const std::string& model) {
    std::string name;
    for (const char c : model) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        name += plain ? c : '_';
    }
    return name + ".bin";
}

DemoDevice bridge_device(std::uint8_t host, std::uint8_t target,
                         std::shared_ptr<SimBridge> bridge) {
    DemoDevice demo;
    demo.host = host;
    demo.target = target;
    demo.family_code = bridge->profile().family_code;
    demo.sample_file = file_name_for(bridge->profile().model_text);
    demo.device = bridge;
    demo.bridge = std::move(bridge);
    return demo;
}

}  // namespace

DemoBus lay_out_demo_bus(SimPlatform& sim) {
    DemoBus bus;
    bus.adapter_0_driver = "aic78xx";
    bus.adapter_1_driver = "Symmpi";

    std::vector<SimPortDevice> port_0;
    for (const Slot& slot : ADAPTER_0) {
        DemoDevice demo;
        if (slot.family_code == ORDINARY_DISK) {
            demo.device = make_plain_disk_with_capacity(17783239);
            demo.target = slot.target;
        } else if (slot.family_code == ORDINARY_CDROM) {
            demo.device = make_cdrom_with_disc();
            demo.target = slot.target;
        } else {
            demo = bridge_device(0, slot.target, make_bridge(slot.family_code));
        }
        port_0.push_back({0, slot.target, 0, demo.device, true});
        bus.devices.push_back(std::move(demo));
    }
    sim.nt.lay_out_port(0, bus.adapter_0_driver, port_0);

    DemoDevice pv30 = bridge_device(
        1, ADAPTER_1_TARGET, make_bridge(5, SimBridgeOptions{}.with_model(ADAPTER_1_MODEL)));
    sim.nt.lay_out_port(1, bus.adapter_1_driver, {{0, ADAPTER_1_TARGET, 0, pv30.device, true}});
    bus.devices.push_back(std::move(pv30));
    return bus;
}

void give_flash_times(const DemoBus& bus) {
    constexpr std::uint8_t WRITE_BUFFER = 0x3B;
    constexpr std::uint8_t READ_BUFFER = 0x3C;
    for (const DemoDevice& demo : bus.devices) {
        if (demo.bridge == nullptr) continue;
        demo.bridge->add_answer_time({WRITE_BUFFER}, 300);
        demo.bridge->add_answer_time({READ_BUFFER}, 50);
    }
}

bool write_demo_firmware_files(const DemoBus& bus, const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return false;
    bool all_written = true;
    for (const DemoDevice& demo : bus.devices) {
        if (demo.bridge == nullptr) continue;
        const std::int32_t code = demo.bridge->profile().family_code;
        all_written &= images::save_file(
            (folder / demo.sample_file).string(),
            images::sound_file(code, demo.bridge->profile().model_text,
                               demo.bridge->inquiry_data()));
    }
    const std::string pv30_model = "PV30-QTRLC-0B1";
    all_written &= images::save_file((folder / DEMO_DAMAGED_FILE).string(),
                                     images::bridge_image(5, pv30_model,
                                                          images::Flaw::bad_checksum));
    all_written &= images::save_file((folder / DEMO_FOREIGN_FILE).string(),
                                     images::bridge_image(5, pv30_model,
                                                          images::Flaw::wrong_chip_code));
    return all_written;
}

}  // namespace korvel
