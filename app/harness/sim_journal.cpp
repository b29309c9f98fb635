#include "sim_journal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "os_threads.h"
#include "sha256.h"
#include "sim_json.h"
#include "sim_input_file.h"

namespace korvel {

namespace {

const char* direction_name(const SimJournalEntry& command) {
    if (command.length == 0) return "none";
    switch (command.direction) {
    case SimDirection::in:
        return "in";
    case SimDirection::out:
        return "out";
    case SimDirection::by_command:
        // Only an ASPI request can leave the direction to the command; the NT pass-through
        // always names it.
        return "unspecified";
    case SimDirection::none:
        break;
    }
    return "none";
}

}  // namespace

SimJournal::SimJournal() : lock_(os_threads()) {}

SimJournal::~SimJournal() { close(); }

bool SimJournal::open(const std::string& path, std::span<const FileIdentity> keep,
                      std::string& error) {
    std::lock_guard guard(lock_);
    const RegularFile opened = open_regular_file_for_writing(path.c_str());
    if (opened.descriptor < 0) {
        error = open_failure_text(opened);
        return false;
    }
    if (std::find(keep.begin(), keep.end(), opened.identity) != keep.end()) {
        close_regular_file(opened.descriptor);
        error = "it is the run's bus or script file";
        return false;
    }
    if (!truncate_regular_file(opened.descriptor, 0)) {
        error = std::strerror(errno);
        close_regular_file(opened.descriptor);
        return false;
    }
    descriptor_ = opened.descriptor;
    return true;
}

void SimJournal::write(const JsonObjectText& event) {
    const std::string line = event.json() + '\n';
    std::lock_guard guard(lock_);
    if (descriptor_ < 0 || failed_) return;
    // Unbuffered: every line goes to the system as it is written, so the journal of a run
    // that dies stops at its last event.
    if (!write_regular_file(descriptor_, line.data(), line.size())) {
        // A full disk (or a size limit) took part of the line at most: cut it off, so that
        // what the journal holds is whole events up to the failure.
        failed_ = true;
        truncate_regular_file(descriptor_, written_);
        return;
    }
    written_ += line.size();
}

bool SimJournal::failed() const {
    std::lock_guard guard(lock_);
    return failed_;
}

void SimJournal::close() {
    std::lock_guard guard(lock_);
    close_regular_file(descriptor_);
    descriptor_ = -1;
}

JsonObjectText scsi_event(int host, int target, int lun, const SimJournalEntry& command) {
    JsonObjectText event;
    event.text("event", "scsi")
        .number("host", host)
        .number("target", target)
        .number("lun", lun)
        .raw("cdb", '"' + hex_text(command.cdb) + '"')
        .text("dir", direction_name(command))
        .number("length", command.length);
    if (command.length > 0 && !command.data_out.empty() &&
        command.direction != SimDirection::in) {
        event.raw("sha256", '"' + hex_text(sha256(command.data_out)) + '"');
    }
    event.number("status", command.status);
    return event;
}

}  // namespace korvel
