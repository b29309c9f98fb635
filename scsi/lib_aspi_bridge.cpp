// Bridge identification from vital product data.
#include "lib_aspi_bridge.h"

#include <algorithm>
#include <cstring>

#include "lib_aspi.h"
#include "lib_aspi_request.h"
#include "nt_emulation.h"

namespace korvel {

namespace {

constexpr std::uint8_t OP_INQUIRY = 0x12;
constexpr std::uint8_t ENABLE_VITAL_PRODUCT_DATA = 0x01;

// The pages asked for, in this order, until one names a bridge.
constexpr std::uint8_t VPD_PAGES[] = {0x83, 0x50, 0xC3};

SRB_ExecSCSICmd identify_request;
std::uint8_t page_data[INQUIRY_LENGTH];

// Where the texts sit in the page data.
constexpr std::size_t CHIP_AT = 44;         // chip text of most bridges
constexpr std::size_t TAG_AT = 49;          // kind tag after the chip text and one separator
constexpr std::size_t PV50_SPEED_AT = 48;   // PV50 speed designator right after the chip text
constexpr std::size_t VARIANT_MARK_AT = 56; // PV30 variant letter
constexpr std::size_t HIGH_CHIP_AT = 56;    // PV50 bridges that put their chip text higher up
constexpr std::size_t HIGH_SPEED_AT = 60;
constexpr std::size_t LOW_CHIP_AT = 24;     // PV50 bridges that put their chip text lower down
constexpr std::size_t LOW_SPEED_AT = 28;
constexpr std::size_t LOW_TAG_AT = 29;

constexpr std::size_t CAPABILITY_AT = 32;
constexpr std::size_t HIGH_CAPABILITY_AT = 48;
constexpr std::uint8_t CAPABILITY_MARK = 'Z';

// What one page told about the bridge.
struct PageResult {
    std::int32_t family_code;
    std::size_t model_at;
    std::size_t model_length;
    std::size_t capability_at;
};

bool text_at(std::size_t position, const char* text, std::size_t length) {
    return same_text_ignoring_case(page_data + position, text, length);
}

bool pv50_speed_at(std::size_t position, bool with_s320) {
    return (with_s320 && text_at(position, "S320", 4)) || text_at(position, "S160", 4) ||
           text_at(position, "S20 ", 4);
}

// Applies the recognition rules to the page data in their fixed order. A later rule that
// matches overrides the family code and model settings of an earlier one.
PageResult recognise_page() {
    PageResult result{FAMILY_NONE, CHIP_AT, 0, CAPABILITY_AT};

    if (text_at(CHIP_AT, "PV20", 4)) {
        if (text_at(TAG_AT, "QTRL", 4)) result.family_code = FAMILY_PV20_QTRL;
        if (text_at(TAG_AT, "QTWD", 4)) result.family_code = FAMILY_PV20_QTWD;
        if (text_at(TAG_AT, "QTVN", 4)) result.family_code = FAMILY_PV20_QTVN;
        result.model_length = 12;
    }
    if (text_at(CHIP_AT, "PV70", 4)) {
        if (text_at(TAG_AT, "QMV", 3)) result.family_code = FAMILY_PV70;
        result.model_length = 12;
    }
    if (text_at(CHIP_AT, "PV30", 4)) {
        if (text_at(TAG_AT, "QTRL", 4)) {
            result.family_code = FAMILY_PV30;
            // The variant letter is a single mark and compared exactly.
            if (page_data[VARIANT_MARK_AT] == 'A') result.family_code = FAMILY_PV30_A;
            if (page_data[VARIANT_MARK_AT] == 'C') result.family_code = FAMILY_PV30_C;
        }
        if (text_at(TAG_AT, "QTHX", 4)) result.family_code = FAMILY_PV30;
        result.model_length = 14;
    }
    if (text_at(CHIP_AT, "PV40", 4)) {
        if (text_at(TAG_AT, "QTRL", 4)) result.family_code = FAMILY_PV40;
        if (text_at(TAG_AT, "QTZF", 4)) result.family_code = FAMILY_PV40_QTZF;
        result.model_length = 14;
    }
    if (text_at(CHIP_AT, "PV50", 4)) {
        if (pv50_speed_at(PV50_SPEED_AT, false)) result.family_code = FAMILY_PV50;
        if (text_at(TAG_AT, "9271", 4)) result.family_code = FAMILY_PV50_9271;
        result.model_length = 14;
        return result;
    }

    // PV50 bridges whose chip text sits elsewhere; the higher place is tested first and wins.
    if (text_at(HIGH_CHIP_AT, "PV50", 4)) {
        if (pv50_speed_at(HIGH_SPEED_AT, true)) result.family_code = FAMILY_PV50;
        result.capability_at = HIGH_CAPABILITY_AT;
        result.model_at = LOW_CHIP_AT;
        result.model_length = 12;
    } else if (text_at(LOW_CHIP_AT, "PV50", 4)) {
        if (pv50_speed_at(LOW_SPEED_AT, true)) result.family_code = FAMILY_PV50;
        result.model_at = LOW_CHIP_AT;
        result.model_length = 12;
        if (text_at(LOW_TAG_AT, "9271", 4)) {
            result.family_code = FAMILY_PV50_9271;
            result.model_length = 13;
        }
    }
    return result;
}

// Sends one vital product data request into the zeroed page buffer; true when it completed.
bool read_page(std::uint8_t host, std::uint8_t target, std::uint8_t lun, std::uint8_t page) {
    std::memset(page_data, 0, sizeof page_data);
    scsi_detail::prepare_request(identify_request, host, target, lun, SRB_DIR_IN, page_data,
                                 INQUIRY_LENGTH, 6);
    identify_request.CDBByte[0] = OP_INQUIRY;
    identify_request.CDBByte[1] =
        static_cast<std::uint8_t>(ENABLE_VITAL_PRODUCT_DATA | (lun << 5));
    identify_request.CDBByte[2] = page;
    identify_request.CDBByte[4] = static_cast<std::uint8_t>(INQUIRY_LENGTH);
    scsi_execute(identify_request, false);
    return scsi_detail::request_completed(identify_request);
}

}  // namespace

std::int32_t narrow_bus_rate(std::uint8_t speed_byte) {
    switch (speed_byte & 0xF0) {
        case 0x00: return 0;  // asynchronous
        case 0x20: return 10;
        case 0x40: return 5;
        case 0xA0: return 20;
        case 0xB0: return 40;
        case 0xC0: return 80;
        case 0xD0: return 160;
        default: return RATE_UNKNOWN;
    }
}

void identify_bridge(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     std::int32_t& family_code, char* model, std::uint8_t* wide,
                     std::int32_t* rate) {
    PageResult result{};
    for (const std::uint8_t page : VPD_PAGES) {
        result = PageResult{FAMILY_NONE, CHIP_AT, 0, CAPABILITY_AT};
        if (read_page(host, target, lun, page)) result = recognise_page();
        if (result.family_code != FAMILY_NONE) break;
    }
    // From here on page_data holds the last page asked for.

    family_code = result.family_code;
    if (result.model_length > 0) {
        std::memcpy(model, page_data + result.model_at, result.model_length);
        model[result.model_length] = '\0';
    }

    std::uint8_t wide_bus = 0;
    std::int32_t transfer_rate = RATE_UNKNOWN;
    const std::uint8_t* capability = page_data + result.capability_at;
    if (result.family_code != FAMILY_NONE && capability[0] == CAPABILITY_MARK) {
        wide_bus = capability[1] & 0x01;
        transfer_rate = narrow_bus_rate(capability[2]);
        if (wide_bus != 0 && transfer_rate != RATE_UNKNOWN) transfer_rate *= 2;
    }
    if (wide != nullptr) *wide = wide_bus;
    if (rate != nullptr) *rate = transfer_rate;
}

bool scan_device(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                 ScannedDevice& device) {
    device = ScannedDevice{};
    scsi_inquiry(host, target, lun, device.type, device.removable, device.family_code,
                 device.model, device.vendor, device.product, device.revision);
    if (device.type < 0) return false;
    if (device.family_code == FAMILY_NONE) {
        identify_bridge(host, target, lun, device.family_code, device.model, &device.wide,
                        &device.speed);
    }
    return device.family_code != FAMILY_NONE;
}

std::size_t find_bridge_nodes(BridgeNode* nodes, std::size_t capacity) {
    std::size_t found = 0;
    const int hosts = std::min(adapter_count(), static_cast<int>(MAX_HOSTS));
    for (int host_number = 0; host_number < hosts; ++host_number) {
        const auto host = static_cast<std::uint8_t>(host_number);
        for (int id = 0; id < SCANNED_TARGET_IDS; ++id) {
            const auto target = static_cast<std::uint8_t>(id);
            const DeviceSlot slot = device_slot(host, target, 0);
            if (slot.handle == 0) continue;
            ScannedDevice device;
            if (!scan_device(host, target, 0, device)) continue;
            if (found < capacity) nodes[found] = {host, target, 0, device.family_code, slot.handle};
            ++found;
        }
    }
    return found;
}

}  // namespace korvel
