// Pieces shared by the source units of the command library: filling a request block and the
// byte conversions of the command descriptor blocks. Not for use outside scsi/.
#pragma once

#include <cstdint>

#include "aspi_srb.h"

namespace korvel::scsi_detail {

/// Zeroes the whole block and fills the fields every device request carries: command code,
/// address, direction, data buffer and length, sense length and CDB length. The CDB itself is
/// left zero for the caller to write.
void prepare_request(SRB_ExecSCSICmd& srb, std::uint8_t host, std::uint8_t target,
                     std::uint8_t lun, std::uint8_t direction, std::uint8_t* buffer,
                     std::uint32_t length, std::uint8_t cdb_length);

/// Big-endian 32-bit value of four bytes (the first most significant).
std::uint32_t read_be32(const std::uint8_t* bytes);
/// Writes the low 16 bits of a value, high byte first.
void write_be16(std::uint8_t* bytes, std::uint32_t value);
/// Writes the low 24 bits of a value, high byte first.
void write_be24(std::uint8_t* bytes, std::uint32_t value);

/// Waits at least this many milliseconds; with pump, the window goes on handling its messages
/// through the wait (every few milliseconds).
void pause(std::uint32_t milliseconds, bool pump);

/// Whether the request ended with SS_COMP. Read as an acquire load: the status may have been
/// written on the provider's own thread.
bool request_completed(SRB_ExecSCSICmd& srb);

}  // namespace korvel::scsi_detail
