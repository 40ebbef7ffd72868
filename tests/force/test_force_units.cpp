#include <gtest/gtest.h>

#include <cmath>

#include "force/device_choice.h"
#include "force/force_units.h"
#include "force/ond_library.h"

using namespace kinetra::force;

TEST(ForceUnits, CreationPeriodFromFrequency) {
    // Hand arithmetic: integer part of 1000 / Hz.
    EXPECT_EQ(CreationPeriodMs(0), 0u);
    EXPECT_EQ(CreationPeriodMs(1), 1000u);
    EXPECT_EQ(CreationPeriodMs(3), 333u);
    EXPECT_EQ(CreationPeriodMs(7), 142u);
    EXPECT_EQ(CreationPeriodMs(40), 25u);
    EXPECT_EQ(CreationPeriodMs(43), 23u);
    EXPECT_EQ(CreationPeriodMs(45), 22u);
    EXPECT_EQ(CreationPeriodMs(62), 16u);
    EXPECT_EQ(CreationPeriodMs(75), 13u);
    EXPECT_EQ(CreationPeriodMs(90), 11u);
    EXPECT_EQ(CreationPeriodMs(115), 8u);
    EXPECT_EQ(CreationPeriodMs(250), 4u);
    EXPECT_EQ(CreationPeriodMs(1000), 1u);
    EXPECT_EQ(CreationPeriodMs(1001), 0u);
    EXPECT_EQ(CreationPeriodMs(0xFFFFFFFFu), 0u);
    // Exact quotients, where a double computation could land just below the integer.
    for (std::uint32_t hz : {2u, 4u, 5u, 8u, 10u, 20u, 25u, 50u, 100u, 125u, 200u, 500u}) {
        EXPECT_EQ(CreationPeriodMs(hz), 1000u / hz) << hz;
        EXPECT_EQ(CreationPeriodMs(hz) * hz, 1000u) << hz;
    }
}

TEST(ForceUnits, ChangePeriodFromFrequency) {
    EXPECT_EQ(ChangePeriodMs(40), 25u);
    EXPECT_EQ(ChangePeriodMs(43), 23u);
    EXPECT_EQ(ChangePeriodMs(75), 13u);
    EXPECT_EQ(ChangePeriodMs(90), 11u);
    EXPECT_EQ(ChangePeriodMs(115), 8u);
    EXPECT_EQ(ChangePeriodMs(250), 4u);
    EXPECT_EQ(ChangePeriodMs(1), 1000u);
    EXPECT_EQ(ChangePeriodMs(2000), 0u);
    // No period for 0 Hz: the period is left as it is.
    EXPECT_EQ(ChangePeriodMs(0), OND_UNCHANGED);
}

TEST(ForceUnits, DeviceLevelFromMagnitudeAndGain) {
    // 32767 * m * g / 10^8, rounded to nearest, worked by hand.
    EXPECT_EQ(DeviceLevel(10000, 10000, 32767), 32767);
    EXPECT_EQ(DeviceLevel(0, 10000, 32767), 0);
    EXPECT_EQ(DeviceLevel(10000, 0, 32767), 0);
    EXPECT_EQ(DeviceLevel(5000, 10000, 32767), 16384);  // 16383.5
    EXPECT_EQ(DeviceLevel(10000, 5000, 32767), 16384);
    EXPECT_EQ(DeviceLevel(10000, 2500, 32767), 8192);  // 8191.75
    EXPECT_EQ(DeviceLevel(7500, 4000, 32767), 9830);   // 9830.1
    EXPECT_EQ(DeviceLevel(1, 10000, 32767), 3);        // 3.2767
    EXPECT_EQ(DeviceLevel(2, 10000, 32767), 7);        // 6.5534
    EXPECT_EQ(DeviceLevel(1234, 10000, 10000), 1234);
    EXPECT_EQ(DeviceLevel(1234, 5000, 10000), 617);
    // Values above full strength count as full strength.
    EXPECT_EQ(DeviceLevel(12000, 10000, 32767), 32767);
    EXPECT_EQ(DeviceLevel(0xFFFFFFFFu, 0xFFFFFFFFu, 32767), 32767);
    EXPECT_EQ(DeviceLevel(10000, 10000, 0), 0);
}

// The gain's part worked out once and the magnitude's applied per update give DeviceLevel's
// levels: against hand arithmetic, and over a grid against 32767 * m * g / 10^8 to the nearest in
// long double (exact there, halves included).
TEST(ForceUnits, DeviceLevelFromAScaleWorkedOutOnce) {
    EXPECT_EQ(DeviceLevelScale(10000, 32767), 327670000u);
    EXPECT_EQ(DeviceLevelScale(2500, 32767), 81917500u);
    EXPECT_EQ(DeviceLevelScale(20000, 32767), 327670000u);  // counts as full
    EXPECT_EQ(DeviceLevelScale(10000, 0), 0u);
    EXPECT_EQ(DeviceLevelScale(10000, -5), 0u);
    EXPECT_EQ(ScaledDeviceLevel(5000, 327670000u), 16384);     // 16383.5
    EXPECT_EQ(ScaledDeviceLevel(7500, 4000u * 32767u), 9830);  // 9830.1
    EXPECT_EQ(ScaledDeviceLevel(1, 81917500u), 1);             // 0.819...
    EXPECT_EQ(ScaledDeviceLevel(12000, 327670000u), 32767);    // counts as full
    EXPECT_EQ(ScaledDeviceLevel(10000, 0), 0);
    for (std::uint32_t g = 0; g <= 10000; g += 125) {
        for (std::uint32_t m = 0; m <= 10000; m += 37) {
            const auto exact = std::llround(32767.0L * m * g / 1e8L);
            ASSERT_EQ(ScaledDeviceLevel(m, DeviceLevelScale(g, 32767)), exact) << m << " " << g;
            ASSERT_EQ(DeviceLevel(m, g, 32767), exact) << m << " " << g;
        }
    }
}

TEST(ForceUnits, DeviceSignedLevel) {
    EXPECT_EQ(DeviceSignedLevel(10000, 32767), 32767);
    EXPECT_EQ(DeviceSignedLevel(-10000, 32767), -32767);
    EXPECT_EQ(DeviceSignedLevel(-5000, 32767), -16384);  // -16383.5
    EXPECT_EQ(DeviceSignedLevel(3, 32767), 10);          // 9.8301
    EXPECT_EQ(DeviceSignedLevel(-20000, 32767), -32767);
    EXPECT_EQ(DeviceSignedLevel(INT32_MIN, 32767), -32767);
    EXPECT_EQ(DeviceSignedLevel(0, 32767), 0);
}

namespace {
ForceDeviceChoice Parse(const char* text) {
    ForceDeviceChoice choice;
    std::string error;
    // A null text stands for an unset variable: the empty text.
    EXPECT_TRUE(ParseForceDeviceChoice(text != nullptr ? text : "", &choice, &error))
        << text << ": " << error;
    return choice;
}
std::string Reject(const char* text) {
    ForceDeviceChoice choice;
    std::string error;
    EXPECT_FALSE(ParseForceDeviceChoice(text, &choice, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    return error;
}
}  // namespace

TEST(ForceDeviceChoice, SdlForms) {
    for (const char* text : {static_cast<const char*>(nullptr), "", "sdl"}) {
        const ForceDeviceChoice s = Parse(text);
        EXPECT_EQ(s.kind, ForceDeviceChoice::Kind::Sdl);
        EXPECT_EQ(s.sdlIndex, -1);
        EXPECT_TRUE(s.sdlName.empty());
    }
    EXPECT_EQ(Parse("sdl:0").sdlIndex, 0);
    EXPECT_EQ(Parse("sdl:12").sdlIndex, 12);
    const ForceDeviceChoice named = Parse("sdl:Logitech iFeel Mouse, rev 2");
    EXPECT_EQ(named.sdlIndex, -1);
    EXPECT_EQ(named.sdlName, "Logitech iFeel Mouse, rev 2");
    EXPECT_EQ(Parse("sdl:2nd").sdlName, "2nd");
    EXPECT_EQ(Parse("none").kind, ForceDeviceChoice::Kind::None);
    Reject("sdl:");
    Reject("sdl:99999999999");
    Reject("SDL");
    Reject("sdl2");
}

TEST(ForceDeviceChoice, VirtualForms) {
    ForceDeviceChoice s = Parse("virtual");
    EXPECT_EQ(s.kind, ForceDeviceChoice::Kind::Virtual);
    EXPECT_EQ(s.virtualName, "Kinetra Virtual Mouse");
    EXPECT_FALSE(s.failOpen);
    EXPECT_EQ(s.effectLimit, 16);
    EXPECT_EQ(s.lostAfter, -1);

    s = Parse("virtual:Logitech iFeel MouseMan");
    EXPECT_EQ(s.virtualName, "Logitech iFeel MouseMan");

    s = Parse("virtual:Orbit 3D,fail=open");
    EXPECT_EQ(s.virtualName, "Orbit 3D");
    EXPECT_TRUE(s.failOpen);

    s = Parse("virtual,effects=4,lost-after=500");
    EXPECT_EQ(s.virtualName, "Kinetra Virtual Mouse");
    EXPECT_EQ(s.effectLimit, 4);
    EXPECT_EQ(s.lostAfter, 500);

    EXPECT_EQ(Parse("virtual,effects=0").effectLimit, 0);
    EXPECT_EQ(Parse("virtual,effects=16").effectLimit, 16);
    EXPECT_EQ(Parse("virtual,lost-after=0").lostAfter, 0);
}

TEST(ForceDeviceChoice, MalformedVirtualValuesAreRejected) {
    EXPECT_NE(Reject("virtual,effects=17").find("effects=17"), std::string::npos);
    EXPECT_NE(Reject("virtual,colour=red").find("colour"), std::string::npos);
    EXPECT_NE(Reject("virtual,fail=close").find("fail=close"), std::string::npos);
    Reject("virtual:");
    Reject("virtual:,effects=2");
    Reject("virtual,effects=");
    Reject("virtual,effects=-1");
    Reject("virtual,effects=4x");
    Reject("virtual,lost-after=ten");
    Reject("virtual,");
    Reject("virtual,,effects=2");
    Reject("virtual,effects");
    Reject("virtualmouse");
    Reject("virtual:Name,effects=2,");
    Reject("mouse");
    // A rejected value leaves a choice that names no virtual options.
    ForceDeviceChoice choice;
    std::string error;
    EXPECT_FALSE(ParseForceDeviceChoice("virtual,effects=3,bad", &choice, &error));
    EXPECT_EQ(choice.effectLimit, 16);
}
