// The request blocks as this build lays them out. The 32-bit build is the one that hands its
// blocks to a real wnaspi32.dll, so there every size and offset must be the published one;
// the 64-bit build widens the two pointers in place.
#include "aspi_srb.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace korvel {
namespace {

TEST(WineRequestBlocks, HostAdapterInquiryIsTheSameOnEveryBuild) {
    EXPECT_EQ(sizeof(SRB_HAInquiry), 60u);
    EXPECT_EQ(offsetof(SRB_HAInquiry, HA_Count), 8u);
    EXPECT_EQ(offsetof(SRB_HAInquiry, HA_SCSI_ID), 9u);
    EXPECT_EQ(offsetof(SRB_HAInquiry, HA_ManagerId), 10u);
    EXPECT_EQ(offsetof(SRB_HAInquiry, HA_Identifier), 26u);
    EXPECT_EQ(offsetof(SRB_HAInquiry, HA_Unique), 42u);
    EXPECT_EQ(offsetof(SRB_HAInquiry, HA_Rsvd1), 58u);
}

TEST(WineRequestBlocks, ExecuteBlockHasThePublishedLayoutIn32BitBuilds) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "the published layout binds 32-bit builds";
    EXPECT_EQ(sizeof(SRB_ExecSCSICmd), 80u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_Cmd), 0u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_Status), 1u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_HaId), 2u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_Flags), 3u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_Hdr_Rsvd), 4u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_Target), 8u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_Lun), 9u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_Rsvd1), 10u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_BufLen), 12u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_BufPointer), 16u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_SenseLen), 20u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_CDBLen), 21u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_HaStat), 22u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_TargStat), 23u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_PostProc), 24u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2), 28u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, CDBByte), 48u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SenseArea), 64u);
}

TEST(WineRequestBlocks, ExecuteBlockWidensItsPointersIn64BitBuilds) {
    if (sizeof(void*) != 8) GTEST_SKIP() << "only 64-bit builds widen the pointers";
    EXPECT_EQ(sizeof(SRB_ExecSCSICmd), 88u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_BufPointer), 16u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_SenseLen), 24u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SRB_PostProc), 28u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, CDBByte), 56u);
    EXPECT_EQ(offsetof(SRB_ExecSCSICmd, SenseArea), 72u);
}

TEST(WineRequestBlocks, BufferPointerLandsWhereTheLibraryReadsIt) {
    // Bytes 16 on hold the caller's buffer address, in the build's own pointer width.
    std::uint8_t data[4];
    SRB_ExecSCSICmd srb{};
    srb.SRB_BufPointer = data;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&srb);
    std::uintptr_t stored = 0;
    for (std::size_t i = 0; i < sizeof(void*); ++i) {
        stored |= static_cast<std::uintptr_t>(bytes[16 + i]) << (8 * i);
    }
    EXPECT_EQ(stored, reinterpret_cast<std::uintptr_t>(data));
}

}  // namespace
}  // namespace korvel
