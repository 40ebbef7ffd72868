// The status line's fitting of its three parts into its width.
#include <gtest/gtest.h>

#include "app/status_line.h"

namespace {

// A line too long for its width gives up the end of the input's text first: the device's state
// and the hint, what changes while the program runs, stay whole.
TEST(StatusLineFit, TheInputGivesWayBeforeTheDeviceAndTheHint) {
    kinetra::app::StatusLine line;
    line.SetInputText(
        QStringLiteral("What this computer plays \u2014 Monitor of Built-in Audio "
                       "Analog Stereo (first start: chosen so that Test can be felt)"));
    line.SetDeviceText(
        QStringLiteral("Xbox 360 Controller \u00b7 rumble \u00b7 disconnected, waiting"));
    line.SetHintText(QStringLiteral("no sound for 10 s"));
    const QFontMetrics metrics(line.font());
    const QString tail = QStringLiteral(
        "  \u00b7  Xbox 360 Controller \u00b7 rumble \u00b7 disconnected, waiting  \u00b7  no "
        "sound "
        "for 10 s");
    const int width = metrics.horizontalAdvance(QStringLiteral("What this computer plays")) +
                      metrics.horizontalAdvance(tail);
    const QString shown = line.FittedText(metrics, width);
    EXPECT_TRUE(shown.endsWith(tail)) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("What this"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(metrics.horizontalAdvance(shown), width);
    // Wide enough: the whole line; very narrow: the line itself is cut short.
    EXPECT_EQ(line.FittedText(metrics, metrics.horizontalAdvance(line.Text())), line.Text());
    EXPECT_LE(metrics.horizontalAdvance(line.FittedText(metrics, 40)), 40);
}

}  // namespace
