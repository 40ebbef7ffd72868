// Capture-thread ChangeParameters against user-interface-thread Start, Stop and ChangeGain.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "force/force_channel.h"
#include "force/ond_library.h"
#include "force/virtual_device.h"
#include "force_env.h"
#include "slow_call.h"

using kinetra::force::GetVirtualDeviceSnapshot;
using kinetra::force::VirtualCall;
using kinetra::force::VirtualDeviceSnapshot;
using kinetra::test::ForceDeviceVariable;
using kinetra::test::SlowCall;

namespace {

constexpr auto kWayOut = std::chrono::seconds(30);

// Holds the capture thread's ChangeParameters(magnitude, hz) inside the device, runs `ui` on the
// user-interface thread meanwhile (it must return without waiting for the device, with 1), then
// lets the update finish (also with 1). Use under ASSERT_NO_FATAL_FAILURE.
template <typename Ui>
void WhileAnUpdateIsHeld(CForceChannel& channel, std::uint32_t magnitude, std::uint32_t hz, Ui ui) {
    SlowCall slow(VirtualCall::Update);
    auto capture =
        std::async(std::launch::async, [&] { return channel.ChangeParameters(magnitude, hz); });
    ASSERT_TRUE(slow.WaitHeld());
    auto uiCall = std::async(std::launch::async, ui);
    ASSERT_EQ(uiCall.wait_for(kWayOut), std::future_status::ready);
    EXPECT_EQ(uiCall.get(), 1);
    slow.Release();
    ASSERT_EQ(capture.wait_for(kWayOut), std::future_status::ready);
    EXPECT_EQ(capture.get(), 1);
}

}  // namespace

TEST(ForceThreads, CaptureChangesAreNotHeldUpByASlowStop) {
    ForceDeviceVariable variable("virtual");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(0, 40), 1);
    SlowCall slow(VirtualCall::Stop);

    auto ui = std::async(std::launch::async, [&] { return channel.Stop(); });
    ASSERT_TRUE(slow.WaitHeld());
    // The user-interface thread is inside the device now; the capture thread goes on.
    auto capture = std::async(std::launch::async, [&] {
        int result = 1;
        for (int block = 1; block <= 10; ++block) {
            result &= channel.ChangeParameters(static_cast<std::uint32_t>(block) * 1000, 250);
        }
        return result;
    });
    ASSERT_EQ(capture.wait_for(kWayOut), std::future_status::ready);
    EXPECT_EQ(capture.get(), 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 0u);  // taken, not yet sent

    slow.Release();
    ASSERT_EQ(ui.wait_for(kWayOut), std::future_status::ready);
    EXPECT_EQ(ui.get(), 1);
    // The call that talked to the device sent the newest change before returning.
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_FALSE(s.effects[0].playing);
    EXPECT_EQ(s.effects[0].magnitude, 10000u);
    EXPECT_EQ(s.effects[0].periodMs, 4u);
    EXPECT_EQ(s.updates, 1u);  // only the newest of the ten
}

TEST(ForceThreads, UserInterfaceIsNotHeldUpByASlowUpdate) {
    ForceDeviceVariable variable("virtual");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(0, 40), 1);
    ASSERT_NO_FATAL_FAILURE(WhileAnUpdateIsHeld(channel, 8000, 75, [&] {
        return channel.ChangeGain(5000) & channel.Stop() & channel.Start();
    }));
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_TRUE(s.effects[0].playing);
    EXPECT_EQ(s.effects[0].magnitude, 8000u);
    EXPECT_EQ(s.effects[0].gain, 5000u);
    EXPECT_EQ(s.effects[0].level, 13107);  // 32767 * 0.8 * 0.5 = 13106.8
    EXPECT_EQ(s.effects[0].periodMs, 13u);
    // Stop and Start again while the update was held: the device never had to stop.
    EXPECT_EQ(s.stops, 0u);
    EXPECT_EQ(s.starts, 1u);
}

// Changes taken while another call talks to the device are looked at again before that call
// returns; when they come back to what was just sent, nothing more is sent.
TEST(ForceThreads, ChangesUndoneWhileBusySendNothingMore) {
    ForceDeviceVariable variable("virtual");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(0, 40), 1);
    ASSERT_NO_FATAL_FAILURE(WhileAnUpdateIsHeld(
        channel, 6000, 75, [&] { return channel.ChangeGain(2500) & channel.ChangeGain(10000); }));
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effects[0].magnitude, 6000u);
    EXPECT_EQ(s.effects[0].gain, 10000u);
    EXPECT_EQ(s.effects[0].level, 19660);  // 32767 * 0.6 = 19660.2
    EXPECT_EQ(s.updates, 1u);
    EXPECT_EQ(s.effects[0].updates, 1u);
}

TEST(ForceThreads, ConcurrentCallsLoseNothing) {
    ForceDeviceVariable variable("virtual");
    constexpr int kChannels = 5;
    constexpr int kBlocks = 4000;
    constexpr std::uint32_t kFrequencies[kChannels] = {43, 75, 90, 115, 250};
    CForceChannel channels[kChannels];
    for (int c = 0; c < kChannels; ++c) ASSERT_EQ(channels[c].CreateEffect(0, 0), 1);

    std::atomic<bool> captureDone{false};
    // A reader (the main window, a trace tool) may look at the device at any moment.
    std::thread reader([&] {
        while (!captureDone) {
            const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
            for (int c = 0; c < kChannels; ++c) EXPECT_LE(s.effects[c].level, 32767);
            std::this_thread::yield();
        }
    });
    std::thread capture([&] {
        for (int block = 0; block < kBlocks; ++block) {
            for (int c = 0; c < kChannels; ++c) {
                const auto magnitude = static_cast<std::uint32_t>((block * 37 + c * 1000) % 10001);
                EXPECT_EQ(channels[c].ChangeParameters(magnitude, kFrequencies[c]), 1);
            }
        }
        captureDone = true;
    });
    std::uint32_t lastGain[kChannels] = {};
    bool lastPlaying[kChannels] = {};
    std::uint32_t round = 0;
    while (!captureDone || round < 200) {
        for (int c = 0; c < kChannels; ++c) {
            lastGain[c] = (round * 613 + static_cast<std::uint32_t>(c) * 97) % 10001;
            EXPECT_EQ(channels[c].ChangeGain(lastGain[c]), 1);
            lastPlaying[c] = (round + static_cast<std::uint32_t>(c)) % 3 != 0;
            EXPECT_EQ(lastPlaying[c] ? channels[c].Start() : channels[c].Stop(), 1);
        }
        ++round;
    }
    capture.join();
    reader.join();

    // Both threads are done: the device has the last wish of each.
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    for (int c = 0; c < kChannels; ++c) {
        const auto lastMagnitude =
            static_cast<std::uint32_t>(((kBlocks - 1) * 37 + c * 1000) % 10001);
        EXPECT_EQ(s.effects[c].magnitude, lastMagnitude) << c;
        EXPECT_EQ(s.effects[c].periodMs, 1000u / kFrequencies[c]) << c;
        EXPECT_EQ(s.effects[c].gain, lastGain[c]) << c;
        EXPECT_EQ(s.effects[c].playing, lastPlaying[c]) << c;
        // Level from magnitude and gain: 32767 * m * g / 10^8 to nearest, in long double.
        const long double exact = 32767.0L * lastMagnitude * lastGain[c] / 1e8L;
        EXPECT_NEAR(static_cast<long double>(s.effects[c].level), exact, 0.5L) << c;
    }
    EXPECT_EQ(s.unchangedUpdates, 0u);
}
