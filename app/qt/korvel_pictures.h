// The window's pictures, drawn as SVG and compiled in: the application icon, the host adapter
// card and one picture per SCSI device type. Each is rendered for the screen's pixel ratio,
// so it stays sharp on high-DPI screens.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "korvel_main_layout.h"
#include "korvel_main_view.h"

namespace korvel {

/// Size of every picture in the window, in device-independent pixels.
inline constexpr int PICTURE_SIZE = layout::PICTURE_PIXELS;

QIcon application_icon();
/// The application icon at PICTURE_SIZE for the given pixel ratio.
QPixmap application_pixmap(qreal device_pixel_ratio);
QIcon host_adapter_picture();
/// The picture of a device type: its own for 0 .. 9, the "unknown" picture for every other.
QIcon device_picture(int type);

}  // namespace korvel
