#include "korvel_pv50a.h"

#include "lib_aspi_transfer.h"
#include "lib_global.h"

namespace korvel::pv50a {

namespace {

std::uint8_t image_buffer[IMAGE_SIZE];
std::uint8_t readback_buffer[IMAGE_SIZE];

constexpr std::size_t CHIP_CODE_AT = IDENTIFICATION_AT;          // 48
constexpr std::size_t AFTER_CHIP_CODE_AT = IDENTIFICATION_AT + 4; // 52
constexpr std::size_t MODEL_AFTER_CHIP_CODE_POSITION = 4;
constexpr std::size_t VARIANT_AT = IDENTIFICATION_AT + 12;       // 60
constexpr std::size_t MODEL_VARIANT_POSITION = 12;

}  // namespace

int check_image(const char* model, std::span<const std::uint8_t> image) {
    if (!image_matches_model(image, IDENTIFICATION_AT, model, 0, 9)) return CHECK_WRONG_FILE;
    if (!image_text_is(image, CHIP_CODE_AT, "PV50", 4)) return CHECK_WRONG_FILE;
    if (model_char(model, MODEL_VARIANT_POSITION) != image_byte(image, VARIANT_AT)) {
        return CHECK_WRONG_FILE;
    }
    if (image_byte(image, 0) != FORMAT_MARK) return CHECK_BAD_IMAGE;
    if (!checksum_passes(image, IMAGE_SIZE)) return CHECK_BAD_IMAGE;
    return model_char(model, MODEL_AFTER_CHIP_CODE_POSITION) ==
                   image_byte(image, AFTER_CHIP_CODE_AT)
               ? CHECK_OK
               : CHECK_WRONG_FILE;
}

int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image) {
    if (image.size() > IMAGE_SIZE) return WRITE_FAILED;
    const DeviceAddress device{host, target, lun};
    lsi_write_preamble(device);
    return write_and_verify(device, write_buffer_78, read_buffer_78, image, readback_buffer);
}

bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     const char* model, int file) {
    const std::size_t count = read_image_from_start(file, image_buffer);
    file_close(file);
    // The checksum covers the whole buffer with the zeros after a short file; the write
    // carries only the bytes the file held.
    if (!confirm_update(check_image(model, image_buffer), true)) return false;
    report_write_result(write_image(host, target, lun, std::span(image_buffer).first(count)));
    return true;
}

}  // namespace korvel::pv50a
