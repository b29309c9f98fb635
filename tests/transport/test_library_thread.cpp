// A request that the ASPI library completes on its own thread after the send call returned.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "aspi_srb.h"
#include "lib_wnaspi32.h"
#include "sim_device_catalog.h"
#include "sim_platform.h"

namespace korvel {
namespace {

TEST(LibraryThread, RequestCompletesAfterSendReturned) {
    SimPlatform sim;
    sim.identity.set_family(PlatformFamily::windows_9x);
    const std::uint8_t host = sim.aspi.add_host("AIC-7880");
    sim.aspi.attach(host, 4, 0, make_disk());
    sim.aspi.complete_on_worker(std::chrono::milliseconds(20));
    sim.install();

    aspi_load();
    ASSERT_EQ(aspi_support_info(), 0x0101u);

    std::uint8_t data[36] = {};
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = host;
    srb.SRB_Target = 4;
    srb.SRB_Flags = SRB_DIR_IN;
    srb.SRB_BufLen = sizeof data;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = 14;
    srb.SRB_CDBLen = 6;
    const std::uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
    std::memcpy(srb.CDBByte, inquiry, sizeof inquiry);

    EXPECT_EQ(aspi_send_command(&srb), SS_PENDING);
    std::atomic_ref<std::uint8_t> status(srb.SRB_Status);
    while (status.load(std::memory_order_acquire) == SS_PENDING) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(status.load(std::memory_order_acquire), SS_COMP);
    EXPECT_EQ(std::memcmp(data + 8, "SEAGATE ", 8), 0);
    aspi_unload();
}

}  // namespace
}  // namespace korvel
