// Unit conversions of the window: dialog units to pixels, slider actions to scroll codes, and
// Strength positions to gains. Expected values are worked out by hand.
#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QFont>
#include <QFontMetrics>
#include <cmath>

#include "app/dialog_units.h"
#include "app/slider_ctrl.h"
#include "app/vibrel_dlg.h"
#include "app_test_support.h"

namespace {

using kinetra::app::DialogBaseUnits;
using kinetra::app::DluToPixelsX;
using kinetra::app::DluToPixelsY;
using kinetra::app::MulDiv;

TEST(DialogUnits, ClassicBaseUnitsGiveTheClassicSizes) {
    // The classic 8-point dialog font: 6 pixels across, 13 down.
    const DialogBaseUnits units{6, 13};
    EXPECT_EQ(DluToPixelsX(320, units), 480);  // 320 * 6 / 4
    EXPECT_EQ(DluToPixelsY(146, units), 237);  // 146 * 13 / 8 = 237.25
    EXPECT_EQ(DluToPixelsX(27, units), 41);    // 40.5 rounds up
    EXPECT_EQ(DluToPixelsY(73, units), 119);   // 118.625
    EXPECT_EQ(DluToPixelsY(4, units), 7);      // 6.5 rounds up
    EXPECT_EQ(DluToPixelsY(3, units), 5);      // 4.875
    EXPECT_EQ(DluToPixelsX(0, units), 0);
}

TEST(DialogUnits, MulDivRoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(7, 6, 4), 11);    // 10.5
    EXPECT_EQ(MulDiv(-7, 6, 4), -11);  // -10.5
    EXPECT_EQ(MulDiv(5, 5, 4), 6);     // 6.25
    EXPECT_EQ(MulDiv(5, 3, 4), 4);     // 3.75
    EXPECT_EQ(MulDiv(1, 1, 0), 0);     // no division by zero
    // The product is formed in 64 bits.
    EXPECT_EQ(MulDiv(1 << 30, 8, 16), 1 << 29);
}

TEST(DialogUnits, BaseUnitsFollowTheFont) {
    QFont font = kinetra::app::DialogFont();
    const QFontMetrics metrics(font);
    const DialogBaseUnits units = kinetra::app::BaseUnitsOf(metrics);
    const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    const double average = metrics.horizontalAdvance(letters) / 52.0;
    EXPECT_LE(std::fabs(units.cx - average), 0.5 + 1e-9);
    EXPECT_EQ(units.cy, metrics.height());
    EXPECT_GT(units.cx, 0);
}

TEST(DialogUnits, TheFontSizeIsTheDesktopsWithEightPointsAtLeast) {
    using kinetra::app::DialogPointSize;
    EXPECT_EQ(DialogPointSize(12.0), 12.0);
    EXPECT_EQ(DialogPointSize(9.5), 9.5);
    EXPECT_EQ(DialogPointSize(8.0), 8.0);
    EXPECT_EQ(DialogPointSize(6.0), 8.0);
    EXPECT_EQ(DialogPointSize(-1.0), 8.0);  // unknown
}

TEST(ScrollCodes, SliderActionsMapOntoTrackbarCodes) {
    using kinetra::app::ScrollCodeForAction;
    EXPECT_EQ(ScrollCodeForAction(QAbstractSlider::SliderSingleStepSub), 0);  // line up
    EXPECT_EQ(ScrollCodeForAction(QAbstractSlider::SliderSingleStepAdd), 1);  // line down
    EXPECT_EQ(ScrollCodeForAction(QAbstractSlider::SliderPageStepSub), 2);    // page up
    EXPECT_EQ(ScrollCodeForAction(QAbstractSlider::SliderPageStepAdd), 3);    // page down
    EXPECT_EQ(ScrollCodeForAction(QAbstractSlider::SliderMove), 5);           // thumb track
    EXPECT_EQ(ScrollCodeForAction(QAbstractSlider::SliderToMinimum), 6);      // top
    EXPECT_EQ(ScrollCodeForAction(QAbstractSlider::SliderToMaximum), 7);      // bottom
    EXPECT_EQ(ScrollCodeForAction(QAbstractSlider::SliderNoAction), -1);
}

}  // namespace
