// Force channels on the virtual device.
#include <gtest/gtest.h>

#include <memory>

#include "force/force_channel.h"
#include "force/ond_library.h"
#include "force/virtual_device.h"
#include "force_env.h"

using kinetra::force::GetVirtualDeviceSnapshot;
using kinetra::force::VirtualDeviceSnapshot;
using kinetra::test::ForceDeviceVariable;

namespace {

// Device calls the virtual device has received since it was plugged in.
std::uint64_t DeviceCalls(const VirtualDeviceSnapshot& s) {
    return s.updates + s.starts + s.stops + s.failedCalls;
}

class ForceChannel : public ::testing::Test {
protected:
    void TearDown() override {
        // Every test leaves the process-wide state as it found it.
        EXPECT_EQ(CForceChannel::ChannelCount(), 0);
        EXPECT_EQ(CForceChannel::SharedDevice(), nullptr);
    }
};

}  // namespace

TEST_F(ForceChannel, TwoChannelsShareOneDevice) {
    ForceDeviceVariable variable("virtual:Orbit 3D");
    CForceChannel::SetOwner(nullptr, nullptr);
    auto first = std::make_unique<CForceChannel>();
    EXPECT_EQ(CHXCErrors::m_dwErrHandlingFlags.load(), 1u);
    COndMouse* device = CForceChannel::SharedDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(CForceChannel::ChannelCount(), 1);
    auto second = std::make_unique<CForceChannel>();
    EXPECT_EQ(CForceChannel::SharedDevice(), device);
    EXPECT_EQ(CForceChannel::ChannelCount(), 2);
    EXPECT_EQ(GetVirtualDeviceSnapshot().connections, 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().opens, 1u);

    EXPECT_EQ(first->CreateEffect(0, 40), 1);
    EXPECT_EQ(second->CreateEffect(0, 75), 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effectCount, 2);

    first.reset();
    EXPECT_EQ(CForceChannel::SharedDevice(), device);
    EXPECT_EQ(CForceChannel::ChannelCount(), 1);
    VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.connections, 1);
    EXPECT_EQ(s.effectCount, 1);
    EXPECT_FALSE(s.effects[0].created);
    EXPECT_TRUE(s.effects[1].created);

    second.reset();
    EXPECT_EQ(CForceChannel::SharedDevice(), nullptr);
    EXPECT_EQ(CForceChannel::ChannelCount(), 0);
    s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.connections, 0);
    EXPECT_EQ(s.effectCount, 0);
}

TEST_F(ForceChannel, FailedOpenStillCountsAndTheNextChannelTriesAgain) {
    std::unique_ptr<CForceChannel> first, second, third;
    {
        ForceDeviceVariable variable("virtual,fail=open");
        const std::uint64_t failuresBefore = GetVirtualDeviceSnapshot().openFailures;
        first = std::make_unique<CForceChannel>();
        EXPECT_EQ(CForceChannel::SharedDevice(), nullptr);
        EXPECT_EQ(CForceChannel::ChannelCount(), 1);
        EXPECT_EQ(first->CreateEffect(0, 40), 0);
        char name[256] = "untouched";
        EXPECT_EQ(CForceChannel::GetDeviceProductName(name, sizeof name), 0);
        EXPECT_STREQ(name, "untouched");

        second = std::make_unique<CForceChannel>();
        EXPECT_EQ(CForceChannel::ChannelCount(), 2);
        EXPECT_EQ(CForceChannel::SharedDevice(), nullptr);
        EXPECT_EQ(GetVirtualDeviceSnapshot().openFailures, failuresBefore + 2);
    }
    {
        // The device can be opened now: the next channel opens it.
        ForceDeviceVariable variable("virtual:Primax FX");
        third = std::make_unique<CForceChannel>();
        ASSERT_NE(CForceChannel::SharedDevice(), nullptr);
        EXPECT_EQ(CForceChannel::ChannelCount(), 3);
        EXPECT_EQ(first->CreateEffect(0, 40), 1);  // the earlier channels use it too
        char name[256] = {};
        EXPECT_EQ(CForceChannel::GetDeviceProductName(name, sizeof name), 1);
        EXPECT_STREQ(name, "Primax FX");
    }
    third.reset();
    second.reset();
    EXPECT_NE(CForceChannel::SharedDevice(), nullptr);
    first.reset();  // the last channel releases it, whoever opened it
}

TEST_F(ForceChannel, CreateEffectStartsTheEffect) {
    ForceDeviceVariable variable("virtual");
    CForceChannel channel;
    EXPECT_EQ(channel.CreateEffect(3000, 43), 1);
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_TRUE(s.effects[0].created);
    EXPECT_TRUE(s.effects[0].playing);
    EXPECT_EQ(s.effects[0].magnitude, 3000u);
    EXPECT_EQ(s.effects[0].periodMs, 23u);
    EXPECT_EQ(s.effects[0].durationMs, 0xFFFFFFFFu);
    EXPECT_EQ(s.effects[0].gain, 10000u);
    EXPECT_EQ(s.starts, 1u);
    EXPECT_EQ(s.updates, 0u);
}

TEST_F(ForceChannel, CreateEffectTwiceKeepsTheFirst) {
    ForceDeviceVariable variable("virtual");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(1000, 40), 1);
    EXPECT_EQ(channel.CreateEffect(9000, 250), 0);
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effectCount, 1);
    EXPECT_EQ(s.effects[0].magnitude, 1000u);
    EXPECT_EQ(s.effects[0].periodMs, 25u);
    EXPECT_EQ(s.starts, 1u);
}

TEST_F(ForceChannel, CreateEffectAtZero) {
    ForceDeviceVariable variable("virtual");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(0, 0), 1);
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_TRUE(s.effects[0].created);
    EXPECT_TRUE(s.effects[0].playing);
    EXPECT_EQ(s.effects[0].magnitude, 0u);
    EXPECT_EQ(s.effects[0].level, 0);
    EXPECT_EQ(s.effects[0].periodMs, 0u);
}

TEST_F(ForceChannel, RefusedEffectLeavesTheChannelWithout) {
    ForceDeviceVariable variable("virtual,effects=1");
    CForceChannel first;
    CForceChannel second;
    EXPECT_EQ(first.CreateEffect(0, 40), 1);
    EXPECT_EQ(second.CreateEffect(0, 75), 0);
    const std::uint64_t calls = DeviceCalls(GetVirtualDeviceSnapshot());
    EXPECT_EQ(second.Start(), 0);
    EXPECT_EQ(second.ChangeParameters(100, 75), 0);
    EXPECT_EQ(DeviceCalls(GetVirtualDeviceSnapshot()), calls);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effectCount, 1);
}

TEST_F(ForceChannel, ChangeParametersConvertsTheFrequency) {
    ForceDeviceVariable variable("virtual");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(0, 0), 1);
    EXPECT_EQ(channel.ChangeParameters(10000, 250), 1);
    VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effects[0].magnitude, 10000u);
    EXPECT_EQ(s.effects[0].level, 32767);
    EXPECT_EQ(s.effects[0].periodMs, 4u);
    EXPECT_EQ(channel.ChangeParameters(5000, 43), 1);
    s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effects[0].magnitude, 5000u);
    EXPECT_EQ(s.effects[0].periodMs, 23u);
    EXPECT_TRUE(s.effects[0].playing);
    EXPECT_EQ(s.updates, 2u);
    // The same values on every block reach the device once.
    for (int i = 0; i < 50; ++i) EXPECT_EQ(channel.ChangeParameters(5000, 43), 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 2u);
    // 0 Hz: no division; the period stays and the magnitude changes.
    EXPECT_EQ(channel.ChangeParameters(2000, 0), 1);
    s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effects[0].magnitude, 2000u);
    EXPECT_EQ(s.effects[0].periodMs, 23u);
    EXPECT_EQ(s.updates, 3u);
}

TEST_F(ForceChannel, WithoutEffectNothingReachesTheDevice) {
    ForceDeviceVariable variable("virtual");
    CForceChannel channel;
    ASSERT_NE(CForceChannel::SharedDevice(), nullptr);
    const VirtualDeviceSnapshot before = GetVirtualDeviceSnapshot();
    EXPECT_EQ(channel.Start(), 0);
    EXPECT_EQ(channel.Stop(), 0);
    EXPECT_EQ(channel.ChangeParameters(10000, 250), 0);
    EXPECT_EQ(channel.ChangeGain(5000), 0);
    const VirtualDeviceSnapshot after = GetVirtualDeviceSnapshot();
    EXPECT_EQ(DeviceCalls(after), DeviceCalls(before));
    EXPECT_EQ(after.effectCount, 0);
}

TEST_F(ForceChannel, StartStopAndGainPassThrough) {
    ForceDeviceVariable variable("virtual");
    CForceChannel low;
    CForceChannel high;
    ASSERT_EQ(low.CreateEffect(10000, 40), 1);
    ASSERT_EQ(high.CreateEffect(10000, 250), 1);
    EXPECT_EQ(low.ChangeGain(5000), 1);
    EXPECT_EQ(high.ChangeGain(2500), 1);
    VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effects[0].level, 16384);
    EXPECT_EQ(s.effects[1].level, 8192);
    EXPECT_EQ(low.Stop(), 1);
    s = GetVirtualDeviceSnapshot();
    EXPECT_FALSE(s.effects[0].playing);
    EXPECT_TRUE(s.effects[1].playing);
    EXPECT_EQ(low.ChangeParameters(8000, 40), 1);  // taken while stopped
    EXPECT_EQ(low.Start(), 1);
    s = GetVirtualDeviceSnapshot();
    EXPECT_TRUE(s.effects[0].playing);
    EXPECT_EQ(s.effects[0].level, 13107);  // 32767 * 0.8 * 0.5 = 13106.8
}

TEST_F(ForceChannel, LostDevice) {
    ForceDeviceVariable variable("virtual,lost-after=2");
    CForceChannel channel;
    ASSERT_EQ(channel.CreateEffect(0, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(100, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(200, 40), 1);
    EXPECT_EQ(channel.ChangeParameters(300, 40), 0);
    EXPECT_EQ(channel.ChangeGain(100), 0);
    EXPECT_EQ(channel.Stop(), 0);
    EXPECT_EQ(channel.Start(), 0);
    CForceChannel late;
    EXPECT_EQ(late.CreateEffect(0, 75), 0);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effects[0].magnitude, 200u);
}

TEST_F(ForceChannel, ProductNameOfTheSharedDevice) {
    char name[256] = "untouched";
    EXPECT_EQ(CForceChannel::GetDeviceProductName(name, sizeof name), 0);
    EXPECT_STREQ(name, "untouched");
    ForceDeviceVariable variable("virtual:Logitech Wingman Force Feedback Mouse");
    CForceChannel channel;
    EXPECT_EQ(CForceChannel::GetDeviceProductName(name, sizeof name), 1);
    EXPECT_STREQ(name, "Logitech Wingman Force Feedback Mouse");
}
