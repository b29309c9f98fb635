// The open dialog of the update command, kept behind one function so a scripted run can put
// its own chooser in its place (TForm_Main::set_file_chooser).
#pragma once

#include <QString>

class QWidget;

namespace korvel {

/// Turns a filter in the "description|pattern|description|pattern" form into Qt's
/// "description (pattern);;..." form. A description that already ends in its pattern in
/// parentheses is kept as it is; several patterns joined by ';' become space-separated.
QString qt_file_filter(const char* bar_filter);

/// Shows the open dialog: an existing file only, default extension "bin", starting in folder
/// when it is given. Returns the chosen path, or an empty text when cancelled.
QString ask_for_firmware_file(QWidget* parent, const QString& filter, const QString& folder);

}  // namespace korvel
