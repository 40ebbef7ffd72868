// The window's texts and scales without a toolkit: the bands' names, preset names, the error
// boxes' details, the meters' scales and the status line's hint over time.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "analysis/level_threshold.h"
#include "force/force_devices.h"
#include "window/band_texts.h"
#include "window/error_advice.h"
#include "window/error_details.h"
#include "window/meters.h"
#include "window/presets.h"

namespace {

using kinetra::window::LevelToSliderPosition;
using kinetra::window::MagnitudeToStrengthPosition;
using kinetra::window::MeterChange;
using kinetra::window::MeterChangeOnRows;
using kinetra::window::MeterRedraw;
using kinetra::window::SliderMeter;
using kinetra::window::SoundHint;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(BandTexts, NumberNicknameAndEdgesOfEachBand) {
    const char* const labels[5] = {
        "band 1 (bass, 0\u2013177 Hz)", "band 2 (low mid, 220\u2013440 Hz)",
        "band 3 (mid, 484\u20132000 Hz)", "band 4 (high mid, 2030\u201310000 Hz)",
        "band 5 (treble, 10040\u201323000 Hz)"};
    for (int band = 1; band <= 5; ++band) {
        EXPECT_EQ(kinetra::window::BandLabel(band), labels[band - 1]);
    }
    EXPECT_EQ(kinetra::window::DisableBoxName(1), "Disable band 1 (bass, 0\u2013177 Hz)");
    EXPECT_EQ(kinetra::window::LevelSliderName(5),
              "Response level of band 5 (treble, 10040\u201323000 Hz)");
    EXPECT_TRUE(kinetra::window::BandLabel(0).empty());
    EXPECT_TRUE(kinetra::window::DisableBoxName(6).empty());
}

TEST(PresetNames, KeysHoldAnyNameAndGiveItBack) {
    using kinetra::window::PresetKey;
    using kinetra::window::PresetNameOfKey;
    EXPECT_EQ(PresetKey("Late / night \\ 50%"), "Late %2F night %5C 50%25");
    for (const std::string name : {"plain", "a/b\\c%d%2F", "f\u00eate \u266a"}) {
        EXPECT_EQ(PresetKey(name).find('/'), std::string::npos);
        EXPECT_EQ(PresetKey(name).find('\\'), std::string::npos);
        EXPECT_EQ(PresetNameOfKey(PresetKey(name)), name);
    }
    std::string why;
    EXPECT_EQ(kinetra::window::CleanPresetName("  Quiet evening ", &why), "Quiet evening");
    EXPECT_TRUE(kinetra::window::CleanPresetName("films", &why).empty());
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(kinetra::window::CleanPresetName(std::string(40, 'x'), &why), std::string(40, 'x'));
    EXPECT_TRUE(kinetra::window::CleanPresetName(std::string(41, 'x'), &why).empty());
}

TEST(ErrorDetails, ReasonDevicesFoundAndWhatToTry) {
    using kinetra::force::ForceDeviceKind;
    const std::vector<kinetra::force::ForceDeviceInfo> found = {
        {"sdl:Xbox 360 Controller", "Xbox 360 Controller", ForceDeviceKind::kRumble},
        {"virtual", "Kinetra Virtual Mouse", ForceDeviceKind::kVirtual}};
    const std::string detail = kinetra::window::NoForceDeviceDetail("it is <busy> & gone", found);
    const std::vector<std::string> lines = Lines(detail);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Why: it is <busy> & gone");
    EXPECT_EQ(lines[1], "Devices found: Xbox 360 Controller (rumble)");  // not the virtual one
    EXPECT_TRUE(lines[2].starts_with("What to try: "));
    EXPECT_GE(Count(lines[2], "KINETRA_FORCE_DEVICE=virtual"), 1);
    EXPECT_TRUE(kinetra::window::NoForceDeviceDetail("", {}).starts_with(
        "Why: no force-feedback device could be opened\nDevices found: none\n"));

    // The library's reason ends in the virtual-device hint, which "What to try" gives too: the
    // box says it once. A reason without the hint, or with it elsewhere, is shown whole.
    const std::string described = kinetra::force::DescribeForceDeviceProblem("no haptic device");
    const std::string once = kinetra::window::NoForceDeviceDetail(described, {});
    EXPECT_EQ(Count(once, "KINETRA_FORCE_DEVICE=virtual"), 1) << once;
    EXPECT_TRUE(once.starts_with("Why: no haptic device")) << once;
    EXPECT_FALSE(Lines(once)[0].ends_with(' '));
    EXPECT_EQ(kinetra::force::ReasonWithoutVirtualHint("busy. KINETRA_FORCE_DEVICE=virtual runs "
                                                       "without hardware."),
              "busy.");
    EXPECT_EQ(kinetra::force::ReasonWithoutVirtualHint("KINETRA_FORCE_DEVICE=virtual runs without "
                                                       "hardware. Then more."),
              "KINETRA_FORCE_DEVICE=virtual runs without hardware. Then more.");
    EXPECT_EQ(kinetra::force::ReasonWithoutVirtualHint("hardware."), "hardware.");

    const std::string input = kinetra::window::AudioInputDetail(
        "first\nsecond", {{"", "Chosen input: the default capture device"}, {"sdl:Mic", "Mic"}});
    EXPECT_TRUE(
        input.starts_with("Chosen input: the default capture device\nWhy: first\nWhy: "
                          "second\nOther inputs found: Mic\nWhat to try: "))
        << input;
}

// Each box's advice is this system's: on Windows it names none of Linux's tools or paths.
TEST(ErrorDetails, TheAdviceFitsTheSystem) {
    const kinetra::window::ErrorAdvice& advice = kinetra::window::SystemErrorAdvice();
    for (const char* line :
         {advice.unknownDevice, advice.deviceNotAllowed, advice.noDevice, advice.soundFile,
          advice.namedInput, advice.defaultInput, advice.captureBuffer}) {
        EXPECT_TRUE(std::string(line).starts_with("What to try: ")) << line;
#ifdef _WIN32
        for (const char* linuxOnly : {"pactl", "udev", "\"input\" group", "file:/", "Ogg"}) {
            EXPECT_EQ(std::string(line).find(linuxOnly), std::string::npos) << line;
        }
#endif
    }
    // The first lines stay; the advice is the box's last line.
    EXPECT_TRUE(kinetra::window::CaptureBufferDetail("").ends_with(advice.captureBuffer));
}

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

TEST(MeterRedraws, OnlyWhatAChangeMovesIsDrawnAgain) {
    using Look = SliderMeter::Look;
    const SliderMeter live{Look::kLive, 0.0, 30.0, 50.0, false};
    struct Case {
        SliderMeter next;
        MeterRedraw redraw;
    };
    const Case cases[] = {
        {live, {}},
        {{Look::kLive, 0.0, 42.0, 50.0, false}, {true, 30.0, 42.0, false}},     // the end rises
        {{Look::kLive, 0.0, 12.0, 50.0, false}, {true, 12.0, 30.0, false}},     // and falls
        {{Look::kLive, 0.0, 30.0, 20.0, false}, {true, 20.0, 50.0, false}},     // the mark moves
        {{Look::kLive, 0.0, 30.0, -1.0, false}, {true, 30.0, 50.0, false}},     // none: at the end
        {{Look::kLive, 0.0, 64.0, 55.0, true}, {true, 30.0, 64.0, true}},       // all, and the lamp
        {{Look::kNoSignal, 0.0, 30.0, 50.0, true}, {true, 0.0, 100.0, false}},  // a new look
    };
    for (const Case& c : cases) {
        const MeterRedraw redraw = MeterChange(live, c.next);
        EXPECT_EQ(redraw, c.redraw) << redraw.track << " " << redraw.top << ".." << redraw.bottom
                                    << " lamp " << redraw.lamp;
    }
    // What a meter that is not live draws does not move with its ends, mark or lamp.
    const SliderMeter off{Look::kBandOff, 0.0, 0.0, -1.0, false};
    EXPECT_EQ(MeterChange(off, {Look::kBandOff, 0.0, 70.0, 20.0, true}), MeterRedraw{});
    EXPECT_EQ(MeterChange({Look::kLive, 0.0, 0.0, -1.0, true}, off),
              (MeterRedraw{true, 0.0, 100.0, true}));
}

// On pixel rows (here 10 positions a row): an end that stays on its row draws nothing and stays
// drawn where it was, so that many small moves add up; the next row draws the whole way.
TEST(MeterRedraws, EndsThatStayOnTheirRowsAreNotDrawnAgain) {
    using Look = SliderMeter::Look;
    const auto row = [](double p) { return static_cast<int>(p / 10.0); };
    SliderMeter drawn{Look::kLive, 0.0, 31.0, 50.0, false};
    EXPECT_EQ(MeterChangeOnRows(&drawn, {Look::kLive, 0.0, 36.0, 50.0, true}, row),
              (MeterRedraw{false, 31.0, 36.0, true}));
    EXPECT_EQ(drawn, (SliderMeter{Look::kLive, 0.0, 31.0, 50.0, true}));
    EXPECT_EQ(MeterChangeOnRows(&drawn, {Look::kLive, 0.0, 41.0, 50.0, true}, row),
              (MeterRedraw{true, 31.0, 41.0, false}));
    EXPECT_EQ(drawn, (SliderMeter{Look::kLive, 0.0, 41.0, 50.0, true}));
}

TEST(SoundHintTexts, ListeningWhileSoundArrivesAndNoSoundAfterTenQuietSeconds) {
    SoundHint hint(1000);
    EXPECT_EQ(hint.Update(1100, false), "");
    EXPECT_EQ(hint.Update(10999, false), "");
    EXPECT_EQ(hint.Update(11000, false), "no sound for 10 s");
    EXPECT_EQ(hint.Update(11033, true), "listening");
    EXPECT_EQ(hint.Update(21032, false), "listening");
    EXPECT_EQ(hint.Update(21033, false), "no sound for 10 s");
    EXPECT_EQ(hint.Update(21066, true), "listening");
}

}  // namespace
