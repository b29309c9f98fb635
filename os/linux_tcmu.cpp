#include "linux_tcmu.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvel {

namespace {

// The shared memory's layout: struct tcmu_mailbox, struct tcmu_cmd_entry_hdr and struct
// tcmu_cmd_entry of <linux/target_core_user.h> (mailbox version 2), as a C compiler lays them
// out. That header cannot be included here: its inline helpers turn integers into enums, which
// C++ refuses, and its <linux/uio.h> clashes with the C library's struct iovec. Every field is
// copied out and in with memcpy rather than read through a structure.
constexpr std::uint16_t MAILBOX_VERSION = 2;
constexpr std::uint16_t CAP_READ_LEN = 1u << 1;  // the kernel takes read_len
constexpr std::size_t MAILBOX_SIZE = 128;        // where the kernel puts the command ring
constexpr std::size_t VERSION_AT = 0;            // __u16
constexpr std::size_t FLAGS_AT = 2;              // __u16
constexpr std::size_t CMDR_OFF_AT = 4;           // __u32
constexpr std::size_t CMDR_SIZE_AT = 8;          // __u32
constexpr std::size_t CMD_HEAD_AT = 12;          // __u32, moved by the kernel
constexpr std::size_t CMD_TAIL_AT = 64;          // __u32, moved by us, on its own cache line

constexpr std::size_t HEADER_SIZE = 8;  // len_op (__u32), cmd_id, kflags, uflags
constexpr std::size_t UFLAGS_AT = 7;
constexpr std::uint32_t OP_MASK = 0x7;  // the low bits of len_op; the rest is the length
constexpr std::uint32_t OP_PAD = 0;
constexpr std::uint32_t OP_CMD = 1;
constexpr std::uint32_t OP_TMR = 2;
constexpr std::uint8_t UFLAG_UNKNOWN_OP = 0x1;
constexpr std::uint8_t UFLAG_READ_LEN = 0x2;

constexpr std::size_t ENTRY_SIZE = 112;  // the header and the larger of request and response
constexpr std::size_t IOV_COUNT_AT = 8;  // request: __u32 counts, then the CDB's offset
constexpr std::size_t IOV_BIDI_COUNT_AT = 12;
constexpr std::size_t IOV_DIF_COUNT_AT = 16;
constexpr std::size_t CDB_OFF_AT = 24;  // __u64
constexpr std::size_t IOV_AT = 48;      // struct iovec[]: base offset, then length, __u64 each
constexpr std::size_t IOV_SIZE = 16;
constexpr std::size_t STATUS_AT = 8;  // response: over the request's fields
constexpr std::size_t READ_LEN_AT = 12;
constexpr std::size_t SENSE_AT = 16;  // TCMU_SENSE_CAPACITY bytes
static_assert(SENSE_AT + TCMU_SENSE_CAPACITY == ENTRY_SIZE);

constexpr std::uint8_t STATUS_CHECK_CONDITION = 0x02;
constexpr std::uint8_t SENSE_ILLEGAL_REQUEST = 0x05;
constexpr std::uint8_t ASC_INVALID_OPERATION_CODE = 0x20;
constexpr std::uint8_t ASC_INVALID_FIELD_IN_CDB = 0x24;
constexpr std::uint8_t VARIABLE_LENGTH_OPERATION = 0x7F;

// Data segments one command may have: the kernel hands out its data area in pages, so the
// largest transfer taken is at most this many pieces.
constexpr std::size_t MAX_SEGMENTS = TCMU_MAX_DATA_LENGTH / 4096;

struct Segment {
    std::uint64_t offset;
    std::uint64_t length;
};

// The command being answered: its data and where that lies in the ring's data area.
std::uint8_t command_data[TCMU_MAX_DATA_LENGTH];
Segment segments[MAX_SEGMENTS];

template <typename T>
T load(const std::uint8_t* base, std::size_t at) {
    T value;
    std::memcpy(&value, base + at, sizeof value);
    return value;
}

template <typename T>
void store(std::uint8_t* base, std::size_t at, T value) {
    std::memcpy(base + at, &value, sizeof value);
}

std::atomic_ref<std::uint32_t> shared_word(std::uint8_t* base, std::size_t at) {
    return std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(base + at));
}

// The CDB length the kernel copies for an operation code: by its group, and for the variable
// length operation from its additional length byte.
std::size_t cdb_length(const std::uint8_t* cdb, std::size_t available) {
    static constexpr std::size_t GROUP_LENGTH[8] = {6, 10, 10, 12, 16, 12, 10, 10};
    if (cdb[0] != VARIABLE_LENGTH_OPERATION) return GROUP_LENGTH[cdb[0] >> 5];
    return available > 7 ? std::size_t{cdb[7]} + 8 : available + 1;
}

void refuse(TcmuReply& reply, std::uint8_t asc) {
    reply = TcmuReply{};
    reply.status = STATUS_CHECK_CONDITION;
    reply.sense[0] = 0x70;  // fixed format, current
    reply.sense[2] = SENSE_ILLEGAL_REQUEST;
    reply.sense[7] = 10;  // additional length
    reply.sense[12] = asc;
    reply.sense_length = 18;
}

// The ring's layout as the mailbox gives it.
struct Ring {
    std::uint8_t* base;
    std::size_t size;
    std::uint16_t flags;
    std::uint64_t cmdr_off;
    std::uint64_t cmdr_size;
    std::uint64_t data_start;  // the data area runs from here to the end of the mapping
};

// Checks one data segment and records it; false when it lies outside the data area.
bool take_segment(const Ring& ring, std::uint64_t offset, std::uint64_t length, Segment& into) {
    if (offset < ring.data_start || offset > ring.size || length > ring.size - offset) {
        return false;
    }
    into = {offset, length};
    return true;
}

// Answers the command entry of `length` bytes at `at`; false when it breaks a bound.
bool answer_command(const Ring& ring, std::uint64_t at, std::uint64_t length, std::size_t device,
                    TcmuHandler& handler) {
    // Room for the response over the request's fields, and for the request's iovec array.
    if (length < ENTRY_SIZE) return false;
    std::uint8_t* entry = ring.base + at;
    const std::uint64_t data_count = load<std::uint32_t>(entry, IOV_COUNT_AT);
    const std::uint64_t other_count = std::uint64_t{load<std::uint32_t>(entry, IOV_BIDI_COUNT_AT)} +
                                      load<std::uint32_t>(entry, IOV_DIF_COUNT_AT);
    if ((data_count + other_count) * IOV_SIZE > length - IOV_AT) return false;

    // The CDB lies inside the entry, after the iovec array.
    TcmuRequest request;
    const std::uint64_t cdb_at = load<std::uint64_t>(entry, CDB_OFF_AT);
    if (cdb_at < at + IOV_AT + (data_count + other_count) * IOV_SIZE || cdb_at >= at + length) {
        return false;
    }
    const std::uint8_t* cdb = ring.base + cdb_at;
    const std::size_t available = static_cast<std::size_t>(at + length - cdb_at);
    const std::size_t cdb_bytes = cdb_length(cdb, available);
    if (cdb_bytes > available) return false;

    TcmuReply reply;
    std::uint64_t total = 0;
    bool fits = data_count <= MAX_SEGMENTS;
    for (std::uint64_t i = 0; fits && i < data_count; ++i) {
        const std::size_t iov = IOV_AT + static_cast<std::size_t>(i) * IOV_SIZE;
        Segment& segment = segments[i];
        if (!take_segment(ring, load<std::uint64_t>(entry, iov),
                          load<std::uint64_t>(entry, iov + 8), segment)) {
            return false;
        }
        total += segment.length;
        fits = total <= TCMU_MAX_DATA_LENGTH;
    }
    if (cdb_bytes > TCMU_MAX_CDB_LENGTH) {
        refuse(reply, ASC_INVALID_OPERATION_CODE);
    } else if (!fits || other_count != 0) {
        // More data than the handler takes, or bidirectional or protection data.
        refuse(reply, ASC_INVALID_FIELD_IN_CDB);
    } else {
        std::memcpy(request.cdb, cdb, cdb_bytes);
        request.cdb_length = cdb_bytes;
        request.data = command_data;
        request.length = static_cast<std::uint32_t>(total);
        std::size_t filled = 0;
        for (std::uint64_t i = 0; i < data_count; ++i) {
            std::memcpy(command_data + filled, ring.base + segments[i].offset, segments[i].length);
            filled += segments[i].length;
        }
        handler.answer(device, request, reply);
        // Data-in bytes go back into the segments; without the read length capability the
        // kernel returns the whole data area, so all of it is written then.
        const bool read_length = (ring.flags & CAP_READ_LEN) != 0;
        std::uint64_t returned =
            read_length ? std::min(reply.data_in_length, request.length) : request.length;
        filled = 0;
        for (std::uint64_t i = 0; i < data_count && returned > 0; ++i) {
            const std::uint64_t piece = std::min(returned, segments[i].length);
            std::memcpy(ring.base + segments[i].offset, command_data + filled, piece);
            filled += piece;
            returned -= piece;
        }
        if (read_length && reply.data_in_length > 0) {
            store<std::uint32_t>(entry, READ_LEN_AT,
                                 std::min(reply.data_in_length, request.length));
            entry[UFLAGS_AT] = static_cast<std::uint8_t>(entry[UFLAGS_AT] | UFLAG_READ_LEN);
        }
    }
    entry[STATUS_AT] = reply.status;
    std::memset(entry + SENSE_AT, 0, TCMU_SENSE_CAPACITY);
    std::memcpy(entry + SENSE_AT, reply.sense, std::min(reply.sense_length, TCMU_SENSE_CAPACITY));
    return true;
}

// --- The uio devices --------------------------------------------------------------------------

struct Device {
    int fd = -1;
    std::uint8_t* base = nullptr;
    std::size_t size = 0;
    unsigned number = 0;
    bool given_up = false;
    char config[TCMU_CONFIG_CAPACITY] = {};
};

Device devices[TCMU_MAX_DEVICES];
std::size_t device_count = 0;

// Reads a small sysfs file into text, zero-terminated, without its trailing newline.
bool read_text(const char* path, char* text, std::size_t capacity) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t got = ::read(fd, text, capacity - 1);
    ::close(fd);
    if (got < 0) return false;
    text[got] = '\0';
    if (got > 0 && text[got - 1] == '\n') text[got - 1] = '\0';
    return true;
}

// The configuration string in a uio name "tcm-user/<hba>/<device>/<configuration>".
const char* config_of(const char* name) {
    constexpr const char* KIND = "tcm-user/";
    if (std::strncmp(name, KIND, std::strlen(KIND)) != 0) return nullptr;
    const char* at = name + std::strlen(KIND);
    for (int skip = 0; skip < 2; ++skip) {
        at = std::strchr(at, '/');
        if (at == nullptr) return nullptr;
        ++at;
    }
    return at;
}

bool open_device(unsigned number, const char* prefix, Device& device) {
    char path[96];
    char name[TCMU_CONFIG_CAPACITY + 64];
    std::snprintf(path, sizeof path, "/sys/class/uio/uio%u/name", number);
    if (!read_text(path, name, sizeof name)) return false;
    const char* config = config_of(name);
    if (config == nullptr || std::strncmp(config, prefix, std::strlen(prefix)) != 0) return false;

    char size_text[32];
    std::snprintf(path, sizeof path, "/sys/class/uio/uio%u/maps/map0/size", number);
    if (!read_text(path, size_text, sizeof size_text)) return false;
    char* end = nullptr;
    const unsigned long long size = std::strtoull(size_text, &end, 0);
    if (end == size_text || size < MAILBOX_SIZE) return false;

    std::snprintf(path, sizeof path, "/dev/uio%u", number);
    const int fd = ::open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    device.fd = fd;
    device.base = static_cast<std::uint8_t*>(base);
    device.size = size;
    device.number = number;
    device.given_up = false;
    std::snprintf(device.config, sizeof device.config, "%s", config);
    return true;
}

}  // namespace

int tcmu_answer_ring(std::uint8_t* base, std::size_t size, std::size_t device,
                     TcmuHandler& handler) {
    if (base == nullptr || size < MAILBOX_SIZE) return -1;
    if (load<std::uint16_t>(base, VERSION_AT) != MAILBOX_VERSION) return -1;
    Ring ring{};
    ring.base = base;
    ring.size = size;
    ring.flags = load<std::uint16_t>(base, FLAGS_AT);
    ring.cmdr_off = load<std::uint32_t>(base, CMDR_OFF_AT);
    ring.cmdr_size = load<std::uint32_t>(base, CMDR_SIZE_AT);
    if (ring.cmdr_off < MAILBOX_SIZE || ring.cmdr_size < HEADER_SIZE ||
        ring.cmdr_off + ring.cmdr_size > size) {
        return -1;
    }
    ring.data_start = ring.cmdr_off + ring.cmdr_size;

    // The acquire pairs with the kernel's barrier before it moves the head: the entries up to
    // the head are complete once it is seen.
    const std::uint64_t head = shared_word(base, CMD_HEAD_AT).load(std::memory_order_acquire);
    std::uint64_t tail = shared_word(base, CMD_TAIL_AT).load(std::memory_order_relaxed);
    if (head >= ring.cmdr_size || tail >= ring.cmdr_size) return -1;

    int answered = 0;
    while (tail != head) {
        // Entries never wrap: the kernel pads the end of the ring instead.
        if (tail + HEADER_SIZE > ring.cmdr_size) return -1;
        const std::uint64_t at = ring.cmdr_off + tail;
        const std::uint32_t len_op = load<std::uint32_t>(base, at);
        const std::uint64_t length = len_op & ~OP_MASK;
        if (length < HEADER_SIZE || tail + length > ring.cmdr_size) return -1;
        switch (len_op & OP_MASK) {
        case OP_PAD:
        case OP_TMR:  // task management notices need no answer
            break;
        case OP_CMD:
            if (!answer_command(ring, at, length, device, handler)) return -1;
            ++answered;
            break;
        default:
            base[at + UFLAGS_AT] =
                static_cast<std::uint8_t>(base[at + UFLAGS_AT] | UFLAG_UNKNOWN_OP);
            break;
        }
        tail = (tail + length) % ring.cmdr_size;
        // The release makes the response visible before the kernel sees the entry as done.
        shared_word(base, CMD_TAIL_AT)
            .store(static_cast<std::uint32_t>(tail), std::memory_order_release);
    }
    return answered;
}

std::size_t tcmu_open_devices(const char* prefix) {
    tcmu_close_devices();
    DIR* uio = ::opendir("/sys/class/uio");
    if (uio == nullptr) return 0;
    unsigned numbers[TCMU_MAX_DEVICES * 4];
    std::size_t listed = 0;
    while (const dirent* entry = ::readdir(uio)) {
        unsigned number = 0;
        char rest = 0;
        if (std::sscanf(entry->d_name, "uio%u%c", &number, &rest) == 1 &&
            listed < std::size(numbers)) {
            numbers[listed++] = number;
        }
    }
    ::closedir(uio);
    std::sort(numbers, numbers + listed);
    for (std::size_t i = 0; i < listed && device_count < TCMU_MAX_DEVICES; ++i) {
        if (open_device(numbers[i], prefix != nullptr ? prefix : "", devices[device_count])) {
            ++device_count;
        }
    }
    return device_count;
}

const char* tcmu_device_config(std::size_t device) {
    return device < device_count ? devices[device].config : "";
}

int tcmu_serve(TcmuHandler& handler, int timeout_ms) {
    pollfd waiting[TCMU_MAX_DEVICES];
    nfds_t count = 0;
    for (std::size_t i = 0; i < device_count; ++i) {
        if (!devices[i].given_up) waiting[count++] = {devices[i].fd, POLLIN, 0};
    }
    if (count == 0) return -1;
    if (::poll(waiting, count, timeout_ms) < 0 && errno != EINTR) return -1;
    for (nfds_t i = 0; i < count; ++i) {
        // Reading the event count re-arms the wait; the count itself is not needed.
        std::uint32_t events = 0;
        if ((waiting[i].revents & POLLIN) != 0 &&
            ::read(waiting[i].fd, &events, sizeof events) < 0) {
            events = 0;
        }
    }
    int answered = 0;
    for (std::size_t i = 0; i < device_count; ++i) {
        Device& device = devices[i];
        if (device.given_up) continue;
        const int done = tcmu_answer_ring(device.base, device.size, i, handler);
        if (done < 0) {
            device.given_up = true;
            std::fprintf(stderr, "tcmu: the ring of uio%u breaks its bounds; given up\n",
                         device.number);
            continue;
        }
        if (done > 0) {
            // Any write tells the kernel that responses wait in the ring.
            const std::uint32_t kick = 0;
            if (::write(device.fd, &kick, sizeof kick) < 0) device.given_up = true;
        }
        answered += done;
    }
    return answered;
}

void tcmu_close_devices() {
    for (std::size_t i = 0; i < device_count; ++i) {
        ::munmap(devices[i].base, devices[i].size);
        ::close(devices[i].fd);
        devices[i] = Device{};
    }
    device_count = 0;
}

}  // namespace korvel
