// The "What to try" lines of the window's error boxes, by system: the commands, names and paths
// they suggest differ (groups and udev rules, the sound server and pactl on Linux; the Sound
// settings and the device's own software on Windows). error_details.cpp builds the boxes' texts
// around them; each system defines its table in window/<system>/error_advice.cpp.
#pragma once

namespace kinetra::window {

struct ErrorAdvice {
    // The force device: KINETRA_FORCE_DEVICE names nothing; the device may not be used; none
    // opened (not plugged in, or not allowed).
    const char* unknownDevice;
    const char* deviceNotAllowed;
    const char* noDevice;
    // The audio input: a sound file; a named input or one application; the default input.
    const char* soundFile;
    const char* namedInput;
    const char* defaultInput;
    // The input opened but refused the capture format.
    const char* captureBuffer;
};

// This system's advice; every line starts with "What to try: ". Thread: any.
const ErrorAdvice& SystemErrorAdvice();

}  // namespace kinetra::window
