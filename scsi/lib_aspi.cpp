// Execution of requests and the standard SCSI commands.
#include "lib_aspi.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "lib_aspi_request.h"
#include "lib_wnaspi32.h"
#include "platform_seam.h"
#include "thread_seam.h"
#include "ui_seam.h"

namespace korvel {

namespace {

// How often a pumped pause lets the window handle its messages.
constexpr std::uint32_t PUMP_INTERVAL_MS = 5;

}  // namespace

namespace scsi_detail {

void prepare_request(SRB_ExecSCSICmd& srb, std::uint8_t host, std::uint8_t target,
                     std::uint8_t lun, std::uint8_t direction, std::uint8_t* buffer,
                     std::uint32_t length, std::uint8_t cdb_length) {
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = host;
    srb.SRB_Flags = direction;
    srb.SRB_Target = target;
    srb.SRB_Lun = lun;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = buffer;
    srb.SRB_SenseLen = SENSE_LENGTH;
    srb.SRB_CDBLen = cdb_length;
}

std::uint32_t read_be32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

void write_be16(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
    bytes[1] = static_cast<std::uint8_t>(value & 0xFFu);
}

void write_be24(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>((value >> 16) & 0xFFu);
    bytes[1] = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
    bytes[2] = static_cast<std::uint8_t>(value & 0xFFu);
}

bool request_completed(SRB_ExecSCSICmd& srb) {
    return std::atomic_ref<std::uint8_t>(srb.SRB_Status).load(std::memory_order_acquire) ==
           SS_COMP;
}

void pause(std::uint32_t milliseconds, bool pump) {
    Threads* threads = installed_platform().threads;
    if (threads == nullptr) return;  // nothing to wait with
    // The bridge needs the time, the window does not: it is pumped as in a request's wait.
    UserInterface* ui = pump ? installed_user_interface() : nullptr;
    // The clock counts whole milliseconds and moves in ticks: GetTickCount every 10 to 16 ms
    // on Windows XP, CLOCK_MONOTONIC cut to milliseconds every 1 ms. Two readings d apart may
    // be up to a tick less than d apart in time, so a pause counted from its first reading
    // could end up to a tick early (and Sleep itself rounds to ticks, so it is no better).
    // The pause counts instead from the first reading that differs from its first: that
    // tick came after the pause began, and a count of whole milliseconds runs at most 1 ms
    // ahead of its tick, so once the clock has moved more than `milliseconds` past it, more
    // than `milliseconds` have passed whatever the tick. The cost is at most one tick.
    const std::uint32_t first = threads->milliseconds();
    std::uint32_t counted_from = first;
    bool counting = false;
    for (;;) {
        if (ui != nullptr) ui->process_pending_messages();
        const std::uint32_t now = threads->milliseconds();
        if (!counting && now != first) {
            counting = true;
            counted_from = now;
        }
        const std::uint32_t waited = now - counted_from;
        if (counting && waited > milliseconds) return;
        threads->sleep(1 + std::min(milliseconds - waited, PUMP_INTERVAL_MS - 1));
    }
}

}  // namespace scsi_detail

using scsi_detail::prepare_request;
using scsi_detail::read_be32;
using scsi_detail::request_completed;

namespace {

constexpr std::uint8_t OP_INQUIRY = 0x12;
constexpr std::uint8_t OP_READ_CAPACITY = 0x25;
constexpr std::uint8_t OP_READ_SUB_CHANNEL = 0x42;
constexpr std::uint8_t CAPACITY_DATA_LENGTH = 8;

constexpr std::uint32_t POLL_INTERVAL_MS = 1;

// The request blocks: one per operation for the whole run, refilled on every call. The two
// adapter operations share the host adapter inquiry.
SRB_HAInquiry adapter_request;
SRB_ExecSCSICmd inquiry_request;
SRB_ExecSCSICmd capacity_request;
SRB_ExecSCSICmd sub_channel_request;

// Data buffers of the commands that read into buffers of their own.
std::uint8_t inquiry_data[INQUIRY_LENGTH];
std::uint8_t capacity_data[CAPACITY_DATA_LENGTH];
std::uint8_t sub_channel_data[INQUIRY_LENGTH];

// Identity texts in standard INQUIRY data, and where a PV20 bridge keeps its own.
constexpr std::size_t VENDOR_LENGTH = 8;
constexpr std::size_t PRODUCT_LENGTH = 16;
constexpr std::size_t REVISION_LENGTH = 4;
constexpr std::size_t PV20_MODEL_LENGTH = 12;
constexpr std::size_t STANDARD_VENDOR_AT = 8;
constexpr std::size_t STANDARD_PRODUCT_AT = 16;
constexpr std::size_t STANDARD_REVISION_AT = 32;
constexpr std::size_t CHIP_TEXT_AT = 44;
constexpr std::size_t KIND_TAG_AT = 49;
constexpr std::size_t PV20_VENDOR_AT = 56;
constexpr std::size_t PV20_PRODUCT_AT = 64;
constexpr std::size_t PV20_REVISION_AT = 80;

std::uint8_t lun_bits(std::uint8_t lun) { return static_cast<std::uint8_t>(lun << 5); }

std::uint8_t read_status_byte(std::uint8_t& status) {
    return std::atomic_ref<std::uint8_t>(status).load(std::memory_order_acquire);
}

// Sends the shared host adapter inquiry and spins until the provider answers. Both providers
// answer at once, so the spin does not sleep.
void send_adapter_inquiry(std::uint8_t host) {
    std::memset(&adapter_request, 0, sizeof adapter_request);
    adapter_request.SRB_Cmd = SC_HA_INQUIRY;
    adapter_request.SRB_HaId = host;
    aspi_send_and_wait(&adapter_request);
}

void copy_text(char* text, const std::uint8_t* data, std::size_t length) {
    std::memcpy(text, data, length);
    text[length] = '\0';
}

// The PV20 kind tags that standard INQUIRY data already reveals: family codes 1 to 3.
std::int32_t pv20_family(const std::uint8_t* data) {
    if (!same_text_ignoring_case(data + CHIP_TEXT_AT, "PV20", 4)) return 0;
    if (same_text_ignoring_case(data + KIND_TAG_AT, "QTRL", 4)) return 1;
    if (same_text_ignoring_case(data + KIND_TAG_AT, "QTWD", 4)) return 2;
    if (same_text_ignoring_case(data + KIND_TAG_AT, "QTVN", 4)) return 3;
    return 0;
}

}  // namespace

bool same_text_ignoring_case(const std::uint8_t* data, const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const auto a = static_cast<unsigned char>(data[i]);
        const auto b = static_cast<unsigned char>(text[i]);
        const auto lower_a = (a >= 'A' && a <= 'Z') ? a + ('a' - 'A') : a;
        const auto lower_b = (b >= 'A' && b <= 'Z') ? b + ('a' - 'A') : b;
        if (lower_a != lower_b) return false;
    }
    return true;
}

int scsi_start() {
    aspi_load();
    const std::uint32_t support = aspi_support_info();
    if (((support >> 8) & 0xFFu) != SS_COMP) return -1;
    return static_cast<int>(support & 0xFFu);
}

void scsi_stop() { aspi_unload(); }

void scsi_execute(SRB_ExecSCSICmd& srb, bool pump) {
    aspi_send_command(&srb);
    // The provider may complete the request on its own thread after the send has returned, so
    // both bytes are loaded afresh on every poll; the acquire pairs with its release store and
    // makes the data it wrote before the status visible here.
    while (read_status_byte(srb.SRB_Status) == SS_PENDING &&
           read_status_byte(srb.SenseArea[0]) == 0) {
        if (pump) {
            if (UserInterface* ui = installed_user_interface()) ui->process_pending_messages();
        }
        // Ends at once when the emulation's worker finishes the request.
        aspi_wait(POLL_INTERVAL_MS);
    }
    // The emulation completes requests on its own thread and writes the status right after the
    // first sense byte: a wait that ended on the sense byte waits for that status too, so the
    // block is never reused while the status is still to come. (A library may never write one.)
    if (!aspi_library_mode()) {
        while (read_status_byte(srb.SRB_Status) == SS_PENDING) platform_yield();
    }
    platform_sleep(POLL_INTERVAL_MS);
}

int adapter_count() {
    send_adapter_inquiry(0);
    if (adapter_request.SRB_Status != SS_COMP) return 0;
    return adapter_request.HA_Count;
}

void adapter_identifier(std::uint8_t host, char* text) {
    send_adapter_inquiry(host);
    // The status is not looked at: a host the provider does not know leaves the field zero.
    copy_text(text, adapter_request.HA_Identifier, sizeof adapter_request.HA_Identifier);
    // Drivers pad or end their names in various ways; the first control character or byte
    // outside ASCII (negative as a signed byte) ends the text. The zero byte stops the scan.
    for (std::size_t i = 0; i < ADAPTER_IDENTIFIER_CAPACITY; ++i) {
        if (static_cast<std::int8_t>(text[i]) < 0x20) {
            text[i] = '\0';
            break;
        }
    }
}

void scsi_inquiry(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                  std::int32_t& device_type, std::int32_t& removable, std::int32_t& family_code,
                  char* model, char* vendor, char* product, char* revision) {
    // Bytes the device does not return must read as zero.
    std::memset(inquiry_data, 0, sizeof inquiry_data);
    prepare_request(inquiry_request, host, target, lun, SRB_DIR_IN, inquiry_data, INQUIRY_LENGTH,
                    6);
    inquiry_request.CDBByte[0] = OP_INQUIRY;
    inquiry_request.CDBByte[1] = lun_bits(lun);
    inquiry_request.CDBByte[4] = static_cast<std::uint8_t>(INQUIRY_LENGTH);
    scsi_execute(inquiry_request, false);

    family_code = 0;
    if (!request_completed(inquiry_request)) {
        vendor[0] = '\0';
        device_type = -1;
        removable = 0;
        return;
    }

    family_code = pv20_family(inquiry_data);
    if (family_code != 0) {
        copy_text(vendor, inquiry_data + PV20_VENDOR_AT, VENDOR_LENGTH);
        copy_text(product, inquiry_data + PV20_PRODUCT_AT, PRODUCT_LENGTH);
        copy_text(revision, inquiry_data + PV20_REVISION_AT, REVISION_LENGTH);
        copy_text(model, inquiry_data + CHIP_TEXT_AT, PV20_MODEL_LENGTH);
    } else {
        copy_text(vendor, inquiry_data + STANDARD_VENDOR_AT, VENDOR_LENGTH);
        copy_text(product, inquiry_data + STANDARD_PRODUCT_AT, PRODUCT_LENGTH);
        copy_text(revision, inquiry_data + STANDARD_REVISION_AT, REVISION_LENGTH);
    }
    device_type = inquiry_data[0] & 0x1F;
    removable = (inquiry_data[1] & 0x80) != 0 ? 1 : 0;
}

void scsi_read_capacity(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                        std::uint32_t* block_count, std::uint32_t* block_length) {
    std::memset(capacity_data, 0, sizeof capacity_data);
    prepare_request(capacity_request, host, target, lun, SRB_DIR_IN, capacity_data,
                    CAPACITY_DATA_LENGTH, 10);
    capacity_request.CDBByte[0] = OP_READ_CAPACITY;
    capacity_request.CDBByte[1] = lun_bits(lun);
    scsi_execute(capacity_request, false);

    std::uint32_t count = 0;
    std::uint32_t length = 0;
    if (request_completed(capacity_request)) {
        const std::uint32_t last_block = read_be32(capacity_data);
        // A last block address of 0 is what devices without a medium report: no blocks.
        count = last_block == 0 ? 0 : last_block + 1;
        length = read_be32(capacity_data + 4);
    }
    if (block_count != nullptr) *block_count = count;
    if (block_length != nullptr) *block_length = length;
}

int read_sub_channel(std::uint8_t host, std::uint8_t target, std::uint8_t lun) {
    std::memset(sub_channel_data, 0, sizeof sub_channel_data);
    prepare_request(sub_channel_request, host, target, lun, SRB_DIR_IN, sub_channel_data,
                    INQUIRY_LENGTH, 10);
    std::uint8_t* cdb = sub_channel_request.CDBByte;
    cdb[0] = OP_READ_SUB_CHANNEL;
    cdb[1] = lun_bits(lun);
    cdb[2] = 0x40;  // sub-channel Q data
    cdb[3] = 0x01;  // data format
    cdb[6] = 0x80;  // track field
    scsi_detail::write_be16(cdb + 7, INQUIRY_LENGTH);
    scsi_execute(sub_channel_request, false);
    return request_completed(sub_channel_request) ? 0 : -1;
}

}  // namespace korvel
