// The user-interface and font seams served by Qt: message boxes, window message pumping and
// the desktop font, installed once at program start.
#pragma once

#include <QPointer>
#include <QWidget>

#include <cstddef>
#include <cstdint>

#include "ui_seam.h"
#include "util_platform_seam.h"

namespace korvel {

/// Message boxes as QMessageBox, taking the Windows MB_ flags: the buttons in bits 0-3 (OK,
/// OK/Cancel, Abort/Retry/Ignore, Yes/No/Cancel, Yes/No, Retry/Cancel), the icon in bits
/// 4-7 (stop, question, exclamation, information) and the default button in bits 8-11. The
/// result is the Windows button identifier; a box closed without a button answers its
/// Cancel, No or OK button, in that order of preference, so closing never means Yes.
class QtUserInterface final : public UserInterface {
public:
    /// The window brought to the front before every box and owning it (may be null: the
    /// active window then).
    void set_main_window(QWidget* window) { main_window_ = window; }

    void bring_to_front() override;
    int message_box(const char* text, const char* caption, std::uint32_t flags) override;
    void process_pending_messages() override;

private:
    QWidget* owner() const;

    QPointer<QWidget> main_window_;
};

/// The desktop font as Qt knows it (its general system font).
class QtFontSource final : public FontSource {
public:
    bool icon_font_name(char* name, std::size_t capacity) override;
};

/// Installs both for the rest of the run, over whatever util platform is installed, and
/// drops a font name cached before. Call after the QApplication exists.
void install_qt_user_interface(QWidget* main_window);

/// The user interface installed by install_qt_user_interface.
QtUserInterface& qt_user_interface();

}  // namespace korvel
