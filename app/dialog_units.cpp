#include "app/dialog_units.h"

#include <QApplication>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QString>
#include <QStringList>
#include <algorithm>
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
    // A desktop font given in pixels has no point size of its own: QFontInfo tells it.
    double desktop = QApplication::font().pointSizeF();
    if (desktop <= 0 && qGuiApp != nullptr) desktop = QFontInfo(QApplication::font()).pointSizeF();
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

void FitLabel(QLabel* label, int topLimit) {
    if (!label->wordWrap()) {
        const int needed = label->sizeHint().width();
        if (needed > label->width()) label->resize(needed, label->height());
        return;
    }
    const int needed = label->heightForWidth(label->width());
    if (needed <= label->height()) return;
    const int bottom = label->y() + label->height();
    const int top = std::max(topLimit, bottom - needed);
    if (top < label->y()) label->setGeometry(label->x(), top, label->width(), bottom - top);
}

}  // namespace kinetra::app
