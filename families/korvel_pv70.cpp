#include "korvel_pv70.h"

#include <algorithm>
#include <cstring>

#include "lib_aspi_transfer.h"
#include "lib_global.h"
#include "progress_seam.h"

namespace korvel::pv70 {

namespace {

std::uint8_t header_buffer[HEADER_SIZE];
std::uint8_t image_buffer[IMAGE_SIZE];
std::uint8_t readback_buffer[IMAGE_SIZE];

constexpr std::size_t PRODUCT_TEXT_AT = 0;
constexpr std::size_t CHECKSUM_AT = 14;
constexpr std::size_t MAKER_TEXT_AT = 16;
constexpr std::size_t PIECE_COUNT = IMAGE_SIZE / PIECE_SIZE;

}  // namespace

std::uint16_t word_sum(std::span<const std::uint8_t> image) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        const auto word = static_cast<std::uint16_t>((image[i] << 8) | image_byte(image, i + 1));
        sum = static_cast<std::uint16_t>(sum + word);
    }
    return sum;
}

int check_image(std::span<const std::uint8_t> header, std::span<const std::uint8_t> image) {
    if (!image_text_is(header, PRODUCT_TEXT_AT, "PVM-070 Copier", 14)) return CHECK_WRONG_FILE;
    if (!image_text_is(header, MAKER_TEXT_AT, "TAVRO Technology", 16)) return CHECK_WRONG_FILE;
    const auto stored = static_cast<std::uint16_t>((image_byte(header, CHECKSUM_AT) << 8) |
                                                   image_byte(header, CHECKSUM_AT + 1));
    return word_sum(image) == stored ? CHECK_OK : CHECK_BAD_IMAGE;
}

int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image) {
    if (image.size() != IMAGE_SIZE) return WRITE_FAILED;
    for (std::size_t piece = 0; piece < PIECE_COUNT; ++piece) {
        const std::size_t offset = piece * PIECE_SIZE;
        const auto address = static_cast<std::uint32_t>(BASE_ADDRESS + offset);
        const std::uint8_t* data = image.data() + offset;
        std::uint8_t* back = readback_buffer + offset;
        const int number = static_cast<int>(piece) + 1;
        report_update_step(UpdateStep::writing, number, static_cast<int>(PIECE_COUNT));
        if (write_buffer_64(host, target, lun, address, PIECE_SIZE, data) != 0) {
            return WRITE_FAILED;
        }
        std::memset(back, 0, PIECE_SIZE);
        report_update_step(UpdateStep::verifying, number, static_cast<int>(PIECE_COUNT));
        if (read_buffer_62(host, target, lun, address, PIECE_SIZE, back) != 0) {
            return WRITE_FAILED;
        }
        if (std::memcmp(back, data, PIECE_SIZE) != 0) return WRITE_FAILED;
    }
    // The board finishes the update on this command; what it answers does not change the
    // outcome, every piece has already been read back intact.
    write_buffer_61(host, target, lun, BASE_ADDRESS);
    return WRITE_OK;
}

bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun, int file) {
    std::fill(std::begin(image_buffer), std::end(image_buffer), std::uint8_t{0});
    // The image follows the header; when the header cannot be read whole, neither can it.
    std::size_t image_count = 0;
    if (read_image_from_start(file, header_buffer) == HEADER_SIZE) {
        image_count = read_image_here(file, image_buffer);
    }
    file_close(file);
    const int checked =
        refuse_short_file(check_image(header_buffer, image_buffer), image_count, IMAGE_SIZE);
    if (!confirm_update(checked, true)) return false;
    report_write_result(write_image(host, target, lun, image_buffer));
    return true;
}

}  // namespace korvel::pv70
