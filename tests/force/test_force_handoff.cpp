// The hand-off from a channel to the device: what the device receives for a long mixed sequence of
// calls, against a plain model of the library's rules; calls racing a device that goes away and
// comes back; and a gone device kept open while a call is still inside it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <future>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "force/force_channel.h"
#include "force/force_devices.h"
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
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kWayOut = std::chrono::seconds(30);

// One effect as the library's rules say the device must see it, worked out plainly: a call
// changes what is wanted; then the device is stopped if it plays and should not, else updated if
// the level, period, magnitude or gain it has differ from the wanted ones, and then started if it
// should play and does not. Nothing is sent when nothing differs.
struct ModelEffect {
    std::uint32_t magnitude = 0;
    std::uint32_t period = 0;
    std::uint32_t gain = 10000;
    bool playing = false;
    // What the device has.
    std::uint32_t sentMagnitude = 0;
    std::uint32_t sentPeriod = 0;
    std::uint32_t sentGain = 10000;
    bool sentPlaying = false;
};

struct ModelCounts {
    std::uint64_t updates = 0;
    std::uint64_t starts = 0;
    std::uint64_t stops = 0;
};

void Settle(ModelEffect& e, ModelCounts& counts) {
    if (!e.playing && e.sentPlaying) {
        e.sentPlaying = false;
        ++counts.stops;
    }
    if (e.magnitude != e.sentMagnitude || e.period != e.sentPeriod || e.gain != e.sentGain) {
        e.sentMagnitude = e.magnitude;
        e.sentPeriod = e.period;
        e.sentGain = e.gain;
        ++counts.updates;
    }
    if (e.playing && !e.sentPlaying) {
        e.sentPlaying = true;
        ++counts.starts;
    }
}

using kinetra::test::ModelLevel;

}  // namespace

TEST(ForceHandOff, AMixedSequenceReachesTheDeviceAsThePlainRulesSay) {
    ForceDeviceVariable variable("virtual");
    constexpr int kChannels = 5;
    constexpr std::uint32_t kHz[kChannels] = {40, 75, 90, 115, 250};
    // Whole milliseconds of 1000 / Hz, by hand.
    constexpr std::uint32_t kPeriod[kChannels] = {25, 13, 11, 8, 4};
    std::vector<std::unique_ptr<CForceChannel>> channels;
    ModelEffect model[kChannels];
    ModelCounts counts;
    for (int c = 0; c < kChannels; ++c) {
        channels.push_back(std::make_unique<CForceChannel>());
        ASSERT_EQ(channels.back()->CreateEffect(0, kHz[c]), 1);
        // Created stopped at magnitude 0, then started.
        model[c].period = model[c].sentPeriod = kPeriod[c];
        model[c].playing = true;
        Settle(model[c], counts);
    }
    std::mt19937 rng(21);
    for (int step = 0; step < 3000; ++step) {
        const int c = static_cast<int>(rng() % kChannels);
        ModelEffect& e = model[c];
        switch (rng() % 8) {
            case 0:
                ASSERT_EQ(channels[c]->Start(), 1);
                e.playing = true;
                break;
            case 1:
                ASSERT_EQ(channels[c]->Stop(), 1);
                e.playing = false;
                break;
            case 2: {
                const std::uint32_t gain = rng() % 3 == 0 ? 10000 : rng() % 12001;
                ASSERT_EQ(channels[c]->ChangeGain(gain), 1);
                e.gain = gain > 10000 ? 10000 : gain;
                break;
            }
            default: {
                // Mostly the mapper's kind of call: a few magnitudes, often the same again; now
                // and then another frequency, or none (the period stays).
                const std::uint32_t magnitude = (rng() % 4) * 3000 + (rng() % 3 == 0 ? 1 : 0);
                const std::uint32_t choice = rng() % 10;
                const std::uint32_t hz = choice == 0 ? 0 : choice == 1 ? 33 : kHz[c];
                ASSERT_EQ(channels[c]->ChangeParameters(magnitude, hz), 1);
                e.magnitude = magnitude > 10000 ? 10000 : magnitude;
                if (hz == 33) e.period = 30;  // 1000 / 33 = 30.3
                if (hz == kHz[c]) e.period = kPeriod[c];
                break;
            }
        }
        Settle(e, counts);
        const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
        ASSERT_EQ(s.updates, counts.updates) << "step " << step;
        ASSERT_EQ(s.starts, counts.starts) << "step " << step;
        ASSERT_EQ(s.stops, counts.stops) << "step " << step;
        ASSERT_EQ(s.unchangedUpdates, 0u);
        for (int k = 0; k < kChannels; ++k) {
            const auto& shown = s.effects[k];
            ASSERT_EQ(shown.magnitude, model[k].sentMagnitude) << "step " << step << " band " << k;
            ASSERT_EQ(shown.gain, model[k].sentGain) << "step " << step << " band " << k;
            ASSERT_EQ(shown.periodMs, model[k].sentPeriod) << "step " << step << " band " << k;
            ASSERT_EQ(shown.playing, model[k].sentPlaying) << "step " << step << " band " << k;
            ASSERT_EQ(shown.level, ModelLevel(model[k].sentMagnitude, model[k].sentGain));
        }
    }
}

// A device that keeps refusing: the same change asked again is sent again each time (and fails
// each time), it is never taken as already there; nor is the last change it took, since after a
// refusal what it holds is not known.
TEST(ForceHandOff, ARefusedChangeIsTriedAgainWhenAskedAgain) {
    ForceDeviceVariable variable("virtual:Tired Mouse,lost-after=2");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(0, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(1000, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(1000, 40), 1);  // nothing to send
    EXPECT_EQ(channel.ChangeParameters(2000, 40), 1);  // the second update: the device is lost
    const std::uint64_t failed = GetVirtualDeviceSnapshot().failedCalls;
    EXPECT_EQ(channel.ChangeParameters(3000, 40), 0);
    EXPECT_EQ(GetVirtualDeviceSnapshot().failedCalls, failed + 1);
    EXPECT_EQ(channel.ChangeParameters(3000, 40), 0);
    EXPECT_EQ(GetVirtualDeviceSnapshot().failedCalls, failed + 2);
    // Back to the last change the device took: sent again, and refused again.
    EXPECT_EQ(channel.ChangeParameters(2000, 40), 0);
    EXPECT_EQ(channel.ChangeParameters(2000, 40), 0);
    EXPECT_EQ(GetVirtualDeviceSnapshot().failedCalls, failed + 4);
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.updates, 2u);
    EXPECT_EQ(s.effects[0].magnitude, 2000u);
}

// A capture thread keeps changing five effects and the user-interface thread keeps starting,
// stopping and scaling them while the device is unplugged and plugged in again. Nothing is lost:
// once both are done and the device is back, one more change of each effect leaves the device with
// every last wish, and the gone connection has been closed.
TEST(ForceHandOff, CallsRacingAnUnpluggedDeviceLoseNothing) {
    ForceDeviceVariable variable("virtual:Racing Mouse,unplug-after=300,replug-after=40");
    constexpr int kChannels = 5;
    constexpr std::uint32_t kHz[kChannels] = {40, 75, 90, 115, 250};
    std::vector<std::unique_ptr<CForceChannel>> channels;
    for (int c = 0; c < kChannels; ++c) {
        channels.push_back(std::make_unique<CForceChannel>());
        ASSERT_EQ(channels.back()->CreateEffect(0, kHz[c]), 1);
    }
    std::atomic<bool> back{false};
    std::atomic<bool> captureDone{false};
    std::uint32_t lastMagnitude[kChannels] = {};
    const auto end = Clock::now() + kWayOut;
    std::thread capture([&] {
        std::uint32_t block = 0;
        // Until the device is back, and a while after.
        for (std::uint32_t after = 0; after < 2000; after += back ? 1 : 0) {
            for (int c = 0; c < kChannels; ++c) {
                lastMagnitude[c] = (block * 37 + static_cast<std::uint32_t>(c) * 1000) % 10001;
                channels[c]->ChangeParameters(lastMagnitude[c], kHz[c]);
            }
            ++block;
            if (!back && CurrentForceDeviceStatus().state == ForceDeviceState::kReconnected) {
                back = true;
            }
            if (Clock::now() > end) break;
        }
        captureDone = true;
    });
    std::uint32_t lastGain[kChannels] = {};
    bool lastPlaying[kChannels] = {};
    std::uint32_t round = 0;
    while (!captureDone && Clock::now() < end) {
        for (int c = 0; c < kChannels; ++c) {
            lastGain[c] = (round * 613 + static_cast<std::uint32_t>(c) * 97) % 10001;
            channels[c]->ChangeGain(lastGain[c]);
            lastPlaying[c] = (round + static_cast<std::uint32_t>(c)) % 3 != 0;
            if (lastPlaying[c]) {
                channels[c]->Start();
            } else {
                channels[c]->Stop();
            }
        }
        ++round;
        std::this_thread::yield();
    }
    capture.join();
    ASSERT_TRUE(back);
    ASSERT_TRUE(WaitFor([] { return GetVirtualDeviceSnapshot().connections == 1; }));

    // The last calls may have raced the reconnection: one more round settles every effect.
    for (int c = 0; c < kChannels; ++c) {
        EXPECT_EQ(channels[c]->ChangeParameters(lastMagnitude[c], kHz[c]), 1) << c;
        EXPECT_EQ(channels[c]->ChangeGain(lastGain[c]), 1) << c;
        EXPECT_EQ(lastPlaying[c] ? channels[c]->Start() : channels[c]->Stop(), 1) << c;
    }
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.unplugs, 1u);
    EXPECT_EQ(s.replugs, 1u);
    EXPECT_EQ(s.effectCount, kChannels);
    EXPECT_EQ(CurrentForceDeviceStatus().disconnections, 1u);
    EXPECT_EQ(CurrentForceDeviceStatus().reconnections, 1u);
    // The library's effects were made again in order on the empty device: slots 0..4.
    for (int c = 0; c < kChannels; ++c) {
        EXPECT_EQ(s.effects[c].magnitude, lastMagnitude[c]) << c;
        EXPECT_EQ(s.effects[c].gain, lastGain[c]) << c;
        EXPECT_EQ(s.effects[c].periodMs, 1000u / kHz[c]) << c;
        EXPECT_EQ(s.effects[c].playing, lastPlaying[c]) << c;
        EXPECT_EQ(s.effects[c].level, ModelLevel(lastMagnitude[c], lastGain[c])) << c;
    }
}

// A call that took the device before it went away is still inside it: the device is not closed
// under it, only after it has returned.
TEST(ForceHandOff, AGoneDeviceStaysOpenUntilTheCallInsideItReturns) {
    ForceDeviceVariable variable("virtual:Leaving Mouse,unplug-after=3");
    CForceChannel first;
    CForceChannel second;
    ASSERT_EQ(first.CreateEffect(0, 40), 1);
    ASSERT_EQ(second.CreateEffect(0, 75), 1);
    ASSERT_EQ(first.ChangeParameters(1000, 40), 1);
    ASSERT_EQ(first.ChangeParameters(2000, 40), 1);  // two updates counted

    std::future<int> held;
    {
        SlowCall hold(VirtualCall::Update);
        held = std::async(std::launch::async, [&] { return first.ChangeParameters(3000, 40); });
        ASSERT_TRUE(hold.WaitHeld());
        // The third update unplugs the device; the next call finds it gone.
        EXPECT_EQ(second.ChangeParameters(4000, 75), 1);
        EXPECT_TRUE(GetVirtualDeviceSnapshot().unplugged);
        EXPECT_EQ(second.ChangeParameters(5000, 75), 0);
        EXPECT_EQ(CurrentForceDeviceStatus().state, ForceDeviceState::kDisconnectedWaiting);
        // The watcher looks every 100 ms; a few looks later the connection is still open.
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
        EXPECT_EQ(GetVirtualDeviceSnapshot().connections, 1);
        hold.Release();
        ASSERT_EQ(held.wait_for(kWayOut), std::future_status::ready);
    }
    EXPECT_EQ(held.get(), 0);  // it reached a gone device
    EXPECT_TRUE(WaitFor([] { return GetVirtualDeviceSnapshot().connections == 0; }));
}
