// Resource identifiers shared by the program's resource script and the Win32 face. Plain
// macros: the resource compiler reads this file too.
#pragma once

// The application icon: the window's icon, the logo and the file's icon in Explorer.
#define KORVEL_ICON_APPLICATION 1
// The pictures of the buttons: KORVEL_ICON_PICTURES + a device picture index (0 .. 10), and
// + 11 for the host adapter card.
#define KORVEL_ICON_PICTURES 1000
