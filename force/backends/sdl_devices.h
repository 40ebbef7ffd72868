// What the SDL2 backends share: one lock around SDL's subsystem set-up, device opens and closes
// (SDL counts its subsystems without locks), the test for a device that is gone, and the list of
// devices SDL2 reaches.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "force/backends/backend.h"
#include "force/device_choice.h"
#include "force/force_devices.h"

namespace kinetra::force {

// Held around SDL_InitSubSystem/SDL_QuitSubSystem and device opens and closes. Thread: any.
std::mutex& SdlLock();

// Just after a failed SDL call on an open device: true when it failed because the device is gone
// (ENODEV). Thread: the thread of the failed call.
bool SdlDeviceGone();

// A rumble device (haptic left/right, else a joystick's rumble) that choice names, or the first
// one; null with what was found in *error. Takes SdlLock. Thread: user-interface thread.
std::shared_ptr<Backend> OpenSdlRumbleBackend(const ForceDeviceChoice& choice, bool forEffects,
                                              std::string* error);

// Sine devices (SDL haptic), then rumble devices (SDL haptic left/right, then joysticks and game
// controllers with rumble that SDL haptic does not reach). Thread: user-interface thread.
std::vector<ForceDeviceInfo> ListSdlForceDevices();

}  // namespace kinetra::force
