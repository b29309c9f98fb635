// The user-interface seam: how code below the window reaches the person at the screen.
//
// The window installs its implementation at start (Qt); tests install scripted answers.
// Nothing here includes a toolkit header.
#pragma once

#include <cstdint>

namespace korvel {

/// Message box flags in use (Windows MB_ values, passed unchanged).
inline constexpr std::uint32_t MB_ICON_STOP_OK = 0x10;
inline constexpr std::uint32_t MB_ICON_INFORMATION_OK = 0x40;
inline constexpr std::uint32_t MB_ICON_QUESTION_YES_NO_DEFAULT_NO = 0x124;

/// The button set of a box: the low four bits of its flags.
inline constexpr std::uint32_t MB_TYPE_MASK = 0x0Fu;
inline constexpr std::uint32_t MB_OK_CANCEL = 1;
inline constexpr std::uint32_t MB_ABORT_RETRY_IGNORE = 2;
inline constexpr std::uint32_t MB_YES_NO_CANCEL = 3;
inline constexpr std::uint32_t MB_YES_NO = 4;
inline constexpr std::uint32_t MB_RETRY_CANCEL = 5;

/// Button identifiers a message box returns.
inline constexpr int ID_OK = 1;
inline constexpr int ID_CANCEL = 2;
inline constexpr int ID_ABORT = 3;
inline constexpr int ID_RETRY = 4;
inline constexpr int ID_IGNORE = 5;
inline constexpr int ID_YES = 6;
inline constexpr int ID_NO = 7;

class UserInterface {
public:
    virtual ~UserInterface() = default;
    /// Restores the application if minimised and makes its main window the active one.
    virtual void bring_to_front() = 0;
    /// Shows a modal message box with the given flags; returns the button identifier.
    virtual int message_box(const char* text, const char* caption, std::uint32_t flags) = 0;
    /// Processes the window messages that are waiting, so the window repaints.
    virtual void process_pending_messages() = 0;
};

/// Installs the user interface for the rest of the run (tests: until the next install).
void install_user_interface(UserInterface* ui);
/// The installed user interface, or nullptr before one is installed.
UserInterface* installed_user_interface();

}  // namespace korvel
