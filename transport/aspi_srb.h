// ASPI for Win32 request blocks (SRBs) and their constants.
//
// These are the only currency between the command library and the transport. They keep the
// published byte layout, because a real wnaspi32.dll reads and writes these very bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvel {

// Command codes (SRB_Cmd).
inline constexpr std::uint8_t SC_HA_INQUIRY = 0x00;
inline constexpr std::uint8_t SC_GET_DEV_TYPE = 0x01;
inline constexpr std::uint8_t SC_EXEC_SCSI_CMD = 0x02;
inline constexpr std::uint8_t SC_ABORT_SRB = 0x03;
inline constexpr std::uint8_t SC_RESET_DEV = 0x04;

// Status values (SRB_Status).
inline constexpr std::uint8_t SS_PENDING = 0x00;
inline constexpr std::uint8_t SS_COMP = 0x01;
inline constexpr std::uint8_t SS_ERR = 0x04;
inline constexpr std::uint8_t SS_NO_DEVICE = 0x82;
// The platform refused the pass-through as an invalid parameter (a transfer it cannot take).
inline constexpr std::uint8_t SS_BUFFER_TOO_BIG = 0xE6;

// Request flags (SRB_Flags): the direction of the data phase.
inline constexpr std::uint8_t SRB_DIR_IN = 0x08;
inline constexpr std::uint8_t SRB_DIR_OUT = 0x10;
inline constexpr std::uint8_t SRB_DIR_NONE = 0x00;

// SCSI status bytes the transport looks at.
inline constexpr std::uint8_t SCSI_STATUS_GOOD = 0x00;
inline constexpr std::uint8_t SCSI_STATUS_CHECK_CONDITION = 0x02;
inline constexpr std::uint8_t SCSI_STATUS_BUSY = 0x08;

inline constexpr std::size_t SENSE_AREA_SIZE = 16;
inline constexpr std::size_t CDB_MAX_SIZE = 16;

#pragma pack(push, 1)

struct SRB_Header {
    std::uint8_t SRB_Cmd;
    std::uint8_t SRB_Status;
    std::uint8_t SRB_HaId;
    std::uint8_t SRB_Flags;
    std::uint32_t SRB_Hdr_Rsvd;
};

// SC_HA_INQUIRY: 60 bytes, no pointers, so the same on every build.
struct SRB_HAInquiry {
    std::uint8_t SRB_Cmd;
    std::uint8_t SRB_Status;
    std::uint8_t SRB_HaId;
    std::uint8_t SRB_Flags;
    std::uint32_t SRB_Hdr_Rsvd;
    std::uint8_t HA_Count;
    std::uint8_t HA_SCSI_ID;
    std::uint8_t HA_ManagerId[16];
    std::uint8_t HA_Identifier[16];
    std::uint8_t HA_Unique[16];
    std::uint16_t HA_Rsvd1;
};

// SC_EXEC_SCSI_CMD: 80 bytes with 32-bit pointers.
//
// The two pointer fields are declared as real pointers. In a 32-bit build (the only build that
// can load the 32-bit wnaspi32.dll) that gives exactly the published 80-byte layout. A 64-bit
// build cannot load a 32-bit library at all; there the block is only ever read by our own
// emulation or by a 64-bit ASPI library compiled from the same published header, which sees
// the pointers widened in place. So the buffer pointer travels as a native pointer, the field
// order stays the published one, and the fields after each pointer move up by 4 bytes (88 in
// all). Squeezing a 64-bit address into 32 bits, or hiding it in a reserved field, would
// break any such library for no gain.
struct SRB_ExecSCSICmd {
    std::uint8_t SRB_Cmd;
    std::uint8_t SRB_Status;
    std::uint8_t SRB_HaId;
    std::uint8_t SRB_Flags;
    std::uint32_t SRB_Hdr_Rsvd;
    std::uint8_t SRB_Target;
    std::uint8_t SRB_Lun;
    std::uint16_t SRB_Rsvd1;
    std::uint32_t SRB_BufLen;
    std::uint8_t* SRB_BufPointer;
    std::uint8_t SRB_SenseLen;
    std::uint8_t SRB_CDBLen;
    std::uint8_t SRB_HaStat;
    std::uint8_t SRB_TargStat;
    void* SRB_PostProc;
    std::uint8_t SRB_Rsvd2[20];
    std::uint8_t CDBByte[CDB_MAX_SIZE];
    std::uint8_t SenseArea[SENSE_AREA_SIZE];
};

#pragma pack(pop)

// The published layout, checked field by field.
static_assert(sizeof(SRB_Header) == 8);
static_assert(offsetof(SRB_Header, SRB_Status) == 1);
static_assert(offsetof(SRB_Header, SRB_Hdr_Rsvd) == 4);

static_assert(sizeof(SRB_HAInquiry) == 60);
static_assert(offsetof(SRB_HAInquiry, SRB_Status) == 1);
static_assert(offsetof(SRB_HAInquiry, SRB_HaId) == 2);
static_assert(offsetof(SRB_HAInquiry, SRB_Flags) == 3);
static_assert(offsetof(SRB_HAInquiry, HA_Count) == 8);
static_assert(offsetof(SRB_HAInquiry, HA_SCSI_ID) == 9);
static_assert(offsetof(SRB_HAInquiry, HA_ManagerId) == 10);
static_assert(offsetof(SRB_HAInquiry, HA_Identifier) == 26);
static_assert(offsetof(SRB_HAInquiry, HA_Unique) == 42);
static_assert(offsetof(SRB_HAInquiry, HA_Rsvd1) == 58);

static_assert(offsetof(SRB_ExecSCSICmd, SRB_Status) == 1);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaId) == 2);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Flags) == 3);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 8);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Lun) == 9);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd1) == 10);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16);

// Everything after the buffer pointer moves by the pointer's extra width, and everything after
// the post-processing pointer by twice that: zero in a 32-bit build.
inline constexpr std::size_t SRB_POINTER_WIDENING = sizeof(void*) - 4;
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 20 + SRB_POINTER_WIDENING);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 21 + SRB_POINTER_WIDENING);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 22 + SRB_POINTER_WIDENING);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 23 + SRB_POINTER_WIDENING);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24 + SRB_POINTER_WIDENING);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2) == 28 + 2 * SRB_POINTER_WIDENING);
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48 + 2 * SRB_POINTER_WIDENING);
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64 + 2 * SRB_POINTER_WIDENING);
static_assert(sizeof(SRB_ExecSCSICmd) == 80 + 2 * SRB_POINTER_WIDENING);
static_assert(sizeof(void*) != 4 || sizeof(SRB_ExecSCSICmd) == 80);

}  // namespace korvel
