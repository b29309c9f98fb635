#include "korvel_pv30.h"

#include <algorithm>

#include "lib_aspi_transfer.h"
#include "lib_global.h"
#include "util_platform_seam.h"

namespace korvel::pv30 {

namespace {

std::uint8_t image_buffer[IMAGE_SIZE];
std::uint8_t readback_buffer[IMAGE_SIZE];

constexpr std::size_t CHIP_CODE_AT = IDENTIFICATION_AT;       // 48
constexpr std::size_t KIND_TAG_AT = IDENTIFICATION_AT + 5;    // 53
constexpr std::size_t MODEL_KIND_TAG_POSITION = 5;
constexpr std::size_t VARIANT_AT = IDENTIFICATION_AT + 12;    // 60
constexpr std::size_t MODEL_VARIANT_POSITION = 12;

// A bridge of variant "N" runs the firmware of variants "B" and "Q" as well.
bool n_bridge_takes(std::uint8_t device_letter, std::uint8_t image_letter) {
    return device_letter == 'N' && (image_letter == 'B' || image_letter == 'Q');
}

}  // namespace

int check_image(const char* model, std::span<const std::uint8_t> image) {
    const std::uint8_t device_letter = model_char(model, MODEL_VARIANT_POSITION);
    const std::uint8_t image_letter = image_byte(image, VARIANT_AT);
    if (!image_text_is(image, CHIP_CODE_AT, "PV30", 4)) return CHECK_WRONG_FILE;
    if (!image_matches_model(image, KIND_TAG_AT, model, MODEL_KIND_TAG_POSITION, 4) &&
        !n_bridge_takes(device_letter, image_letter)) {
        return CHECK_WRONG_FILE;
    }
    if (image_byte(image, 0) != FORMAT_MARK) return CHECK_BAD_IMAGE;
    if (!checksum_passes(image, IMAGE_SIZE)) return CHECK_BAD_IMAGE;
    if (device_letter == image_letter || n_bridge_takes(device_letter, image_letter)) {
        return CHECK_OK;
    }
    return CHECK_WRONG_FILE;
}

int write_image_using(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                      std::span<const std::uint8_t> image, std::span<std::uint8_t> readback) {
    const DeviceAddress device{host, target, lun};
    lsi_write_preamble(device);
    return write_and_verify(device, write_buffer_78, read_buffer_78, image, readback);
}

int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image) {
    return write_image_using(host, target, lun, image, readback_buffer);
}

bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     const char* model, int file) {
    const std::size_t read_count = read_image_from_start(file, image_buffer);
    file_close(file);
    const int checked = refuse_short_file(check_image(model, image_buffer), read_count, IMAGE_SIZE);
    if (!confirm_update(checked, true)) return false;
    report_write_result(write_image(host, target, lun, image_buffer));
    return true;
}

std::size_t read_variant_image(int file, std::uint8_t own_letter,
                               std::span<std::uint8_t, IMAGE_SIZE> buffer) {
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    const std::int64_t length = file_size(file);
    if (length == static_cast<std::int64_t>(IMAGE_SIZE)) {
        return read_image_from_start(file, buffer);
    }
    if (length == static_cast<std::int64_t>(DOUBLE_FILE_SIZE)) {
        const std::size_t first_count = read_image_from_start(file, buffer);
        if (buffer[VARIANT_AT] == own_letter) return first_count;
        // The second image replaces the first whole; a short read leaves zeros, not a
        // mixture of both halves.
        return read_image_here(file, buffer);
    }
    // Any other length: the buffer stays zero.
    return 0;
}

bool update_variant_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                             const char* model, int file, std::uint8_t own_letter,
                             std::span<std::uint8_t, IMAGE_SIZE> image,
                             std::span<std::uint8_t, IMAGE_SIZE> readback) {
    const std::size_t read_count = read_variant_image(file, own_letter, image);
    file_close(file);
    const int checked = refuse_short_file(check_image(model, image), read_count, IMAGE_SIZE);
    if (!confirm_update(checked, true)) return false;
    report_write_result(write_image_using(host, target, lun, image, readback));
    return true;
}

}  // namespace korvel::pv30
