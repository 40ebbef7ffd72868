// The error boxes' advice on Linux: the "input" group and the udev rule, the sound server.
#include "window/error_advice.h"

namespace kinetra::window {

const ErrorAdvice& SystemErrorAdvice() {
    static constexpr ErrorAdvice kAdvice{
        "What to try: correct KINETRA_FORCE_DEVICE (sdl, sdl:<name> with a name found above, "
        "virtual or none), or unset it and choose in the window's Force device menu.",
        "What to try: join the \"input\" group (then log in again) or install the udev rule "
        "that comes with Kinetra. To try Kinetra without a device, start it with "
        "KINETRA_FORCE_DEVICE=virtual.",
        "What to try: plug the device in and start Kinetra again. If it is plugged in, you may "
        "not be allowed to use it: join the \"input\" group (then log in again) or install the "
        "udev rule that comes with Kinetra. To try Kinetra without a device, start it with "
        "KINETRA_FORCE_DEVICE=virtual.",
        "What to try: check the file's path, and that it is a sound file (WAV, FLAC or Ogg); or "
        "choose another input with KINETRA_AUDIO_INPUT or the window's Input menu.",
        "What to try: check the name in KINETRA_AUDIO_INPUT against the inputs found above "
        "(pactl list short sources), or use default or monitor.",
        "What to try: check that the sound server runs (pactl info) and that the input exists, "
        "or choose another with KINETRA_AUDIO_INPUT (default, monitor, or a capture device's "
        "name). To run from a sound file, start Kinetra with "
        "KINETRA_AUDIO_INPUT=file:/path/to/sound.wav.",
        "What to try: choose another input with KINETRA_AUDIO_INPUT, or a sound file with "
        "KINETRA_AUDIO_INPUT=file:/path/to/sound.wav.",
    };
    return kAdvice;
}

}  // namespace kinetra::window
