#include "korvel_family.h"

#include <algorithm>
#include <cstring>

#include "korvel_msg.h"
#include "korvel_runtime_flags.h"
#include "korvel_write_span.h"
#include "lib_aspi_transfer.h"
#include "lib_global.h"
#include "ui_seam.h"
#include "util_platform_seam.h"
#include "progress_seam.h"

namespace korvel {

namespace {

std::uint8_t lower_case(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<std::uint8_t>(c + ('a' - 'A')) : c;
}

void show_error(int message) {
    show_message(message_text(message), message_text(MSG_CAPTION_ERROR), MB_ICON_STOP_OK);
}

}  // namespace

std::uint8_t model_char(const char* model, std::size_t position) {
    if (model == nullptr) return 0;
    // Walk up to the position so that a short text is never read past its terminating zero.
    for (std::size_t i = 0; i < position; ++i) {
        if (model[i] == '\0') return 0;
    }
    return static_cast<std::uint8_t>(model[position]);
}

std::uint8_t image_byte(std::span<const std::uint8_t> image, std::size_t offset) {
    return offset < image.size() ? image[offset] : 0;
}

bool same_letter_ignoring_case(std::uint8_t a, std::uint8_t b) {
    return lower_case(a) == lower_case(b);
}

bool bytes_same_ignoring_case(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!same_letter_ignoring_case(a[i], b[i])) return false;
    }
    return true;
}

bool image_text_is(std::span<const std::uint8_t> image, std::size_t offset, const char* text,
                   std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto expected = static_cast<std::uint8_t>(text[i]);
        if (!same_letter_ignoring_case(image_byte(image, offset + i), expected)) return false;
    }
    return true;
}

bool image_matches_model(std::span<const std::uint8_t> image, std::size_t offset,
                         const char* model, std::size_t position, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!same_letter_ignoring_case(image_byte(image, offset + i),
                                       model_char(model, position + i))) {
            return false;
        }
    }
    return true;
}

std::uint8_t byte_sum(std::span<const std::uint8_t> image, std::size_t span_length) {
    const std::size_t present = std::min(span_length, image.size());
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < present; ++i) sum = static_cast<std::uint8_t>(sum + image[i]);
    return sum;
}

bool checksum_passes(std::span<const std::uint8_t> image, std::size_t span_length) {
    return byte_sum(image, span_length) == CHECKSUM_VALUE;
}

std::size_t read_image_here(int file, std::span<std::uint8_t> buffer) {
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    if (buffer.empty()) return 0;
    const std::int32_t count =
        file_read(file, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    if (count < 0) {
        // Part of the data may have arrived before the error: the file counts as empty.
        std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
        return 0;
    }
    return static_cast<std::size_t>(count);
}

std::size_t read_image_from_start(int file, std::span<std::uint8_t> buffer) {
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    if (file_seek(file, 0, SEEK_FROM_START) != 0) return 0;
    return read_image_here(file, buffer);
}

int refuse_short_file(int check_result, std::size_t read_count, std::size_t image_size) {
    if (check_result == CHECK_OK && read_count < image_size) return CHECK_BAD_IMAGE;
    return check_result;
}

bool confirm_update(int check_result, bool process_messages) {
    if (check_result == CHECK_WRONG_FILE) {
        show_error(MSG_WRONG_FIRMWARE_FILE);
        return false;
    }
    if (check_result != CHECK_OK) {
        // Any result other than the two known ones is a rejection as well: never write.
        show_error(MSG_BAD_FIRMWARE);
        return false;
    }
    const int answer = show_message(message_text(MSG_CONFIRM_UPDATE),
                                    message_text(MSG_CAPTION_QUESTION),
                                    MB_ICON_QUESTION_YES_NO_DEFAULT_NO);
    if (answer != ID_YES) return false;
    // From here until the update's last command nothing may cut the write short.
    open_write_span();
    if (process_messages) {
        // Let the window repaint where the question box was before the long write starts.
        if (UserInterface* ui = installed_user_interface()) ui->process_pending_messages();
    }
    return true;
}

void report_write_result(int write_result) {
    report_update_finished(write_result == WRITE_OK);
    if (write_result == WRITE_OK) {
        show_message(message_text(MSG_UPDATE_SUCCEEDED), message_text(MSG_CAPTION_INFORMATION),
                     MB_ICON_INFORMATION_OK);
    } else {
        show_error(MSG_UPDATE_FAILED);
    }
}

void lsi_write_preamble(const DeviceAddress& device) {
    if (!lsi_adapter()) return;
    // Two empty data-out commands; an adapter that refuses them still takes the write.
    write_buffer_71(device.host, device.target, device.lun, 0, 0, nullptr);
    write_buffer_71(device.host, device.target, device.lun, 0, 0, nullptr);
}

int write_and_verify(const DeviceAddress& device, WriteCommand write, ReadCommand read,
                     std::span<const std::uint8_t> image, std::span<std::uint8_t> readback,
                     int piece, int pieces) {
    if (image.empty() || image.size() > SHORT_FORM_MAX_LENGTH || readback.size() < image.size()) {
        return WRITE_FAILED;
    }
    const auto length = static_cast<std::uint32_t>(image.size());
    const std::span<std::uint8_t> back = readback.first(image.size());
    int result = WRITE_FAILED;
    for (int attempt = 0; attempt < WRITE_ATTEMPTS && result != WRITE_OK; ++attempt) {
        result = WRITE_FAILED;
        report_update_step(UpdateStep::writing, piece, pieces);
        if (write(device.host, device.target, device.lun, 0, length, image.data()) != 0) continue;
        std::fill(back.begin(), back.end(), std::uint8_t{0});
        report_update_step(UpdateStep::verifying, piece, pieces);
        // A read-back that does not complete proves nothing: the attempt has failed.
        if (read(device.host, device.target, device.lun, 0, length, back.data()) != 0) continue;
        if (std::memcmp(back.data(), image.data(), image.size()) == 0) result = WRITE_OK;
    }
    return result;
}

}  // namespace korvel
