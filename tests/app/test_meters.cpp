// How a slider looks: disabled under a dark palette, and with each kind of meter.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPalette>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <cmath>
#include <limits>
#include <memory>

#include "analysis/level_threshold.h"
#include "app/slider_ctrl.h"
#include "app_test_support.h"

namespace {

using kinetra::app::SliderMeter;

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

// A meter change draws only part of the slider again: what is on screen after a run of changes
// (the offscreen platform's copy of the window) must equal the slider drawn afresh.
TEST_F(SliderLook, WhatIsOnScreenAfterMeterChangesEqualsAFreshDrawing) {
    using Look = SliderMeter::Look;
    m_slider.show();
    ASSERT_TRUE(kinetra::test::WaitUntil([this] { return m_slider.isVisible(); }));
    const SliderMeter steps[] = {
        {Look::kLive, 0.0, 70.0, 40.0, true},    {Look::kLive, 0.0, 64.0, 40.0, false},
        {Look::kLive, 0.0, 20.5, 40.0, false},   {Look::kLive, 0.0, 20.5, 10.0, true},
        {Look::kLive, 0.0, 19.9, -1.0, true},    {Look::kNoSignal, 0.0, 0.0, -1.0, false},
        {Look::kBandOff, 0.0, 0.0, -1.0, false}, {Look::kLive, 0.0, 55.0, 30.0, true},
        {Look::kLive, 0.0, 49.0, 30.0, true},    {Look::kLive, 0.0, 49.1, 30.0, true},
        {Look::kLive, 0.0, 49.6, 30.0, false},   {Look::kLive, 0.0, 50.3, 30.0, false},
    };
    for (const SliderMeter& meter : steps) {
        m_slider.SetMeter(meter);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const QImage screen = m_slider.screen()
                                  ->grabWindow(m_slider.winId())
                                  .toImage()
                                  .convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(screen, Picture()) << static_cast<int>(meter.look) << " " << meter.to;
    }
}

}  // namespace
