// The DirectInput backend against a scripted device: the library's effects become DirectInput
// sine parameters (microseconds, magnitudes of 10000 at full scale), calls reach the device in
// order, a lost device is acquired again once, and an unplugged one is gone.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "force/windows/windows_devices.h"

namespace {

using kinetra::force::DeviceEffect;
using kinetra::force::DirectInputSine;

constexpr std::int32_t kInputLost = static_cast<std::int32_t>(0x8007001E);
constexpr std::int32_t kUnplugged = static_cast<std::int32_t>(0x80040209);

struct Script {
    std::vector<std::string> calls;
    std::deque<std::int32_t> results;  // what the next calls return (then 0)
    DirectInputSine last;
};

class ScriptedDevice final : public kinetra::force::DirectInputDevice {
public:
    explicit ScriptedDevice(Script* script) : m_script(script) {}
    std::string ProductName() const override { return "Scripted Stick"; }
    std::int32_t CreateSine(const DirectInputSine& sine, int* id) override {
        *id = 7;
        return Note("create", sine);
    }
    std::int32_t SetSine(int, const DirectInputSine& sine) override { return Note("set", sine); }
    std::int32_t Start(int, std::uint32_t times) override {
        return Note("start " + std::to_string(times), m_script->last);
    }
    std::int32_t Stop(int) override { return Note("stop", m_script->last); }
    void Release(int id) override { Note("release " + std::to_string(id), m_script->last); }
    std::int32_t Reacquire() override { return Note("acquire", m_script->last); }

private:
    std::int32_t Note(const std::string& call, const DirectInputSine& sine) {
        m_script->calls.push_back(call);
        m_script->last = sine;
        if (m_script->results.empty()) return 0;
        const std::int32_t result = m_script->results.front();
        m_script->results.pop_front();
        return result;
    }
    Script* m_script;
};

TEST(DirectInputBackend, EffectsBecomeSineParametersInDirectInputUnits) {
    DeviceEffect effect;
    effect.level = 12000;  // beyond full scale
    effect.periodMs = 25;
    effect.offset = -20000;
    effect.phase = 36100;
    effect.fadeMs = 3;
    effect.fadeLevel = 500;
    effect.button = 2;
    DirectInputSine expected;
    expected.magnitude = 10000;
    expected.periodUs = 25000;
    expected.offset = -10000;
    expected.phase = 100;
    expected.fadeUs = 3000;
    expected.fadeLevel = 500;
    expected.triggerButton = 1;
    EXPECT_EQ(kinetra::force::DirectInputSineFor(effect), expected);
}

TEST(DirectInputBackend, CallsReachTheDeviceAndALostDeviceIsTakenAgainOnce) {
    Script script;
    auto backend =
        kinetra::force::MakeDirectInputBackend(std::make_unique<ScriptedDevice>(&script), true);
    EXPECT_STREQ(backend->ProductName(), "Scripted Stick");
    DeviceEffect effect;
    effect.level = 4000;
    const int id = backend->CreateEffect(effect);
    ASSERT_GE(id, 0);
    EXPECT_TRUE(backend->RunEffect(id, 0x80000000u));
    script.results = {kInputLost};  // the set fails once; acquiring again and the retry succeed
    EXPECT_TRUE(backend->UpdateEffect(id, effect));
    EXPECT_FALSE(backend->Disconnected());
    script.results = {kUnplugged};
    EXPECT_FALSE(backend->StopEffect(id));
    EXPECT_TRUE(backend->Disconnected());
    EXPECT_FALSE(backend->UpdateEffect(id, effect));  // not sent: the device is gone
    backend.reset();
    EXPECT_EQ(script.calls, (std::vector<std::string>{"create", "start 4294967295", "set",
                                                      "acquire", "set", "stop", "release 7"}));
}

}  // namespace
