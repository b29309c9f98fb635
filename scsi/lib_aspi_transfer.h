// Firmware transfer commands: READ BUFFER and WRITE BUFFER with mode byte 0x17 and a buffer ID
// per family and step. Each returns 0 when the request completed (SS_COMP), else -1.
//
// The "16-bit" commands put the low 16 bits of offset and length into the CDB (callers keep
// both within 0..65535) while the data length of the request is the full length argument; the
// "24-bit" commands carry 24 bits of each. Writes process window messages while they wait, and
// most of them pause 100 ms afterwards before the status is taken.
#pragma once

#include <cstdint>

namespace korvel {

/// READ BUFFER, buffer 0x78, 16-bit form: reads back what write_buffer_78 wrote.
int read_buffer_78(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                   std::uint32_t offset, std::uint32_t length, std::uint8_t* buffer);
/// WRITE BUFFER, buffer 0x76, 16-bit form: the PV20 firmware write.
int write_buffer_76(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::uint32_t offset, std::uint32_t length, const std::uint8_t* buffer);
/// WRITE BUFFER, buffer 0x71, 16-bit form: sent with length 0 to prepare some host adapters.
int write_buffer_71(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::uint32_t offset, std::uint32_t length, const std::uint8_t* buffer);
/// WRITE BUFFER, buffer 0x78, 16-bit form with byte 3 = 0x00.
int write_buffer_78(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::uint32_t offset, std::uint32_t length, const std::uint8_t* buffer);
/// WRITE BUFFER, buffer 0x78, 16-bit form with byte 3 = 0x08 (the PV50 fallback write).
int write_buffer_78_upper(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                          std::uint32_t offset, std::uint32_t length,
                          const std::uint8_t* buffer);
/// READ BUFFER, buffer 0x7D when selector is 2, else 0x7C; 16-bit form.
int read_buffer_7c(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                   std::int32_t selector, std::uint32_t offset, std::uint32_t length,
                   std::uint8_t* buffer);
/// WRITE BUFFER, buffer 0x7D when selector is 2, else 0x7C; 16-bit form.
int write_buffer_7c(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::int32_t selector, std::uint32_t offset, std::uint32_t length,
                    const std::uint8_t* buffer);
/// READ BUFFER, buffer 0x62, 24-bit form: the PV70 read-back.
int read_buffer_62(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                   std::uint32_t offset, std::uint32_t length, std::uint8_t* buffer);
/// WRITE BUFFER, buffer 0x64, 24-bit form, no pause: the PV70 image pieces.
int write_buffer_64(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::uint32_t offset, std::uint32_t length, const std::uint8_t* buffer);
/// WRITE BUFFER, buffer 0x61, without data: the value (24 bits) in the offset field ends the
/// PV70 write.
int write_buffer_61(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::uint32_t value);

}  // namespace korvel
