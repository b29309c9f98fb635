#include "sim_aspi_library.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>

namespace korvel {

namespace {

constexpr char LIBRARY_NAME[] = "wnaspi32.dll";
constexpr char SEND_ENTRY[] = "SendASPI32Command";
constexpr char SUPPORT_ENTRY[] = "GetASPI32SupportInfo";

constexpr std::uint8_t INITIATOR_ID = 7;
constexpr char MANAGER_ID[] = "ASPI for WIN32";
constexpr std::uint32_t MAX_TRANSFER = 0x10000;
constexpr std::uint8_t MAX_TARGETS = 8;
constexpr std::size_t GET_DEV_TYPE_TARGET = 8;
constexpr std::size_t GET_DEV_TYPE_LUN = 9;
constexpr std::size_t GET_DEV_TYPE_RESULT = 10;

// The library whose entry points are live; the latest one constructed.
std::atomic<SimAspiLibrary*> current_library{nullptr};

std::uint32_t KORVEL_ASPI_CALL sim_get_aspi32_support_info() {
    SimAspiLibrary* library = current_library.load(std::memory_order_acquire);
    return library != nullptr ? library->support_info() : 0;
}

std::uint32_t KORVEL_ASPI_CALL sim_send_aspi32_command(void* srb) {
    SimAspiLibrary* library = current_library.load(std::memory_order_acquire);
    return library != nullptr ? library->send_command(srb) : SS_ERR;
}

bool same_name_ignoring_case(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

SimDirection direction_of(std::uint8_t flags, std::uint32_t length) {
    if ((flags & SRB_DIR_IN) != 0) return SimDirection::in;
    if ((flags & SRB_DIR_OUT) != 0) return SimDirection::out;
    return length == 0 ? SimDirection::none : SimDirection::by_command;
}

void publish_status(std::uint8_t& status, std::uint8_t value) {
    std::atomic_ref<std::uint8_t>(status).store(value, std::memory_order_release);
}

}  // namespace

// One request completed on a thread of its own, once the gate is open and the delay has passed.
class SimAspiLibrary::Worker final : public ThreadWork {
public:
    Worker(ThreadEvent& gate, std::uint32_t delay_ms, std::function<void()> complete)
        : gate_(gate), delay_ms_(delay_ms), complete_(std::move(complete)) {}

    void run() override {
        gate_.wait();
        if (delay_ms_ > 0) os_threads().sleep(delay_ms_);
        complete_();
    }

    OsHandle thread = 0;

private:
    ThreadEvent& gate_;
    const std::uint32_t delay_ms_;
    std::function<void()> complete_;
};

SimAspiLibrary::SimAspiLibrary() {
    gate_.set();
    current_library.store(this, std::memory_order_release);
}

SimAspiLibrary::~SimAspiLibrary() {
    release_completions();
    join_workers();
    SimAspiLibrary* self = this;
    current_library.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

void SimAspiLibrary::set_absent(OsHandle load_result) {
    present_ = false;
    absent_result_ = load_result;
}

void SimAspiLibrary::set_present() { present_ = true; }

void SimAspiLibrary::set_missing_entry(std::string name) {
    missing_entries_.push_back(std::move(name));
}

std::uint8_t SimAspiLibrary::add_host(std::string_view identifier) {
    hosts_.emplace_back(identifier);
    return static_cast<std::uint8_t>(hosts_.size() - 1);
}

void SimAspiLibrary::attach(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                            std::shared_ptr<SimDevice> device) {
    devices_[{host, target, lun}] = std::move(device);
}

void SimAspiLibrary::set_support_info(std::uint32_t value) {
    support_info_set_ = true;
    support_info_value_ = value;
}

void SimAspiLibrary::complete_immediately() { on_worker_ = false; }

void SimAspiLibrary::complete_on_worker(std::chrono::milliseconds delay) {
    on_worker_ = true;
    delay_ = delay;
}

void SimAspiLibrary::hold_completions() { gate_.reset(); }

void SimAspiLibrary::release_completions() { gate_.set(); }

void SimAspiLibrary::wait_idle() { join_workers(); }

void SimAspiLibrary::join_workers() {
    std::vector<std::unique_ptr<Worker>> finishing;
    {
        std::lock_guard lock(workers_lock_);
        finishing.swap(workers_);
    }
    for (const std::unique_ptr<Worker>& worker : finishing) os_threads().join(worker->thread);
}

// --- Loader -----------------------------------------------------------------------------------

OsHandle SimAspiLibrary::load_library(const char* name) {
    if (!present_) return absent_result_;
    if (name == nullptr || !same_name_ignoring_case(name, LIBRARY_NAME)) {
        return SIM_LOAD_FILE_NOT_FOUND;
    }
    ++loads_;
    ++references_;
    return SIM_ASPI_MODULE;
}

void* SimAspiLibrary::find_entry(OsHandle library, const char* name) {
    if (library != SIM_ASPI_MODULE || references_ == 0 || name == nullptr) return nullptr;
    if (std::find(missing_entries_.begin(), missing_entries_.end(), name) !=
        missing_entries_.end()) {
        return nullptr;
    }
    // GetProcAddress hands entry points out as untyped addresses.
    if (std::strcmp(name, SEND_ENTRY) == 0) {
        return reinterpret_cast<void*>(&sim_send_aspi32_command);
    }
    if (std::strcmp(name, SUPPORT_ENTRY) == 0) {
        return reinterpret_cast<void*>(&sim_get_aspi32_support_info);
    }
    return nullptr;
}

void SimAspiLibrary::free_library(OsHandle library) {
    if (library != SIM_ASPI_MODULE || references_ == 0) {
        ++bad_frees_;
        return;
    }
    ++frees_;
    // A library being unloaded finishes its outstanding requests first.
    if (--references_ == 0) join_workers();
}

// --- Entry points -----------------------------------------------------------------------------

std::uint32_t SimAspiLibrary::support_info() {
    ++support_calls_;
    if (support_info_set_) return support_info_value_;
    return (std::uint32_t{SS_COMP} << 8) | static_cast<std::uint32_t>(hosts_.size() & 0xFF);
}

std::uint32_t SimAspiLibrary::send_command(void* srb) {
    ++sends_;
    if (srb == nullptr) return SS_ERR;
    auto* header = static_cast<SRB_Header*>(srb);
    std::uint8_t status = SS_INVALID_CMD;
    switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY:
        status = answer_ha_inquiry(*static_cast<SRB_HAInquiry*>(srb));
        break;
    case SC_GET_DEV_TYPE:
        status = answer_get_dev_type(static_cast<std::uint8_t*>(srb));
        break;
    case SC_EXEC_SCSI_CMD:
        return execute(*static_cast<SRB_ExecSCSICmd*>(srb));
    case SC_ABORT_SRB:
    case SC_RESET_DEV:
        status = SS_COMP;
        break;
    default:
        break;
    }
    if (!status_only_returned_) header->SRB_Status = status;
    return status;
}

std::uint8_t SimAspiLibrary::answer_ha_inquiry(SRB_HAInquiry& srb) const {
    if (srb.SRB_HaId >= hosts_.size()) return SS_INVALID_HA;
    srb.HA_Count = static_cast<std::uint8_t>(hosts_.size());
    srb.HA_SCSI_ID = INITIATOR_ID;
    std::memset(srb.HA_ManagerId, 0, sizeof srb.HA_ManagerId);
    std::memcpy(srb.HA_ManagerId, MANAGER_ID, sizeof MANAGER_ID);
    std::memset(srb.HA_Identifier, 0, sizeof srb.HA_Identifier);
    const std::string& identifier = hosts_[srb.SRB_HaId];
    std::memcpy(srb.HA_Identifier, identifier.data(),
                std::min(identifier.size(), sizeof srb.HA_Identifier - 1));
    std::memset(srb.HA_Unique, 0, sizeof srb.HA_Unique);
    srb.HA_Unique[0] = 0x03;  // buffer alignment mask
    srb.HA_Unique[3] = MAX_TARGETS;
    for (std::size_t i = 0; i < 4; ++i) {
        srb.HA_Unique[4 + i] = static_cast<std::uint8_t>(MAX_TRANSFER >> (8 * i));
    }
    return SS_COMP;
}

std::uint8_t SimAspiLibrary::answer_get_dev_type(std::uint8_t* srb) const {
    if (srb[offsetof(SRB_Header, SRB_HaId)] >= hosts_.size()) return SS_INVALID_HA;
    const auto device = device_at(srb[offsetof(SRB_Header, SRB_HaId)], srb[GET_DEV_TYPE_TARGET],
                                  srb[GET_DEV_TYPE_LUN]);
    if (!device) return SS_NO_DEVICE;
    srb[GET_DEV_TYPE_RESULT] = device->peripheral_type();
    return SS_COMP;
}

std::shared_ptr<SimDevice> SimAspiLibrary::device_at(std::uint8_t host, std::uint8_t target,
                                                     std::uint8_t lun) const {
    const auto it = devices_.find({host, target, lun});
    return it == devices_.end() ? nullptr : it->second;
}

std::uint8_t SimAspiLibrary::execute(SRB_ExecSCSICmd& srb) {
    if (srb.SRB_HaId >= hosts_.size()) {
        srb.SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    std::shared_ptr<SimDevice> device = device_at(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (!device) {
        srb.SRB_Status = SS_NO_DEVICE;
        return SS_NO_DEVICE;
    }

    // Everything the worker needs is taken from the block now; afterwards it only writes.
    SimCommand command;
    command.address = SimAddress{srb.SRB_HaId, 0, srb.SRB_Target, srb.SRB_Lun};
    command.direction = direction_of(srb.SRB_Flags, srb.SRB_BufLen);
    command.data = srb.SRB_BufPointer;
    command.length = srb.SRB_BufLen;
    std::vector<std::uint8_t> cdb(
        srb.CDBByte, srb.CDBByte + std::min<std::size_t>(srb.SRB_CDBLen, CDB_MAX_SIZE));
    const std::size_t sense_wanted = std::min<std::size_t>(srb.SRB_SenseLen, SENSE_AREA_SIZE);

    auto complete = [device, command, cdb = std::move(cdb), sense_wanted, &srb]() mutable {
        command.cdb = cdb;
        const SimDelivery delivery = device->deliver(command);
        std::uint8_t status = SS_COMP;
        if (delivery.os_error != 0) {
            srb.SRB_HaStat = HASTAT_SEL_TO;
            status = SS_ERR;
        } else {
            srb.SRB_HaStat = 0;
            srb.SRB_TargStat = delivery.result.status;
            if (delivery.result.status != SCSI_STATUS_GOOD) status = SS_ERR;
            if (delivery.result.status == SCSI_STATUS_CHECK_CONDITION && sense_wanted > 0) {
                // The sense bytes as a whole, the first one last: a caller may watch it as
                // well as the status, so it is published like the status.
                std::uint8_t sense[SENSE_AREA_SIZE] = {};
                std::copy_n(delivery.result.sense.begin(),
                            std::min<std::size_t>(sense_wanted, delivery.result.sense_length),
                            sense);
                std::memcpy(srb.SenseArea + 1, sense + 1, sense_wanted - 1);
                std::atomic_ref<std::uint8_t>(srb.SenseArea[0])
                    .store(sense[0], std::memory_order_release);
            }
        }
        publish_status(srb.SRB_Status, status);
        return status;
    };

    if (!on_worker_) return complete();

    srb.SRB_Status = SS_PENDING;
    auto worker = std::make_unique<Worker>(gate_, static_cast<std::uint32_t>(delay_.count()),
                                           std::move(complete));
    worker->thread = os_threads().start(*worker);
    // A library that cannot start its thread cannot be simulated.
    if (worker->thread == 0) std::abort();
    std::lock_guard lock(workers_lock_);
    workers_.push_back(std::move(worker));
    return SS_PENDING;
}

}  // namespace korvel
