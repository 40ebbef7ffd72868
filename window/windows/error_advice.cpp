// The error boxes' advice on Windows: the device's driver and the game-controller settings, the
// Sound settings' recording devices and their privacy switch, WAV files and Windows paths.
#include "window/error_advice.h"

namespace kinetra::window {

const ErrorAdvice& SystemErrorAdvice() {
    static constexpr ErrorAdvice kAdvice{
        "What to try: correct KINETRA_FORCE_DEVICE (sdl, sdl:<name> with a name found above, "
        "virtual or none), or unset it and choose in the window's Force device menu.",
        "What to try: close the programs that may hold the device (the maker's desktop program, "
        "games), then start Kinetra again. To try Kinetra without a device, start it with "
        "KINETRA_FORCE_DEVICE=virtual.",
        "What to try: plug the device in and start Kinetra again. If it is plugged in, check that "
        "Windows lists it in Set up USB game controllers (joy.cpl) and that its driver is "
        "installed. To try Kinetra without a device, start it with "
        "KINETRA_FORCE_DEVICE=virtual.",
        "What to try: check the file's path, and that it is a WAV file; or choose another input "
        "with KINETRA_AUDIO_INPUT or the window's Input menu.",
        "What to try: check the name in KINETRA_AUDIO_INPUT against the inputs found above (as "
        "the Sound settings' Recording tab names them), or use default or monitor.",
        "What to try: check in the Sound settings (mmsys.cpl) that a recording device is enabled "
        "and that apps may use the microphone (Privacy settings), or choose another with "
        "KINETRA_AUDIO_INPUT (default, monitor, or a capture device's name). To run from a "
        "sound file, start Kinetra with KINETRA_AUDIO_INPUT=file:C:\\path\\to\\sound.wav.",
        "What to try: choose another input with KINETRA_AUDIO_INPUT, or a sound file with "
        "KINETRA_AUDIO_INPUT=file:C:\\path\\to\\sound.wav.",
    };
    return kAdvice;
}

}  // namespace kinetra::window
