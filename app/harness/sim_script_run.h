// A scripted run of korvel-sim: the steps of a script performed on the real window through
// its controls, every message box answered without being shown, and everything that happens
// written to the journal in the order it happens. The same on every face: what it knows of
// the window comes through SimWindow.
#pragma once

#include <cstdint>
#include <vector>

#include "sim_device.h"
#include "sim_journal.h"
#include "sim_script.h"
#include "sim_window.h"
#include "ui_seam.h"

namespace korvel {

/// Writes a "scsi" event for every command device receives from now on, naming it by the
/// address it was placed at on the simulated bus.
void journal_commands(SimDevice& device, int host, int target, int lun, SimJournal& journal);

class ScriptedRun final : public UserInterface {
public:
    ScriptedRun(SimJournal& journal, std::vector<ScriptStep> steps);
    ScriptedRun(const ScriptedRun&) = delete;
    ScriptedRun& operator=(const ScriptedRun&) = delete;

    /// Takes over the message boxes and the open dialog of window, and queues the steps to
    /// run once the window has started. Call once the window exists, before it is shown.
    void begin(SimWindow& window);
    /// Whether the steps were performed (false when the window never got that far).
    bool performed() const { return performed_; }

    // --- UserInterface: boxes are journalled and answered, never shown ---------------------

    void bring_to_front() override {}
    int message_box(const char* text, const char* caption, std::uint32_t flags) override;
    void process_pending_messages() override;

private:
    void run_when_started();
    void perform(const ScriptStep& step);
    /// Presses a button a person could press now: shown in a shown window, and enabled.
    bool press(int control);
    void make_fae_gesture();

    /// Adds the control state: each command button and group enabled, the FAE label shown.
    void add_control_state(JsonObjectText& state) const;
    void write_hosts();
    void write_targets();
    void write_controls();

    SimWindow* window_ = nullptr;
    SimJournal& journal_;
    std::vector<ScriptStep> steps_;
    /// The update step being performed: its file and answer.
    const ScriptStep* update_step_ = nullptr;
    int pumping_ = 0;
    int start_polls_ = 0;
    bool performed_ = false;
};

}  // namespace korvel
