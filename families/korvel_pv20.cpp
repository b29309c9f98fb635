#include "korvel_pv20.h"

#include "korvel_runtime_flags.h"
#include "lib_aspi_bridge.h"
#include "lib_aspi_transfer.h"
#include "lib_global.h"
#include "progress_seam.h"

namespace korvel::pv20 {

namespace {

std::uint8_t image_buffer[IMAGE_SIZE];

constexpr std::size_t CHIP_CODE_AT = IDENTIFICATION_AT;       // 48
constexpr std::size_t KIND_TAG_AT = IDENTIFICATION_AT + 5;    // 53
constexpr std::size_t VARIANT_AT = IDENTIFICATION_AT + 11;    // 59
constexpr std::size_t MODEL_VARIANT_POSITION = 11;

bool is_checked_variant(std::uint8_t letter) {
    return letter == 'G' || letter == 'P' || letter == 'V';
}

}  // namespace

int check_image(std::int32_t family_code, const char* model,
                std::span<const std::uint8_t> image) {
    if (!image_text_is(image, CHIP_CODE_AT, "PV20", 4)) return CHECK_WRONG_FILE;
    if (family_code == FAMILY_PV20_QTRL) {
        if (!image_text_is(image, KIND_TAG_AT, "QTRL", 4)) return CHECK_WRONG_FILE;
    } else if (family_code == FAMILY_PV20_QTVN) {
        if (!image_text_is(image, KIND_TAG_AT, "QTVN", 4)) return CHECK_WRONG_FILE;
    } else {
        // Without a known kind the tag cannot be checked, and an image for another kind of
        // board must never be written: refuse rather than skip the rule.
        return CHECK_WRONG_FILE;
    }
    if (image_byte(image, 0) != FORMAT_MARK || image_byte(image, 1) != 0x7C ||
        image_byte(image, 2) != 0x00) {
        return CHECK_BAD_IMAGE;
    }
    if (!checksum_passes(image, CHECKSUM_SPAN)) return CHECK_BAD_IMAGE;
    if (fae_test_mode()) return CHECK_OK;

    const std::uint8_t device_letter = model_char(model, MODEL_VARIANT_POSITION);
    const std::uint8_t image_letter = image_byte(image, VARIANT_AT);
    if (is_checked_variant(device_letter)) {
        return image_letter == device_letter ? CHECK_OK : CHECK_WRONG_FILE;
    }
    return is_checked_variant(image_letter) ? CHECK_WRONG_FILE : CHECK_OK;
}

int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image) {
    if (image.empty() || image.size() > SHORT_FORM_MAX_LENGTH) return WRITE_FAILED;
    lsi_write_preamble({host, target, lun});
    report_update_step(UpdateStep::writing, 1, 1);
    return write_buffer_76(host, target, lun, 0, static_cast<std::uint32_t>(image.size()),
                           image.data()) == 0
               ? WRITE_OK
               : WRITE_FAILED;
}

bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     std::int32_t family_code, const char* model, int file) {
    const std::size_t read_count = read_image_from_start(file, image_buffer);
    file_close(file);
    const int checked =
        refuse_short_file(check_image(family_code, model, image_buffer), read_count, IMAGE_SIZE);
    if (!confirm_update(checked, true)) return false;
    report_write_result(write_image(host, target, lun, image_buffer));
    return true;
}

}  // namespace korvel::pv20
