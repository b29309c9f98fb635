// One whole firmware update per family, as the window runs it: the file opened with mode 64,
// update_firmware_for_family with a sound image, the question answered Yes, through the real
// command library and transport to a simulated bridge on a simulated NT port. The simulated
// pass-through completes every request before the send returns, so what remains is the
// program's own pacing and its own work.
//
// The pacing sets a floor that no update can go below: 100 ms after every WRITE BUFFER except
// those to buffer 0x64 (the PV70 pieces), and at least 1 ms after every request completes (the
// wait sleeps one poll interval). Both are counted from the bridge's journal of the update:
//   floor_ms = 100 * (writes with pause) + 1 * (commands)
// and reported next to the wall time, with overhead = wall / floor.
//
// Run: build-bench/tests/bench/bench_family_updates (Release build).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "firmware_images.h"
#include "korvel_family_dispatch.h"
#include "korvel_msg.h"
#include "korvel_runtime_flags.h"
#include "lib_aspi.h"
#include "lib_aspi_bridge.h"
#include "lib_global.h"
#include "linux_util_platform.h"
#include "sim_bridge.h"
#include "sim_bridge_catalog.h"
#include "sim_platform.h"
#include "ui_seam.h"

namespace korvel {
namespace {

using namespace firmware_images;

constexpr double WRITE_PAUSE_MS = 100.0;
constexpr double POLL_MS = 1.0;

// The person at the screen: Yes to the question; remembers the last message shown.
class AnswerYes final : public UserInterface {
public:
    void bring_to_front() override {}
    int message_box(const char* text, const char*, std::uint32_t) override {
        last = text;
        return last == message_text(MSG_CONFIRM_UPDATE) ? ID_YES : ID_OK;
    }
    void process_pending_messages() override {}
    std::string last;
};

// A sound file for the bridge's family and model text.
Bytes sound_file(std::int32_t family, const std::string& model) {
    switch (family) {
        case FAMILY_PV70:
            return pv70_file(pv70_image());
        case FAMILY_PV40_QTZF:
            return pv40_two_section_file(model);
        case FAMILY_PV50: {
            // The default PV50 bridge calls itself "...BRIDGE160": an image for that product.
            Bytes image = bridge_image(family, model);
            pv50_set_product_text(image, "BRIDGE160");
            return image;
        }
        default:
            return bridge_image(family, model);
    }
}

void BM_Update(benchmark::State& state, std::int32_t family, bool lsi) {
    install_os_util_platform();
    AnswerYes ui;
    install_user_interface(&ui);
    set_lsi_adapter(lsi);

    SimPlatform sim;
    const std::shared_ptr<SimBridge> bridge = make_bridge(family);
    sim.nt.lay_out_port(0, "aic78xx", {{0, 2, 0, bridge}});
    sim.install();
    if (scsi_start() != 1) {
        state.SkipWithError("the simulated port did not start");
        return;
    }
    const std::string model = bridge->profile().model_text;
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("korvel-bench-" + std::to_string(family) + ".bin");
    save_file(path.string(), sound_file(family, model));

    double wall_ms = 0, floor_ms = 0, commands = 0, pauses = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bridge->clear_journal();
        const int file = open_file(path.c_str(), OPEN_READ | SHARE_DENY_NONE);
        state.ResumeTiming();

        const auto start = std::chrono::steady_clock::now();
        const int result = update_firmware_for_family(family, 0, 2, 0, model.c_str(), file);
        const auto stop = std::chrono::steady_clock::now();

        state.PauseTiming();
        if (result != UPDATE_WRITTEN || ui.last != message_text(MSG_UPDATE_SUCCEEDED)) {
            state.SkipWithError("the update did not succeed");
            break;
        }
        wall_ms += std::chrono::duration<double, std::milli>(stop - start).count();
        for (const SimJournalEntry& entry : bridge->journal()) {
            commands += 1;
            if (entry.cdb[0] == SIM_OP_WRITE_BUFFER && entry.cdb[2] != SIM_BUFFER_BOARD_WRITE) {
                pauses += 1;
            }
        }
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    if (n > 0) {
        floor_ms = (WRITE_PAUSE_MS * pauses + POLL_MS * commands) / n;
        state.counters["commands"] = commands / n;
        state.counters["pauses"] = pauses / n;
        state.counters["floor_ms"] = floor_ms;
        state.counters["wall_ms"] = wall_ms / n;
        state.counters["overhead"] = floor_ms > 0 ? (wall_ms / n) / floor_ms : 0;
    }

    scsi_stop();
    install_user_interface(nullptr);
    set_lsi_adapter(false);
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

struct Family {
    const char* name;
    std::int32_t code;
};

const Family FAMILIES[] = {
    {"pv20_qtrl", FAMILY_PV20_QTRL}, {"pv20_qtvn", FAMILY_PV20_QTVN},
    {"pv70", FAMILY_PV70},           {"pv30", FAMILY_PV30},
    {"pv40", FAMILY_PV40},           {"pv50", FAMILY_PV50},
    {"pv50a", FAMILY_PV50_9271},     {"pv40_two_sections", FAMILY_PV40_QTZF},
    {"pv30a", FAMILY_PV30_A},        {"pv30c", FAMILY_PV30_C},
};

// Registered at start-up: every family plain, and with the LSI preamble.
const bool registered = [] {
    for (const Family& family : FAMILIES) {
        for (const bool lsi : {false, true}) {
            const std::string name =
                std::string("update/") + family.name + (lsi ? "/lsi" : "");
            benchmark::RegisterBenchmark(name.c_str(), BM_Update, family.code, lsi)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->MinTime(1.0);
        }
    }
    return true;
}();

}  // namespace
}  // namespace korvel

BENCHMARK_MAIN();
