// Firmware transfer commands.
#include "lib_aspi_transfer.h"

#include "aspi_srb.h"
#include "lib_aspi.h"
#include "lib_aspi_request.h"
#include "thread_seam.h"

namespace korvel {

namespace {

constexpr std::uint8_t OP_WRITE_BUFFER = 0x3B;
constexpr std::uint8_t OP_READ_BUFFER = 0x3C;
constexpr std::uint8_t BUFFER_MODE = 0x17;
constexpr std::uint8_t TRANSFER_CDB_LENGTH = 10;

constexpr std::uint8_t BUFFER_61 = 0x61;
constexpr std::uint8_t BUFFER_62 = 0x62;
constexpr std::uint8_t BUFFER_64 = 0x64;
constexpr std::uint8_t BUFFER_71 = 0x71;
constexpr std::uint8_t BUFFER_76 = 0x76;
constexpr std::uint8_t BUFFER_78 = 0x78;
constexpr std::uint8_t BUFFER_7C = 0x7C;
constexpr std::uint8_t BUFFER_7D = 0x7D;

// Byte 3 of the 16-bit form: 0x08 addresses the upper area of buffer 0x78.
constexpr std::uint8_t LOWER_AREA = 0x00;
constexpr std::uint8_t UPPER_AREA = 0x08;

// Time the bridge is given after a write before its status is taken.
constexpr std::uint32_t WRITE_PAUSE_MS = 100;

// One request block per operation, for the whole run.
SRB_ExecSCSICmd read_78_request;
SRB_ExecSCSICmd write_76_request;
SRB_ExecSCSICmd write_71_request;
SRB_ExecSCSICmd write_78_request;
SRB_ExecSCSICmd write_78_upper_request;
SRB_ExecSCSICmd read_7c_request;
SRB_ExecSCSICmd write_7c_request;
SRB_ExecSCSICmd read_62_request;
SRB_ExecSCSICmd write_64_request;
SRB_ExecSCSICmd write_61_request;

enum class Form : std::uint8_t { short_16, long_24 };

struct Transfer {
    std::uint8_t operation;
    std::uint8_t buffer_id;
    Form form;
    std::uint8_t area;  // byte 3 in the 16-bit form
    bool pump;
    bool pause;
};

// The data-out commands hand a read-only buffer to the request block, whose pointer field is
// shared by both directions; the provider only reads from it for data out.
std::uint8_t* request_buffer(const std::uint8_t* buffer) { return const_cast<std::uint8_t*>(buffer); }

int run_transfer(SRB_ExecSCSICmd& srb, const Transfer& transfer, std::uint8_t host,
                 std::uint8_t target, std::uint8_t lun, std::uint32_t offset,
                 std::uint32_t length, std::uint8_t* buffer, std::uint8_t direction) {
    scsi_detail::prepare_request(srb, host, target, lun, direction, buffer, length,
                                 TRANSFER_CDB_LENGTH);
    std::uint8_t* cdb = srb.CDBByte;
    cdb[0] = transfer.operation;
    cdb[1] = BUFFER_MODE;  // the LUN is not encoded in these commands
    cdb[2] = transfer.buffer_id;
    if (transfer.form == Form::short_16) {
        cdb[3] = transfer.area;
        scsi_detail::write_be16(cdb + 4, offset);
        scsi_detail::write_be16(cdb + 7, length);
    } else {
        scsi_detail::write_be24(cdb + 3, offset);
        scsi_detail::write_be24(cdb + 6, length);
    }
    scsi_execute(srb, transfer.pump);
    if (transfer.pause) scsi_detail::pause(WRITE_PAUSE_MS, transfer.pump);
    return scsi_detail::request_completed(srb) ? 0 : -1;
}

constexpr Transfer read_16(std::uint8_t buffer_id) {
    return {OP_READ_BUFFER, buffer_id, Form::short_16, LOWER_AREA, false, false};
}

constexpr Transfer write_16(std::uint8_t buffer_id, std::uint8_t area) {
    return {OP_WRITE_BUFFER, buffer_id, Form::short_16, area, true, true};
}

std::uint8_t selected_buffer(std::int32_t selector) { return selector == 2 ? BUFFER_7D : BUFFER_7C; }

}  // namespace

int read_buffer_78(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                   std::uint32_t offset, std::uint32_t length, std::uint8_t* buffer) {
    return run_transfer(read_78_request, read_16(BUFFER_78), host, target, lun, offset, length,
                        buffer, SRB_DIR_IN);
}

int write_buffer_76(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::uint32_t offset, std::uint32_t length, const std::uint8_t* buffer) {
    return run_transfer(write_76_request, write_16(BUFFER_76, LOWER_AREA), host, target, lun,
                        offset, length, request_buffer(buffer), SRB_DIR_OUT);
}

int write_buffer_71(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::uint32_t offset, std::uint32_t length, const std::uint8_t* buffer) {
    return run_transfer(write_71_request, write_16(BUFFER_71, LOWER_AREA), host, target, lun,
                        offset, length, request_buffer(buffer), SRB_DIR_OUT);
}

int write_buffer_78(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::uint32_t offset, std::uint32_t length, const std::uint8_t* buffer) {
    return run_transfer(write_78_request, write_16(BUFFER_78, LOWER_AREA), host, target, lun,
                        offset, length, request_buffer(buffer), SRB_DIR_OUT);
}

int write_buffer_78_upper(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                          std::uint32_t offset, std::uint32_t length,
                          const std::uint8_t* buffer) {
    return run_transfer(write_78_upper_request, write_16(BUFFER_78, UPPER_AREA), host, target,
                        lun, offset, length, request_buffer(buffer), SRB_DIR_OUT);
}

int read_buffer_7c(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                   std::int32_t selector, std::uint32_t offset, std::uint32_t length,
                   std::uint8_t* buffer) {
    return run_transfer(read_7c_request, read_16(selected_buffer(selector)), host, target, lun,
                        offset, length, buffer, SRB_DIR_IN);
}

int write_buffer_7c(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::int32_t selector, std::uint32_t offset, std::uint32_t length,
                    const std::uint8_t* buffer) {
    return run_transfer(write_7c_request, write_16(selected_buffer(selector), LOWER_AREA), host,
                        target, lun, offset, length, request_buffer(buffer), SRB_DIR_OUT);
}

int read_buffer_62(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                   std::uint32_t offset, std::uint32_t length, std::uint8_t* buffer) {
    constexpr Transfer transfer{OP_READ_BUFFER, BUFFER_62, Form::long_24, 0, false, false};
    return run_transfer(read_62_request, transfer, host, target, lun, offset, length, buffer,
                        SRB_DIR_IN);
}

int write_buffer_64(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::uint32_t offset, std::uint32_t length, const std::uint8_t* buffer) {
    constexpr Transfer transfer{OP_WRITE_BUFFER, BUFFER_64, Form::long_24, 0, true, false};
    return run_transfer(write_64_request, transfer, host, target, lun, offset, length,
                        request_buffer(buffer), SRB_DIR_OUT);
}

int write_buffer_61(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                    std::uint32_t value) {
    // No data phase: the value travels in the offset field, the length field stays 0.
    constexpr Transfer transfer{OP_WRITE_BUFFER, BUFFER_61, Form::long_24, 0, true, true};
    return run_transfer(write_61_request, transfer, host, target, lun, value, 0, nullptr,
                        SRB_DIR_NONE);
}

}  // namespace korvel
