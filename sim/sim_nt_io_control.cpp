// The SCSI I/O controls of the simulated NT system: IOCTL_SCSI_GET_ADDRESS on class devices,
// IOCTL_SCSI_GET_INQUIRY_DATA on port devices, and IOCTL_SCSI_PASS_THROUGH_DIRECT on both.
#include <algorithm>
#include <cstring>

#include "sim_nt_system.h"

namespace korvel {

namespace {

constexpr std::uint32_t SCSI_ADDRESS_SIZE = 8;
constexpr std::uint8_t MAX_CDB_LENGTH = 16;
constexpr std::uint8_t DATA_IN_BY_COMMAND = 2;

SimDirection direction_of(const PassThroughRequest& request) {
    switch (request.data_in) {
    case 1:
        return SimDirection::in;
    case DATA_IN_BY_COMMAND:
        return SimDirection::by_command;
    default:
        return request.data_transfer_length == 0 ? SimDirection::none : SimDirection::out;
    }
}

}  // namespace

bool SimNtSystem::io_control(OsHandle handle, std::uint32_t code, void* out, std::uint32_t out_size,
                             std::uint32_t* returned) {
    const Handle* h = find_open_handle(handle);
    if (h == nullptr) return fail(SIM_ERROR_INVALID_HANDLE);
    if (const auto error = take_io_control_fault(h->name, code)) return fail(*error);
    // A pass-through needs its request record as input, which this output-only form lacks.
    if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT) return fail(OS_ERROR_INVALID_PARAMETER);
    if (code == IOCTL_SCSI_GET_ADDRESS) return get_address(*h->target, out, out_size, returned);
    if (code == IOCTL_SCSI_GET_INQUIRY_DATA) {
        return get_inquiry_data(*h->target, out, out_size, returned);
    }
    return fail(SIM_ERROR_INVALID_FUNCTION);
}

bool SimNtSystem::get_address(const Name& target, void* out, std::uint32_t out_size,
                              std::uint32_t* returned) {
    if (target.kind != NameKind::class_device || !target.address) {
        return fail(SIM_ERROR_INVALID_FUNCTION);
    }
    if (out == nullptr || out_size < SCSI_ADDRESS_SIZE) return fail(OS_ERROR_INSUFFICIENT_BUFFER);
    std::uint8_t record[SCSI_ADDRESS_SIZE] = {SCSI_ADDRESS_SIZE, 0, 0, 0};
    record[4] = target.address->port;
    record[5] = target.address->path_id;
    record[6] = target.address->target_id;
    record[7] = target.address->lun;
    std::memcpy(out, record, SCSI_ADDRESS_SIZE);
    if (returned != nullptr) *returned = SCSI_ADDRESS_SIZE;
    return true;
}

bool SimNtSystem::get_inquiry_data(const Name& target, void* out, std::uint32_t out_size,
                                   std::uint32_t* returned) {
    if (target.kind != NameKind::port) return fail(SIM_ERROR_INVALID_FUNCTION);
    const auto port = ports_.find(target.port);
    if (port == ports_.end()) return fail(SIM_ERROR_INVALID_FUNCTION);

    if (port->second.raw_answer) {
        const std::vector<std::uint8_t>& raw = port->second.raw_bytes;
        const std::size_t n = std::min<std::size_t>(raw.size(), out_size);
        if (n > 0) std::memcpy(out, raw.data(), n);
        if (returned != nullptr) *returned = port->second.raw_returned;
        return true;
    }
    // The port driver refuses a buffer that cannot take the whole answer and writes nothing.
    const std::vector<std::uint8_t> answer = build_adapter_bus_info(port->second.buses);
    if (out == nullptr || out_size < answer.size()) return fail(OS_ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, answer.data(), answer.size());
    if (returned != nullptr) *returned = static_cast<std::uint32_t>(answer.size());
    return true;
}

bool SimNtSystem::pass_through_direct(OsHandle handle, PassThroughRequest& request) {
    ++pass_through_calls_;
    const Handle* h = find_open_handle(handle);
    if (h == nullptr) return fail(SIM_ERROR_INVALID_HANDLE);
    // The control code asks for read and write access to the device.
    if (pass_through_needs_write_ && h->access != OpenAccess::read_write) {
        return fail(SIM_ERROR_ACCESS_DENIED);
    }
    if (const auto error = take_io_control_fault(h->name, IOCTL_SCSI_PASS_THROUGH_DIRECT)) {
        return fail(*error);
    }
    if (request.cdb_length == 0 || request.cdb_length > MAX_CDB_LENGTH ||
        request.sense_info_length > sizeof request.sense || request.data_in > DATA_IN_BY_COMMAND ||
        (request.data_transfer_length > 0 && request.data_buffer == nullptr)) {
        return fail(OS_ERROR_INVALID_PARAMETER);
    }

    // Find the device: a class device knows its own; a port routes by the request's address.
    const Name& target = *h->target;
    std::shared_ptr<SimDevice> device;
    SimAddress address{0, request.path_id, request.target_id, request.lun};
    std::uint32_t max_transfer = SIM_NO_TRANSFER_LIMIT;
    if (target.kind == NameKind::port) {
        const auto port = ports_.find(target.port);
        if (port == ports_.end()) return fail(SIM_ERROR_INVALID_FUNCTION);
        address.port = target.port;
        max_transfer = port->second.max_transfer;
        if (request.path_id < port->second.buses.size()) {
            for (const SimLogicalUnit& unit : port->second.buses[request.path_id].units) {
                if (unit.target_id == request.target_id && unit.lun == request.lun) {
                    device = unit.device;
                }
            }
        }
        // Nobody answers the selection.
        if (!device) return fail(SIM_ERROR_SEM_TIMEOUT);
    } else {
        device = target.device;
        if (!device) return fail(SIM_ERROR_INVALID_FUNCTION);
        if (target.address) {
            address = *target.address;
            const auto port = ports_.find(address.port);
            if (port != ports_.end()) max_transfer = port->second.max_transfer;
        }
    }
    if (request.data_transfer_length > max_transfer) return fail(OS_ERROR_INVALID_PARAMETER);

    SimCommand command;
    command.address = address;
    command.cdb = std::span<const std::uint8_t>(request.cdb, request.cdb_length);
    command.direction = direction_of(request);
    command.data = static_cast<std::uint8_t*>(request.data_buffer);
    command.length = request.data_transfer_length;
    const SimDelivery delivery = device->deliver(command);
    if (delivery.os_error != 0) return fail(delivery.os_error);

    request.scsi_status = delivery.result.status;
    if (delivery.result.status == SCSI_STATUS_CHECK_CONDITION) {
        const std::size_t n =
            std::min<std::size_t>(request.sense_info_length, delivery.result.sense_length);
        std::copy_n(delivery.result.sense.begin(), n, request.sense);
    }
    return true;
}

}  // namespace korvel
