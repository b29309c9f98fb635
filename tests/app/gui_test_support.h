// What the window tests share: a scripted person who answers message boxes and notes what the
// window looked like meanwhile, a scripted open dialog, and the window over a simulated SCSI
// system behind the real transport, command library and family modules.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demo_bus.h"
#include "korvel_main.h"
#include "sim_bridge_catalog.h"
#include "sim_platform.h"
#include "ui_seam.h"

class QToolButton;

namespace korvel::gui_test {

/// One message box as the person saw it, with the window's state at that moment.
struct ShownBox {
    std::string text;
    std::string caption;
    std::uint32_t flags = 0;
    bool host_group_enabled = false;
    bool target_group_enabled = false;
    bool exit_enabled = false;
    bool update_enabled = false;
    bool update_running = false;
    bool busy_cursor = false;
    std::string progress_line;  ///< the line over the progress bar, empty when not shown
};

class ScriptedPerson final : public UserInterface {
public:
    void bring_to_front() override { ++brought_to_front; }
    int message_box(const char* text, const char* caption, std::uint32_t flags) override;
    void process_pending_messages() override;

    /// Answers to Yes/No boxes, in order; No when the script has run out.
    std::deque<int> answers;
    /// Runs while each box is up (after its state was noted).
    std::function<void()> while_box_up;
    std::vector<ShownBox> boxes;
    TForm_Main* form = nullptr;
    int brought_to_front = 0;
    int repaints = 0;

    /// The texts of the boxes shown, in order.
    std::vector<std::string> texts() const;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Installs the simulated platform, creates and shows the window and lets it start.
    void start();
    /// Lays out the demo bus and writes its sample files into the scratch folder.
    void use_demo_bus();
    /// Puts bridges on port 0 at the given targets, with the driver name.
    void lay_out_port(std::uint8_t port, const char* driver,
                      const std::vector<std::pair<std::uint8_t, std::shared_ptr<SimDevice>>>& devices);

    QToolButton* host_button(int index) const;
    QToolButton* target_button(int index) const;
    QWidget* control(const char* name) const;
    /// Target buttons that are shown (visible to the window), in index order.
    std::vector<QToolButton*> shown_targets() const;
    /// Clicks the target button of the first shown bridge of that family code.
    void select_family(std::int32_t family_code);
    /// A demo sample file's full path.
    QString sample(const std::string& name) const;
    /// Runs the update command with this file (empty: the dialog is cancelled).
    void update_with(const QString& path, std::deque<int> answers = {});
    /// Chinese (Taiwan) or English for the texts of the catalogue from now on.
    static void use_language(bool chinese);

    SimPlatform sim;
    ScriptedPerson person;
    DemoBus demo;
    std::unique_ptr<TForm_Main> form;
    std::filesystem::path folder;
    QString chosen_file;
    int dialogs = 0;
};

/// Bytes of every CDB a device received, in order.
std::vector<std::vector<std::uint8_t>> cdbs(const SimDevice& device);
/// Whether a device received a command with this operation code.
bool received(const SimDevice& device, std::uint8_t operation);

}  // namespace korvel::gui_test
