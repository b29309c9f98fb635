// The real-kernel check: runs inside the QEMU guest that scripts/kernel-test.sh boots, on the
// real transport and command library over the real sg driver seam, and checks what they make
// of the guest's SCSI stack:
//
//   kernel host 0  sym53c8xx (QEMU's lsi53c895a)
//                  target 0  QEMU HARDDISK, DISK_BLOCKS blocks of 512 bytes
//                  target 2  QEMU CD-ROM
//   kernel host 1  scsi_debug
//                  target 0  Linux scsi_debug disk
//
// It prints one line per check and ends with "N passed, N failed"; the exit code is 0 only
// when every check passed. The guest has nothing but busybox, so this program is static.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "aspi_srb.h"
#include "lib_aspi.h"
#include "lib_aspi_bridge.h"
#include "lib_aspi_transfer.h"
#include "linux_platform.h"

namespace korvel {
namespace {

// The guest's layout, as the script builds it.
constexpr std::uint8_t QEMU_HOST = 0;
constexpr std::uint8_t SCSI_DEBUG_HOST = 1;
constexpr std::uint8_t QEMU_DISK_TARGET = 0;
constexpr std::uint8_t QEMU_CDROM_TARGET = 2;
constexpr std::uint8_t SCSI_DEBUG_TARGET = 0;
constexpr std::uint8_t EMPTY_TARGET = 5;
constexpr std::uint32_t DISK_BLOCKS = 8192;  // the 4 MiB image
constexpr std::uint32_t EXPECTED_NODES = 3;

constexpr std::uint8_t PERIPHERAL_DISK = 0;
constexpr std::uint8_t PERIPHERAL_CDROM = 5;

// Sense data of a rejected vendor command: ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE.
constexpr std::uint8_t SENSE_KEY_ILLEGAL_REQUEST = 0x05;
constexpr std::uint8_t ASC_INVALID_OPCODE = 0x20;

int passed = 0;
int failed = 0;

void check(bool ok, const std::string& what) {
    if (ok) {
        ++passed;
        std::printf("ok   %s\n", what.c_str());
    } else {
        ++failed;
        std::printf("FAIL %s\n", what.c_str());
    }
    std::fflush(stdout);
}

template <typename T>
void check_equal(const T& actual, const T& expected, const std::string& what) {
    const bool ok = actual == expected;
    check(ok, what);
    if (!ok) {
        std::printf("     got %lld, expected %lld\n", static_cast<long long>(actual),
                    static_cast<long long>(expected));
    }
}

void check_text(std::string_view actual, std::string_view expected, const std::string& what) {
    const bool ok = actual == expected;
    check(ok, what);
    if (!ok) {
        std::printf("     got \"%.*s\", expected \"%.*s\"\n", static_cast<int>(actual.size()),
                    actual.data(), static_cast<int>(expected.size()), expected.data());
    }
}

std::string address_text(std::uint8_t host, std::uint8_t target) {
    return std::to_string(host) + ":" + std::to_string(target) + ":0";
}

// How many of this process's descriptors are open on sg nodes.
std::uint32_t open_sg_descriptors() {
    std::uint32_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code link_error;
        const std::string target = std::filesystem::read_symlink(entry.path(), link_error).string();
        if (!link_error && target.rfind("/dev/sg", 0) == 0) ++count;
    }
    return count;
}

struct Identity {
    std::int32_t type = -2;
    std::int32_t removable = -2;
    std::int32_t family = -2;
    char model[INQUIRY_MODEL_CAPACITY] = {};
    char vendor[VENDOR_TEXT_CAPACITY] = {};
    char product[PRODUCT_TEXT_CAPACITY] = {};
    char revision[REVISION_TEXT_CAPACITY] = {};
};

Identity inquire(std::uint8_t host, std::uint8_t target) {
    Identity identity;
    scsi_inquiry(host, target, 0, identity.type, identity.removable, identity.family,
                 identity.model, identity.vendor, identity.product, identity.revision);
    return identity;
}

void check_device(std::uint8_t host, std::uint8_t target, std::int32_t type, std::int32_t removable,
                  std::string_view vendor, std::string_view product) {
    const std::string at = address_text(host, target);
    const Identity identity = inquire(host, target);
    std::printf("     %s: type %d, \"%s\" \"%s\" \"%s\"\n", at.c_str(), identity.type,
                identity.vendor, identity.product, identity.revision);
    check_equal(identity.type, type, at + " INQUIRY device type");
    check_equal(identity.removable, removable, at + " INQUIRY removable flag");
    check_equal(identity.family, FAMILY_NONE, at + " INQUIRY names no PV20 bridge");
    check_text(identity.vendor, vendor, at + " INQUIRY vendor");
    check_text(identity.product, product, at + " INQUIRY product");

    std::int32_t family = -2;
    char model[BRIDGE_MODEL_CAPACITY] = "unchanged";
    identify_bridge(host, target, 0, family, model, nullptr, nullptr);
    check_equal(family, FAMILY_NONE, at + " identify_bridge: family code 0, not a bridge");
}

// WRITE BUFFER, mode 0x17, buffer 0x78, 512 bytes, built as write_buffer_78 builds it, so the
// block can be looked at afterwards.
SRB_ExecSCSICmd vendor_write_request(std::uint8_t host, std::uint8_t target,
                                     std::uint8_t* data, std::uint32_t length) {
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = host;
    srb.SRB_Flags = SRB_DIR_OUT;
    srb.SRB_Target = target;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = SENSE_LENGTH;
    srb.SRB_CDBLen = 10;
    const std::uint8_t cdb[10] = {0x3B, 0x17, 0x78, 0x00, 0x00, 0x00, 0x00,
                                  static_cast<std::uint8_t>(length >> 8),
                                  static_cast<std::uint8_t>(length & 0xFF), 0x00};
    std::memcpy(srb.CDBByte, cdb, sizeof cdb);
    return srb;
}

void check_adapters(int hosts) {
    check_equal(hosts, 2, "scsi_start finds two host adapters");
    check_equal(adapter_count(), 2, "adapter_count");
    char identifier[ADAPTER_IDENTIFIER_CAPACITY];
    adapter_identifier(QEMU_HOST, identifier);
    check_text(identifier, "sym53c8xx", "host 0 is named by its driver");
    adapter_identifier(SCSI_DEBUG_HOST, identifier);
    check_text(identifier, "scsi_debug", "host 1 is named by its driver");
    adapter_identifier(7, identifier);
    check_text(identifier, "", "host 7 (no adapter) has an empty name");
}

void check_capacity() {
    std::uint32_t blocks = 0;
    std::uint32_t block_length = 0;
    scsi_read_capacity(QEMU_HOST, QEMU_DISK_TARGET, 0, &blocks, &block_length);
    check_equal(blocks, DISK_BLOCKS, "READ CAPACITY of the QEMU disk: block count");
    check_equal(block_length, std::uint32_t{512}, "READ CAPACITY of the QEMU disk: block length");
    scsi_read_capacity(SCSI_DEBUG_HOST, SCSI_DEBUG_TARGET, 0, &blocks, &block_length);
    check(blocks > 0, "READ CAPACITY of the scsi_debug disk: some blocks");
    check_equal(block_length, std::uint32_t{512}, "READ CAPACITY of the scsi_debug disk: block length");
}

void check_vendor_writes() {
    static std::uint8_t data[512];
    for (std::size_t i = 0; i < sizeof data; ++i) data[i] = static_cast<std::uint8_t>(i);

    // QEMU's disk does not know WRITE BUFFER: CHECK CONDITION with its own sense bytes.
    SRB_ExecSCSICmd qemu = vendor_write_request(QEMU_HOST, QEMU_DISK_TARGET, data, sizeof data);
    scsi_execute(qemu, true);
    std::printf("     sense:");
    for (std::size_t i = 0; i < SENSE_LENGTH; ++i) std::printf(" %02x", qemu.SenseArea[i]);
    std::printf("\n");
    check_equal(qemu.SRB_Status, SS_ERR, "WRITE BUFFER 0x17 to the QEMU disk: SS_ERR");
    check_equal(qemu.SRB_TargStat, SCSI_STATUS_CHECK_CONDITION,
                "WRITE BUFFER 0x17 to the QEMU disk: CHECK CONDITION");
    check_equal(qemu.SRB_HaStat, std::uint8_t{0}, "WRITE BUFFER 0x17 to the QEMU disk: host status 0");
    check_equal(static_cast<std::uint8_t>(qemu.SenseArea[0] & 0x7F), std::uint8_t{0x70},
                "device sense copied: fixed format, current error");
    check_equal(static_cast<std::uint8_t>(qemu.SenseArea[2] & 0x0F), SENSE_KEY_ILLEGAL_REQUEST,
                "device sense copied: ILLEGAL REQUEST");
    check_equal(qemu.SenseArea[12], ASC_INVALID_OPCODE,
                "device sense copied: invalid command operation code");
    check_equal(qemu.SenseArea[14], std::uint8_t{0}, "no sense byte beyond the 14 asked for");
    check_equal(write_buffer_78(QEMU_HOST, QEMU_DISK_TARGET, 0, 0, sizeof data, data), -1,
                "write_buffer_78 to the QEMU disk fails");

    // scsi_debug takes any buffer mode it does not know as done.
    SRB_ExecSCSICmd debug = vendor_write_request(SCSI_DEBUG_HOST, SCSI_DEBUG_TARGET, data, sizeof data);
    scsi_execute(debug, true);
    check_equal(debug.SRB_Status, SS_COMP, "WRITE BUFFER 0x17 to scsi_debug: SS_COMP");
    check_equal(debug.SRB_TargStat, SCSI_STATUS_GOOD, "WRITE BUFFER 0x17 to scsi_debug: GOOD");
    check_equal(write_buffer_78(SCSI_DEBUG_HOST, SCSI_DEBUG_TARGET, 0, 0, sizeof data, data), 0,
                "write_buffer_78 to scsi_debug succeeds");
}

void check_empty_address() {
    std::uint8_t data[36] = {};
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = QEMU_HOST;
    srb.SRB_Flags = SRB_DIR_IN;
    srb.SRB_Target = EMPTY_TARGET;
    srb.SRB_BufLen = sizeof data;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = SENSE_LENGTH;
    srb.SRB_CDBLen = 6;
    srb.CDBByte[0] = 0x12;
    srb.CDBByte[4] = sizeof data;
    scsi_execute(srb, false);
    check_equal(srb.SRB_Status, SS_NO_DEVICE, "an address without a device: SS_NO_DEVICE");
    const Identity identity = inquire(QEMU_HOST, EMPTY_TARGET);
    check_equal(identity.type, -1, "scsi_inquiry on it: device type -1");
}

int run() {
    install_os_platform();
    check_equal(open_sg_descriptors(), std::uint32_t{0}, "no sg node open before the start");
    const int hosts = scsi_start();
    check_equal(open_sg_descriptors(), EXPECTED_NODES, "every sg node is held open after the start");
    check_adapters(hosts);

    check_device(QEMU_HOST, QEMU_DISK_TARGET, PERIPHERAL_DISK, 0, "QEMU    ", "QEMU HARDDISK   ");
    check_device(QEMU_HOST, QEMU_CDROM_TARGET, PERIPHERAL_CDROM, 1, "QEMU    ", "QEMU CD-ROM     ");
    check_device(SCSI_DEBUG_HOST, SCSI_DEBUG_TARGET, PERIPHERAL_DISK, 0, "Linux   ",
                 "scsi_debug      ");
    check_capacity();
    check_vendor_writes();
    check_empty_address();

    scsi_stop();
    check_equal(open_sg_descriptors(), std::uint32_t{0}, "every sg node is closed at the stop");

    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace
}  // namespace korvel

int main() { return korvel::run(); }
