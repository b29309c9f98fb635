// A simulated ASPI for Win32 library (wnaspi32.dll) behind the AspiLibraryLoader seam.
//
// It can be missing, present, or present without one of its entry points. Its entry points
// are plain functions that forward to the most recently constructed SimAspiLibrary. It knows
// a list of host adapters and the devices on them, answers SC_HA_INQUIRY and SC_GET_DEV_TYPE
// at once, and carries out SC_EXEC_SCSI_CMD either at once or, like a real library, later on
// a worker thread of its own: the send call then returns SS_PENDING, and the worker writes
// the data, the sense and the status bytes, publishing SRB_Status last with release order.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "aspi_srb.h"
#include "os_threads.h"
#include "platform_seam.h"
#include "sim_device.h"

namespace korvel {

/// The module handle the simulated library is loaded at.
inline constexpr OsHandle SIM_ASPI_MODULE = 0x10000000;
/// LoadLibraryA's answer for a missing file (ERROR_FILE_NOT_FOUND).
inline constexpr OsHandle SIM_LOAD_FILE_NOT_FOUND = 2;

// ASPI values the library produces beyond those the program uses.
inline constexpr std::uint8_t SS_INVALID_CMD = 0x80;
inline constexpr std::uint8_t SS_INVALID_HA = 0x81;
inline constexpr std::uint8_t HASTAT_SEL_TO = 0x11;

class SimAspiLibrary final : public AspiLibraryLoader {
public:
    SimAspiLibrary();
    ~SimAspiLibrary() override;
    SimAspiLibrary(const SimAspiLibrary&) = delete;
    SimAspiLibrary& operator=(const SimAspiLibrary&) = delete;

    // --- The library file ----------------------------------------------------------------

    /// No library: load_library answers load_result (0 or a value of 32 or less).
    void set_absent(OsHandle load_result = SIM_LOAD_FILE_NOT_FOUND);
    /// The library is there (the default).
    void set_present();
    /// The library lacks this export ("SendASPI32Command" or "GetASPI32SupportInfo").
    void set_missing_entry(std::string name);

    // --- Host adapters and devices ---------------------------------------------------------

    /// Adds the next host adapter with this identifier text; returns its number.
    std::uint8_t add_host(std::string_view identifier);
    /// Puts device at (host, target, lun).
    void attach(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::shared_ptr<SimDevice> device);
    /// What GetASPI32SupportInfo returns; until set, 0x0100 plus the number of hosts.
    void set_support_info(std::uint32_t value);

    // --- Completion ------------------------------------------------------------------------

    /// Execute requests complete inside the send call (the default).
    void complete_immediately();
    /// Requests other than execute requests report their status only as the send call's
    /// return value and leave SRB_Status untouched, as some libraries do.
    void set_status_only_returned(bool only_returned) { status_only_returned_ = only_returned; }
    /// Execute requests complete on a worker thread after delay; send returns SS_PENDING.
    void complete_on_worker(std::chrono::milliseconds delay);
    /// Workers wait before completing until release_completions().
    void hold_completions();
    void release_completions();
    /// Waits until every worker has finished.
    void wait_idle();

    // --- What happened -------------------------------------------------------------------

    std::uint32_t load_count() const { return loads_; }
    std::uint32_t free_count() const { return frees_; }
    /// free_library calls with a handle this library never gave out.
    std::uint32_t bad_frees() const { return bad_frees_; }
    /// Loaded and not yet freed as often as loaded.
    bool loaded() const { return references_ > 0; }
    std::uint32_t send_count() const { return sends_; }
    std::uint32_t support_info_count() const { return support_calls_; }

    // --- The entry points' bodies ----------------------------------------------------------

    std::uint32_t support_info();
    std::uint32_t send_command(void* srb);

    // --- AspiLibraryLoader ---------------------------------------------------------------

    OsHandle load_library(const char* name) override;
    void* find_entry(OsHandle library, const char* name) override;
    void free_library(OsHandle library) override;

private:
    class Worker;

    std::uint8_t answer_ha_inquiry(SRB_HAInquiry& srb) const;
    std::uint8_t answer_get_dev_type(std::uint8_t* srb) const;
    std::uint8_t execute(SRB_ExecSCSICmd& srb);
    std::shared_ptr<SimDevice> device_at(std::uint8_t host, std::uint8_t target,
                                         std::uint8_t lun) const;
    void join_workers();

    bool present_ = true;
    bool status_only_returned_ = false;
    OsHandle absent_result_ = SIM_LOAD_FILE_NOT_FOUND;
    std::vector<std::string> missing_entries_;
    std::vector<std::string> hosts_;
    std::map<std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>, std::shared_ptr<SimDevice>>
        devices_;
    bool support_info_set_ = false;
    std::uint32_t support_info_value_ = 0;

    std::uint32_t loads_ = 0;
    std::uint32_t frees_ = 0;
    std::uint32_t bad_frees_ = 0;
    std::uint32_t references_ = 0;
    std::uint32_t sends_ = 0;
    std::uint32_t support_calls_ = 0;

    bool on_worker_ = false;
    std::chrono::milliseconds delay_{0};
    ThreadEvent gate_{os_threads()};  ///< signalled while completions are not held
    ThreadLock workers_lock_{os_threads()};
    std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace korvel
