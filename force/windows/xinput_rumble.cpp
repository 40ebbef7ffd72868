// XInput gamepads as rumble devices: the two motors of controller 0..3 through XInputSetState
// (left: the strong low-frequency motor, right: the weak high-frequency one), under the same
// band-to-motor rule as every rumble device (force/backends/rumble_backend.h). A motor holds its
// speed until the next command, so the command's duration needs no timer here: the renewal of the
// rumble backend sends it again, and silence is sent when it ends.
#include <windows.h>
#include <xinput.h>

#include <atomic>

#include "force/backends/rumble_backend.h"
#include "force/windows/windows_devices.h"

namespace kinetra::force {
namespace {

class XInputRumble final : public RumbleOutput {
public:
    explicit XInputRumble(DWORD user) : m_user(user) {}

    bool Rumble(MotorLevels levels, std::uint32_t /*durationMs*/) override {
        XINPUT_VIBRATION vibration{levels.low, levels.high};
        if (XInputSetState(m_user, &vibration) == ERROR_DEVICE_NOT_CONNECTED) m_lost = true;
        return !m_lost;
    }
    bool Lost() const override { return m_lost.load(); }

private:
    DWORD m_user;
    std::atomic<bool> m_lost{false};
};

}  // namespace

std::vector<int> ConnectedXInputControllers() {
    std::vector<int> users;
    for (DWORD user = 0; user < XUSER_MAX_COUNT; ++user) {
        XINPUT_STATE state{};
        if (XInputGetState(user, &state) == ERROR_SUCCESS) users.push_back(static_cast<int>(user));
    }
    return users;
}

std::string XInputControllerName(int user) {
    return "XInput Controller " + std::to_string(user + 1);
}

std::shared_ptr<Backend> OpenXInputRumble(int user, bool forEffects) {
    return std::make_shared<RumbleBackend>(std::make_unique<XInputRumble>(static_cast<DWORD>(user)),
                                           XInputControllerName(user), forEffects);
}

}  // namespace kinetra::force
