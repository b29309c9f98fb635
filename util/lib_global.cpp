#include "lib_global.h"

#include <limits>

#include "ui_seam.h"
#include "util_platform_seam.h"

namespace korvel {

namespace {

// The files open through open_file. A handle is its slot's index plus 1, so it is above 0.
struct OpenFileSlot {
    bool in_use = false;
    OsFile file = NO_OS_FILE;
};
OpenFileSlot open_files[MAX_OPEN_FILES];

constexpr std::int32_t ACCESS_MASK = 0x03;
constexpr std::int32_t SHARING_MASK = 0x70;

// The platform file behind a handle, or NO_OS_FILE when the handle is not open.
OsFile file_of(int handle) {
    if (handle < 1 || handle > MAX_OPEN_FILES) return NO_OS_FILE;
    const OpenFileSlot& slot = open_files[handle - 1];
    return slot.in_use ? slot.file : NO_OS_FILE;
}

// Puts an open platform file into a free slot; closes it and returns -1 when none is free.
int adopt(FileSystem& files, OsFile file) {
    for (int index = 0; index < MAX_OPEN_FILES; ++index) {
        OpenFileSlot& slot = open_files[index];
        if (!slot.in_use) {
            slot.in_use = true;
            slot.file = file;
            return index + 1;
        }
    }
    files.close(file);
    return -1;
}

}  // namespace

int show_message(const char* text, const char* caption, std::uint32_t flags) {
    UserInterface* ui = installed_user_interface();
    if (ui == nullptr) return 0;
    ui->bring_to_front();
    return ui->message_box(text != nullptr ? text : "", caption != nullptr ? caption : "", flags);
}

int open_file(const char* path, std::int32_t mode) {
    FileSystem* files = installed_util_platform().files;
    if (files == nullptr) return -1;
    const char* name = path != nullptr ? path : "";
    if (mode == OPEN_CREATE) {
        // Create or empty the file, then reopen it for reading and writing in the ordinary way.
        const OsFile created = files->create_file(name);
        if (created == NO_OS_FILE) return -1;
        files->close(created);
        mode = OPEN_READ_WRITE;
    }
    const OsFile file = files->open_file(name, mode & ACCESS_MASK, mode & SHARING_MASK);
    if (file == NO_OS_FILE) return -1;
    return adopt(*files, file);
}

std::int32_t file_read(int handle, void* buffer, std::uint32_t size) {
    FileSystem* files = installed_util_platform().files;
    const OsFile file = file_of(handle);
    if (files == nullptr || file == NO_OS_FILE || (buffer == nullptr && size != 0)) return -1;
    if (size > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) return -1;
    // The platform may return fewer bytes than asked before the end; read on until the end.
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::uint32_t total = 0;
    while (total < size) {
        const std::int64_t count = files->read(file, bytes + total, size - total);
        if (count < 0) return -1;
        if (count == 0) break;
        total += static_cast<std::uint32_t>(count);
    }
    return static_cast<std::int32_t>(total);
}

std::int32_t file_write(int handle, const void* buffer, std::uint32_t size) {
    FileSystem* files = installed_util_platform().files;
    const OsFile file = file_of(handle);
    if (files == nullptr || file == NO_OS_FILE || (buffer == nullptr && size != 0)) return -1;
    if (size > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) return -1;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::uint32_t total = 0;
    while (total < size) {
        const std::int64_t count = files->write(file, bytes + total, size - total);
        if (count <= 0) return -1;
        total += static_cast<std::uint32_t>(count);
    }
    return static_cast<std::int32_t>(total);
}

std::int64_t file_seek(int handle, std::int64_t offset, int origin) {
    FileSystem* files = installed_util_platform().files;
    const OsFile file = file_of(handle);
    if (files == nullptr || file == NO_OS_FILE) return -1;
    if (origin != SEEK_FROM_START && origin != SEEK_FROM_CURRENT && origin != SEEK_FROM_END) {
        return -1;
    }
    return files->seek(file, offset, origin);
}

std::int64_t file_size(int handle) {
    const std::int64_t position = file_seek(handle, 0, SEEK_FROM_CURRENT);
    if (position < 0) return -1;
    const std::int64_t size = file_seek(handle, 0, SEEK_FROM_END);
    // Put the position back even when the end could not be found.
    if (file_seek(handle, position, SEEK_FROM_START) != position) return -1;
    return size;
}

int file_close(int handle) {
    FileSystem* files = installed_util_platform().files;
    const OsFile file = file_of(handle);
    if (file == NO_OS_FILE) return -1;
    if (files != nullptr) files->close(file);
    open_files[handle - 1] = OpenFileSlot{};
    return 0;
}

}  // namespace korvel
