#include "korvel_pv50.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "aspi_srb.h"
#include "lib_aspi.h"
#include "lib_aspi_transfer.h"
#include "lib_global.h"
#include "progress_seam.h"

namespace korvel::pv50 {

namespace {

std::uint8_t image_buffer[IMAGE_SIZE];
std::uint8_t standard_data[INQUIRY_DATA_SIZE];
std::uint8_t page83_data[INQUIRY_DATA_SIZE];
SRB_ExecSCSICmd standard_request;
SRB_ExecSCSICmd page83_request;

// Image offsets.
constexpr std::size_t CHIP_CODE_AT = IDENTIFICATION_AT;        // 48
constexpr std::size_t SPEED_DIGITS_AT = IDENTIFICATION_AT + 5; // 53
constexpr std::size_t REVISION_AT = IDENTIFICATION_AT + 9;     // 57
constexpr std::size_t ZERO_MARK_AT = 58;                       // "00" at 58-59
constexpr std::size_t NEWER_CHIP_CODE_AT = 232;
constexpr std::size_t PRODUCT_CODE_AT = 237;
constexpr std::size_t PRODUCT_TEXT_AT = 239;
constexpr std::size_t PRODUCT_SPEED_AT = 245;
// Model-text positions.
constexpr std::size_t MODEL_SPEED_POSITION = 5;
constexpr std::size_t MODEL_REVISION_POSITION = 9;
// Standard INQUIRY data: the tail of the product identification.
constexpr std::size_t STANDARD_PRODUCT_TAIL_AT = 23;
constexpr std::size_t STANDARD_SPEED_AT = 29;
// Vital product data page 0x83.
constexpr std::size_t PAGE83_CHIP_CODE_AT = 56;
constexpr std::size_t PAGE83_PRODUCT_CODE_AT = 61;

constexpr std::uint8_t OP_INQUIRY = 0x12;
constexpr std::uint8_t EVPD = 0x01;
constexpr std::uint8_t PAGE_DEVICE_IDENTIFICATION = 0x83;
constexpr std::uint8_t INQUIRY_CDB_LENGTH = 6;

// The revision characters of bridge (r) and image (s) and the image's "00" mark.
struct Revision {
    std::uint8_t bridge;
    std::uint8_t image;
    bool zero_mark;

    bool matches() const { return same_letter_ignoring_case(bridge, image); }
    bool both_digits() const { return is_digit(bridge) && is_digit(image); }
    static bool is_digit(std::uint8_t c) { return c >= '0' && c <= '9'; }
};

Revision revision_of(const char* model, std::span<const std::uint8_t> image) {
    return {model_char(model, MODEL_REVISION_POSITION), image_byte(image, REVISION_AT),
            image_byte(image, ZERO_MARK_AT) == '0' && image_byte(image, ZERO_MARK_AT + 1) == '0'};
}

bool data_matches_image(std::span<const std::uint8_t> data, std::size_t data_at,
                        std::span<const std::uint8_t> image, std::size_t image_at,
                        std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!same_letter_ignoring_case(image_byte(data, data_at + i),
                                       image_byte(image, image_at + i))) {
            return false;
        }
    }
    return true;
}

bool is_newer_image(std::span<const std::uint8_t> image) {
    return image_text_is(image, NEWER_CHIP_CODE_AT, "PV50", 4);
}

bool bridge_calls_itself_bridge(std::span<const std::uint8_t> standard) {
    return image_text_is(standard, STANDARD_PRODUCT_TAIL_AT, "BRIDGE", 6);
}

// Rule set for the images that name a bus speed in their product text: the bridge's model
// text must carry the same digits; then any of the three revision tests accepts.
int check_by_product_speed(const char* model, std::span<const std::uint8_t> image,
                           std::size_t digit_count) {
    if (!image_matches_model(image, PRODUCT_SPEED_AT, model, MODEL_SPEED_POSITION,
                             digit_count)) {
        return CHECK_WRONG_FILE;
    }
    const Revision revision = revision_of(model, image);
    return (revision.matches() || revision.both_digits() || revision.zero_mark)
               ? CHECK_OK
               : CHECK_WRONG_FILE;
}

int check_newer_image(const char* model, std::span<const std::uint8_t> image,
                      std::span<const std::uint8_t> standard,
                      std::span<const std::uint8_t> page83) {
    const Revision revision = revision_of(model, image);
    if (image_text_is(page83, PAGE83_CHIP_CODE_AT, "PV50", 4)) {
        return data_matches_image(page83, PAGE83_PRODUCT_CODE_AT, image, PRODUCT_CODE_AT, 3)
                   ? CHECK_OK
                   : CHECK_WRONG_FILE;
    }
    if (bridge_calls_itself_bridge(standard)) {
        const bool same_speed =
            data_matches_image(standard, STANDARD_SPEED_AT, image, SPEED_DIGITS_AT, 3);
        return same_speed && (revision.matches() || revision.both_digits() || revision.zero_mark)
                   ? CHECK_OK
                   : CHECK_WRONG_FILE;
    }
    return (revision.matches() || revision.both_digits()) ? CHECK_OK : CHECK_WRONG_FILE;
}

// Sends one INQUIRY of INQUIRY_DATA_SIZE bytes into data, without message processing. The
// status is not judged, but a request that did not complete leaves its buffer all zero.
void send_inquiry(SRB_ExecSCSICmd& srb, const DeviceAddress& device, std::uint8_t evpd,
                  std::uint8_t page, std::uint8_t* data) {
    std::memset(data, 0, INQUIRY_DATA_SIZE);
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = device.host;
    srb.SRB_Flags = SRB_DIR_IN;
    srb.SRB_Target = device.target;
    srb.SRB_Lun = device.lun;
    srb.SRB_BufLen = INQUIRY_DATA_SIZE;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = SENSE_LENGTH;
    srb.SRB_CDBLen = INQUIRY_CDB_LENGTH;
    srb.CDBByte[0] = OP_INQUIRY;
    srb.CDBByte[1] = static_cast<std::uint8_t>((device.lun << 5) | evpd);
    srb.CDBByte[2] = page;
    srb.CDBByte[4] = static_cast<std::uint8_t>(INQUIRY_DATA_SIZE);
    scsi_execute(srb, false);
    if (std::atomic_ref<std::uint8_t>(srb.SRB_Status).load(std::memory_order_acquire) !=
        SS_COMP) {
        std::memset(data, 0, INQUIRY_DATA_SIZE);
    }
}

}  // namespace

int check_image_same_product(const char* model, std::span<const std::uint8_t> image) {
    if (!image_text_is(image, CHIP_CODE_AT, "PV50", 4)) return CHECK_WRONG_FILE;
    if (image_byte(image, 0) != FORMAT_MARK) return CHECK_BAD_IMAGE;
    if (!checksum_passes(image, IMAGE_SIZE)) return CHECK_BAD_IMAGE;
    const Revision revision = revision_of(model, image);
    if (revision.bridge == revision.image) return CHECK_OK;
    const bool upper_case_letter = revision.image >= 'A' && revision.image <= 'Z';
    return (upper_case_letter && revision.zero_mark) ? CHECK_OK : CHECK_WRONG_FILE;
}

int check_image_general(const char* model, std::span<const std::uint8_t> image,
                        std::span<const std::uint8_t> standard,
                        std::span<const std::uint8_t> page83) {
    if (is_newer_image(image)) return check_newer_image(model, image, standard, page83);

    if (!image_text_is(image, CHIP_CODE_AT, "PV50", 4)) return CHECK_WRONG_FILE;
    if (image_text_is(image, PRODUCT_TEXT_AT, "BRIDGE20", 8)) {
        return check_by_product_speed(model, image, 2);
    }
    if (image_text_is(image, PRODUCT_TEXT_AT, "BRIDGE160", 9) ||
        image_text_is(image, PRODUCT_TEXT_AT, "BRIDGE320", 9)) {
        return check_by_product_speed(model, image, 3);
    }
    // An older image: only its own marks and the exact revision character vouch for it.
    if (image_byte(image, 0) != FORMAT_MARK) return CHECK_BAD_IMAGE;
    if (!checksum_passes(image, IMAGE_SIZE)) return CHECK_BAD_IMAGE;
    return revision_of(model, image).bridge == image_byte(image, REVISION_AT)
               ? CHECK_OK
               : CHECK_WRONG_FILE;
}

int check_image(const char* model, std::span<const std::uint8_t> image,
                std::span<const std::uint8_t> standard, std::span<const std::uint8_t> page83) {
    if (data_matches_image(standard, STANDARD_PRODUCT_TAIL_AT, image, PRODUCT_TEXT_AT, 9)) {
        return check_image_same_product(model, image);
    }
    if (!bridge_calls_itself_bridge(standard) || is_newer_image(image)) {
        return check_image_general(model, image, standard, page83);
    }
    return CHECK_WRONG_FILE;
}

int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image) {
    if (image.empty() || image.size() > IMAGE_SIZE) return WRITE_FAILED;
    const auto length = static_cast<std::uint32_t>(image.size());
    lsi_write_preamble({host, target, lun});
    report_update_step(UpdateStep::writing, 1, 1);
    for (int attempt = 0; attempt < WRITE_ATTEMPTS; ++attempt) {
        if (write_buffer_78(host, target, lun, 0, length, image.data()) == 0) return WRITE_OK;
    }
    return write_buffer_78_upper(host, target, lun, 0, length, image.data()) == 0
               ? WRITE_OK
               : WRITE_FAILED;
}

bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     const char* model, int file) {
    const DeviceAddress device{host, target, lun};
    send_inquiry(page83_request, device, EVPD, PAGE_DEVICE_IDENTIFICATION, page83_data);
    const std::size_t count = read_image_from_start(file, image_buffer);
    file_close(file);
    send_inquiry(standard_request, device, 0, 0, standard_data);

    // The checksum covers the whole buffer with the zeros after a short file; the write
    // carries only the bytes the file held.
    const int check = check_image(model, image_buffer, standard_data, page83_data);
    if (!confirm_update(check, true)) return false;
    report_write_result(write_image(host, target, lun, std::span(image_buffer).first(count)));
    return true;
}

}  // namespace korvel::pv50
