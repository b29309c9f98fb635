// A simulated Windows system installed as the platform, and a started transport over it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "aspi_srb.h"
#include "lib_wnaspi32.h"
#include "nt_emulation.h"
#include "sim_device_catalog.h"
#include "sim_platform.h"

namespace korvel {

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override { sim.install(); }
    void TearDown() override { aspi_unload(); }

    // Starts the service the way the command library does: load, then ask for support info.
    std::uint32_t start() {
        aspi_load();
        return aspi_support_info();
    }

    // An execute request as the command library builds it.
    static SRB_ExecSCSICmd exec_request(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                                        const std::uint8_t* cdb, std::uint8_t cdb_length,
                                        std::uint8_t flags, std::uint8_t* buffer,
                                        std::uint32_t length) {
        SRB_ExecSCSICmd srb;
        std::memset(&srb, 0, sizeof srb);
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_HaId = host;
        srb.SRB_Target = target;
        srb.SRB_Lun = lun;
        srb.SRB_Flags = flags;
        srb.SRB_BufLen = length;
        srb.SRB_BufPointer = buffer;
        srb.SRB_SenseLen = 14;
        srb.SRB_CDBLen = cdb_length;
        std::memcpy(srb.CDBByte, cdb, cdb_length);
        return srb;
    }

    // Standard INQUIRY of 36 bytes into buffer.
    static SRB_ExecSCSICmd inquiry_request(std::uint8_t host, std::uint8_t target,
                                           std::uint8_t* buffer) {
        static const std::uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0};
        return exec_request(host, target, 0, cdb, 6, SRB_DIR_IN, buffer, 36);
    }

    // Every handle the enumeration opened is either in the table or closed; after unload none
    // is left open and none was closed twice.
    void expect_every_handle_closed_once() {
        aspi_unload();
        EXPECT_EQ(sim.nt.open_handles(), 0u);
        EXPECT_EQ(sim.nt.double_closes(), 0u);
        EXPECT_EQ(sim.nt.unknown_closes(), 0u);
    }

    SimPlatform sim;
};

}  // namespace korvel
