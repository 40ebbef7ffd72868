// Rumble devices: the motor rule, the virtual rumble device through the force channels, a device
// that is unplugged and comes back, and why no device opened.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "force/backends/rumble_backend.h"
#include "force/device_choice.h"
#include "force/force_channel.h"
#include "force/force_devices.h"
#include "force/virtual_device.h"
#include "force_env.h"
#include "support/stderr_capture.h"
#include "support/wait_for.h"

using kinetra::force::CombineRumble;
using kinetra::force::CurrentForceDeviceStatus;
using kinetra::force::DrivesLowMotor;
using kinetra::force::ForceDeviceState;
using kinetra::force::GetVirtualDeviceSnapshot;
using kinetra::force::MotorLevels;
using kinetra::force::RumbleInput;
using kinetra::test::ForceDeviceVariable;
using kinetra::test::WaitFor;
using Clock = std::chrono::steady_clock;

namespace {

// The first supported device's band frequencies, which a pad gets.
constexpr std::uint32_t kBandHz[5] = {40, 75, 90, 115, 250};

struct Pad {
    std::vector<std::unique_ptr<CForceChannel>> bands;
    explicit Pad(const std::uint32_t (&magnitudes)[5]) {
        for (int b = 0; b < 5; ++b) {
            bands.push_back(std::make_unique<CForceChannel>());
            EXPECT_EQ(bands.back()->CreateEffect(magnitudes[b], kBandHz[b]), 1);
        }
    }
};

}  // namespace

// Periods by hand: 1000 / period < 100 Hz <=> period > 10 ms. Levels: 65535 * m * g / 10000^2,
// nearest, halves up.
TEST(RumbleRule, BandsSplitAtHundredHertzAndEachMotorTakesTheLargestLevel) {
    EXPECT_TRUE(DrivesLowMotor(0));    // 0 Hz
    EXPECT_TRUE(DrivesLowMotor(25));   // 40 Hz
    EXPECT_TRUE(DrivesLowMotor(13));   // 76.9 Hz
    EXPECT_TRUE(DrivesLowMotor(11));   // 90.9 Hz
    EXPECT_FALSE(DrivesLowMotor(10));  // 100 Hz is not below 100 Hz
    EXPECT_FALSE(DrivesLowMotor(8));   // 125 Hz
    EXPECT_FALSE(DrivesLowMotor(4));   // 250 Hz

    // magnitude, gain, period -> level
    //   5000, 10000, 25 -> 32767.5 -> 32768 (low)
    //   8000,  5000, 13 -> 26214.0         (low)
    //  10000, 10000, 11 -> 65535           (low, stopped in the first row)
    //   3000, 10000,  8 -> 19660.5 -> 19661 (high)
    //   2500,  4000,  4 ->  6553.5 ->  6554 (high)
    RumbleInput bands[5] = {{true, 5000, 10000, 25},
                            {true, 8000, 5000, 13},
                            {false, 10000, 10000, 11},
                            {true, 3000, 10000, 8},
                            {true, 2500, 4000, 4}};
    EXPECT_EQ(CombineRumble(bands, 5), (MotorLevels{32768, 19661}));
    bands[2].playing = true;
    EXPECT_EQ(CombineRumble(bands, 5), (MotorLevels{65535, 19661}));
    bands[3].gain = 0;
    EXPECT_EQ(CombineRumble(bands, 5), (MotorLevels{65535, 6554}));
    for (RumbleInput& band : bands) band.playing = false;
    EXPECT_EQ(CombineRumble(bands, 5), (MotorLevels{0, 0}));
}

TEST(RumbleOptions, KindUnplugAndReplugAreParsed) {
    kinetra::force::ForceDeviceChoice choice;
    std::string error;
    ASSERT_TRUE(kinetra::force::ParseForceDeviceChoice(
        "virtual:Pad,kind=rumble,unplug-after=12,replug-after=250", &choice, &error))
        << error;
    EXPECT_TRUE(choice.rumble);
    EXPECT_EQ(choice.unplugAfter, 12);
    EXPECT_EQ(choice.replugAfterMs, 250);
    ASSERT_TRUE(kinetra::force::ParseForceDeviceChoice("virtual,kind=sine", &choice, &error));
    EXPECT_FALSE(choice.rumble);
    EXPECT_EQ(choice.unplugAfter, -1);
    EXPECT_EQ(choice.replugAfterMs, -1);
    for (const char* bad : {"virtual,kind=pad", "virtual,unplug-after=-1", "virtual,replug-after=x",
                            "virtual,replug-after=86400001"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(kinetra::force::ParseForceDeviceChoice(bad, &choice, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(RumbleDevice, EveryListedDeviceIsNamedByAValidChoice) {
    const auto devices = kinetra::force::ListForceDevices();
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices.back().id, "virtual");
    EXPECT_EQ(devices.back().kind, kinetra::force::ForceDeviceKind::kVirtual);
    bool rumbleSeen = false;
    for (const auto& device : devices) {
        SCOPED_TRACE(device.id);
        kinetra::force::ForceDeviceChoice choice;
        std::string error;
        EXPECT_TRUE(kinetra::force::ParseForceDeviceChoice(device.id, &choice, &error)) << error;
        // Sine devices come first.
        if (device.kind == kinetra::force::ForceDeviceKind::kRumble) rumbleSeen = true;
        if (rumbleSeen) {
            EXPECT_NE(device.kind, kinetra::force::ForceDeviceKind::kSine);
        }
    }
}

TEST(RumbleDevice, FiveBandsMoveTwoMotorsWithRenewedShortCommands) {
    ForceDeviceVariable variable("virtual:Test Pad,kind=rumble");
    {
        // 40, 75, 90 Hz: periods 25, 13, 11 -> low; 115, 250 Hz: periods 8, 4 -> high.
        Pad pad({2000, 6000, 4000, 3000, 1000});
        EXPECT_EQ(CurrentForceDeviceStatus().state, ForceDeviceState::kConnected);
        EXPECT_EQ(CurrentForceDeviceStatus().kind, kinetra::force::ForceDeviceKind::kVirtual);
        EXPECT_TRUE(CurrentForceDeviceStatus().twoMotors);
        // 65535 * 0.6 = 39321; 65535 * 0.3 = 19660.5 -> 19661.
        auto s = GetVirtualDeviceSnapshot();
        EXPECT_TRUE(s.rumble);
        EXPECT_EQ(s.rumbleLow, 39321);
        EXPECT_EQ(s.rumbleHigh, 19661);
        EXPECT_LE(s.rumbleDurationMs, 100u);
        EXPECT_GT(s.rumbleDurationMs, 0u);

        // Band 2 at half gain: 0.3 -> low is band 3's 0.4 = 26214.
        EXPECT_EQ(pad.bands[1]->ChangeGain(5000), 1);
        EXPECT_EQ(GetVirtualDeviceSnapshot().rumbleLow, 26214);
        // Band 5 above band 4: 0.5 -> 32767.5 -> 32768.
        EXPECT_EQ(pad.bands[4]->ChangeParameters(5000, 250), 1);
        EXPECT_EQ(GetVirtualDeviceSnapshot().rumbleHigh, 32768);

        // A held value is sent again (each command lasting 100 ms).
        const std::uint64_t before = GetVirtualDeviceSnapshot().rumbleCommands;
        EXPECT_TRUE(WaitFor([&] { return GetVirtualDeviceSnapshot().rumbleCommands >= before + 2; },
                            std::chrono::milliseconds(3000)));

        // Everything stopped: both motors silent at once; changes of stopped bands send nothing.
        for (auto& band : pad.bands) EXPECT_EQ(band->Stop(), 1);
        s = GetVirtualDeviceSnapshot();
        EXPECT_EQ(s.rumbleLow, 0);
        EXPECT_EQ(s.rumbleHigh, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        const std::uint64_t silent = GetVirtualDeviceSnapshot().rumbleCommands;
        EXPECT_EQ(pad.bands[0]->ChangeParameters(9000, 40), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        EXPECT_EQ(GetVirtualDeviceSnapshot().rumbleCommands, silent);
        EXPECT_EQ(pad.bands[0]->Start(), 1);
        EXPECT_EQ(GetVirtualDeviceSnapshot().rumbleLow, 58982);  // 65535 * 0.9 = 58981.5
    }
    // Closed: both motors silent.
    const auto s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.rumbleLow, 0);
    EXPECT_EQ(s.rumbleHigh, 0);
    EXPECT_EQ(s.connections, 0);
    EXPECT_EQ(CurrentForceDeviceStatus().state, ForceDeviceState::kNone);
}

// Unplugged after 6 updates, back 300 ms later: the calls meanwhile fail quietly, and the device
// gets the settings in force when it is found again (the figure is printed, bounded generously).
TEST(RumbleDevice, UnpluggedDeviceIsFoundAgainWithTheSettingsInForce) {
    for (const char* text : {"virtual:Test Pad,kind=rumble,unplug-after=6,replug-after=300",
                             "virtual:Test Mouse,unplug-after=6,replug-after=300"}) {
        SCOPED_TRACE(text);
        ForceDeviceVariable variable(text);
        Pad pad({2000, 6000, 4000, 3000, 1000});
        int calls = 0;
        while (!GetVirtualDeviceSnapshot().unplugged && calls < 20) {
            pad.bands[0]->ChangeParameters(1000 + 100 * ++calls, 40);
        }
        ASSERT_TRUE(GetVirtualDeviceSnapshot().unplugged);
        const Clock::time_point unplugged = Clock::now();
        // Calls fail quietly while it is away; what they ask for is kept.
        EXPECT_EQ(pad.bands[0]->ChangeParameters(7000, 40), 0);
        EXPECT_EQ(pad.bands[4]->Stop(), 0);
        EXPECT_EQ(pad.bands[1]->ChangeGain(2500), 0);
        EXPECT_EQ(CurrentForceDeviceStatus().state, ForceDeviceState::kDisconnectedWaiting);

        ASSERT_TRUE(WaitFor(
            [] { return CurrentForceDeviceStatus().state == ForceDeviceState::kReconnected; },
            std::chrono::milliseconds(300 + 2000 + 1500)));
        const double afterReplug =
            std::chrono::duration<double>(Clock::now() - unplugged).count() - 0.3;
        std::printf("reconnected %.3f s after the device came back\n", afterReplug);
        const auto s = GetVirtualDeviceSnapshot();
        EXPECT_EQ(s.replugs, 1u);
        EXPECT_EQ(CurrentForceDeviceStatus().reconnections, 1u);
        if (s.rumble) {
            // Band 1 at 0.7 -> 45874.5 -> 45875 (low); band 5 stopped, band 4 at 0.3 -> 19661.
            EXPECT_EQ(s.rumbleLow, 45875);
            EXPECT_EQ(s.rumbleHigh, 19661);
        } else {
            // Five effects again; band 1 at 7000 -> 32767 * 0.7 = 22936.9 -> 22937; band 5 stopped;
            // band 2 at a quarter gain.
            EXPECT_EQ(s.effectCount, 5);
            int playing = 0;
            bool sawBand1 = false;
            bool sawBand2 = false;
            for (const auto& e : s.effects) {
                if (!e.created) continue;
                playing += e.playing ? 1 : 0;
                sawBand1 = sawBand1 || (e.level == 22937 && e.playing);
                sawBand2 = sawBand2 || (e.magnitude == 6000 && e.gain == 2500);
            }
            EXPECT_EQ(playing, 4);
            EXPECT_TRUE(sawBand1);
            EXPECT_TRUE(sawBand2);
        }
        // Calls work again.
        EXPECT_EQ(pad.bands[4]->Start(), 1);
    }
}

TEST(RumbleDevice, AFailedOpenSaysWhyOnStandardError) {
    ForceDeviceVariable variable("virtual:Broken Pad,kind=rumble,fail=open");
    std::string printed;
    {
        kinetra::test::StderrCapture capture;
        CForceChannel channel;
        EXPECT_EQ(CForceChannel::SharedDevice(), nullptr);
        printed = capture.Text();
    }
    const std::string problem = kinetra::force::LastForceDeviceProblem();
    EXPECT_NE(problem.find("the virtual device cannot be opened (fail=open)"), std::string::npos);
    EXPECT_NE(problem.find("KINETRA_FORCE_DEVICE=virtual runs without hardware"),
              std::string::npos);
    EXPECT_NE(printed.find(problem), std::string::npos) << printed;
}
