#include "gui_test_support.h"

#include <QApplication>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <random>

#include "korvel_msg.h"
#include "korvel_runtime_flags.h"
#include "lib_aspi.h"
#include "lib_getwnver.h"
#include "linux_util_platform.h"
#include "util_platform_seam.h"

namespace korvel::gui_test {

int ScriptedPerson::message_box(const char* text, const char* caption, std::uint32_t flags) {
    ShownBox box;
    box.text = text;
    box.caption = caption;
    box.flags = flags;
    if (form != nullptr) {
        box.host_group_enabled = form->findChild<QGroupBox*>("GroupBox_Host")->isEnabled();
        box.target_group_enabled = form->findChild<QGroupBox*>("GroupBox_Target")->isEnabled();
        box.exit_enabled = form->findChild<QPushButton*>("BTN_Exit")->isEnabled();
        box.update_enabled = form->findChild<QPushButton*>("BTN_UpdateKORVEL")->isEnabled();
        box.update_running = form->form().update_running();
        const auto* line = form->findChild<QLabel*>("Label_Progress");
        if (line->isVisibleTo(form)) box.progress_line = line->text().toStdString();
    }
    const QCursor* cursor = QApplication::overrideCursor();
    box.busy_cursor = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    boxes.push_back(box);
    if (while_box_up) while_box_up();
    if (flags != MB_ICON_QUESTION_YES_NO_DEFAULT_NO) return ID_OK;
    if (answers.empty()) return ID_NO;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedPerson::process_pending_messages() {
    ++repaints;
    QCoreApplication::processEvents();
}

std::vector<std::string> ScriptedPerson::texts() const {
    std::vector<std::string> all;
    for (const ShownBox& box : boxes) all.push_back(box.text);
    return all;
}

void WindowTest::SetUp() {
    use_language(false);
    install_os_util_platform();
    install_user_interface(&person);
    std::random_device random;
    folder = std::filesystem::temp_directory_path() /
             ("korvel-gui-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directory(folder);
}

void WindowTest::TearDown() {
    if (form != nullptr && !form->form().closed()) {
        person.answers.clear();
        form->close();
    }
    form.reset();
    install_user_interface(nullptr);
    install_util_platform(UtilPlatform{});
    set_lsi_adapter(false);
    set_fae_test_mode(false);
    use_language(false);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void WindowTest::use_language(bool chinese) {
    system_language = chinese ? LANG_CHINESE : 0x09;
    system_sublanguage = chinese ? SUBLANG_CHINESE_TRADITIONAL : 0x01;
    select_message_language();
}

void WindowTest::start() {
    sim.install();
    form = std::make_unique<TForm_Main>();
    person.form = form.get();
    form->set_file_chooser([this](QWidget*, const QString&, const QString&) {
        ++dialogs;
        return chosen_file;
    });
    form->show();
    form->form().FormShow();
}

void WindowTest::use_demo_bus() {
    demo = lay_out_demo_bus(sim);
    ASSERT_TRUE(write_demo_firmware_files(demo, folder));
}

void WindowTest::lay_out_port(
    std::uint8_t port, const char* driver,
    const std::vector<std::pair<std::uint8_t, std::shared_ptr<SimDevice>>>& devices) {
    std::vector<SimPortDevice> placed;
    for (const auto& [target, device] : devices) placed.push_back({0, target, 0, device, true});
    sim.nt.lay_out_port(port, driver, placed);
}

QToolButton* WindowTest::host_button(int index) const {
    return form->findChild<QToolButton*>(QStringLiteral("BTN_Host_%1").arg(index));
}

QToolButton* WindowTest::target_button(int index) const {
    return form->findChild<QToolButton*>(QStringLiteral("BTN_Target_%1").arg(index));
}

QWidget* WindowTest::control(const char* name) const {
    return form->findChild<QWidget*>(QString::fromLatin1(name));
}

std::vector<QToolButton*> WindowTest::shown_targets() const {
    std::vector<QToolButton*> shown;
    for (int i = 0; i < TARGET_BUTTONS; ++i) {
        if (target_button(i)->isVisibleTo(form.get())) shown.push_back(target_button(i));
    }
    return shown;
}

void WindowTest::select_family(std::int32_t family_code) {
    for (int i = 0; i < form->form().target_count(); ++i) {
        if (form->form().target_record(i).family_code == family_code) {
            target_button(i)->click();
            return;
        }
    }
    ADD_FAILURE() << "no shown bridge of family " << family_code;
}

QString WindowTest::sample(const std::string& name) const {
    return QString::fromStdString((folder / name).string());
}

void WindowTest::update_with(const QString& path, std::deque<int> answers) {
    chosen_file = path;
    person.answers = std::move(answers);
    form->findChild<QPushButton*>("BTN_UpdateKORVEL")->click();
}

std::vector<std::vector<std::uint8_t>> cdbs(const SimDevice& device) {
    std::vector<std::vector<std::uint8_t>> all;
    for (const SimJournalEntry& entry : device.journal()) all.push_back(entry.cdb);
    return all;
}

bool received(const SimDevice& device, std::uint8_t operation) {
    for (const auto& cdb : cdbs(device)) {
        if (!cdb.empty() && cdb[0] == operation) return true;
    }
    return false;
}

}  // namespace korvel::gui_test
