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

/// Button identifiers a message box returns.
inline constexpr int ID_OK = 1;
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
