// Where the main window's controls sit and how it looks, for every face: pixels at 96 DPI in a
// client area of 462 x 368 (a face scales them for the system's DPI).
#pragma once

namespace korvel::layout {

/// A control's position and size; host and target buttons are placed inside their group box.
struct Box {
    int x;
    int y;
    int width;
    int height;
};

struct Colour {
    int red;
    int green;
    int blue;
};

inline constexpr int DESIGN_DPI = 96;
inline constexpr int CLIENT_WIDTH = 462;
inline constexpr int CLIENT_HEIGHT = 368;
/// The character height of the window's font.
inline constexpr int DESIGN_FONT_PIXELS = 12;
/// The pictures of the logo and of the host and target buttons.
inline constexpr int PICTURE_PIXELS = 32;

inline constexpr Box HOST_GROUP{4, 4, 361, 133};
inline constexpr Box TARGET_GROUP{4, 140, 453, 189};
inline constexpr int HOST_COLUMNS = 4;
inline constexpr int TARGET_COLUMNS = 5;

/// A host or target button inside its group box, counted along rows of columns.
constexpr Box speed_button(int index, int columns) {
    return {8 + 88 * (index % columns), 16 + 56 * (index / columns), 85, 53};
}

inline constexpr Box UPDATE_BUTTON{28, 336, 185, 25};
inline constexpr Box BACKUP_BUTTON{240, 336, 113, 25};
inline constexpr Box EXIT_BUTTON{364, 336, 69, 25};
/// While an update runs: a line saying what is happening over its progress bar, between the
/// update and exit buttons.
inline constexpr Box PROGRESS_TEXT{220, 333, 137, 16};
inline constexpr Box PROGRESS_BAR{220, 350, 137, 10};

/// The logo; the "KORVEL" label and the version are centred under it.
inline constexpr Box LOGO{404, 12, PICTURE_PIXELS, PICTURE_PIXELS};
inline constexpr Box LOGO_LABEL{396, 48, 49, 19};
inline constexpr int VERSION_LABEL_Y = 68;
inline constexpr Box FAE_LABEL{396, 88, 49, 19};
inline constexpr Colour LOGO_LABEL_COLOUR{0, 128, 128};
inline constexpr Colour FAE_LABEL_COLOUR{255, 255, 0};

/// Hints: shown 100 ms after the pointer comes to rest on a target button, kept up for ten
/// minutes.
inline constexpr int HINT_SHOW_DELAY_MS = 100;
inline constexpr int HINT_HIDE_PAUSE_MS = 600000;

}  // namespace korvel::layout
