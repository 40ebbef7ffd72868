#include "app/dialog_units.h"

#include <QApplication>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace kinetra::app {

double DialogPointSize(double desktopPointSize) {
    return desktopPointSize > kMinimumDialogPointSize ? desktopPointSize : kMinimumDialogPointSize;
}

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    // QFontInfo gives points also for a desktop font given in pixels.
    const double desktop = qGuiApp != nullptr ? QFontInfo(QApplication::font()).pointSizeF() : 0;
    font.setPointSizeF(DialogPointSize(desktop));
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFontMetrics& metrics) {
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    DialogBaseUnits units;
    units.cx = (metrics.horizontalAdvance(kLetters) / 26 + 1) / 2;
    units.cy = metrics.height();
    return units;
}

int MulDiv(int a, int b, int c) {
    if (c == 0) return 0;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const std::int64_t half = (c < 0 ? -c : c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const std::int64_t magnitude = (product < 0 ? -product : product) + half;
    const std::int64_t quotient = magnitude / (c < 0 ? -c : c);
    return static_cast<int>(negative ? -quotient : quotient);
}

int DluToPixelsX(int dlu, const DialogBaseUnits& units) {
    return MulDiv(dlu, units.cx, 4);
}

int DluToPixelsY(int dlu, const DialogBaseUnits& units) {
    return MulDiv(dlu, units.cy, 8);
}

}  // namespace kinetra::app
