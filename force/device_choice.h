// Which force device the library opens: the choice structure, its parser (the syntax of
// KINETRA_FORCE_DEVICE, see force/ond_library.h and force/virtual_device.h), the choice set by
// the program's entry point, and the default read from the environment when nothing was set.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kinetra::force {

struct ForceDeviceChoice {
    enum class Kind { None, Sdl, Virtual };
    Kind kind = Kind::Sdl;

    // SDL: a device index (>= 0) or an exact name; neither means the first sine device.
    int sdlIndex = -1;
    std::string sdlName;

    // Virtual device.
    std::string virtualName;  // product name
    bool failOpen = false;
    int effectLimit = 16;             // effects that may exist at once
    std::int64_t lostAfter = -1;      // lost after this many updates; -1: never
    bool rumble = false;              // kind=rumble: two motors instead of sine effects
    std::int64_t unplugAfter = -1;    // unplugged after this many updates; -1: never
    std::int64_t replugAfterMs = -1;  // plugged in again this long after; -1: never
};

// Parses a device text in the syntax of KINETRA_FORCE_DEVICE ("" means the default: the first
// SDL device). Returns false with a message in *error (for the user, without a trailing newline)
// and *choice reset to the default when the text is malformed. Thread: any; allocates.
bool ParseForceDeviceChoice(std::string_view text, ForceDeviceChoice* choice, std::string* error);

// Makes choice the device every later COndMouse::Initialize opens, for the whole process.
// Thread: user-interface thread (the only one that opens devices).
void SetForceDeviceChoice(const ForceDeviceChoice& choice);
// Forgets the choice set by SetForceDeviceChoice: later opens use the default again.
// Thread: user-interface thread.
void ClearForceDeviceChoice();

// The default choice: KINETRA_FORCE_DEVICE parsed (unset or empty: the first SDL device). The
// only place that reads the variable. False when its value is malformed, with
// "KINETRA_FORCE_DEVICE=\"<value>\" is not valid: <reason>" in *error. Thread: any.
bool DefaultForceDeviceChoice(ForceDeviceChoice* choice, std::string* error);

// Whether KINETRA_FORCE_DEVICE is set to a non-empty value: then it chooses the device, over a
// choice the program remembers. Thread: any.
bool ForceDeviceSetByEnvironment();

// The choice an open uses now: the one set, else the default (false as the default's).
// Thread: user-interface thread.
bool CurrentForceDeviceChoice(ForceDeviceChoice* choice, std::string* error);

}  // namespace kinetra::force
