#include "korvel_pv40.h"

#include <algorithm>

#include "lib_aspi_transfer.h"
#include "lib_global.h"

namespace korvel::pv40 {

namespace {

// One-section entry.
std::uint8_t image_buffer[SECTION_SIZE];
std::uint8_t readback_buffer[SECTION_SIZE];
// Two-section entry.
std::uint8_t two_section_buffer[TWO_SECTION_SIZE];
std::uint8_t section_readback_buffer[SECTION_SIZE];

constexpr std::size_t CHIP_CODE_AT = IDENTIFICATION_AT;       // 48
constexpr std::size_t KIND_TAG_AT = IDENTIFICATION_AT + 5;    // 53
constexpr std::size_t MODEL_KIND_TAG_POSITION = 5;
constexpr std::size_t VARIANT_AT = IDENTIFICATION_AT + 12;    // 60
constexpr std::size_t MODEL_VARIANT_POSITION = 12;

constexpr std::int32_t SECOND_SECTION = 2;

// The section buffer commands with the selector bound, in the form the verify loop takes.
int write_first_buffer(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                       std::uint32_t offset, std::uint32_t length, const std::uint8_t* data) {
    return write_buffer_7c(host, target, lun, 1, offset, length, data);
}
int read_first_buffer(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                      std::uint32_t offset, std::uint32_t length, std::uint8_t* data) {
    return read_buffer_7c(host, target, lun, 1, offset, length, data);
}
int write_second_buffer(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                        std::uint32_t offset, std::uint32_t length, const std::uint8_t* data) {
    return write_buffer_7c(host, target, lun, SECOND_SECTION, offset, length, data);
}
int read_second_buffer(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                       std::uint32_t offset, std::uint32_t length, std::uint8_t* data) {
    return read_buffer_7c(host, target, lun, SECOND_SECTION, offset, length, data);
}

std::span<const std::uint8_t> section_of(std::span<const std::uint8_t> file_image, int index) {
    const std::size_t start = static_cast<std::size_t>(index) * SECTION_SIZE;
    if (start >= file_image.size()) return {};
    return file_image.subspan(start, std::min(SECTION_SIZE, file_image.size() - start));
}

}  // namespace

int check_image(const char* model, std::span<const std::uint8_t> image, std::size_t length) {
    if (!image_text_is(image, CHIP_CODE_AT, "PV40", 4)) return CHECK_WRONG_FILE;
    if (!image_matches_model(image, KIND_TAG_AT, model, MODEL_KIND_TAG_POSITION, 4)) {
        return CHECK_WRONG_FILE;
    }
    if (image_byte(image, 0) != FORMAT_MARK) return CHECK_BAD_IMAGE;
    if (!checksum_passes(image, length)) return CHECK_BAD_IMAGE;
    return model_char(model, MODEL_VARIANT_POSITION) == image_byte(image, VARIANT_AT)
               ? CHECK_OK
               : CHECK_WRONG_FILE;
}

int check_two_section_image(const char* model, std::span<const std::uint8_t> file_image) {
    const int first = check_image(model, section_of(file_image, 0), SECTION_SIZE);
    if (first != CHECK_OK) return first;
    return check_image(model, section_of(file_image, 1), SECTION_SIZE);
}

int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image) {
    const DeviceAddress device{host, target, lun};
    lsi_write_preamble(device);
    return write_and_verify(device, write_buffer_78, read_buffer_78, image, readback_buffer);
}

int write_section(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                  std::int32_t section, std::span<const std::uint8_t> data) {
    const DeviceAddress device{host, target, lun};
    lsi_write_preamble(device);
    if (section == SECOND_SECTION) {
        return write_and_verify(device, write_second_buffer, read_second_buffer, data,
                                section_readback_buffer, 2, 2);
    }
    return write_and_verify(device, write_first_buffer, read_first_buffer, data,
                            section_readback_buffer, 1, 2);
}

bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     const char* model, int file) {
    const std::size_t read_count = read_image_from_start(file, image_buffer);
    file_close(file);
    const int checked = refuse_short_file(check_image(model, image_buffer, SECTION_SIZE),
                                          read_count, SECTION_SIZE);
    // This entry goes straight from the question to the write, without a repaint.
    if (!confirm_update(checked, false)) return false;
    report_write_result(write_image(host, target, lun, image_buffer));
    return true;
}

bool update_two_section_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                                 const char* model, int file) {
    const std::size_t read_count = read_image_from_start(file, two_section_buffer);
    file_close(file);
    const int checked = refuse_short_file(check_two_section_image(model, two_section_buffer),
                                          read_count, TWO_SECTION_SIZE);
    if (!confirm_update(checked, true)) return false;
    const std::span<const std::uint8_t> sections(two_section_buffer);
    int result = write_section(host, target, lun, 1, sections.first(SECTION_SIZE));
    if (result == WRITE_OK) {
        result = write_section(host, target, lun, SECOND_SECTION, sections.last(SECTION_SIZE));
    }
    report_write_result(result);
    return true;
}

}  // namespace korvel::pv40
