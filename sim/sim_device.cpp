#include "sim_device.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace korvel {

namespace {

constexpr std::uint8_t OP_TEST_UNIT_READY = 0x00;
constexpr std::uint8_t OP_REQUEST_SENSE = 0x03;
constexpr std::uint8_t OP_INQUIRY = 0x12;

constexpr std::size_t FIXED_SENSE_SIZE = 18;

bool receives_data(SimDirection direction) {
    return direction == SimDirection::in || direction == SimDirection::by_command;
}

bool sends_data(SimDirection direction) {
    return direction == SimDirection::out || direction == SimDirection::by_command;
}

bool starts_with(std::span<const std::uint8_t> cdb, const std::vector<std::uint8_t>& prefix) {
    return prefix.size() <= cdb.size() && std::equal(prefix.begin(), prefix.end(), cdb.begin());
}

}  // namespace

std::vector<std::uint8_t> fixed_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    std::vector<std::uint8_t> sense(FIXED_SENSE_SIZE, 0);
    sense[0] = 0x70;
    sense[2] = static_cast<std::uint8_t>(key & 0x0F);
    sense[7] = static_cast<std::uint8_t>(FIXED_SENSE_SIZE - 8);  // additional sense length
    sense[12] = asc;
    sense[13] = ascq;
    return sense;
}

SimDevice::SimDevice(std::span<const std::uint8_t> inquiry_data) { set_inquiry_data(inquiry_data); }

std::uint8_t SimDevice::peripheral_type() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint8_t>(inquiry_[0] & 0x1F);
}

std::array<std::uint8_t, SIM_INQUIRY_CAPACITY> SimDevice::inquiry_data() const {
    std::lock_guard lock(mutex_);
    return inquiry_;
}

void SimDevice::set_inquiry_data(std::span<const std::uint8_t> inquiry_data) {
    std::lock_guard lock(mutex_);
    inquiry_.fill(0);
    std::copy_n(inquiry_data.begin(), std::min(inquiry_data.size(), inquiry_.size()),
                inquiry_.begin());
}

void SimDevice::set_vpd_page(std::uint8_t page, std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    vpd_pages_[page] = std::move(bytes);
}

void SimDevice::add_answer_time(std::vector<std::uint8_t> cdb_prefix, std::uint32_t milliseconds) {
    std::lock_guard lock(mutex_);
    answer_times_.push_back({std::move(cdb_prefix), milliseconds});
}

SimDelivery SimDevice::deliver(const SimCommand& command) {
    std::uint32_t answer_time = 0;
    {
        std::lock_guard lock(mutex_);
        for (const AnswerTime& rule : answer_times_) {
            if (starts_with(command.cdb, rule.cdb_prefix)) {
                answer_time = rule.milliseconds;
                break;
            }
        }
    }
    // Outside the lock: the device's journal and state stay readable while it "works".
    if (answer_time > 0) os_threads().sleep(answer_time);
    std::lock_guard lock(mutex_);
    SimDelivery delivery;
    if (removed_) {
        delivery.os_error = removed_error_;
        return delivery;
    }
    const std::optional<Fault> fault = take_fault(command.cdb);
    if (fault && fault->kind == FaultKind::call_failure) {
        delivery.os_error = fault->os_error;
        return delivery;
    }

    SimJournalEntry entry;
    entry.address = command.address;
    entry.cdb.assign(command.cdb.begin(), command.cdb.end());
    entry.direction = command.direction;
    entry.length = command.length;
    if (sends_data(command.direction) && command.data != nullptr) {
        entry.data_out.assign(command.data, command.data + command.length);
    }

    if (!fault) {
        delivery.result = execute(command);
    } else if (fault->kind == FaultKind::busy) {
        delivery.result.status = SCSI_STATUS_BUSY;
    } else {
        delivery.result.status = SCSI_STATUS_CHECK_CONDITION;
        const std::size_t n = std::min(fault->sense.size(), SIM_SENSE_CAPACITY);
        std::copy_n(fault->sense.begin(), n, delivery.result.sense.begin());
        delivery.result.sense_length = static_cast<std::uint8_t>(n);
    }

    entry.status = delivery.result.status;
    entry.transferred = delivery.result.transferred;
    journal_.push_back(std::move(entry));
    if (observer_) observer_(journal_.back());
    return delivery;
}

std::optional<SimDevice::Fault> SimDevice::take_fault(std::span<const std::uint8_t> cdb) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (!starts_with(cdb, it->cdb_prefix)) continue;
        Fault taken = *it;
        if (it->remaining != SIM_ALWAYS && --it->remaining == 0) faults_.erase(it);
        return taken;
    }
    return std::nullopt;
}

void SimDevice::add_fault(Fault fault) {
    if (fault.remaining == 0) return;
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

void SimDevice::inject_check_condition(std::uint32_t count, std::vector<std::uint8_t> sense,
                                       std::vector<std::uint8_t> cdb_prefix) {
    add_fault({FaultKind::check_condition, count, std::move(cdb_prefix), std::move(sense), 0});
}

void SimDevice::inject_busy(std::uint32_t count, std::vector<std::uint8_t> cdb_prefix) {
    add_fault({FaultKind::busy, count, std::move(cdb_prefix), {}, 0});
}

void SimDevice::inject_call_failure(std::uint32_t count, std::uint32_t os_error,
                                    std::vector<std::uint8_t> cdb_prefix) {
    add_fault({FaultKind::call_failure, count, std::move(cdb_prefix), {}, os_error});
}

void SimDevice::set_removed(bool removed, std::uint32_t os_error) {
    std::lock_guard lock(mutex_);
    removed_ = removed;
    removed_error_ = os_error;
}

bool SimDevice::removed() const {
    std::lock_guard lock(mutex_);
    return removed_;
}

void SimDevice::clear_faults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::vector<SimJournalEntry> SimDevice::journal() const {
    std::lock_guard lock(mutex_);
    return journal_;
}

std::size_t SimDevice::command_count() const {
    std::lock_guard lock(mutex_);
    return journal_.size();
}

void SimDevice::clear_journal() {
    std::lock_guard lock(mutex_);
    journal_.clear();
}

void SimDevice::set_observer(SimCommandObserver observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

SimResult SimDevice::execute(const SimCommand& command) {
    if (command.cdb.empty()) {
        return check_condition(SIM_SENSE_ILLEGAL_REQUEST, SIM_ASC_INVALID_OPERATION_CODE, 0);
    }
    switch (command.cdb[0]) {
    case OP_TEST_UNIT_READY:
        return good();
    case OP_REQUEST_SENSE: {
        if (command.cdb.size() < 6) break;
        const std::vector<std::uint8_t> none = fixed_sense(SIM_SENSE_NO_SENSE, 0, 0);
        return good(send_to_initiator(command, none, command.cdb[4]));
    }
    case OP_INQUIRY:
        return answer_inquiry(command);
    default:
        break;
    }
    return check_condition(SIM_SENSE_ILLEGAL_REQUEST, SIM_ASC_INVALID_OPERATION_CODE, 0);
}

SimResult SimDevice::answer_inquiry(const SimCommand& command) const {
    if (command.cdb.size() < 6) {
        return check_condition(SIM_SENSE_ILLEGAL_REQUEST, SIM_ASC_INVALID_FIELD_IN_CDB, 0);
    }
    const bool evpd = (command.cdb[1] & 0x01) != 0;
    const std::uint8_t page = command.cdb[2];
    const auto allocation = static_cast<std::uint32_t>(
        (static_cast<std::uint32_t>(command.cdb[3]) << 8) | command.cdb[4]);
    if (!evpd) {
        // A page code without EVPD is an invalid field.
        if (page != 0) {
            return check_condition(SIM_SENSE_ILLEGAL_REQUEST, SIM_ASC_INVALID_FIELD_IN_CDB, 0);
        }
        return good(send_to_initiator(command, inquiry_, allocation));
    }
    const auto found = vpd_pages_.find(page);
    if (found == vpd_pages_.end()) {
        return check_condition(SIM_SENSE_ILLEGAL_REQUEST, SIM_ASC_INVALID_FIELD_IN_CDB, 0);
    }
    return good(send_to_initiator(command, found->second, allocation));
}

SimResult SimDevice::good(std::uint32_t transferred) {
    SimResult result;
    result.transferred = transferred;
    return result;
}

SimResult SimDevice::check_condition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    SimResult result;
    result.status = SCSI_STATUS_CHECK_CONDITION;
    const std::vector<std::uint8_t> sense = fixed_sense(key, asc, ascq);
    std::copy(sense.begin(), sense.end(), result.sense.begin());
    result.sense_length = static_cast<std::uint8_t>(sense.size());
    return result;
}

std::uint32_t SimDevice::send_to_initiator(const SimCommand& command,
                                           std::span<const std::uint8_t> source,
                                           std::uint32_t allocation_length) {
    if (!receives_data(command.direction) || command.data == nullptr) return 0;
    const std::uint32_t count = std::min(allocation_length, command.length);
    const std::size_t from_source = std::min<std::size_t>(count, source.size());
    // An empty page has no storage at all: memcpy must not see its null pointer.
    if (from_source != 0) std::memcpy(command.data, source.data(), from_source);
    std::memset(command.data + from_source, 0, count - from_source);
    return count;
}

}  // namespace korvel
