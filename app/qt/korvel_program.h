// The program start shared by korvel-update and korvel-sim: the GUI application, the
// user-interface seam, the main window and its message loop, and what happens to an exception
// that reaches that loop; and korvel-update's start while a copy of it already runs.
#pragma once

#include <QApplication>

#include <functional>

namespace korvel {

class TForm_Main;

/// The GUI application. An exception that escapes an event handler is shown with the
/// application title as caption, and the message loop then ends with a failure code; an
/// update in progress first runs to its end, so a board is never left half written.
class KorvelApplication final : public QApplication {
public:
    KorvelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    /// Whether an exception reached the message loop during the run.
    bool exception_seen() const { return exception_seen_; }

private:
    bool exception_seen_ = false;
};

/// Shows an unexpected failure: its text, caption the application title, stop icon.
void show_unexpected_failure(const char* text);

/// Program start after the platform is installed and the language detected: creates the
/// application (titled), installs the Qt user interface and font source, creates the main
/// window, lets prepare adjust it (may be empty), shows it and runs the message loop. Returns
/// the exit code: 0 after an ordinary close, non-zero when the SCSI service could not start
/// or an exception reached the message loop.
int run_program(int& argc, char** argv, const std::function<void(TForm_Main&)>& prepare);

/// The end of a start that found a copy of the program already running: creates the
/// application, installs the Qt user interface, says in a box that the program already runs
/// and returns the exit code 1. No window of its own, no device opened.
int run_second_copy(int& argc, char** argv);

}  // namespace korvel
