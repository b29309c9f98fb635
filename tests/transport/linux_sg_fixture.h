// A simulated Linux system (identity and sg driver) installed as the platform.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "aspi_srb.h"
#include "lib_wnaspi32.h"
#include "nt_emulation.h"
#include "sim_device_catalog.h"
#include "sim_linux_sg.h"
#include "sim_platform.h"

namespace korvel {

class LinuxSgTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.identity.set_family(PlatformFamily::linux_kernel);
        Platform platform = sim.seams();
        platform.linux_sg = &sg;
        install_platform(platform);
    }
    void TearDown() override {
        aspi_unload();
        install_platform(Platform{});
    }

    // Starts the service the way the command library does: load, then ask for support info.
    static std::uint32_t start() {
        aspi_load();
        return aspi_support_info();
    }

    // The node name the handle in a slot was opened by ("" for an empty slot).
    std::string node_at(std::uint32_t host, std::uint32_t target, std::uint32_t lun = 0) {
        const DeviceSlot slot = device_slot(host, target, lun);
        return slot.handle == 0 ? std::string() : sg.handle_name(slot.handle);
    }

    static std::size_t occupied_slots() {
        std::size_t count = 0;
        for (std::uint32_t host = 0; host < MAX_HOSTS; ++host)
            for (std::uint32_t target = 0; target < MAX_TARGETS; ++target)
                for (std::uint32_t lun = 0; lun < MAX_LUNS; ++lun)
                    if (device_slot(host, target, lun).handle != 0) ++count;
        return count;
    }

    // After unload no node is left open and none was closed twice or unknown.
    void expect_every_node_closed_once() {
        aspi_unload();
        EXPECT_EQ(sg.open_handles(), 0u);
        EXPECT_EQ(sg.double_closes(), 0u);
        EXPECT_EQ(sg.unknown_closes(), 0u);
        EXPECT_EQ(occupied_slots(), 0u);
    }

    // An execute request as the command library builds it.
    static SRB_ExecSCSICmd exec_request(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                                        const std::vector<std::uint8_t>& cdb, std::uint8_t flags,
                                        std::uint8_t* buffer, std::uint32_t length) {
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
        srb.SRB_CDBLen = static_cast<std::uint8_t>(std::min<std::size_t>(cdb.size(), 16));
        std::memcpy(srb.CDBByte, cdb.data(), srb.SRB_CDBLen);
        return srb;
    }

    // The adapter identifier of a host as the block holds it, up to its zero or 16 bytes.
    static std::string identifier_of(std::uint8_t host) {
        SRB_HAInquiry srb{};
        srb.SRB_Cmd = SC_HA_INQUIRY;
        srb.SRB_HaId = host;
        aspi_send_command(&srb);
        const std::uint8_t* begin = srb.HA_Identifier;
        const std::uint8_t* end = std::find(begin, begin + 16, std::uint8_t{0});
        return std::string(begin, end);
    }

    SimPlatform sim;
    SimLinuxSg sg;
};

}  // namespace korvel
