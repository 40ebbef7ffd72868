// The update path of an effect: what the device receives when every setting of ChangeParameters
// and the gain change in any order (against a plain model with its own arithmetic), changes
// asked while a device refuses, changes that arrive while another call is inside the device, the
// virtual device's shown values and update limits, and a change that a gone device missed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <future>
#include <iterator>
#include <memory>
#include <random>
#include <thread>

#include "force/force_channel.h"
#include "force/force_devices.h"
#include "force/ond_library.h"
#include "force/virtual_device.h"
#include "force_env.h"
#include "force_model.h"
#include "slow_call.h"
#include "support/wait_for.h"

using kinetra::force::CurrentForceDeviceStatus;
using kinetra::force::ForceDeviceState;
using kinetra::force::GetVirtualDeviceSnapshot;
using kinetra::force::VirtualCall;
using kinetra::force::VirtualDeviceSnapshot;
using kinetra::test::ForceDeviceVariable;
using kinetra::test::SlowCall;
using kinetra::test::WaitFor;

namespace {

constexpr auto kWayOut = std::chrono::seconds(30);
constexpr std::int32_t kKeep = static_cast<std::int32_t>(OND_UNCHANGED);

// Waits until the device that went away is back.
bool WaitReconnected() {
    return WaitFor(
        [] { return CurrentForceDeviceStatus().state == ForceDeviceState::kReconnected; });
}

std::unique_ptr<COndMouse> OpenDevice() {
    auto device = std::make_unique<COndMouse>();
    EXPECT_EQ(device->Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true), 1);
    return device;
}

using kinetra::test::Capped;
using kinetra::test::ModelLevel;

// 32767 * offset / 10^4 (capped at +-10000) to the nearest level, halves away from zero.
std::int32_t ModelOffset(std::int32_t offset) {
    const long double o = offset > 10000 ? 10000.0L : offset < -10000 ? -10000.0L : offset;
    return static_cast<std::int32_t>(std::llround(32767.0L * o / 10000.0L));
}

// What the virtual device should hold for one effect's settings, worked out plainly.
struct ModelDevice {
    std::int32_t level = 0;
    std::uint32_t period = 0;
    std::uint32_t duration = 0;
    std::int32_t directionX = 0;
    std::int32_t directionY = 0;
    std::int32_t offset = 0;
    std::uint32_t phase = 0;
    std::int32_t attackLevel = 0;
    std::uint32_t attackMs = 0;
    std::int32_t fadeLevel = 0;
    std::uint32_t fadeMs = 0;
    std::uint32_t magnitude = 0;
    std::uint32_t gain = 0;
    bool operator==(const ModelDevice&) const = default;
};

struct ModelSettings {
    std::uint32_t magnitude = 0;
    std::uint32_t period = 0;
    std::uint32_t duration = OND_INFINITE;
    std::int32_t directionX = 1;
    std::int32_t directionY = 0;
    std::int32_t offset = 0;
    std::uint32_t phase = 0;
    VORBIT_ENVELOPE envelope;
    std::uint32_t gain = 10000;

    ModelDevice Device() const {
        ModelDevice d;
        d.level = ModelLevel(magnitude, gain);
        d.period = period;
        d.duration = duration;
        d.directionX = directionX;
        d.directionY = directionY;
        d.offset = ModelOffset(offset);
        d.phase = phase % 36000;
        d.attackLevel = ModelLevel(envelope.dwAttackLevel, gain);
        d.attackMs = envelope.dwAttackTime;
        d.fadeLevel = ModelLevel(envelope.dwFadeLevel, gain);
        d.fadeMs = envelope.dwFadeTime;
        d.magnitude = magnitude > 10000 ? 10000 : magnitude;
        d.gain = gain > 10000 ? 10000 : gain;
        return d;
    }
};

}  // namespace

// Every setting changes now and then, the magnitude most often, the gain in between: the device
// gets one update exactly when what it should hold differs from what it holds, and shows it.
TEST(ForceUpdatePath, EverySettingReachesTheDeviceAsThePlainRulesSay) {
    ForceDeviceVariable variable("virtual");
    auto device = OpenDevice();
    COndPeriodic effect(GUID_Ond_Sine);
    ASSERT_EQ(effect.Initialize(device.get(), 0, 25, OND_INFINITE, 1, 0, 0, 0, nullptr, 0), 1);
    ASSERT_EQ(effect.Start(), 1);
    ModelSettings wanted;
    wanted.period = 25;
    ModelDevice held = wanted.Device();
    std::uint64_t updates = 0;

    std::mt19937 rng(14);
    const auto pick = [&rng](auto const& values) { return values[rng() % std::size(values)]; };
    const std::uint32_t magnitudes[] = {0, 1, 2999, 3000, 10000, 12000};
    const std::uint32_t gains[] = {0, 2500, 5000, 10000, 30000};
    const std::uint32_t durations[] = {OND_INFINITE, 1500, 0};
    const std::int32_t offsets[] = {0, 3, -3, 5000, -10000, 10000, 20000};
    const std::uint32_t phases[] = {0, 9000, 45000, 36000};
    const VORBIT_ENVELOPE envelopes[] = {{}, {5000, 100, 2500, 200}, {12000, 0, 0, 50}};
    for (int step = 0; step < 4000; ++step) {
        const std::uint32_t kind = rng() % 10;
        if (kind == 0) {
            const std::uint32_t gain = pick(gains);
            ASSERT_EQ(effect.ChangeGain(gain), 1);
            wanted.gain = gain;
        } else if (kind <= 2) {
            // Some of the other settings, each given or left.
            const std::uint32_t magnitude = rng() % 2 ? pick(magnitudes) : OND_UNCHANGED;
            const std::uint32_t duration = rng() % 2 ? pick(durations) : OND_UNCHANGED;
            const bool turn = rng() % 3 == 0;
            const std::int32_t directionX = turn ? static_cast<std::int32_t>(rng() % 2) : kKeep;
            const std::int32_t directionY = turn ? 1 - directionX : kKeep;
            const std::int32_t offset = rng() % 2 ? pick(offsets) : kKeep;
            const std::uint32_t phase = rng() % 3 == 0 ? pick(phases) : OND_UNCHANGED;
            VORBIT_ENVELOPE envelope = pick(envelopes);
            const std::uint32_t envelopeChoice = rng() % 3;
            VORBIT_ENVELOPE* envelopeArgument = envelopeChoice == 0   ? OND_ENVELOPE_UNCHANGED
                                                : envelopeChoice == 1 ? nullptr
                                                                      : &envelope;
            ASSERT_EQ(effect.ChangeParameters(magnitude, OND_UNCHANGED, duration, directionX,
                                              directionY, offset, phase, envelopeArgument),
                      1);
            if (magnitude != OND_UNCHANGED) wanted.magnitude = magnitude;
            if (duration != OND_UNCHANGED) wanted.duration = duration;
            if (turn) {
                wanted.directionX = directionX;
                wanted.directionY = directionY;
            }
            if (offset != kKeep) wanted.offset = offset;
            if (phase != OND_UNCHANGED) wanted.phase = phase;
            if (envelopeChoice == 1) wanted.envelope = VORBIT_ENVELOPE{};
            if (envelopeChoice == 2) wanted.envelope = envelope;
        } else {
            // The capture thread's kind of call.
            const std::uint32_t magnitude = pick(magnitudes);
            const std::uint32_t period = rng() % 8 == 0 ? 13 : 25;
            ASSERT_EQ(effect.ChangeParameters(magnitude, period), 1);
            wanted.magnitude = magnitude;
            wanted.period = period;
        }
        if (!(wanted.Device() == held)) {
            held = wanted.Device();
            ++updates;
        }
        const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
        ASSERT_EQ(s.updates, updates) << "step " << step;
        ASSERT_EQ(s.unchangedUpdates, 0u) << "step " << step;
        ASSERT_EQ(s.effects[0].level, held.level) << "step " << step;
        ASSERT_EQ(s.effects[0].magnitude, held.magnitude) << "step " << step;
        ASSERT_EQ(s.effects[0].gain, held.gain) << "step " << step;
        ASSERT_EQ(s.effects[0].periodMs, held.period) << "step " << step;
        ASSERT_EQ(s.effects[0].durationMs, held.duration) << "step " << step;
        ASSERT_TRUE(s.effects[0].playing);
    }
    EXPECT_GT(updates, 1000u);  // the sequence did change the device often
}

// A device that refuses: a change of the gain or of a setting besides the magnitude is tried again
// whenever asked and fails each time, and so is a return to the settings the device last took,
// since after a refusal what it holds is not known; the failure is reported each time.
TEST(ForceUpdatePath, RefusedGainAndSettingChangesAreTriedAgainUntilOneIsTaken) {
    ForceDeviceVariable variable("virtual:Worn Mouse,lost-after=2");
    auto device = OpenDevice();
    COndPeriodic effect(GUID_Ond_Sine);
    ASSERT_EQ(effect.Initialize(device.get(), 0, 25, OND_INFINITE, 1, 0, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(effect.ChangeParameters(1000, OND_UNCHANGED), 1);
    EXPECT_EQ(effect.ChangeGain(5000), 1);  // the second update: the device is lost after it
    const std::uint64_t failed = GetVirtualDeviceSnapshot().failedCalls;

    EXPECT_EQ(effect.ChangeGain(2500), 0);
    EXPECT_EQ(GetVirtualDeviceSnapshot().failedCalls, failed + 1);
    EXPECT_EQ(effect.ChangeParameters(1000, OND_UNCHANGED), 0);  // the gain is still not there
    EXPECT_EQ(GetVirtualDeviceSnapshot().failedCalls, failed + 2);
    EXPECT_EQ(effect.ChangeGain(5000), 0);  // what the device last took: sent all the same
    EXPECT_EQ(GetVirtualDeviceSnapshot().failedCalls, failed + 3);
    EXPECT_EQ(effect.ChangeParameters(OND_UNCHANGED, OND_UNCHANGED, 1500), 0);
    EXPECT_EQ(GetVirtualDeviceSnapshot().failedCalls, failed + 4);
    EXPECT_EQ(effect.ChangeParameters(2000, OND_UNCHANGED), 0);  // still with the duration
    EXPECT_EQ(GetVirtualDeviceSnapshot().failedCalls, failed + 5);
    EXPECT_EQ(effect.ChangeParameters(1000, OND_UNCHANGED, OND_INFINITE), 0);  // back again
    EXPECT_EQ(effect.ChangeParameters(1000, OND_UNCHANGED), 0);
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.failedCalls, failed + 7);
    EXPECT_EQ(s.updates, 2u);
    EXPECT_EQ(s.effects[0].magnitude, 1000u);
    EXPECT_EQ(s.effects[0].gain, 5000u);
    EXPECT_EQ(s.effects[0].level, 1638);  // 32767 * 0.1 * 0.5 = 1638.35
    EXPECT_EQ(s.effects[0].durationMs, OND_INFINITE);
}

// While the capture thread's update is inside the device, the user-interface thread changes the
// duration and the gain: both calls return at once, and the capture thread's call sends one more
// update with all of it before it returns.
TEST(ForceUpdatePath, SettingsChangedDuringAnUpdateFollowItBeforeItReturns) {
    ForceDeviceVariable variable("virtual");
    auto device = OpenDevice();
    COndPeriodic effect(GUID_Ond_Sine);
    ASSERT_EQ(effect.Initialize(device.get(), 0, 25, OND_INFINITE, 1, 0, 0, 0, nullptr, 0), 1);
    ASSERT_EQ(effect.Start(), 1);
    std::future<int> capture;
    {
        SlowCall slow(VirtualCall::Update);
        capture = std::async(std::launch::async, [&] { return effect.ChangeParameters(6000, 13); });
        ASSERT_TRUE(slow.WaitHeld());
        auto ui = std::async(std::launch::async, [&] {
            return effect.ChangeParameters(OND_UNCHANGED, OND_UNCHANGED, 1500) &
                   effect.ChangeGain(5000);
        });
        ASSERT_EQ(ui.wait_for(kWayOut), std::future_status::ready);
        EXPECT_EQ(ui.get(), 1);
        EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 0u);  // the held one is not counted yet
        slow.Release();
        ASSERT_EQ(capture.wait_for(kWayOut), std::future_status::ready);
    }
    EXPECT_EQ(capture.get(), 1);
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.updates, 2u);
    EXPECT_EQ(s.unchangedUpdates, 0u);
    EXPECT_EQ(s.effects[0].magnitude, 6000u);
    EXPECT_EQ(s.effects[0].periodMs, 13u);
    EXPECT_EQ(s.effects[0].durationMs, 1500u);
    EXPECT_EQ(s.effects[0].gain, 5000u);
    EXPECT_EQ(s.effects[0].level, 9830);  // 32767 * 0.6 * 0.5 = 9830.1
    EXPECT_TRUE(s.effects[0].playing);
    EXPECT_EQ(s.starts, 1u);
}

// The capture thread changes five magnitudes while the user-interface thread changes the gain,
// the duration and the playing state of the same effects: once both are done the device holds
// the last wish of each, as if the calls had come one after another.
TEST(ForceUpdatePath, ConcurrentChangesOfEverySettingEndAsTheLastWishes) {
    ForceDeviceVariable variable("virtual");
    constexpr int kEffects = 5;
    constexpr int kBlocks = 20000;
    auto device = OpenDevice();
    std::unique_ptr<COndPeriodic> effects[kEffects];
    for (auto& effect : effects) {
        effect = std::make_unique<COndPeriodic>(GUID_Ond_Sine);
        ASSERT_EQ(effect->Initialize(device.get(), 0, 25, OND_INFINITE, 1, 0, 0, 0, nullptr, 0), 1);
    }
    std::atomic<bool> captureDone{false};
    std::thread capture([&] {
        for (int block = 0; block < kBlocks; ++block) {
            for (int e = 0; e < kEffects; ++e) {
                const auto magnitude = static_cast<std::uint32_t>((block * 53 + e * 1700) % 10001);
                EXPECT_EQ(effects[e]->ChangeParameters(magnitude, 10 + e), 1);
            }
        }
        captureDone = true;
    });
    std::uint32_t lastGain[kEffects] = {};
    std::uint32_t lastDuration[kEffects] = {};
    bool lastPlaying[kEffects] = {};
    std::uint32_t round = 0;
    while (!captureDone || round < 100) {
        for (int e = 0; e < kEffects; ++e) {
            const auto u = static_cast<std::uint32_t>(e);
            lastGain[e] = (round * 389 + u * 211) % 10001;
            EXPECT_EQ(effects[e]->ChangeGain(lastGain[e]), 1);
            lastDuration[e] = (round + u) % 4 == 0 ? OND_INFINITE : 1000 + (round + u) % 7;
            EXPECT_EQ(effects[e]->ChangeParameters(OND_UNCHANGED, OND_UNCHANGED, lastDuration[e]),
                      1);
            lastPlaying[e] = (round + u) % 3 != 1;
            EXPECT_EQ(lastPlaying[e] ? effects[e]->Start() : effects[e]->Stop(), 1);
        }
        ++round;
    }
    capture.join();

    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    for (int e = 0; e < kEffects; ++e) {
        const auto lastMagnitude =
            static_cast<std::uint32_t>(((kBlocks - 1) * 53 + e * 1700) % 10001);
        EXPECT_EQ(s.effects[e].magnitude, lastMagnitude) << e;
        EXPECT_EQ(s.effects[e].periodMs, static_cast<std::uint32_t>(10 + e)) << e;
        EXPECT_EQ(s.effects[e].gain, lastGain[e]) << e;
        EXPECT_EQ(s.effects[e].durationMs, lastDuration[e]) << e;
        EXPECT_EQ(s.effects[e].playing, lastPlaying[e]) << e;
        EXPECT_EQ(s.effects[e].level, ModelLevel(lastMagnitude, lastGain[e])) << e;
    }
    EXPECT_EQ(s.unchangedUpdates, 0u);
}

// A destroyed effect's slot, and the slots of a device plugged in again, keep showing the values
// their effects last had; a new effect in the slot shows its own from its creation on.
TEST(ForceUpdatePath, EmptiedSlotsKeepShowingTheirLastValues) {
    ForceDeviceVariable variable("virtual");
    auto device = OpenDevice();
    auto effect = std::make_unique<COndPeriodic>(GUID_Ond_Sine);
    ASSERT_EQ(effect->Initialize(device.get(), 0, 25, 1500, 1, 0, 0, 0, nullptr, 0), 1);
    ASSERT_EQ(effect->ChangeParameters(7000, 11), 1);
    ASSERT_EQ(effect->ChangeGain(5000), 1);
    effect.reset();
    VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_FALSE(s.effects[0].created);
    EXPECT_FALSE(s.effects[0].playing);
    EXPECT_EQ(s.effects[0].magnitude, 7000u);
    EXPECT_EQ(s.effects[0].gain, 5000u);
    EXPECT_EQ(s.effects[0].level, 11468);  // 32767 * 0.7 * 0.5 = 11468.45
    EXPECT_EQ(s.effects[0].periodMs, 11u);
    EXPECT_EQ(s.effects[0].durationMs, 1500u);
    EXPECT_EQ(s.effects[0].updates, 2u);

    effect = std::make_unique<COndPeriodic>(GUID_Ond_Sine);
    ASSERT_EQ(effect->Initialize(device.get(), 2000, 40, OND_INFINITE, 1, 0, 0, 0, nullptr, 0), 1);
    s = GetVirtualDeviceSnapshot();
    EXPECT_TRUE(s.effects[0].created);
    EXPECT_EQ(s.effects[0].magnitude, 2000u);
    EXPECT_EQ(s.effects[0].gain, 10000u);
    EXPECT_EQ(s.effects[0].level, 6553);  // 32767 * 0.2 = 6553.4
    EXPECT_EQ(s.effects[0].periodMs, 40u);
    EXPECT_EQ(s.effects[0].durationMs, OND_INFINITE);
    EXPECT_EQ(s.effects[0].updates, 0u);
}

// unplug-after and lost-after together: the device is unplugged at the third update, plugged in
// again with the counts kept, and lost at the fifth; every later update is refused.
TEST(ForceUpdatePath, UpdateLimitsCountOnAcrossAReplug) {
    ForceDeviceVariable variable("virtual:Aging Mouse,unplug-after=3,lost-after=5,replug-after=0");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(0, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(1000, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(2000, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(3000, 40), 1);  // the third: unplugged after it
    EXPECT_TRUE(GetVirtualDeviceSnapshot().unplugged);
    ASSERT_TRUE(WaitReconnected());
    VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.replugs, 1u);
    EXPECT_EQ(s.effects[0].magnitude, 3000u);  // made again as last asked
    EXPECT_EQ(s.updates, 3u);
    EXPECT_EQ(channel.ChangeParameters(4000, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(5000, 40), 1);  // the fifth: lost after it
    EXPECT_TRUE(GetVirtualDeviceSnapshot().lost);
    const std::uint64_t failed = GetVirtualDeviceSnapshot().failedCalls;
    EXPECT_EQ(channel.ChangeParameters(6000, 40), 0);
    s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.failedCalls, failed + 1);
    EXPECT_EQ(s.updates, 5u);
    EXPECT_EQ(s.unplugs, 1u);
    EXPECT_EQ(s.effects[0].magnitude, 5000u);
}

// A change asked while the device is gone fails, and the device that comes back holds it without
// being asked again.
TEST(ForceUpdatePath, AChangeTheGoneDeviceMissedIsThereWhenItComesBack) {
    ForceDeviceVariable variable("virtual:Roaming Mouse,unplug-after=2,replug-after=300");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(0, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(1000, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(2000, 40), 1);  // unplugged after it
    EXPECT_EQ(channel.ChangeParameters(3500, 75), 0);  // the device is gone
    EXPECT_EQ(channel.ChangeGain(5000), 0);
    ASSERT_TRUE(WaitReconnected());
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_TRUE(s.effects[0].created);
    EXPECT_TRUE(s.effects[0].playing);
    EXPECT_EQ(s.effects[0].magnitude, 3500u);
    EXPECT_EQ(s.effects[0].periodMs, 13u);
    EXPECT_EQ(s.effects[0].gain, 5000u);
    EXPECT_EQ(s.effects[0].level, 5734);  // 32767 * 0.35 * 0.5 = 5734.2
}

// The music goes quiet while the device is gone: the change it missed (300) is followed by a
// return to what it last took (0). The device that comes back must play 0, not the missed 300:
// after the refusal the return is sent too (and so recorded for the device's return).
TEST(ForceUpdatePath, AReturnToTheLastTakenChangeWhileTheDeviceIsGoneIsWhatItGetsBack) {
    ForceDeviceVariable variable("virtual:Quiet Mouse,unplug-after=2,replug-after=300");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(0, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(1000, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(0, 40), 1);    // unplugged after it
    EXPECT_EQ(channel.ChangeParameters(300, 40), 0);  // the device is gone
    EXPECT_EQ(channel.ChangeParameters(0, 40), 0);    // quiet again, still gone
    ASSERT_TRUE(WaitReconnected());
    EXPECT_EQ(GetVirtualDeviceSnapshot().effects[0].magnitude, 0u);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effects[0].level, 0);
    // Once the device takes an update again, an unchanged one sends nothing.
    EXPECT_EQ(channel.ChangeParameters(0, 40), 1);
    const std::uint64_t updates = GetVirtualDeviceSnapshot().updates;
    EXPECT_EQ(channel.ChangeParameters(0, 40), 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, updates);
}
