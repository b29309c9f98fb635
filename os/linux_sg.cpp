#include "linux_sg.h"

#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace korvel {

namespace {

// A handle is the file descriptor plus one, so that descriptor 0 is still a handle and 0
// stays "none".
OsHandle handle_of(int fd) { return static_cast<OsHandle>(fd) + 1; }

int fd_of(OsHandle handle) {
    if (handle == 0 || handle - 1 > static_cast<OsHandle>(INT_MAX)) return -1;
    return static_cast<int>(handle - 1);
}

constexpr std::uint32_t MILLISECONDS_PER_SECOND = 1000;
constexpr std::size_t SENSE_CAPACITY = sizeof(PassThroughRequest::sense);

// The character device major number of the sg driver.
constexpr unsigned int SG_MAJOR_NUMBER = 21;

// Room for the target of /sys/class/scsi_generic/sgN/device, a path of a few directories.
constexpr std::size_t SYSFS_LINK_CAPACITY = 512;

class LinuxSgDriver final : public LinuxScsiGeneric {
public:
    // checked: only read-write opens, never through a link, and only of the sg driver's own
    // character devices (what a program running as root may hand to another one).
    explicit LinuxSgDriver(bool checked) : checked_(checked) {}

    std::size_t list_nodes(SgNodeName* names, std::size_t capacity) override {
        DIR* dev = ::opendir("/dev");
        if (dev == nullptr) return 0;
        std::vector<std::uint32_t> numbers;
        while (const dirent* entry = ::readdir(dev)) {
            std::uint32_t number = 0;
            if (parse_sg_node_name(entry->d_name, &number)) numbers.push_back(number);
        }
        ::closedir(dev);
        std::sort(numbers.begin(), numbers.end());
        const std::size_t count = std::min(numbers.size(), capacity);
        for (std::size_t i = 0; i < count; ++i) {
            std::snprintf(names[i].text, sizeof names[i].text, "/dev/sg%u",
                          static_cast<unsigned>(numbers[i]));
        }
        return count;
    }

    OsHandle open_node(const char* name, OpenAccess access) override {
        // O_NONBLOCK: never wait for another program's exclusive open; SG_IO itself still
        // waits for the command to finish.
        if (checked_) {
            if (access != OpenAccess::read_write) return 0;
            const int fd = ::open(name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) return 0;
            if (sg_device_number(fd) < 0) {
                ::close(fd);
                return 0;
            }
            return handle_of(fd);
        }
        const int mode = access == OpenAccess::read_write ? O_RDWR : O_RDONLY;
        const int fd = ::open(name, mode | O_NONBLOCK | O_CLOEXEC);
        return fd < 0 ? 0 : handle_of(fd);
    }

    bool scsi_id(OsHandle node, SgScsiId& id) override {
        sg_scsi_id answer{};
        if (::ioctl(fd_of(node), SG_GET_SCSI_ID, &answer) < 0) return false;
        id.host_no = answer.host_no;
        id.channel = answer.channel;
        id.scsi_id = answer.scsi_id;
        id.lun = answer.lun;
        id.scsi_type = answer.scsi_type;
        return true;
    }

    SgIoOutcome sg_io(OsHandle node, PassThroughRequest& request,
                      SgTransportStatus& transport) override {
        unsigned char sense[SENSE_CAPACITY] = {};
        const auto sense_wanted =
            static_cast<unsigned char>(std::min<std::size_t>(request.sense_info_length, sizeof sense));
        sg_io_hdr header{};
        header.interface_id = 'S';
        if (request.data_transfer_length == 0) {
            header.dxfer_direction = SG_DXFER_NONE;
        } else {
            header.dxfer_direction = request.data_in != 0 ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
            header.dxfer_len = request.data_transfer_length;
            header.dxferp = request.data_buffer;  // the caller's buffer, no copy of ours
        }
        header.cmd_len = static_cast<unsigned char>(std::min<std::size_t>(request.cdb_length,
                                                                          sizeof request.cdb));
        header.cmdp = request.cdb;
        header.mx_sb_len = sense_wanted;
        header.sbp = sense;
        const std::uint64_t timeout_ms =
            std::uint64_t{request.timeout_seconds} * MILLISECONDS_PER_SECOND;
        header.timeout = static_cast<unsigned int>(std::min<std::uint64_t>(timeout_ms, UINT_MAX));

        if (::ioctl(fd_of(node), SG_IO, &header) < 0) return sg_io_failure(errno);

        request.scsi_status = header.status;
        transport.host_status = header.host_status;
        transport.driver_status = header.driver_status;
        // Only the sense bytes the kernel says it wrote, and never more than were asked for.
        const std::size_t written = std::min<std::size_t>(header.sb_len_wr, sense_wanted);
        std::memset(request.sense, 0, sizeof request.sense);
        std::memcpy(request.sense, sense, written);
        return SgIoOutcome::done;
    }

    bool host_proc_name(std::uint32_t host, std::uint8_t* buffer, std::uint32_t capacity,
                        std::uint32_t* length) override {
        *length = 0;
        char path[64];
        std::snprintf(path, sizeof path, "/sys/class/scsi_host/host%u/proc_name",
                      static_cast<unsigned>(host));
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        std::uint32_t filled = 0;
        bool ok = true;
        while (filled < capacity) {
            const ssize_t got = ::read(fd, buffer + filled, capacity - filled);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) ok = false;
            if (got <= 0) break;
            filled += static_cast<std::uint32_t>(got);
        }
        ::close(fd);
        *length = filled;
        return ok;
    }

    void close_node(OsHandle node) override {
        const int fd = fd_of(node);
        if (fd >= 0) ::close(fd);
    }

    bool node_address(const char* name, SgScsiId& id) override {
        const char* slash = std::strrchr(name, '/');
        std::uint32_t number = 0;
        if (slash == nullptr || !parse_sg_node_name(slash + 1, &number)) return false;
        char path[64];
        std::snprintf(path, sizeof path, "/sys/class/scsi_generic/sg%u/device",
                      static_cast<unsigned>(number));
        char link[SYSFS_LINK_CAPACITY];
        const ssize_t length = ::readlink(path, link, sizeof link);
        // A link that fills the whole buffer may have been cut short.
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof link) return false;
        const auto end = static_cast<std::size_t>(length);
        std::size_t start = end;
        while (start > 0 && link[start - 1] != '/') --start;
        return parse_scsi_address_text(link + start, end - start, id);
    }

private:
    bool checked_;
};

LinuxSgDriver the_driver(false);
LinuxSgDriver the_checked_driver(true);

// Reads one decimal number of at most 9 digits at text[*at]; moves *at past it.
bool read_decimal(const char* text, std::size_t length, std::size_t* at, std::int32_t* value) {
    std::int32_t result = 0;
    std::size_t digits = 0;
    while (*at < length && text[*at] >= '0' && text[*at] <= '9') {
        if (++digits > 9) return false;
        result = result * 10 + (text[*at] - '0');
        ++*at;
    }
    *value = result;
    return digits > 0;
}

}  // namespace

LinuxScsiGeneric& linux_scsi_generic() { return the_driver; }

LinuxScsiGeneric& linux_scsi_generic_checked() { return the_checked_driver; }

int sg_device_number(int fd) {
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode) ||
        major(status.st_rdev) != SG_MAJOR_NUMBER || minor(status.st_rdev) > INT_MAX) {
        return -1;
    }
    return static_cast<int>(minor(status.st_rdev));
}

int sg_node_descriptor(OsHandle node) { return fd_of(node); }

OsHandle sg_node_handle(int fd) { return fd < 0 ? 0 : handle_of(fd); }

bool any_sg_node_present() {
    DIR* dev = ::opendir("/dev");
    if (dev == nullptr) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dev)) {
        std::uint32_t number = 0;
        if (parse_sg_node_name(entry->d_name, &number)) {
            found = true;
            break;
        }
    }
    ::closedir(dev);
    return found;
}

bool parse_scsi_address_text(const char* text, std::size_t length, SgScsiId& id) {
    std::int32_t parts[4] = {};
    std::size_t at = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0 && (at >= length || text[at++] != ':')) return false;
        if (!read_decimal(text, length, &at, &parts[i])) return false;
    }
    if (at != length) return false;
    id = SgScsiId{parts[0], parts[1], parts[2], parts[3], 0};
    return true;
}

bool parse_sg_node_name(const char* entry, std::uint32_t* number) {
    if (entry == nullptr || std::strncmp(entry, "sg", 2) != 0) return false;
    const char* digits = entry + 2;
    if (*digits == '\0' || (digits[0] == '0' && digits[1] != '\0')) return false;
    std::uint64_t value = 0;
    for (const char* c = digits; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(*c - '0');
        if (value > UINT32_MAX) return false;
    }
    *number = static_cast<std::uint32_t>(value);
    return true;
}

SgIoOutcome sg_io_failure(int error) {
    return error == EINVAL || error == ENOMEM ? SgIoOutcome::refused : SgIoOutcome::failed;
}

}  // namespace korvel
