// What force devices are on Windows: DirectInput 8 force-feedback devices (the five sine
// effects), then XInput gamepads (two rumble motors), then the virtual device. A device text
// "sdl", "sdl:<index>" or "sdl:<name>" (the syntax Linux shares) picks among the first two, by
// their place in that order or their name.
#include <algorithm>

#include "force/backends/backend_table.h"
#include "force/force_devices.h"
#include "force/windows/windows_devices.h"

namespace kinetra::force {

extern const ForceBackend kVirtualForceBackend;

namespace {

std::shared_ptr<Backend> OpenSystemDevice(const ForceDeviceChoice& choice, bool forEffects,
                                          std::string* error) {
    const std::vector<std::string> sine = DirectInputForceDevices();
    const bool wantsSine = (choice.sdlIndex < 0 && choice.sdlName.empty() && !sine.empty()) ||
                           (choice.sdlIndex >= 0 && choice.sdlIndex < int(sine.size())) ||
                           std::find(sine.begin(), sine.end(), choice.sdlName) != sine.end();
    if (wantsSine) {
        std::unique_ptr<DirectInputDevice> device =
            OpenDirectInputDevice(choice.sdlIndex, choice.sdlName, error);
        return device ? MakeDirectInputBackend(std::move(device), forEffects) : nullptr;
    }
    const std::vector<int> pads = ConnectedXInputControllers();
    for (std::size_t i = 0; i < pads.size(); ++i) {
        const bool chosen =
            choice.sdlIndex >= 0
                ? choice.sdlIndex == int(sine.size() + i)
                : choice.sdlName.empty() || choice.sdlName == XInputControllerName(pads[i]);
        if (chosen) return OpenXInputRumble(pads[i], forEffects);
    }
    *error = sine.empty() && pads.empty()
                 ? "no force-feedback device or gamepad found (DirectInput, XInput)"
                 : "no such force device";
    return nullptr;
}

extern const ForceBackend kWindowsForceBackend{"sdl", ForceDeviceChoice::Kind::Sdl,
                                               OpenSystemDevice};

}  // namespace

std::span<const ForceBackend* const> ForceBackends() {
    static constexpr const ForceBackend* kRows[] = {&kWindowsForceBackend, &kVirtualForceBackend};
    return kRows;
}

std::vector<ForceDeviceInfo> ListForceDevices() {
    std::vector<ForceDeviceInfo> devices;
    for (const std::string& name : DirectInputForceDevices()) {
        devices.push_back({"sdl:" + name, name, ForceDeviceKind::kSine});
    }
    for (int pad : ConnectedXInputControllers()) {
        devices.push_back({"sdl:" + XInputControllerName(pad), XInputControllerName(pad),
                           ForceDeviceKind::kRumble});
    }
    devices.push_back({"virtual", "Kinetra Virtual Mouse", ForceDeviceKind::kVirtual});
    return devices;
}

std::string DescribeForceDeviceProblem(const std::string& openError) {
    std::string text = openError.empty() ? "no force device could be opened" : openError;
    text += ". ";
    text += kVirtualDeviceHint;
    return text;
}

}  // namespace kinetra::force
