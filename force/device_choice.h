// The force device named by KINETRA_FORCE_DEVICE (syntax in force/ond_library.h and
// force/virtual_device.h).
#pragma once

#include <cstdint>
#include <string>

namespace kinetra::force {

struct DeviceChoice {
    enum class Kind { None, Sdl, Virtual };
    Kind kind = Kind::Sdl;

    // SDL: a device index (>= 0) or an exact name; neither means the first sine device.
    int sdlIndex = -1;
    std::string sdlName;

    // Virtual device.
    std::string virtualName;  // product name
    bool failOpen = false;
    int effectLimit = 16;         // effects that may exist at once
    std::int64_t lostAfter = -1;  // lost after this many updates; -1: never
};

// Parses a value of KINETRA_FORCE_DEVICE (null or "" for unset). Returns false with a message in
// *error (for the user, without a trailing newline) when the value is malformed.
// Thread: any.
bool ParseDeviceChoice(const char* text, DeviceChoice* choice, std::string* error);

}  // namespace kinetra::force
