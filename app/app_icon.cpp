#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace kinetra::app {

namespace {

// One bar per band, low to high: left edge, height (in 64ths of the icon) and colour.
struct Bar {
    double x;
    double height;
    QRgb colour;
};

constexpr Bar kBars[5] = {{9, 30, 0xffe63946},
                          {20, 40, 0xfff4a261},
                          {31, 24, 0xffe9c46a},
                          {42, 34, 0xff2a9d8f},
                          {53, 18, 0xff8ecae6}};

}  // namespace

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1d, 0x35, 0x57));
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    for (const Bar& bar : kBars) {
        painter.setBrush(QColor::fromRgba(bar.colour));
        painter.drawRoundedRect(QRectF(bar.x - 3, 54 - bar.height, 6, bar.height), 2, 2);
    }

    QPainterPath wave;
    for (int i = 0; i <= 48; ++i) {
        const double x = 8 + i;
        const double y = 16 - 6 * std::sin(i * 3.14159265358979 / 12.0);
        if (i == 0) {
            wave.moveTo(x, y);
        } else {
            wave.lineTo(x, y);
        }
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(wave);
    painter.end();
    return image;
}

QIcon MakeAppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
    }
    return icon;
}

}  // namespace kinetra::app
