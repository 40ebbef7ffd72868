// The meters' unit conversions, the status line's hint over time, and how a slider looks:
// disabled under a dark palette, and with each kind of meter.
#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <cmath>
#include <limits>
#include <memory>

#include "analysis/level_threshold.h"
#include "app/band_meter.h"
#include "app/slider_ctrl.h"
#include "app_test_support.h"

namespace {

using kinetra::app::LevelToSliderPosition;
using kinetra::app::MagnitudeToStrengthPosition;
using kinetra::app::SliderMeter;
using kinetra::app::SoundHint;

TEST(MeterScales, LevelToSliderPositionInvertsTheThresholdRule) {
    // Worked by hand: 5 ln(level).
    EXPECT_DOUBLE_EQ(LevelToSliderPosition(0.0), 0.0);
    EXPECT_DOUBLE_EQ(LevelToSliderPosition(0.5), 0.0);
    EXPECT_DOUBLE_EQ(LevelToSliderPosition(1.0), 0.0);
    EXPECT_NEAR(LevelToSliderPosition(2.718281828459045), 5.0, 1e-12);
    EXPECT_NEAR(LevelToSliderPosition(1000.0), 34.538776394910684, 1e-9);  // 5 × 6.907755...
    // ln 150 = ln 1.5 + ln 100 = 0.4054651081 + 4.6051701860
    EXPECT_NEAR(LevelToSliderPosition(150.0), 25.0531764705, 1e-9);
    EXPECT_NEAR(LevelToSliderPosition(485165195.40979), 100.0, 1e-9);  // e^20
    EXPECT_DOUBLE_EQ(LevelToSliderPosition(1e12), 100.0);
    EXPECT_DOUBLE_EQ(LevelToSliderPosition(std::numeric_limits<double>::infinity()), 100.0);
    EXPECT_DOUBLE_EQ(LevelToSliderPosition(std::nan("")), 0.0);
    EXPECT_DOUBLE_EQ(LevelToSliderPosition(-5.0), 0.0);
}

TEST(MeterScales, AMeterPastAPositionsStepMeansThatPositionFires) {
    // Level 150 fires at positions 0..29 (e^5 = 148.4 < 150 < e^6 = 403.4) and not from 30.
    const double at150 = LevelToSliderPosition(150.0);
    EXPECT_GT(at150, 25.0);
    EXPECT_LT(at150, 30.0);
    // The same for many levels against the rule itself (below e^20, where the clamp starts).
    for (double level = 0.25; level < 4.8e8; level *= 1.37) {
        for (std::uint32_t position = 0; position <= 100; ++position) {
            const bool fires = level > kinetra::analysis::ThresholdForLevel(position);
            const bool meterPast = LevelToSliderPosition(level) > 5.0 * (position / 5);
            EXPECT_EQ(fires, meterPast) << "level " << level << " position " << position;
        }
    }
}

TEST(MeterScales, MagnitudeToStrengthPosition) {
    EXPECT_DOUBLE_EQ(MagnitudeToStrengthPosition(0), 100.0);
    EXPECT_DOUBLE_EQ(MagnitudeToStrengthPosition(2500), 75.0);
    EXPECT_NEAR(MagnitudeToStrengthPosition(9999), 0.01, 1e-12);
    EXPECT_DOUBLE_EQ(MagnitudeToStrengthPosition(10000), 0.0);
    EXPECT_DOUBLE_EQ(MagnitudeToStrengthPosition(65535), 0.0);
}

TEST(SoundHintTexts, ListeningWhileSoundArrivesAndNoSoundAfterTenQuietSeconds) {
    SoundHint hint(1000);
    EXPECT_EQ(hint.Update(1100, false), QString());
    EXPECT_EQ(hint.Update(10999, false), QString());
    EXPECT_EQ(hint.Update(11000, false), QStringLiteral("no sound for 10 s"));
    EXPECT_EQ(hint.Update(11033, true), QStringLiteral("listening"));
    EXPECT_EQ(hint.Update(21032, false), QStringLiteral("listening"));
    EXPECT_EQ(hint.Update(21033, false), QStringLiteral("no sound for 10 s"));
    EXPECT_EQ(hint.Update(21066, true), QStringLiteral("listening"));
}

// A level slider as the window has it, in the Fusion style.
class SliderLook : public ::testing::Test {
protected:
    void SetUp() override {
        m_style.reset(QStyleFactory::create(QStringLiteral("Fusion")));
        ASSERT_NE(m_style, nullptr);
        m_slider.setStyle(m_style.get());
        m_slider.SetRange(0, 100);
        m_slider.SetTicFreq(10);
        m_slider.SetPos(40);
        m_slider.resize(40, 110);
        m_slider.setAutoFillBackground(true);
    }

    QImage Picture() { return m_slider.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // The colour at the handle's centre.
    QColor HandleColour() {
        QStyleOptionSlider option;
        option.initFrom(&m_slider);
        option.orientation = Qt::Vertical;
        option.minimum = 0;
        option.maximum = 100;
        option.sliderPosition = m_slider.value();
        option.upsideDown = false;
        const QRect handle =
            m_style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &m_slider);
        return Picture().pixelColor(handle.center());
    }

    static double Distance(const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue());
    }

    // How far the handle stands out from the window, enabled and disabled.
    void ExpectDisabledFaded(const QPalette& palette) {
        m_slider.setPalette(palette);
        const QColor window = palette.color(QPalette::Window);
        m_slider.setEnabled(true);
        const double enabled = Distance(HandleColour(), window);
        m_slider.setEnabled(false);
        const double disabled = Distance(HandleColour(), window);
        EXPECT_GT(enabled, 30.0);
        EXPECT_LT(disabled, 0.6 * enabled) << "enabled " << enabled << " disabled " << disabled;
    }

    std::unique_ptr<QStyle> m_style;
    CSliderCtrl m_slider;
};

TEST_F(SliderLook, DisabledSlidersLookDisabledUnderDarkAndLightPalettes) {
    // A dark palette whose disabled colours equal the enabled ones, as some desktop themes give.
    QPalette dark;
    const std::pair<QPalette::ColorRole, QColor> colours[] = {
        {QPalette::Window, QColor(45, 45, 48)},   {QPalette::WindowText, QColor(220, 220, 220)},
        {QPalette::Button, QColor(75, 75, 80)},   {QPalette::ButtonText, QColor(230, 230, 230)},
        {QPalette::Base, QColor(30, 30, 30)},     {QPalette::Text, QColor(230, 230, 230)},
        {QPalette::Light, QColor(230, 230, 235)}, {QPalette::Midlight, QColor(150, 150, 155)},
        {QPalette::Mid, QColor(90, 90, 95)},      {QPalette::Dark, QColor(20, 20, 22)},
        {QPalette::Shadow, QColor(0, 0, 0)},      {QPalette::Highlight, QColor(42, 130, 218)},
        {QPalette::HighlightedText, Qt::white},
    };
    for (const auto& [role, colour] : colours) dark.setColor(role, colour);  // every group
    ExpectDisabledFaded(dark);
    ExpectDisabledFaded(m_style->standardPalette());
}

TEST_F(SliderLook, QuietNoSignalAndDisabledBandLookDifferent) {
    SliderMeter quiet{SliderMeter::Look::kLive, 0.0, 0.0, 40.0, false};
    SliderMeter sounding{SliderMeter::Look::kLive, 0.0, 60.0, 40.0, true};
    SliderMeter silent{SliderMeter::Look::kNoSignal, 0.0, 0.0, -1.0, false};
    SliderMeter off{SliderMeter::Look::kBandOff, 0.0, 0.0, -1.0, false};
    QImage pictures[4];
    const SliderMeter* meters[4] = {&quiet, &sounding, &silent, &off};
    for (int i = 0; i < 4; ++i) {
        m_slider.SetMeter(*meters[i]);
        EXPECT_EQ(m_slider.Meter(), *meters[i]);
        pictures[i] = Picture();
    }
    m_slider.SetMeter(SliderMeter{});
    const QImage plain = Picture();
    for (int i = 0; i < 4; ++i) {
        EXPECT_NE(pictures[i], plain) << i;
        for (int j = i + 1; j < 4; ++j) EXPECT_NE(pictures[i], pictures[j]) << i << " " << j;
    }
}

}  // namespace
