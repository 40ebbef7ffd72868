// The device library on the virtual device (the SDL backend: test_force_sdl.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "force/ond_library.h"
#include "force/virtual_device.h"
#include "force_env.h"
#include "support/debug_capture.h"
#include "support/stderr_capture.h"

using kinetra::force::GetVirtualDeviceSnapshot;
using kinetra::force::VirtualDeviceSnapshot;
using kinetra::test::ForceDeviceVariable;

namespace {

constexpr std::int32_t kKeep = static_cast<std::int32_t>(OND_UNCHANGED);

std::unique_ptr<COndMouse> OpenDevice(std::uint32_t flags = OND_INIT_EFFECTS) {
    auto device = std::make_unique<COndMouse>();
    EXPECT_EQ(device->Initialize(nullptr, nullptr, flags, true), 1);
    return device;
}

std::unique_ptr<COndPeriodic> MakeEffect(COndDevice* device, std::uint32_t magnitude,
                                         std::uint32_t period) {
    auto effect = std::make_unique<COndPeriodic>(GUID_Ond_Sine);
    EXPECT_EQ(effect->Initialize(device, magnitude, period, OND_INFINITE, 1, 0, 0, 0, nullptr, 0),
              1);
    return effect;
}

}  // namespace

TEST(ForceLibrary, OpensTheVirtualDeviceAndReportsItsName) {
    ForceDeviceVariable variable("virtual:Logitech iFeel MouseMan");
    COndMouse device;
    EXPECT_FALSE(device.IsOpen());
    char name[256] = "untouched";
    EXPECT_EQ(device.GetProductName(name, sizeof name), 0);
    EXPECT_STREQ(name, "untouched");

    ASSERT_EQ(device.Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true), 1);
    EXPECT_EQ(device.Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true), 0);  // open already
    EXPECT_EQ(device.GetProductName(name, sizeof name), 1);
    EXPECT_STREQ(name, "Logitech iFeel MouseMan");
    char small[9];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(device.GetProductName(small, sizeof small), 1);
    EXPECT_STREQ(small, "Logitech");
    EXPECT_EQ(device.GetProductName(nullptr, 256), 0);
    EXPECT_EQ(device.GetProductName(small, 0), 0);

    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_TRUE(s.pluggedIn);
    EXPECT_EQ(s.connections, 1);
    EXPECT_STREQ(s.productName, "Logitech iFeel MouseMan");
}

TEST(ForceLibrary, DefaultVirtualNameAndTheProbe) {
    ForceDeviceVariable variable("virtual");
    COndMouse probe;
    ASSERT_EQ(probe.Initialize(nullptr, nullptr, OND_INIT_QUERY, true), 1);
    char name[256] = {};
    EXPECT_EQ(probe.GetProductName(name, sizeof name), 1);
    EXPECT_STREQ(name, "Kinetra Virtual Mouse");
    // Opened only to identify the device: no effects on it.
    COndPeriodic effect(GUID_Ond_Sine);
    EXPECT_EQ(effect.Initialize(&probe, 100, 10), 0);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effectCount, 0);
}

TEST(ForceLibrary, RefusedOpens) {
    kinetra::test::DebugCapture debug;
    CHXCErrors::m_dwErrHandlingFlags = CHXCErrors::HXC_ERR_REPORT;
    {
        ForceDeviceVariable variable("virtual:Primax FX,fail=open");
        const std::uint64_t before = GetVirtualDeviceSnapshot().openFailures;
        COndMouse device;
        EXPECT_EQ(device.Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true), 0);
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(device.Initialize(nullptr, nullptr, OND_INIT_QUERY, true), 0);
        const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
        EXPECT_EQ(s.openFailures, before + 2);
        EXPECT_EQ(s.connections, 0);
        EXPECT_TRUE(s.failOpen);
        EXPECT_EQ(debug.Count("FORCE: the virtual device cannot be opened (fail=open)\n"), 2);
    }
    {
        ForceDeviceVariable variable("none");
        COndMouse device;
        EXPECT_EQ(device.Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true), 0);
    }
    {
        ForceDeviceVariable variable("virtual");
        COndMouse device;
        EXPECT_EQ(device.Initialize(nullptr, nullptr, 0, true), 0);
        EXPECT_EQ(device.Initialize(nullptr, nullptr, 12, true), 0);
        EXPECT_EQ(GetVirtualDeviceSnapshot().connections, 0);
    }
    CHXCErrors::m_dwErrHandlingFlags = 0;
    debug.Clear();
    {
        ForceDeviceVariable variable("virtual,fail=open");
        COndMouse device;
        EXPECT_EQ(device.Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true), 0);
    }
    EXPECT_TRUE(debug.Lines().empty());  // silent without the reporting flag
}

TEST(ForceLibrary, MalformedVariableIsReportedAndMeansNoDevice) {
    ForceDeviceVariable variable("virtual,effects=many");
    kinetra::test::StderrCapture err;
    COndMouse device;
    EXPECT_EQ(device.Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true), 0);
    const std::string text = err.Text();
    EXPECT_NE(text.find("KINETRA_FORCE_DEVICE=\"virtual,effects=many\" is not valid"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("effects=many"), std::string::npos);
    EXPECT_NE(text.find("no force device is used.\n"), std::string::npos);
}

TEST(ForceLibrary, EffectLifecycle) {
    ForceDeviceVariable variable("virtual");
    auto device = OpenDevice();
    COndPeriodic notSine({1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}});
    EXPECT_EQ(notSine.Initialize(device.get(), 100, 10), 0);
    COndMouse closed;
    COndPeriodic onClosed(GUID_Ond_Sine);
    EXPECT_EQ(onClosed.Initialize(&closed, 100, 10), 0);
    EXPECT_EQ(onClosed.Initialize(nullptr, 100, 10), 0);
    // Calls on an effect that was never created do nothing.
    EXPECT_EQ(onClosed.Start(), 0);
    EXPECT_EQ(onClosed.Stop(), 0);
    EXPECT_EQ(onClosed.ChangeGain(5000), 0);
    EXPECT_EQ(onClosed.ChangeParameters(100, 10), 0);

    auto effect = MakeEffect(device.get(), 5000, 25);
    EXPECT_TRUE(effect->IsCreated());
    EXPECT_EQ(effect->Initialize(device.get(), 100, 10), 0);  // created already
    VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effectCount, 1);
    EXPECT_TRUE(s.effects[0].created);
    EXPECT_FALSE(s.effects[0].playing);
    EXPECT_EQ(s.effects[0].magnitude, 5000u);
    EXPECT_EQ(s.effects[0].gain, 10000u);
    EXPECT_EQ(s.effects[0].level, 16384);
    EXPECT_EQ(s.effects[0].periodMs, 25u);
    EXPECT_EQ(s.effects[0].durationMs, OND_INFINITE);
    EXPECT_EQ(s.updates + s.starts + s.stops, 0u);

    EXPECT_EQ(effect->Start(), 1);
    EXPECT_EQ(effect->Start(OND_UNCHANGED, 0, true), 1);  // plays already: nothing sent
    s = GetVirtualDeviceSnapshot();
    EXPECT_TRUE(s.effects[0].playing);
    EXPECT_EQ(s.starts, 1u);
    EXPECT_EQ(effect->Stop(), 1);
    EXPECT_EQ(effect->Stop(), 1);
    s = GetVirtualDeviceSnapshot();
    EXPECT_FALSE(s.effects[0].playing);
    EXPECT_EQ(s.stops, 1u);
    EXPECT_EQ(effect->Start(), 1);  // can be started again
    EXPECT_TRUE(GetVirtualDeviceSnapshot().effects[0].playing);

    effect.reset();
    s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effectCount, 0);
    EXPECT_FALSE(s.effects[0].created);
    EXPECT_FALSE(s.effects[0].playing);
}

TEST(ForceLibrary, ChangesReachTheDeviceOnlyWhenSomethingChanged) {
    ForceDeviceVariable variable("virtual");
    auto device = OpenDevice();
    auto effect = MakeEffect(device.get(), 0, 0);
    ASSERT_EQ(effect->Start(), 1);

    EXPECT_EQ(effect->ChangeParameters(0, 0), 1);  // as created
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 0u);

    EXPECT_EQ(effect->ChangeParameters(10000, 4), 1);
    VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.updates, 1u);
    EXPECT_EQ(s.effects[0].updates, 1u);
    EXPECT_EQ(s.effects[0].level, 32767);
    EXPECT_EQ(s.effects[0].periodMs, 4u);
    EXPECT_TRUE(s.effects[0].playing);  // changed in place, still playing
    EXPECT_EQ(s.starts, 1u);

    for (int i = 0; i < 100; ++i) EXPECT_EQ(effect->ChangeParameters(10000, 4), 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 1u);

    // The markers leave a setting as it is.
    EXPECT_EQ(effect->ChangeParameters(5000, OND_UNCHANGED), 1);
    s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effects[0].magnitude, 5000u);
    EXPECT_EQ(s.effects[0].periodMs, 4u);
    EXPECT_EQ(effect->ChangeParameters(OND_UNCHANGED, 23), 1);
    s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effects[0].magnitude, 5000u);
    EXPECT_EQ(s.effects[0].periodMs, 23u);
    EXPECT_EQ(s.effects[0].durationMs, OND_INFINITE);
    EXPECT_EQ(s.updates, 3u);
    EXPECT_EQ(effect->ChangeParameters(OND_UNCHANGED, OND_UNCHANGED, OND_UNCHANGED, kKeep, kKeep,
                                       kKeep, OND_UNCHANGED, OND_ENVELOPE_UNCHANGED),
              1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 3u);
    // Every update the device received changed something.
    EXPECT_EQ(GetVirtualDeviceSnapshot().unchangedUpdates, 0u);

    // Magnitudes above full strength count as full strength.
    EXPECT_EQ(effect->ChangeParameters(25000, OND_UNCHANGED), 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effects[0].level, 32767);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effects[0].magnitude, 10000u);
    EXPECT_EQ(effect->ChangeParameters(10000, OND_UNCHANGED), 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 4u);
}

TEST(ForceLibrary, GainIsPerEffectAndScalesTheLevel) {
    ForceDeviceVariable variable("virtual");
    auto device = OpenDevice();
    auto first = MakeEffect(device.get(), 10000, 25);
    auto second = MakeEffect(device.get(), 10000, 13);
    ASSERT_EQ(first->Start(), 1);
    ASSERT_EQ(second->Start(), 1);

    EXPECT_EQ(first->ChangeGain(5000), 1);
    EXPECT_EQ(second->ChangeGain(2500), 1);
    VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effects[0].gain, 5000u);
    EXPECT_EQ(s.effects[0].level, 16384);  // 32767 / 2 = 16383.5
    EXPECT_EQ(s.effects[1].gain, 2500u);
    EXPECT_EQ(s.effects[1].level, 8192);  // 32767 / 4 = 8191.75
    EXPECT_EQ(s.effects[0].magnitude, 10000u);
    EXPECT_EQ(s.updates, 2u);

    // The gain stays with its effect through later changes.
    EXPECT_EQ(first->ChangeParameters(6000, 25), 1);
    s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effects[0].level, 9830);  // 32767 * 0.6 * 0.5 = 9830.1
    EXPECT_EQ(s.effects[1].level, 8192);

    EXPECT_EQ(first->ChangeGain(5000), 1);  // unchanged: nothing sent
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 3u);
    EXPECT_EQ(second->ChangeGain(0), 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effects[1].level, 0);
    EXPECT_EQ(second->ChangeGain(20000), 1);  // counts as full
    s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effects[1].gain, 10000u);
    EXPECT_EQ(s.effects[1].level, 32767);
    // A stopped effect keeps its gain and takes changes for when it plays again.
    EXPECT_EQ(second->Stop(), 1);
    EXPECT_EQ(second->ChangeGain(5000), 1);
    EXPECT_EQ(second->Start(), 1);
    s = GetVirtualDeviceSnapshot();
    EXPECT_TRUE(s.effects[1].playing);
    EXPECT_EQ(s.effects[1].level, 16384);
}

TEST(ForceLibrary, SlotLimit) {
    ForceDeviceVariable variable("virtual,effects=2");
    auto device = OpenDevice();
    auto a = MakeEffect(device.get(), 0, 25);
    auto b = MakeEffect(device.get(), 0, 25);
    COndPeriodic c(GUID_Ond_Sine);
    EXPECT_EQ(c.Initialize(device.get(), 0, 25), 0);
    EXPECT_FALSE(c.IsCreated());
    EXPECT_EQ(c.Start(), 0);
    VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.effectCount, 2);
    EXPECT_EQ(s.effectLimit, 2);
    EXPECT_EQ(s.failedCalls, 1u);
    a.reset();
    EXPECT_EQ(c.Initialize(device.get(), 0, 25), 1);  // a slot is free again
    EXPECT_EQ(GetVirtualDeviceSnapshot().effectCount, 2);
}

TEST(ForceLibrary, SixteenSlotsByDefault) {
    ForceDeviceVariable variable("virtual");
    auto device = OpenDevice();
    std::unique_ptr<COndPeriodic> effects[17];
    for (int i = 0; i < 16; ++i) effects[i] = MakeEffect(device.get(), 0, 10);
    effects[16] = std::make_unique<COndPeriodic>(GUID_Ond_Sine);
    EXPECT_EQ(effects[16]->Initialize(device.get(), 0, 10), 0);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effectCount, 16);
}

TEST(ForceLibrary, LostDeviceFailsEveryLaterCall) {
    ForceDeviceVariable variable("virtual,lost-after=3");
    kinetra::test::DebugCapture debug;
    CHXCErrors::m_dwErrHandlingFlags = CHXCErrors::HXC_ERR_REPORT;
    auto device = OpenDevice();
    auto effect = MakeEffect(device.get(), 0, 25);
    ASSERT_EQ(effect->Start(), 1);
    EXPECT_EQ(effect->ChangeParameters(1000, 25), 1);
    EXPECT_EQ(effect->ChangeParameters(2000, 25), 1);
    EXPECT_FALSE(GetVirtualDeviceSnapshot().lost);
    EXPECT_EQ(effect->ChangeParameters(3000, 25), 1);  // the third update is the last one
    EXPECT_TRUE(GetVirtualDeviceSnapshot().lost);

    EXPECT_EQ(effect->ChangeParameters(4000, 25), 0);
    EXPECT_EQ(effect->ChangeParameters(4000, 25), 0);  // still pending, still failing
    EXPECT_EQ(effect->ChangeGain(5000), 0);
    EXPECT_EQ(effect->Stop(), 0);
    EXPECT_EQ(effect->Start(), 0);
    COndPeriodic another(GUID_Ond_Sine);
    EXPECT_EQ(another.Initialize(device.get(), 0, 25), 0);
    COndMouse second;
    EXPECT_EQ(second.Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true), 0);
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.updates, 3u);
    EXPECT_EQ(s.effects[0].magnitude, 3000u);
    EXPECT_TRUE(s.effects[0].playing);
    // One line when the effect starts failing, not one per call.
    EXPECT_EQ(debug.Count("FORCE: the device refused an effect change\n"), 1);
    CHXCErrors::m_dwErrHandlingFlags = 0;

    // Unplugged and plugged in again: a fresh device.
    effect.reset();
    device.reset();
    auto again = OpenDevice();
    EXPECT_FALSE(GetVirtualDeviceSnapshot().lost);
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 0u);
}

TEST(ForceLibrary, LostAfterZeroRefusesEffects) {
    ForceDeviceVariable variable("virtual,lost-after=0");
    auto device = OpenDevice();
    COndPeriodic effect(GUID_Ond_Sine);
    EXPECT_EQ(effect.Initialize(device.get(), 0, 25), 0);
    EXPECT_TRUE(GetVirtualDeviceSnapshot().lost);
}

TEST(ForceLibrary, ConnectionsShareTheHardware) {
    ForceDeviceVariable variable("virtual:First Name");
    auto first = OpenDevice();
    auto effect = MakeEffect(first.get(), 100, 10);
    {
        // Named differently now, but the hardware is plugged in already and keeps its name.
        ForceDeviceVariable renamed("virtual:Second Name");
        auto probe = OpenDevice(OND_INIT_QUERY);
        char name[256] = {};
        probe->GetProductName(name, sizeof name);
        EXPECT_STREQ(name, "First Name");
        EXPECT_EQ(GetVirtualDeviceSnapshot().connections, 2);
    }
    // Closing the probe leaves the first connection's effect alone.
    EXPECT_EQ(GetVirtualDeviceSnapshot().effectCount, 1);
    // The device object may go before its effect: the effect keeps the connection.
    first.reset();
    EXPECT_EQ(GetVirtualDeviceSnapshot().connections, 1);
    EXPECT_EQ(effect->Start(), 1);
    effect.reset();
    const VirtualDeviceSnapshot s = GetVirtualDeviceSnapshot();
    EXPECT_EQ(s.connections, 0);
    EXPECT_EQ(s.effectCount, 0);
    EXPECT_EQ(s.starts, 1u);  // counts stay readable after the last connection closed
}

TEST(ForceLibrary, EnvelopeAndOffsetAreScaledAndKept) {
    ForceDeviceVariable variable("virtual");
    auto device = OpenDevice();
    VORBIT_ENVELOPE envelope{5000, 100, 2500, 200};
    COndPeriodic effect(GUID_Ond_Sine);
    ASSERT_EQ(effect.Initialize(device.get(), 10000, 10, 1500, 0, 1, 0, 9000, &envelope, 0), 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effects[0].durationMs, 1500u);
    EXPECT_EQ(effect.ChangeParameters(OND_UNCHANGED, OND_UNCHANGED, OND_UNCHANGED, kKeep, kKeep,
                                      kKeep, OND_UNCHANGED, nullptr),
              1);  // envelope removed: a change
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 1u);
    EXPECT_EQ(effect.ChangeParameters(OND_UNCHANGED, OND_UNCHANGED, OND_INFINITE), 1);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effects[0].durationMs, OND_INFINITE);
    EXPECT_EQ(GetVirtualDeviceSnapshot().updates, 2u);
}
