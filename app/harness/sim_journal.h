// korvel-sim's journal: one JSON object per line for every event of a scripted run, written
// as it happens (and flushed), so the journal of a run that dies stops at its last event.
// README.md describes the events. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "json_text.h"
#include "regular_file.h"
#include "sim_device.h"
#include "thread_seam.h"

namespace korvel {

/// The journal file. Writes may come from any thread; each line goes out whole.
class SimJournal {
public:
    SimJournal();
    ~SimJournal();
    SimJournal(const SimJournal&) = delete;
    SimJournal& operator=(const SimJournal&) = delete;

    /// Creates (or empties) the regular file at path; false with error when it cannot, when
    /// path names something other than a regular file, or when it is one of the files of keep
    /// (the run's input), which is then left as it is.
    bool open(const std::string& path, std::span<const FileIdentity> keep, std::string& error);
    /// Writes the object as one line, straight through to the system. After a write that
    /// failed the journal ends at its last whole line and takes nothing more.
    void write(const JsonObjectText& event);
    /// Whether a write has failed.
    bool failed() const;
    void close();

private:
    mutable ThreadLock lock_;
    int descriptor_ = -1;
    std::uint64_t written_ = 0;  ///< bytes of the whole lines written
    bool failed_ = false;
};

/// The "scsi" event of one command a device received at (host, target, lun).
JsonObjectText scsi_event(int host, int target, int lun, const SimJournalEntry& command);

}  // namespace korvel
