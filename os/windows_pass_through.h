// The record that IOCTL_SCSI_PASS_THROUGH_DIRECT takes: the platform's SCSI_PASS_THROUGH_DIRECT
// followed by a 4-byte filler and a 32-byte sense buffer, and its conversion from and to the
// transport's platform-neutral request.
//
// SCSI_PASS_THROUGH_DIRECT holds the data buffer pointer, so its size depends on the build:
// 44 bytes in a 32-bit program (the whole record 80 bytes, sense at 48), 56 bytes in a 64-bit
// one (sense at 60). The sense offset is always taken from this record, never written as a
// number.
#pragma once

// platform_seam.h first: its I/O control constants carry the names of <ntddscsi.h>'s macros
// and must be declared before those exist.
#include "platform_seam.h"

#include <windows.h>

#include <ntddscsi.h>

#include <cstddef>

namespace korvel {

/// Bytes of sense data the record has room for.
inline constexpr std::size_t PASS_THROUGH_SENSE_SIZE = 32;

struct WindowsPassThroughRecord {
    SCSI_PASS_THROUGH_DIRECT header;
    ULONG filler;
    UCHAR sense[PASS_THROUGH_SENSE_SIZE];
};

static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == (sizeof(void*) == 8 ? 56 : 44),
              "SCSI_PASS_THROUGH_DIRECT must have the platform's layout");
static_assert(sizeof(void*) != 4 || (sizeof(WindowsPassThroughRecord) == 80 &&
                                     offsetof(WindowsPassThroughRecord, sense) == 48),
              "the 32-bit record is 80 bytes with the sense buffer at 48");
static_assert(sizeof(void*) != 8 || offsetof(WindowsPassThroughRecord, sense) == 60,
              "the 64-bit record has its sense buffer at 60");
static_assert(sizeof(PassThroughRequest::sense) == PASS_THROUGH_SENSE_SIZE);

/// Fills the record for one request: the whole record zeroed first, the CDB cut to 16 bytes,
/// the sense length to the record's sense buffer.
void fill_pass_through_record(const PassThroughRequest& request,
                              WindowsPassThroughRecord& record);

/// Copies what the platform wrote (SCSI status and the sense buffer) back into the request.
void read_pass_through_record(const WindowsPassThroughRecord& record,
                              PassThroughRequest& request);

}  // namespace korvel
