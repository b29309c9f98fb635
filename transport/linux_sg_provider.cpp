#include "linux_sg_provider.h"

#include <algorithm>
#include <cstring>

#include "nt_emulation.h"

namespace korvel {

namespace {

// The node names of one enumeration; filled once at start.
SgNodeName node_names[SG_NODE_LIST_CAPACITY];

// Room for the longest proc_name sysfs gives (one page would be more than any driver uses;
// the identifier keeps 16 bytes of it anyway).
constexpr std::uint32_t PROC_NAME_CAPACITY = 256;

LinuxScsiGeneric* sg() { return installed_platform().linux_sg; }

// Handles of this provider are sg nodes, closed through the installed sg driver seam.
void close_sg_node(OsHandle handle) {
    if (LinuxScsiGeneric* platform = sg()) platform->close_node(handle);
}

OsHandle open_node(LinuxScsiGeneric& platform, const char* name) {
    OsHandle handle = platform.open_node(name, OpenAccess::read_write);
    if (handle == 0) handle = platform.open_node(name, OpenAccess::read);
    return handle;
}

// The kernel reports the address as ints; only values that fit an address byte are an
// address at all. Whether the table has a slot for it is the registration's question.
bool address_of(const SgScsiId& id, ScsiAddress& address) {
    const auto fits = [](std::int32_t value) { return value >= 0 && value <= 0xFF; };
    if (!fits(id.host_no) || !fits(id.channel) || !fits(id.scsi_id) || !fits(id.lun)) {
        return false;
    }
    address = {static_cast<std::uint8_t>(id.host_no), static_cast<std::uint8_t>(id.channel),
               static_cast<std::uint8_t>(id.scsi_id), static_cast<std::uint8_t>(id.lun)};
    return true;
}

void register_node(LinuxScsiGeneric& platform, const char* name) {
    SgScsiId id;
    ScsiAddress address{};
    const OsHandle handle = open_node(platform, name);
    if (handle == 0) {
        // No right to it (or gone since the listing): sysfs still tells anyone where it sits,
        // so its host adapter is offered, and its secondary bus numbered, as for root. The slot
        // stays empty: no request reaches a device through it.
        if (platform.node_address(name, id) && address_of(id, address)) {
            register_addressed_device(0, address, close_sg_node);
        }
        return;
    }
    if (!platform.scsi_id(handle, id) || !address_of(id, address)) {
        platform.close_node(handle);
        return;
    }
    register_addressed_device(handle, address, close_sg_node);
}

// Whether SG_IO reports a failure on the way to the device: the host adapter's status, or a
// driver status other than "sense data follows".
bool transport_failed(const SgTransportStatus& transport) {
    const auto driver_error = static_cast<std::uint16_t>(
        transport.driver_status & SG_DRIVER_STATUS_MASK & ~SG_DRIVER_SENSE);
    return transport.host_status != 0 || driver_error != 0;
}

}  // namespace

std::int32_t enumerate_sg_devices() {
    LinuxScsiGeneric* platform = sg();
    if (platform != nullptr) {
        const std::size_t listed = std::min(
            platform->list_nodes(node_names, SG_NODE_LIST_CAPACITY), SG_NODE_LIST_CAPACITY);
        for (std::size_t i = 0; i < listed; ++i) {
            SgNodeName& name = node_names[i];
            name.text[SG_NODE_NAME_CAPACITY - 1] = '\0';  // a name is never longer than this
            if (name.text[0] == '\0') continue;
            register_node(*platform, name.text);
        }
        assign_secondary_buses(close_sg_node);
    }
    return record_host_count();
}

std::uint8_t sg_ha_inquiry(SRB_HAInquiry& srb) {
    // A secondary channel has a host number of its own but the driver of the adapter it sits
    // on; a number that stands for no adapter found is asked of the kernel as it is.
    const std::int32_t port = host_port(srb.SRB_HaId);
    const std::uint32_t kernel_host = port >= 0 ? static_cast<std::uint32_t>(port) : srb.SRB_HaId;
    std::uint8_t name[PROC_NAME_CAPACITY] = {};
    std::uint32_t length = 0;
    LinuxScsiGeneric* platform = sg();
    if (platform == nullptr ||
        !platform->host_proc_name(kernel_host, name, sizeof name, &length)) {
        length = 0;
    }
    // sysfs ends the name with a newline.
    const std::uint8_t* end = name + std::min<std::size_t>(length, sizeof name);
    const std::uint8_t* newline = std::find(static_cast<const std::uint8_t*>(name), end,
                                            std::uint8_t{'\n'});
    return fill_ha_inquiry(srb, name, static_cast<std::size_t>(newline - name));
}

std::uint8_t sg_exec_scsi(SRB_ExecSCSICmd& srb) {
    LinuxScsiGeneric* platform = sg();
    const DeviceSlot slot = device_slot(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (platform == nullptr || slot.handle == 0) return SS_NO_DEVICE;

    // The sense area lies in the block the caller handed us, so it is always writable here.
    constexpr bool sense_writable = true;
    PassThroughRequest request;
    if (!prepare_pass_through(srb, slot, request)) {
        return fail_pass_through(srb, true, sense_writable);
    }
    SgTransportStatus transport;
    switch (platform->sg_io(slot.handle, request, transport)) {
        case SgIoOutcome::done:
            break;
        case SgIoOutcome::refused:
            return fail_pass_through(srb, true, sense_writable);
        case SgIoOutcome::failed:
        default:
            return fail_pass_through(srb, false, sense_writable);
    }
    if (transport_failed(transport)) return fail_pass_through(srb, false, sense_writable);
    return complete_pass_through(srb, request);
}

void close_all_sg_devices() { close_device_table(close_sg_node); }

}  // namespace korvel
