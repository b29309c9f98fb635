#include "sim_bridge_catalog.h"

#include <algorithm>
#include <mutex>

#include "sim_device_catalog.h"

namespace korvel {

namespace {

constexpr std::size_t PAGE_SIZE = SIM_INQUIRY_CAPACITY;  // 248
constexpr std::size_t BRIDGE_STANDARD_SIZE = 96;
constexpr std::uint8_t MARK_Z = 0x5A;

/// What a board of one family usually looks like.
struct Family {
    std::int32_t code;
    std::string_view model;  ///< model text for the at_44 placement
    std::uint8_t page;
    std::uint8_t type;
    bool removable;
    std::optional<SimCapacity> capacity;
    std::array<std::uint8_t, 3> capability;
    std::string_view product;  ///< the board's own product text ({} : derived, PV50)
    std::string_view revision;
    std::string_view firmware_date;
    std::string_view serial;
    // The drive a PV20 bridge presents at bytes 8-35 of its standard data.
    std::string_view drive_vendor;
    std::string_view drive_product;
    std::string_view drive_revision;
};

// clang-format off
const Family FAMILIES[] = {
    {1, "PV20-QTRLC-G", 0x83, SIM_TYPE_CDROM, true, std::nullopt, {MARK_Z, 0x00, 0x20},
     "PV20 IDE BRIDGE", "1.05", "19970314", "K2A10417", "TOSHIBA", "CD-ROM XM-6202B", "1108"},
    {2, "PV20-QTWDC-P", 0x83, SIM_TYPE_DISK, false, SimCapacity{2503871, 512},
     {MARK_Z, 0x00, 0x20}, "PV20 IDE BRIDGE", "1.07", "19970702", "K2B30988", "QUANTUM",
     "FIREBALL1280A", "A6F0"},
    {3, "PV20-QTVNB-V", 0x50, SIM_TYPE_CDROM, true, std::nullopt, {MARK_Z, 0x00, 0xA0},
     "PV20 IDE BRIDGE", "1.12", "19971120", "K2C00153", "MITSUMI", "CR-4804TE", "2.4C"},
    {4, "PV70-QMV2-A1", 0xC3, SIM_TYPE_PROCESSOR, false, std::nullopt, {MARK_Z, 0x00, 0x00},
     "PVM-070 COPIER", "2.10", "20010509", "K7M00071", {}, {}, {}},
    {5, "PV30-QTRLC-0B1", 0x83, SIM_TYPE_CDROM, true, std::nullopt, {MARK_Z, 0x00, 0xA0},
     "PV30 IDE BRIDGE", "2.12", "19980611", "K3A04410", {}, {}, {}},
    {6, "PV40-QTRLB-0E1", 0x83, SIM_TYPE_DISK, false, SimCapacity{16514063, 512},
     {MARK_Z, 0x01, 0xB0}, "PV40 IDE BRIDGE", "3.01", "19990827", "K4A12045", {}, {}, {}},
    {7, "PV50S160-C-1D1", 0x83, SIM_TYPE_DISK, false, SimCapacity{78165359, 512},
     {MARK_Z, 0x01, 0xC0}, {}, "4.20", "20010226", "K5A30301", {}, {}, {}},
    {8, "PV50-9271B-1A0", 0xC3, SIM_TYPE_CDROM, true, std::nullopt, {MARK_Z, 0x01, 0xC5},
     "PV50A IDE BRIDGE", "4.31", "20011015", "K5B00218", {}, {}, {}},
    {20, "PV40-QTZFA-0E2", 0x50, SIM_TYPE_DISK, false, SimCapacity{39102335, 512},
     {MARK_Z, 0x01, 0xC0}, "PV40 IDE BRIDGE", "3.10", "20000118", "K4Z00577", {}, {}, {}},
    {21, "PV30-QTRLC-0A1", 0x83, SIM_TYPE_DISK, false, SimCapacity{8388607, 512},
     {MARK_Z, 0x01, 0xA3}, "PV30 IDE BRIDGE", "2.20", "19981203", "K3A09921", {}, {}, {}},
    {22, "PV30-QTRLD-0C2", 0x50, SIM_TYPE_DISK, true, SimCapacity{196607, 512},
     {MARK_Z, 0x00, 0xA0}, "PV30 IDE BRIDGE", "2.31", "19990420", "K3C01130", {}, {}, {}},
};
// clang-format on

// Older PV50 boards: model text and capability block by placement.
constexpr std::string_view PV50_AT_56_MODEL = "PV50S320-C10";
constexpr std::array<std::uint8_t, 3> PV50_AT_56_CAPABILITY{MARK_Z, 0x01, 0xD0};
constexpr std::string_view PV50_AT_24_MODEL = "PV50S20 -B10";
constexpr std::string_view PV50_9271_AT_24_MODEL = "PV50-9271B-1A";

const Family* find_family(std::int32_t code) {
    for (const Family& family : FAMILIES) {
        if (family.code == code) return &family;
    }
    return nullptr;
}

/// Writes text at offset, cut at the end of data.
void put(std::vector<std::uint8_t>& data, std::size_t offset, std::string_view text) {
    for (std::size_t i = 0; i < text.size() && offset + i < data.size(); ++i) {
        data[offset + i] = static_cast<std::uint8_t>(text[i]);
    }
}

/// Writes text blank-padded or cut to width.
void put_field(std::vector<std::uint8_t>& data, std::size_t offset, std::size_t width,
               std::string_view text) {
    put(data, offset, std::string(text.substr(0, std::min(width, text.size()))) +
                          std::string(width - std::min(width, text.size()), ' '));
}

bool is_pv50(std::int32_t code) { return code == 7 || code == 8; }

std::string default_model(const Family& family, SimChipPlacement placement) {
    if (!is_pv50(family.code) || placement == SimChipPlacement::at_44) {
        return std::string(family.model);
    }
    if (placement == SimChipPlacement::at_56) return std::string(PV50_AT_56_MODEL);
    return std::string(family.code == 8 ? PV50_9271_AT_24_MODEL : PV50_AT_24_MODEL);
}

/// The product text a PV50 board reports: "...BRIDGE" and its bus speed digits at 23-31.
std::string pv50_product(std::string_view model) {
    const std::string speed = model.size() >= 8 ? std::string(model.substr(5, 3)) : "   ";
    return "KV-PV50BRIDGE" + speed;
}

std::vector<std::uint8_t> bridge_standard_data(const Family& family, std::uint8_t type,
                                               bool removable, std::string_view model,
                                               std::string_view product, bool wide) {
    const bool pv20 = family.code >= 1 && family.code <= 3;
    std::vector<std::uint8_t> data =
        pv20 ? standard_inquiry(type, removable, family.drive_vendor, family.drive_product,
                                family.drive_revision)
             : standard_inquiry(type, removable, "KORVEL", product, family.revision);
    data.resize(BRIDGE_STANDARD_SIZE, 0);
    data[4] = static_cast<std::uint8_t>(BRIDGE_STANDARD_SIZE - 5);
    data[7] = wide ? 0x30 : 0x10;  // WBus16 when the bus is wide; synchronous transfers
    if (pv20) {
        put(data, 44, model.substr(0, std::min<std::size_t>(model.size(), 12)));
        put_field(data, 56, 8, "KORVEL");
        put_field(data, 64, 16, product);
        put_field(data, 80, 4, family.revision);
    }
    return data;
}

/// Pages a bridge lists on its supported-pages page.
std::vector<std::uint8_t> supported_pages(std::uint8_t type, std::uint8_t identification) {
    // Page 0x00 itself, then the identification page, in ascending order.
    const std::uint8_t low = std::min<std::uint8_t>(0x00, identification);
    const std::uint8_t high = std::max<std::uint8_t>(0x00, identification);
    return {type, 0x00, 0x00, 2, low, high};
}

void put_capacity(SimPlainDrive& drive, std::uint32_t last_block, std::uint32_t block_length) {
    drive.set_capacity(SimCapacity{last_block, block_length});
}

}  // namespace

std::vector<std::int32_t> sim_bridge_family_codes() {
    std::vector<std::int32_t> codes;
    for (const Family& family : FAMILIES) codes.push_back(family.code);
    std::sort(codes.begin(), codes.end());
    return codes;
}

std::vector<std::uint8_t> bridge_identification_page(std::uint8_t device_type, std::uint8_t page,
                                                     SimChipPlacement placement,
                                                     std::string_view model,
                                                     const std::array<std::uint8_t, 3>& capability) {
    std::vector<std::uint8_t> data(PAGE_SIZE, 0);
    data[0] = static_cast<std::uint8_t>(device_type & 0x1F);
    data[1] = page;
    data[2] = 0x00;
    data[3] = static_cast<std::uint8_t>(PAGE_SIZE - 4);
    // T10 vendor identification descriptor: ASCII, 16 bytes of identifier.
    data[4] = 0x02;
    data[5] = 0x01;
    data[7] = 16;
    put_field(data, 8, 8, "KORVEL");
    std::size_t capability_at = 32;
    switch (placement) {
    case SimChipPlacement::at_44:
        put(data, 44, model);
        break;
    case SimChipPlacement::at_56:
        put(data, 24, model);
        put(data, 56, model.substr(0, std::min<std::size_t>(model.size(), 8)));
        capability_at = 48;
        break;
    case SimChipPlacement::at_24:
        put(data, 24, model);
        capability_at = 0;  // the model text runs over byte 32
        break;
    }
    if (capability_at != 0) {
        std::copy(capability.begin(), capability.end(),
                  data.begin() + static_cast<std::ptrdiff_t>(capability_at));
    }
    return data;
}

std::shared_ptr<SimBridge> make_bridge(std::int32_t family_code, const SimBridgeOptions& options) {
    const Family* family = find_family(family_code);
    if (family == nullptr) return nullptr;

    const SimChipPlacement placement =
        is_pv50(family_code) ? options.placement : SimChipPlacement::at_44;
    const std::string model =
        options.model.empty() ? default_model(*family, placement) : options.model;
    const std::uint8_t page = options.page != 0 ? options.page : family->page;
    const std::uint8_t type = options.device_type.value_or(family->type);
    const bool removable = options.removable.value_or(
        options.device_type ? type == SIM_TYPE_CDROM : family->removable);
    std::array<std::uint8_t, 3> capability = family->capability;
    if (placement == SimChipPlacement::at_56) capability = PV50_AT_56_CAPABILITY;
    if (options.capability) capability = *options.capability;
    const bool wide = capability[0] == MARK_Z && (capability[1] & 0x01) != 0;
    const std::string product =
        family->product.empty() ? pv50_product(model) : std::string(family->product);

    const SimBoardKind kind = family_code == 4 ? SimBoardKind::copier : SimBoardKind::bridge;
    auto bridge = std::make_shared<SimBridge>(
        bridge_standard_data(*family, type, removable, model, product, wide), kind);
    bridge->set_vpd_page(0x00, supported_pages(type, page));
    std::vector<std::uint8_t> identification =
        bridge_identification_page(type, page, placement, model, capability);
    put(identification, 16, family->serial);
    put(identification, 64, family->firmware_date);
    bridge->set_vpd_page(page, std::move(identification));

    const std::optional<SimCapacity> capacity =
        options.capacity ? options.capacity : family->capacity;
    if (capacity) bridge->set_capacity(capacity->last_block, capacity->block_length);

    std::size_t model_length = model.size();
    if (placement != SimChipPlacement::at_44) {
        model_length = std::min<std::size_t>(model_length, family_code == 8 ? 13 : 12);
    } else {
        model_length = std::min<std::size_t>(model_length, family_code <= 4 ? 12 : 14);
    }
    bridge->set_profile({family_code, model.substr(0, model_length), page});
    return bridge;
}

SimPlainDrive::SimPlainDrive(std::span<const std::uint8_t> inquiry_data)
    : SimDevice(inquiry_data),
      answers_sub_channel_(!inquiry_data.empty() && (inquiry_data[0] & 0x1F) == SIM_TYPE_CDROM) {}

void SimPlainDrive::set_capacity(std::optional<SimCapacity> capacity) {
    std::lock_guard lock(capacity_mutex_);
    capacity_ = capacity;
}

SimResult SimPlainDrive::execute(const SimCommand& command) {
    if (command.cdb.size() >= 10 && command.cdb[0] == SIM_OP_READ_CAPACITY) {
        std::lock_guard lock(capacity_mutex_);
        if (!capacity_) return check_condition(SIM_SENSE_NOT_READY, 0x3A, 0);
        std::vector<std::uint8_t> data(8);
        for (std::size_t i = 0; i < 4; ++i) {
            const auto shift = static_cast<unsigned>(24 - 8 * i);
            data[i] = static_cast<std::uint8_t>(capacity_->last_block >> shift);
            data[4 + i] = static_cast<std::uint8_t>(capacity_->block_length >> shift);
        }
        return good(send_to_initiator(command, data, 8));
    }
    if (command.cdb.size() >= 10 && command.cdb[0] == SIM_OP_READ_SUB_CHANNEL &&
        answers_sub_channel_) {
        std::array<std::uint8_t, 16> data{};
        data[1] = 0x15;  // no current audio status
        data[3] = 12;
        data[4] = 0x01;
        const auto allocation = static_cast<std::uint32_t>(
            static_cast<std::uint32_t>(command.cdb[7]) << 8 | command.cdb[8]);
        return good(send_to_initiator(command, data, allocation));
    }
    return SimDevice::execute(command);
}

std::shared_ptr<SimPlainDrive> make_plain_disk_with_capacity(std::uint32_t last_block,
                                                             std::uint32_t block_length,
                                                             std::string_view vendor,
                                                             std::string_view product,
                                                             std::string_view revision) {
    auto drive = std::make_shared<SimPlainDrive>(
        standard_inquiry(SIM_TYPE_DISK, false, vendor, product, revision));
    put_capacity(*drive, last_block, block_length);
    drive->set_vpd_page(0x00, {SIM_TYPE_DISK, 0x00, 0x00, 3, 0x00, 0x80, 0x83});
    std::vector<std::uint8_t> serial{SIM_TYPE_DISK, 0x80, 0x00, 8};
    for (char c : std::string_view("PDK41872")) serial.push_back(static_cast<std::uint8_t>(c));
    drive->set_vpd_page(0x80, std::move(serial));
    // Device identification: one NAA IEEE registered identifier (8 bytes, binary).
    drive->set_vpd_page(0x83, {SIM_TYPE_DISK, 0x83, 0x00, 12, 0x01, 0x03, 0x00, 8, 0x50, 0x00,
                               0x5A, 0x66, 0x1D, 0x23, 0x8E, 0x41});
    return drive;
}

std::shared_ptr<SimPlainDrive> make_removable_disk(std::uint32_t last_block,
                                                   std::uint32_t block_length,
                                                   std::string_view vendor,
                                                   std::string_view product,
                                                   std::string_view revision) {
    auto drive = std::make_shared<SimPlainDrive>(
        standard_inquiry(SIM_TYPE_DISK, true, vendor, product, revision));
    put_capacity(*drive, last_block, block_length);
    return drive;
}

std::shared_ptr<SimPlainDrive> make_cdrom_with_disc(std::uint32_t last_block,
                                                    std::string_view vendor,
                                                    std::string_view product,
                                                    std::string_view revision) {
    auto drive = std::make_shared<SimPlainDrive>(
        standard_inquiry(SIM_TYPE_CDROM, true, vendor, product, revision));
    put_capacity(*drive, last_block, 2048);
    return drive;
}

}  // namespace korvel
