// The simulated ASPI library: loading, its entry points, and requests it completes later on
// its own thread.
#include "sim_aspi_library.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "sim_device_catalog.h"

namespace korvel {
namespace {

std::uint8_t status_now(const SRB_ExecSCSICmd& srb) {
    return std::atomic_ref<const std::uint8_t>(srb.SRB_Status).load(std::memory_order_acquire);
}

SRB_ExecSCSICmd inquiry_srb(std::uint8_t target, std::uint8_t* data) {
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Flags = SRB_DIR_IN;
    srb.SRB_Target = target;
    srb.SRB_BufLen = 36;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = 14;
    srb.SRB_CDBLen = 6;
    srb.CDBByte[0] = 0x12;
    srb.CDBByte[4] = 36;
    return srb;
}

TEST(SimAspiLibrary, LoadsOnlyWhenPresentAndHandsOutWorkingEntryPoints) {
    SimAspiLibrary library;
    library.add_host("aic78xx");
    library.add_host("ncrc810");

    library.set_absent();
    EXPECT_LE(library.load_library("wnaspi32.dll"), 32u);

    library.set_present();
    library.set_missing_entry("GetASPI32SupportInfo");
    const OsHandle module = library.load_library("WNASPI32.DLL");
    ASSERT_GT(module, 32u);
    EXPECT_EQ(library.find_entry(module, "GetASPI32SupportInfo"), nullptr);
    auto send =
        reinterpret_cast<SendAspiCommandFn>(library.find_entry(module, "SendASPI32Command"));
    ASSERT_NE(send, nullptr);

    SRB_HAInquiry ha;
    std::memset(&ha, 0, sizeof ha);
    ha.SRB_Cmd = SC_HA_INQUIRY;
    ha.SRB_HaId = 1;
    EXPECT_EQ(send(&ha) & 0xFF, SS_COMP);
    EXPECT_EQ(ha.HA_Count, 2);
    EXPECT_STREQ(reinterpret_cast<const char*>(ha.HA_Identifier), "ncrc810");

    std::uint8_t data[36] = {};
    SRB_ExecSCSICmd nobody = inquiry_srb(3, data);
    EXPECT_EQ(send(&nobody) & 0xFF, SS_NO_DEVICE);

    library.free_library(module);
    library.free_library(module);
    EXPECT_EQ(library.load_count(), 1u);
    EXPECT_EQ(library.free_count(), 1u);
    EXPECT_EQ(library.bad_frees(), 1u);
    EXPECT_FALSE(library.loaded());
}

TEST(SimAspiLibrary, CompletesLaterOnItsOwnThreadAndPublishesTheStatusLast) {
    SimAspiLibrary library;
    library.add_host("aic78xx");
    auto disk = make_disk("SEAGATE", "ST39173N", "6244");
    library.attach(0, 2, 0, disk);
    const OsHandle module = library.load_library("wnaspi32.dll");
    auto send =
        reinterpret_cast<SendAspiCommandFn>(library.find_entry(module, "SendASPI32Command"));
    ASSERT_NE(send, nullptr);

    library.complete_on_worker(std::chrono::milliseconds(1));
    library.hold_completions();
    std::uint8_t data[36] = {};
    SRB_ExecSCSICmd srb = inquiry_srb(2, data);
    EXPECT_EQ(send(&srb) & 0xFF, SS_PENDING);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(status_now(srb), SS_PENDING) << "held: the block must still be pending";

    library.release_completions();
    while (status_now(srb) == SS_PENDING) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(status_now(srb), SS_COMP);
    EXPECT_EQ(srb.SRB_TargStat, SCSI_STATUS_GOOD);
    EXPECT_EQ(std::string(data + 8, data + 15), "SEAGATE");

    // A CHECK CONDITION on the worker brings its sense with it.
    disk->inject_check_condition(1, fixed_sense(SIM_SENSE_ILLEGAL_REQUEST, 0x24, 0));
    SRB_ExecSCSICmd failing = inquiry_srb(2, data);
    EXPECT_EQ(send(&failing) & 0xFF, SS_PENDING);
    while (status_now(failing) == SS_PENDING)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(status_now(failing), SS_ERR);
    EXPECT_EQ(failing.SRB_TargStat, SCSI_STATUS_CHECK_CONDITION);
    EXPECT_EQ(failing.SenseArea[0], 0x70);
    EXPECT_EQ(failing.SenseArea[12], 0x24);

    library.free_library(module);
    EXPECT_EQ(disk->command_count(), 2u);
}

}  // namespace
}  // namespace korvel
