#include "korvel_pictures.h"

#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <array>

// The resource lives in a static library; its registration must be pulled in explicitly.
static void register_picture_resources() { Q_INIT_RESOURCE(korvel_pictures); }

namespace korvel {

namespace {

constexpr std::array<const char*, DEVICE_PICTURES> DEVICE_FILES = {
    "device_00_hard_disk", "device_01_tape",       "device_02_printer",
    "device_03_processor", "device_04_cd_r",       "device_05_cd_rom",
    "device_06_scanner",   "device_07_optical",    "device_08_changer",
    "device_09_communication", "device_10_unknown",
};

QString resource_path(const char* name) {
    return QStringLiteral(":/pictures/") + QString::fromLatin1(name) + QStringLiteral(".svg");
}

QPixmap render(const char* name, int size, qreal ratio) {
    register_picture_resources();
    const int pixels = qRound(size * ratio);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource_path(name));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

// An icon with renderings for ordinary, 1.5x, 2x and 3x screens.
QIcon icon(const char* name) {
    QIcon result;
    for (const qreal ratio : {1.0, 1.5, 2.0, 3.0}) {
        result.addPixmap(render(name, PICTURE_SIZE, ratio));
    }
    return result;
}

}  // namespace

QIcon application_icon() {
    QIcon result = icon("korvel_update");
    for (const int size : {16, 48, 64, 128, 256}) result.addPixmap(render("korvel_update", size, 1.0));
    return result;
}

QPixmap application_pixmap(qreal device_pixel_ratio) {
    return render("korvel_update", PICTURE_SIZE, device_pixel_ratio);
}

QIcon host_adapter_picture() { return icon("host_adapter"); }

QIcon device_picture(int type) {
    const std::size_t index = type >= 0 && type < DEVICE_PICTURES - 1
                                  ? static_cast<std::size_t>(type)
                                  : static_cast<std::size_t>(DEVICE_PICTURES - 1);
    return icon(DEVICE_FILES[index]);
}

}  // namespace korvel
