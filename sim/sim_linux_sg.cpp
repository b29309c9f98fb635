#include "sim_linux_sg.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace korvel {

namespace {

// What the device sees of a request's data phase.
SimDirection direction_of(const PassThroughRequest& request) {
    if (request.data_transfer_length == 0) return SimDirection::none;
    return request.data_in != 0 ? SimDirection::in : SimDirection::out;
}

// Node names in the order the real driver lists them: "/dev/sg2" before "/dev/sg10".
bool listed_before(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace

// --- Nodes and hosts ---------------------------------------------------------------------------

std::string SimLinuxSg::add_device(std::int32_t host, std::int32_t channel, std::int32_t target,
                                   std::int32_t lun, std::shared_ptr<SimDevice> device) {
    std::string name;
    do {
        name = "/dev/sg" + std::to_string(next_number_++);
    } while (nodes_.count(name) != 0);
    SgScsiId id;
    id.host_no = host;
    id.channel = channel;
    id.scsi_id = target;
    id.lun = lun;
    id.scsi_type = device ? device->peripheral_type() : 0;
    add_node(name, id, std::move(device));
    return name;
}

void SimLinuxSg::add_node(const std::string& name, const SgScsiId& id,
                          std::shared_ptr<SimDevice> device) {
    Node node;
    node.id = id;
    node.device = std::move(device);
    nodes_[name] = std::move(node);
}

void SimLinuxSg::set_proc_name(std::uint32_t host, std::string bytes) {
    proc_names_[host] = std::move(bytes);
}

void SimLinuxSg::set_listing(std::vector<std::string> names) { listing_ = std::move(names); }

// --- Faults --------------------------------------------------------------------------------------

SimLinuxSg::Node* SimLinuxSg::node_named(const std::string& name) {
    const auto found = nodes_.find(name);
    return found == nodes_.end() ? nullptr : &found->second;
}

void SimLinuxSg::refuse_open(const std::string& name, std::optional<OpenAccess> only_access) {
    if (Node* node = node_named(name)) {
        node->open_refused = true;
        node->refused_access = only_access;
    }
}

void SimLinuxSg::fail_scsi_id(const std::string& name) {
    if (Node* node = node_named(name)) node->scsi_id_fails = true;
}

void SimLinuxSg::fail_sg_io(const std::string& name, SgIoOutcome outcome, std::uint32_t count) {
    if (Node* node = node_named(name)) {
        node->io_fault = outcome;
        node->io_faults_left = count;
    }
}

void SimLinuxSg::inject_transport_status(const std::string& name, std::uint16_t host_status,
                                         std::uint16_t driver_status, std::uint32_t count) {
    if (Node* node = node_named(name)) {
        node->host_status = host_status;
        node->driver_status = driver_status;
        node->transport_faults_left = count;
    }
}

// --- What happened -------------------------------------------------------------------------

std::size_t SimLinuxSg::open_handles() const {
    return static_cast<std::size_t>(std::count_if(
        handles_.begin(), handles_.end(), [](const auto& entry) { return entry.second.open; }));
}

std::uint32_t SimLinuxSg::close_count(OsHandle handle) const {
    const auto found = handles_.find(handle);
    return found == handles_.end() ? 0 : found->second.closes;
}

std::string SimLinuxSg::handle_name(OsHandle handle) const {
    const auto found = handles_.find(handle);
    return found == handles_.end() ? std::string() : found->second.name;
}

std::optional<OpenAccess> SimLinuxSg::handle_access(OsHandle handle) const {
    const auto found = handles_.find(handle);
    if (found == handles_.end()) return std::nullopt;
    return found->second.access;
}

const SimLinuxSg::Handle* SimLinuxSg::open_handle(OsHandle handle) const {
    const auto found = handles_.find(handle);
    if (found == handles_.end() || !found->second.open) return nullptr;
    return &found->second;
}

// --- LinuxScsiGeneric ------------------------------------------------------------------------

std::size_t SimLinuxSg::list_nodes(SgNodeName* names, std::size_t capacity) {
    std::vector<std::string> listed;
    if (listing_) {
        listed = *listing_;
    } else {
        for (const auto& entry : nodes_) listed.push_back(entry.first);
        std::sort(listed.begin(), listed.end(), listed_before);
    }
    const std::size_t count = std::min(listed.size(), capacity);
    for (std::size_t i = 0; i < count; ++i) {
        // Exactly as many bytes as fit: a name that is too long arrives without its zero.
        std::memset(names[i].text, 0, sizeof names[i].text);
        std::memcpy(names[i].text, listed[i].data(),
                    std::min(listed[i].size(), sizeof names[i].text));
    }
    return count;
}

OsHandle SimLinuxSg::open_node(const char* name, OpenAccess access) {
    SimSgOpenRecord record;
    record.name = name;
    record.access = access;
    const Node* node = node_named(record.name);
    const bool refused = node == nullptr ||
                         (node->open_refused &&
                          (!node->refused_access || *node->refused_access == access));
    if (!refused) {
        record.handle = next_handle_++;
        Handle handle;
        handle.name = record.name;
        handle.access = access;
        handles_[record.handle] = handle;
    }
    opens_.push_back(record);
    return record.handle;
}

bool SimLinuxSg::scsi_id(OsHandle node, SgScsiId& id) {
    const Handle* handle = open_handle(node);
    if (handle == nullptr) return false;
    const Node* target = node_named(handle->name);
    if (target == nullptr || target->scsi_id_fails) return false;
    id = target->id;
    return true;
}

SgIoOutcome SimLinuxSg::sg_io(OsHandle node, PassThroughRequest& request,
                              SgTransportStatus& transport) {
    ++sg_io_calls_;
    last_request_ = request;
    const Handle* handle = open_handle(node);
    if (handle == nullptr) return SgIoOutcome::failed;  // EBADF
    Node* target = node_named(handle->name);
    if (target == nullptr || !target->device) return SgIoOutcome::failed;  // ENODEV
    if (target->io_faults_left > 0) {
        if (target->io_faults_left != SIM_ALWAYS) --target->io_faults_left;
        return target->io_fault;
    }
    if (request.cdb_length == 0 || request.cdb_length > sizeof request.cdb ||
        (request.data_transfer_length > 0 && request.data_buffer == nullptr)) {
        return SgIoOutcome::refused;  // EINVAL
    }
    // A node opened read-only takes no command that sends data to the device (EPERM).
    const SimDirection direction = direction_of(request);
    if (handle->access == OpenAccess::read && direction == SimDirection::out) {
        return SgIoOutcome::failed;
    }
    if (target->transport_faults_left > 0) {
        if (target->transport_faults_left != SIM_ALWAYS) --target->transport_faults_left;
        request.scsi_status = SCSI_STATUS_GOOD;
        std::memset(request.sense, 0, sizeof request.sense);
        transport.host_status = target->host_status;
        transport.driver_status = target->driver_status;
        return SgIoOutcome::done;
    }

    SimCommand command;
    command.address = {static_cast<std::uint8_t>(target->id.host_no),
                       static_cast<std::uint8_t>(target->id.channel),
                       static_cast<std::uint8_t>(target->id.scsi_id),
                       static_cast<std::uint8_t>(target->id.lun)};
    command.cdb = std::span<const std::uint8_t>(request.cdb, request.cdb_length);
    command.direction = direction;
    command.data = static_cast<std::uint8_t*>(request.data_buffer);
    command.length = request.data_transfer_length;
    const SimDelivery delivery = target->device->deliver(command);
    if (delivery.os_error != 0) return SgIoOutcome::failed;  // the device went away

    request.scsi_status = delivery.result.status;
    std::memset(request.sense, 0, sizeof request.sense);
    transport.host_status = 0;
    transport.driver_status = 0;
    if (delivery.result.status == SCSI_STATUS_CHECK_CONDITION) {
        const std::size_t n = std::min<std::size_t>(
            {request.sense_info_length, delivery.result.sense_length, sizeof request.sense});
        std::copy_n(delivery.result.sense.begin(), n, request.sense);
        if (n > 0) transport.driver_status = SG_DRIVER_SENSE;
    }
    return SgIoOutcome::done;
}

bool SimLinuxSg::host_proc_name(std::uint32_t host, std::uint8_t* buffer, std::uint32_t capacity,
                                std::uint32_t* length) {
    *length = 0;
    const auto found = proc_names_.find(host);
    if (found == proc_names_.end()) return false;
    const std::size_t n = std::min<std::size_t>(found->second.size(), capacity);
    std::memcpy(buffer, found->second.data(), n);
    *length = static_cast<std::uint32_t>(n);
    return true;
}

void SimLinuxSg::close_node(OsHandle node) {
    const auto found = handles_.find(node);
    if (found == handles_.end()) {
        ++unknown_closes_;
        return;
    }
    ++found->second.closes;
    if (!found->second.open) ++double_closes_;
    found->second.open = false;
}

bool SimLinuxSg::node_address(const char* name, SgScsiId& id) {
    const Node* node = sysfs_addresses_ ? node_named(name) : nullptr;
    if (node == nullptr) return false;
    id = node->id;
    id.scsi_type = 0;
    return true;
}

}  // namespace korvel
