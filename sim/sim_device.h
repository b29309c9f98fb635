// A simulated SCSI device: its INQUIRY data, the commands it answers, injected faults and a
// journal of every command it received.
//
// The base class answers what every SCSI device answers (INQUIRY, TEST UNIT READY, REQUEST
// SENSE) and rejects the rest as ILLEGAL REQUEST. Device models derive from it and override
// execute() for their own commands; faults and the journal stay in the base, so every model
// gets them for free.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "aspi_srb.h"
#include "os_threads.h"

namespace korvel {

/// Where a command reached a device: SCSI port (or ASPI host), path (bus) id, target, LUN.
struct SimAddress {
    std::uint8_t port = 0;
    std::uint8_t path_id = 0;
    std::uint8_t target_id = 0;
    std::uint8_t lun = 0;
    friend bool operator==(const SimAddress&, const SimAddress&) = default;
};

/// Direction of a command's data phase as the initiator declared it.
enum class SimDirection : std::uint8_t {
    none,       ///< no data phase
    in,         ///< data from the device
    out,        ///< data to the device
    by_command  ///< the initiator left it to the command
};

/// One command as the device receives it.
struct SimCommand {
    SimAddress address;
    std::span<const std::uint8_t> cdb;
    SimDirection direction = SimDirection::none;
    std::uint8_t* data = nullptr;  ///< the initiator's buffer
    std::uint32_t length = 0;      ///< its length in bytes
};

inline constexpr std::size_t SIM_SENSE_CAPACITY = 32;
inline constexpr std::size_t SIM_INQUIRY_CAPACITY = 248;

/// The device's answer to one command.
struct SimResult {
    std::uint8_t status = SCSI_STATUS_GOOD;
    std::uint8_t sense_length = 0;  ///< valid bytes of sense (CHECK CONDITION only)
    std::array<std::uint8_t, SIM_SENSE_CAPACITY> sense{};
    std::uint32_t transferred = 0;  ///< bytes moved in the data phase
};

/// What one delivery came to: a failure of the carrying call itself (os_error not 0, the
/// device never saw the command) or the device's answer.
struct SimDelivery {
    std::uint32_t os_error = 0;
    SimResult result;
};

/// One command in a device's journal.
struct SimJournalEntry {
    SimAddress address;
    std::vector<std::uint8_t> cdb;
    SimDirection direction = SimDirection::none;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> data_out;  ///< bytes the initiator sent (data-out commands)
    std::uint8_t status = SCSI_STATUS_GOOD;
    std::uint32_t transferred = 0;
};

/// Told of every command a device received, as journalled, in the order it was answered.
using SimCommandObserver = std::function<void(const SimJournalEntry&)>;

/// Count meaning "every matching command from now on".
inline constexpr std::uint32_t SIM_ALWAYS = 0xFFFFFFFF;

/// Error code of a call to a device that is no longer attached (ERROR_DEVICE_NOT_CONNECTED).
inline constexpr std::uint32_t SIM_ERROR_DEVICE_NOT_CONNECTED = 1167;

// Sense keys and additional sense codes the simulated devices report.
inline constexpr std::uint8_t SIM_SENSE_NO_SENSE = 0x00;
inline constexpr std::uint8_t SIM_SENSE_NOT_READY = 0x02;
inline constexpr std::uint8_t SIM_SENSE_MEDIUM_ERROR = 0x03;
inline constexpr std::uint8_t SIM_SENSE_HARDWARE_ERROR = 0x04;
inline constexpr std::uint8_t SIM_SENSE_ILLEGAL_REQUEST = 0x05;
inline constexpr std::uint8_t SIM_SENSE_UNIT_ATTENTION = 0x06;
inline constexpr std::uint8_t SIM_ASC_INVALID_OPERATION_CODE = 0x20;
inline constexpr std::uint8_t SIM_ASC_INVALID_FIELD_IN_CDB = 0x24;

/// Fixed-format sense data (response code 0x70, 18 bytes) with key, ASC and ASCQ.
std::vector<std::uint8_t> fixed_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

class SimDevice {
public:
    /// A device whose standard INQUIRY data is inquiry_data (bytes beyond it read as 0;
    /// anything past SIM_INQUIRY_CAPACITY is dropped).
    explicit SimDevice(std::span<const std::uint8_t> inquiry_data);
    virtual ~SimDevice() = default;
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    /// Peripheral device type (INQUIRY byte 0, low five bits).
    std::uint8_t peripheral_type() const;
    /// The stored standard INQUIRY data, zero-padded to SIM_INQUIRY_CAPACITY.
    std::array<std::uint8_t, SIM_INQUIRY_CAPACITY> inquiry_data() const;
    void set_inquiry_data(std::span<const std::uint8_t> inquiry_data);
    /// Makes INQUIRY with EVPD answer this vital product data page.
    void set_vpd_page(std::uint8_t page, std::vector<std::uint8_t> bytes);

    /// Carries one command to the device: injected faults first, then execute(), then the
    /// journal. Safe to call from any thread.
    SimDelivery deliver(const SimCommand& command);

    // --- Faults. A cdb_prefix limits a fault to commands whose CDB starts with those bytes;
    // each fault answers `count` matching commands (SIM_ALWAYS: all of them). Faults are
    // tried in the order they were injected.

    /// Answers with CHECK CONDITION and these sense bytes (at most SIM_SENSE_CAPACITY).
    void inject_check_condition(std::uint32_t count, std::vector<std::uint8_t> sense,
                                std::vector<std::uint8_t> cdb_prefix = {});
    /// Answers with BUSY (status 0x08) and no sense.
    void inject_busy(std::uint32_t count, std::vector<std::uint8_t> cdb_prefix = {});
    /// Makes the carrying call itself fail with os_error (the device sees nothing).
    void inject_call_failure(std::uint32_t count, std::uint32_t os_error,
                             std::vector<std::uint8_t> cdb_prefix = {});
    /// Makes commands whose CDB starts with cdb_prefix take this long to answer, as a flash
    /// write does on a real bridge: the delivering thread waits before the device answers. The
    /// first matching rule counts.
    void add_answer_time(std::vector<std::uint8_t> cdb_prefix, std::uint32_t milliseconds);
    /// A removed device fails every call with os_error and is not journalled.
    void set_removed(bool removed, std::uint32_t os_error = SIM_ERROR_DEVICE_NOT_CONNECTED);
    bool removed() const;
    void clear_faults();

    // --- Journal of every command the device received (faulted ones included).
    std::vector<SimJournalEntry> journal() const;
    std::size_t command_count() const;
    void clear_journal();
    /// Tells observer of every command journalled from now on (empty: no one), right after
    /// the device answered it. It runs under the device's lock on the delivering thread, so
    /// it sees one device's commands in order and must not call back into the device.
    void set_observer(SimCommandObserver observer);

protected:
    /// Answers one command; the lock of deliver() is held.
    virtual SimResult execute(const SimCommand& command);

    static SimResult good(std::uint32_t transferred = 0);
    static SimResult check_condition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);
    /// Copies source (zero-padded) to the initiator for a data-in command: at most
    /// allocation_length bytes and at most the initiator's buffer. Returns the count moved.
    static std::uint32_t send_to_initiator(const SimCommand& command,
                                           std::span<const std::uint8_t> source,
                                           std::uint32_t allocation_length);

private:
    enum class FaultKind : std::uint8_t { check_condition, busy, call_failure };
    struct Fault {
        FaultKind kind;
        std::uint32_t remaining;
        std::vector<std::uint8_t> cdb_prefix;
        std::vector<std::uint8_t> sense;
        std::uint32_t os_error;
    };

    void add_fault(Fault fault);
    SimResult answer_inquiry(const SimCommand& command) const;
    /// The first fault matching cdb, used up by one; none when no fault matches.
    std::optional<Fault> take_fault(std::span<const std::uint8_t> cdb);

    mutable ThreadLock mutex_{os_threads()};
    std::array<std::uint8_t, SIM_INQUIRY_CAPACITY> inquiry_{};
    std::map<std::uint8_t, std::vector<std::uint8_t>> vpd_pages_;
    std::vector<Fault> faults_;
    struct AnswerTime {
        std::vector<std::uint8_t> cdb_prefix;
        std::uint32_t milliseconds;
    };
    std::vector<AnswerTime> answer_times_;
    bool removed_ = false;
    std::uint32_t removed_error_ = SIM_ERROR_DEVICE_NOT_CONNECTED;
    std::vector<SimJournalEntry> journal_;
    SimCommandObserver observer_;
};

}  // namespace korvel
