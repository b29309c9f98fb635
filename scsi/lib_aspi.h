// The SCSI command library: typed SCSI commands built as ASPI request blocks, and the wait for
// their completion.
//
// Every operation runs synchronously on the caller's thread and owns one request block for the
// whole run. Results are integer codes (0 success, -1 failure) or output parameters; nothing
// here throws, allocates or shows anything. A request has succeeded only when its SRB_Status
// reads SS_COMP after the wait.
//
// Bridge identification lives in lib_aspi_bridge.h, the firmware transfer commands in
// lib_aspi_transfer.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "aspi_srb.h"

namespace korvel {

/// Sense bytes every device request asks for.
inline constexpr std::uint8_t SENSE_LENGTH = 14;
/// Data length of every INQUIRY the library sends (standard and vital product data).
inline constexpr std::uint32_t INQUIRY_LENGTH = 248;

/// Capacities of the text buffers the callers pass (each including its zero byte).
inline constexpr std::size_t ADAPTER_IDENTIFIER_CAPACITY = 17;
inline constexpr std::size_t VENDOR_TEXT_CAPACITY = 9;
inline constexpr std::size_t PRODUCT_TEXT_CAPACITY = 17;
inline constexpr std::size_t REVISION_TEXT_CAPACITY = 5;
inline constexpr std::size_t INQUIRY_MODEL_CAPACITY = 13;

/// Whether `length` bytes at `data` equal the first `length` characters of `text`, ignoring
/// letter case. Exactly `length` bytes are compared; a zero byte does not end the comparison.
bool same_text_ignoring_case(const std::uint8_t* data, const char* text, std::size_t length);

/// Starts the ASPI service; the host adapter count (0-255), or -1 when the service did not
/// report success.
int scsi_start();
/// Shuts the ASPI service down.
void scsi_stop();
/// Sends a filled execute request and waits until the provider writes its status (or sense).
/// With `pump` the window keeps processing its messages while waiting. No time limit.
void scsi_execute(SRB_ExecSCSICmd& srb, bool pump);
/// HA_Count reported for host adapter 0, or 0 when the inquiry failed.
int adapter_count();
/// Copies the identifier of a host adapter into `text` (at least 17 bytes), zero-terminated
/// and cut at the first control or non-ASCII byte.
void adapter_identifier(std::uint8_t host, char* text);
/// Standard INQUIRY. On failure: device_type -1, removable 0, family_code 0, vendor empty, and
/// product, revision and model untouched. Recognises PV20 bridges (family codes 1 to 3), whose
/// identity texts sit further up in the data and which also yield a model text.
void scsi_inquiry(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                  std::int32_t& device_type, std::int32_t& removable, std::int32_t& family_code,
                  char* model, char* vendor, char* product, char* revision);
/// READ CAPACITY(10): block count (last block address + 1, or 0 when that address is 0) and
/// block length; both 0 on failure. Either output may be null.
void scsi_read_capacity(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                        std::uint32_t* block_count, std::uint32_t* block_length);
/// Operation 0x42 in the READ SUB-CHANNEL layout, sent to a bridge after a firmware write;
/// the data is discarded. 0 on success, -1 on failure.
int read_sub_channel(std::uint8_t host, std::uint8_t target, std::uint8_t lun);

}  // namespace korvel
