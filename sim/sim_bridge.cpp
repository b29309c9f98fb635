#include "sim_bridge.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <utility>

namespace korvel {

namespace {

constexpr std::size_t TEN_BYTE_CDB = 10;
constexpr std::size_t CAPACITY_DATA_SIZE = 8;
constexpr std::uint8_t SIM_ASC_MEDIUM_NOT_PRESENT = 0x3A;

std::uint32_t be24(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 16 | static_cast<std::uint32_t>(bytes[1]) << 8 |
           bytes[2];
}

bool accepts_data_in(SimDirection direction) {
    return direction == SimDirection::in || direction == SimDirection::by_command;
}

bool accepts_data_out(SimDirection direction) {
    return direction == SimDirection::out || direction == SimDirection::by_command;
}

SimResult invalid_field() {
    SimResult result;
    result.status = SCSI_STATUS_CHECK_CONDITION;
    const std::vector<std::uint8_t> sense =
        fixed_sense(SIM_SENSE_ILLEGAL_REQUEST, SIM_ASC_INVALID_FIELD_IN_CDB, 0);
    std::copy(sense.begin(), sense.end(), result.sense.begin());
    result.sense_length = static_cast<std::uint8_t>(sense.size());
    return result;
}

}  // namespace

SimBridge::SimBridge(std::span<const std::uint8_t> inquiry_data, SimBoardKind kind)
    : SimDevice(inquiry_data), kind_(kind) {
    if (kind_ == SimBoardKind::bridge) {
        for (Area* area : {&firmware_76_, &firmware_78_, &section_7c_, &section_7d_}) {
            area->bytes.assign(SIM_BRIDGE_AREA_SIZE, SIM_ERASED_BYTE);
        }
        upper_78_.base = SIM_BRIDGE_UPPER_BASE;
        upper_78_.bytes.assign(SIM_BRIDGE_AREA_SIZE, SIM_ERASED_BYTE);
    } else {
        board_.base = SIM_BOARD_BASE;
        board_.bytes.assign(SIM_BOARD_SIZE, SIM_ERASED_BYTE);
    }
}

void SimBridge::set_capacity(std::uint32_t last_block, std::uint32_t block_length) {
    std::vector<std::uint8_t> data(CAPACITY_DATA_SIZE);
    for (std::size_t i = 0; i < 4; ++i) {
        const auto shift = static_cast<unsigned>(24 - 8 * i);
        data[i] = static_cast<std::uint8_t>(last_block >> shift);
        data[4 + i] = static_cast<std::uint8_t>(block_length >> shift);
    }
    std::lock_guard lock(state_mutex_);
    capacity_ = std::move(data);
}

void SimBridge::clear_capacity() {
    std::lock_guard lock(state_mutex_);
    capacity_.reset();
}

std::vector<std::uint8_t> SimBridge::memory(std::uint8_t buffer_id) const {
    if (buffer_id == SIM_BUFFER_BOARD_WRITE || buffer_id == SIM_BUFFER_BOARD_READ) return {};
    std::lock_guard lock(state_mutex_);
    const Area* area = area_for(buffer_id, 0, true);
    return area == nullptr ? std::vector<std::uint8_t>{} : area->bytes;
}

std::vector<std::uint8_t> SimBridge::upper_memory() const {
    std::lock_guard lock(state_mutex_);
    return upper_78_.bytes;
}

std::vector<std::uint8_t> SimBridge::board_memory() const {
    std::lock_guard lock(state_mutex_);
    return board_.bytes;
}

bool SimBridge::preload(std::uint8_t buffer_id, std::uint32_t offset,
                        std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(state_mutex_);
    Area* area = area_for(buffer_id, offset, true);
    if (area == nullptr || bytes.size() > SIM_BOARD_SIZE ||
        !fits(*area, offset, static_cast<std::uint32_t>(bytes.size()))) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(),
              area->bytes.begin() + static_cast<std::ptrdiff_t>(offset - area->base));
    return true;
}

std::vector<std::uint8_t> SimBridge::written_buffers() const {
    std::lock_guard lock(state_mutex_);
    std::vector<std::uint8_t> ids;
    if (board_.written) ids.push_back(SIM_BUFFER_BOARD_WRITE);
    if (firmware_76_.written) ids.push_back(SIM_BUFFER_PV20);
    if (firmware_78_.written || upper_78_.written) ids.push_back(SIM_BUFFER_FIRMWARE);
    if (section_7c_.written) ids.push_back(SIM_BUFFER_SECTION_1);
    if (section_7d_.written) ids.push_back(SIM_BUFFER_SECTION_2);
    return ids;
}

bool SimBridge::upper_written() const {
    std::lock_guard lock(state_mutex_);
    return upper_78_.written;
}

std::vector<std::uint32_t> SimBridge::finish_values() const {
    std::lock_guard lock(state_mutex_);
    return finish_values_;
}

void SimBridge::corrupt_reads(std::uint32_t count, std::uint32_t after) {
    std::lock_guard lock(state_mutex_);
    reads_to_corrupt_ = count;
    reads_before_corrupting_ = after;
}

std::uint32_t SimBridge::corrupt_reads_pending() const {
    std::lock_guard lock(state_mutex_);
    return reads_to_corrupt_;
}

SimResult SimBridge::execute(const SimCommand& command) {
    if (command.cdb.empty()) return SimDevice::execute(command);
    const std::uint8_t op = command.cdb[0];
    switch (op) {
    case SIM_OP_READ_CAPACITY:
        return answer_read_capacity(command);
    case SIM_OP_READ_SUB_CHANNEL:
        return answer_read_sub_channel(command);
    case SIM_OP_WRITE_BUFFER:
    case SIM_OP_READ_BUFFER: {
        if (command.cdb.size() < TEN_BYTE_CDB || command.cdb[1] != SIM_BUFFER_MODE) {
            return invalid_field();
        }
        const Transfer transfer{command.cdb[2], be24(command.cdb.subspan(3, 3)),
                                be24(command.cdb.subspan(6, 3))};
        // The length field must describe the data phase the initiator set up.
        if (transfer.length != command.length) return invalid_field();
        std::lock_guard lock(state_mutex_);
        return op == SIM_OP_WRITE_BUFFER ? answer_write_buffer(command, transfer)
                                         : answer_read_buffer(command, transfer);
    }
    default:
        return SimDevice::execute(command);
    }
}

SimResult SimBridge::answer_read_capacity(const SimCommand& command) const {
    if (command.cdb.size() < TEN_BYTE_CDB) return invalid_field();
    std::lock_guard lock(state_mutex_);
    if (!capacity_) {
        if (kind_ == SimBoardKind::copier) {
            return check_condition(SIM_SENSE_ILLEGAL_REQUEST, SIM_ASC_INVALID_OPERATION_CODE, 0);
        }
        return check_condition(SIM_SENSE_NOT_READY, SIM_ASC_MEDIUM_NOT_PRESENT, 0);
    }
    return good(send_to_initiator(command, *capacity_, CAPACITY_DATA_SIZE));
}

SimResult SimBridge::answer_read_sub_channel(const SimCommand& command) {
    if (command.cdb.size() < TEN_BYTE_CDB) return invalid_field();
    // Header (audio status 0x15: none to report) and a current position block for format 1.
    std::array<std::uint8_t, 16> data{};
    data[1] = 0x15;
    data[3] = 12;  // sub-channel data length
    data[4] = 0x01;
    data[5] = 0x14;  // ADR 1, data track
    data[6] = 0x01;  // track
    data[7] = 0x01;  // index
    const auto allocation =
        static_cast<std::uint32_t>(static_cast<std::uint32_t>(command.cdb[7]) << 8 | command.cdb[8]);
    return good(send_to_initiator(command, data, allocation));
}

SimResult SimBridge::answer_write_buffer(const SimCommand& command, const Transfer& transfer) {
    if (transfer.length == 0) {
        // Commands without data: the preamble of a bridge, the finishing command of a board.
        if (kind_ == SimBoardKind::bridge && transfer.buffer_id == SIM_BUFFER_PREPARE) {
            return good();
        }
        if (kind_ == SimBoardKind::copier && transfer.buffer_id == SIM_BUFFER_FINISH) {
            finish_values_.push_back(transfer.offset);
            return good();
        }
        const Area* area = area_for(transfer.buffer_id, transfer.offset, true);
        return area != nullptr && fits(*area, transfer.offset, 0) ? good() : invalid_field();
    }
    if (!accepts_data_out(command.direction) || command.data == nullptr) return invalid_field();
    Area* area = area_for(transfer.buffer_id, transfer.offset, true);
    if (area == nullptr || !fits(*area, transfer.offset, transfer.length)) return invalid_field();
    std::memcpy(area->bytes.data() + (transfer.offset - area->base), command.data, transfer.length);
    area->written = true;
    return good(transfer.length);
}

SimResult SimBridge::answer_read_buffer(const SimCommand& command, const Transfer& transfer) {
    const Area* area = area_for(transfer.buffer_id, transfer.offset, false);
    if (area == nullptr || !fits(*area, transfer.offset, transfer.length)) return invalid_field();
    if (transfer.length == 0) return good();
    if (!accepts_data_in(command.direction) || command.data == nullptr) return invalid_field();
    std::memcpy(command.data, area->bytes.data() + (transfer.offset - area->base), transfer.length);
    if (reads_before_corrupting_ > 0) {
        --reads_before_corrupting_;
    } else if (reads_to_corrupt_ > 0) {
        --reads_to_corrupt_;
        command.data[0] = static_cast<std::uint8_t>(~command.data[0]);
    }
    return good(transfer.length);
}

const SimBridge::Area* SimBridge::area_for(std::uint8_t buffer_id, std::uint32_t offset,
                                           bool writing) const {
    if (kind_ == SimBoardKind::copier) {
        const std::uint8_t board_id = writing ? SIM_BUFFER_BOARD_WRITE : SIM_BUFFER_BOARD_READ;
        return buffer_id == board_id ? &board_ : nullptr;
    }
    switch (buffer_id) {
    case SIM_BUFFER_PV20:
        return writing ? &firmware_76_ : nullptr;  // the PV20 firmware is never read back
    case SIM_BUFFER_FIRMWARE:
        return offset >= SIM_BRIDGE_UPPER_BASE ? &upper_78_ : &firmware_78_;
    case SIM_BUFFER_SECTION_1:
        return &section_7c_;
    case SIM_BUFFER_SECTION_2:
        return &section_7d_;
    default:
        return nullptr;
    }
}

SimBridge::Area* SimBridge::area_for(std::uint8_t buffer_id, std::uint32_t offset, bool writing) {
    return const_cast<Area*>(std::as_const(*this).area_for(buffer_id, offset, writing));
}

bool SimBridge::fits(const Area& area, std::uint32_t offset, std::uint32_t length) {
    if (offset < area.base) return false;
    const std::uint64_t end = std::uint64_t{offset - area.base} + length;
    return end <= area.bytes.size();
}

}  // namespace korvel
