// Unit conversions of the window: dialog units to pixels, slider actions to scroll codes, and
// Strength positions to gains. Expected values are worked out by hand.
#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QFont>
#include <QFontMetrics>
#include <cmath>

#include "app/band_texts.h"
#include "app/dialog_units.h"
#include "app/error_details.h"
#include "app/presets.h"
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

TEST(BandTexts, NumberNicknameAndEdgesOfEachBand) {
    const char* const labels[5] = {
        "band 1 (bass, 0\u2013177 Hz)", "band 2 (low mid, 220\u2013440 Hz)",
        "band 3 (mid, 484\u20132000 Hz)", "band 4 (high mid, 2030\u201310000 Hz)",
        "band 5 (treble, 10040\u201323000 Hz)"};
    for (int band = 1; band <= 5; ++band) {
        EXPECT_EQ(kinetra::app::BandLabel(band), QString::fromUtf8(labels[band - 1]));
    }
    EXPECT_EQ(kinetra::app::DisableBoxName(1),
              QString::fromUtf8("Disable band 1 (bass, 0\u2013177 Hz)"));
    EXPECT_EQ(kinetra::app::LevelSliderName(5),
              QString::fromUtf8("Response level of band 5 (treble, 10040\u201323000 Hz)"));
    EXPECT_TRUE(kinetra::app::BandLabel(0).isEmpty());
    EXPECT_TRUE(kinetra::app::DisableBoxName(6).isEmpty());
}

TEST(PresetNames, KeysHoldAnyNameAndGiveItBack) {
    using kinetra::app::PresetKey;
    using kinetra::app::PresetNameOfKey;
    EXPECT_EQ(PresetKey("Late / night \\ 50%"), "Late %2F night %5C 50%25");
    for (const QString& name :
         {QString("plain"), QString("a/b\\c%d%2F"), QString::fromUtf8("f\u00eate \u266a")}) {
        EXPECT_FALSE(PresetKey(name).contains('/'));
        EXPECT_FALSE(PresetKey(name).contains('\\'));
        EXPECT_EQ(PresetNameOfKey(PresetKey(name)), name);
    }
    QString why;
    EXPECT_EQ(kinetra::app::CleanPresetName("  Quiet evening ", &why), "Quiet evening");
    EXPECT_TRUE(kinetra::app::CleanPresetName("films", &why).isEmpty());
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(kinetra::app::CleanPresetName(QString(40, 'x'), &why), QString(40, 'x'));
    EXPECT_TRUE(kinetra::app::CleanPresetName(QString(41, 'x'), &why).isEmpty());
}

TEST(ErrorDetails, ReasonDevicesFoundAndWhatToTry) {
    using kinetra::force::ForceDeviceKind;
    const std::vector<kinetra::force::ForceDeviceInfo> found = {
        {"sdl:Xbox 360 Controller", "Xbox 360 Controller", ForceDeviceKind::kRumble},
        {"virtual", "Kinetra Virtual Mouse", ForceDeviceKind::kVirtual}};
    const QString detail = kinetra::app::NoForceDeviceDetail("it is <busy> & gone", found);
    const QStringList lines = detail.split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Why: it is <busy> & gone");
    EXPECT_EQ(lines[1], "Devices found: Xbox 360 Controller (rumble)");  // not the virtual one
    EXPECT_TRUE(lines[2].startsWith("What to try: "));
    EXPECT_TRUE(lines[2].contains("KINETRA_FORCE_DEVICE=virtual"));
    EXPECT_TRUE(kinetra::app::NoForceDeviceDetail("", {}).startsWith(
        "Why: no force-feedback device could be opened\nDevices found: none\n"));

    // The library's reason ends in the virtual-device hint, which "What to try" gives too: the
    // box says it once. A reason without the hint, or with it elsewhere, is shown whole.
    const std::string described = kinetra::force::DescribeForceDeviceProblem("no haptic device");
    const QString once = kinetra::app::NoForceDeviceDetail(described, {});
    EXPECT_EQ(once.count(QStringLiteral("KINETRA_FORCE_DEVICE=virtual")), 1) << once.toStdString();
    EXPECT_TRUE(once.startsWith("Why: no haptic device")) << once.toStdString();
    EXPECT_FALSE(once.split('\n')[0].endsWith(' '));
    EXPECT_EQ(kinetra::force::ReasonWithoutVirtualHint("busy. KINETRA_FORCE_DEVICE=virtual runs "
                                                       "without hardware."),
              "busy.");
    EXPECT_EQ(kinetra::force::ReasonWithoutVirtualHint("KINETRA_FORCE_DEVICE=virtual runs without "
                                                       "hardware. Then more."),
              "KINETRA_FORCE_DEVICE=virtual runs without hardware. Then more.");
    EXPECT_EQ(kinetra::force::ReasonWithoutVirtualHint("hardware."), "hardware.");

    const QString input = kinetra::app::AudioInputDetail(
        "first\nsecond", {{"", "Chosen input: the default capture device"}, {"sdl:Mic", "Mic"}});
    EXPECT_TRUE(
        input.startsWith("Chosen input: the default capture device\nWhy: first\nWhy: "
                         "second\nOther inputs found: Mic\nWhat to try: "))
        << input.toStdString();
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
