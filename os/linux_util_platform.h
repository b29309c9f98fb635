// The Linux side of the utilities' seam: version numbers, font name and files.
#pragma once

#include "util_platform_seam.h"

namespace korvel {

/// The font name used until the window installs one from the GUI toolkit.
inline constexpr const char* LINUX_DEFAULT_FONT_NAME = "Sans Serif";

/// Installs the Linux utilities platform for the rest of the run.
void install_os_util_platform();

}  // namespace korvel
