// korvel-sim's picture mode for the documentation: the window, a device hint and the update
// confirmation, each saved as a PNG of the screen around the window.
#pragma once

#include <QString>

namespace korvel {

class TForm_Main;

/// Once the window has scanned its bus, saves window-<tag>.png, hint-<tag>.png and
/// confirm-<tag>.png into folder, answers the confirmation with No (nothing is written), and
/// closes the window. firmware_folder holds the demo's sample files.
void take_screenshots(TForm_Main& form, const QString& folder, const QString& tag,
                      const QString& firmware_folder);

}  // namespace korvel
