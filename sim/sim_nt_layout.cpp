// How the Windows class drivers name the devices of a SCSI port.
#include "sim_device_catalog.h"
#include "sim_nt_system.h"

namespace korvel {

namespace {

const char* const PHYSICAL_DRIVE_PREFIX = "\\\\.\\PHYSICALDRIVE";
const char* const TAPE_PREFIX = "\\\\.\\TAPE";
const char* const SCANNER_PREFIX = "\\\\.\\SCANNER";

}  // namespace

std::vector<SimClassNames> SimNtSystem::lay_out_port(std::uint8_t port, std::string_view driver,
                                                     const std::vector<SimPortDevice>& devices) {
    add_port(port, 1, driver);
    std::vector<SimClassNames> names;
    names.reserve(devices.size());
    for (const SimPortDevice& d : devices) {
        const SimAddress address{port, d.path_id, d.target_id, d.lun};
        SimClassNames out;
        const auto name_next = [&](const char* prefix) {
            out.device_name = prefix + std::to_string(next_free_number(prefix));
            add_device_name(out.device_name, d.device, address);
            out.claimed = true;
        };
        const auto letter_next = [&](std::uint32_t drive_type) {
            const char letter = next_free_drive_letter();
            if (letter == 0) return;
            add_drive_letter(letter, drive_type, d.device, address);
            out.drive_name = drive_device_name(letter);
            out.claimed = true;
        };

        switch (d.device ? d.device->peripheral_type() : 0x1F) {
        case SIM_TYPE_DISK:
            name_next(PHYSICAL_DRIVE_PREFIX);
            if (d.drive_letter) letter_next(DRIVE_TYPE_FIXED);
            break;
        case SIM_TYPE_OPTICAL:
            name_next(PHYSICAL_DRIVE_PREFIX);
            if (d.drive_letter) letter_next(DRIVE_TYPE_REMOVABLE);
            break;
        case SIM_TYPE_CDROM:
            // The CD-ROM class driver owns the device even when no letter is assigned.
            out.claimed = true;
            if (d.drive_letter) letter_next(DRIVE_TYPE_CDROM);
            break;
        case SIM_TYPE_TAPE:
            name_next(TAPE_PREFIX);
            break;
        case SIM_TYPE_SCANNER:
            name_next(SCANNER_PREFIX);
            break;
        default:
            break;
        }
        attach(address, d.device, out.claimed);
        names.push_back(std::move(out));
    }
    return names;
}

}  // namespace korvel
