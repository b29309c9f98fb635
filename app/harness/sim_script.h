// What korvel-sim's --script does to the window: a JSON array of steps, each acting through
// the window's own controls as a person would. README.md describes the format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

/// Bounds of a script.
inline constexpr std::size_t SCRIPT_MAX_STEPS = 10000;
inline constexpr std::int64_t SCRIPT_MAX_BUTTON_INDEX = 255;
inline constexpr std::size_t SCRIPT_MAX_PATH_LENGTH = 4096;

enum class ScriptAction : std::uint8_t {
    select_host,    ///< press host adapter button `index`
    select_target,  ///< press target button `index`
    fae_gesture,    ///< the FAE Test gesture on the logo
    update,         ///< press the update button
    close           ///< the window's close button
};

struct ScriptStep {
    ScriptAction action = ScriptAction::close;
    int index = 0;  ///< select_host, select_target
    /// update: the path the open dialog returns (UTF-8, resolved against the script's
    /// folder); nothing when the dialog is cancelled.
    std::optional<std::string> file;
    /// update: whether the confirmation is answered Yes.
    bool confirm = false;
};

/// Checks the bytes of a script and reads them; relative file names are resolved against
/// folder (the script's). On any problem returns nothing and sets error to what and where
/// ("[2]: unknown step \"press\" ...").
std::optional<std::vector<ScriptStep>> parse_script(std::string_view bytes,
                                                    const std::string& folder, std::string& error);

}  // namespace korvel
