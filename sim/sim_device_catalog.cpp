#include "sim_device_catalog.h"

#include <algorithm>

namespace korvel {

namespace {

constexpr std::size_t STANDARD_INQUIRY_SIZE = 36;

void put_text(std::vector<std::uint8_t>& data, std::size_t offset, std::size_t width,
              std::string_view text) {
    for (std::size_t i = 0; i < width; ++i) {
        data[offset + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
    }
}

std::shared_ptr<SimDevice> make(std::uint8_t type, bool removable, std::string_view vendor,
                                std::string_view product, std::string_view revision) {
    return std::make_shared<SimDevice>(
        standard_inquiry(type, removable, vendor, product, revision));
}

}  // namespace

std::vector<std::uint8_t> standard_inquiry(std::uint8_t type, bool removable,
                                           std::string_view vendor, std::string_view product,
                                           std::string_view revision) {
    std::vector<std::uint8_t> data(STANDARD_INQUIRY_SIZE, 0);
    data[0] = static_cast<std::uint8_t>(type & 0x1F);
    data[1] = removable ? 0x80 : 0x00;
    data[2] = 0x02;  // SCSI-2
    data[3] = 0x02;  // response data format
    data[4] = static_cast<std::uint8_t>(STANDARD_INQUIRY_SIZE - 5);
    data[7] = 0x10;  // synchronous transfers
    put_text(data, 8, 8, vendor);
    put_text(data, 16, 16, product);
    put_text(data, 32, 4, revision);
    return data;
}

std::shared_ptr<SimDevice> make_disk(std::string_view vendor, std::string_view product,
                                     std::string_view revision) {
    return make(SIM_TYPE_DISK, false, vendor, product, revision);
}

std::shared_ptr<SimDevice> make_cdrom(std::string_view vendor, std::string_view product,
                                      std::string_view revision) {
    return make(SIM_TYPE_CDROM, true, vendor, product, revision);
}

std::shared_ptr<SimDevice> make_tape(std::string_view vendor, std::string_view product,
                                     std::string_view revision) {
    return make(SIM_TYPE_TAPE, true, vendor, product, revision);
}

std::shared_ptr<SimDevice> make_scanner(std::string_view vendor, std::string_view product,
                                        std::string_view revision) {
    return make(SIM_TYPE_SCANNER, false, vendor, product, revision);
}

std::shared_ptr<SimDevice> make_optical(std::string_view vendor, std::string_view product,
                                        std::string_view revision) {
    return make(SIM_TYPE_OPTICAL, true, vendor, product, revision);
}

std::shared_ptr<SimDevice> make_device_of_type(std::uint8_t type) {
    switch (type) {
    case SIM_TYPE_DISK:
        return make_disk();
    case SIM_TYPE_TAPE:
        return make_tape();
    case SIM_TYPE_PROCESSOR:
        return make(type, false, "HP", "C1533A PROCESSOR", "9503");
    case SIM_TYPE_WORM:
        return make(type, true, "PIONEER", "CD-WO DW-S114X", "1.02");
    case SIM_TYPE_CDROM:
        return make_cdrom();
    case SIM_TYPE_SCANNER:
        return make_scanner();
    case SIM_TYPE_OPTICAL:
        return make_optical();
    case SIM_TYPE_CHANGER:
        return make(type, false, "HP", "C1194F", "1.07");
    default:
        return make(type, false, "GENERIC", "SCSI DEVICE", "1.00");
    }
}

}  // namespace korvel
