// The texts the main window shows for its input and force-device choices: the status line's input
// and device parts, the menu entries, and the stored form of an input choice. Plain functions of
// their arguments (no device or server calls), so each can be checked alone. UTF-8.
#pragma once

#include <string>

#include "capture/audio_input.h"
#include "capture/audio_sources.h"
#include "force/device_choice.h"
#include "force/force_devices.h"

namespace kinetra::window {

// Where the input in use came from.
enum class InputOrigin {
    kEnvironment,      // KINETRA_AUDIO_INPUT
    kStored,           // the settings file ("input")
    kFirstRunMonitor,  // first run, a sound server answered: what this computer plays
    kFirstRunDefault,  // first run, no sound server: the default capture device
    kMenu,             // chosen in the window's menu in this run
};

// The status line's input part: "What this computer plays — Built-in Audio", "Default input —
// …", "Microphone — …" (a source by its description), "Monitor of …", "Sound file — name.wav".
// currentDescription is what the running capture says it hears (CurrentCaptureSourceDescription;
// may be empty), sources the sound server's last list. A first run adds why it chose the input.
// Thread: any.
std::string InputStatusText(const capture::AudioInputChoice& choice,
                            const capture::AudioSourceList& sources,
                            const std::string& currentDescription, InputOrigin origin);

// The status line's device part: "Xbox 360 Controller · rumble · connected", "… · disconnected,
// waiting", "… · reconnected"; "No force device" without one. Thread: any.
std::string DeviceStatusText(const force::ForceDeviceStatus& status);

// A device's entry in the "Force device" menu: "Xbox 360 Controller (rumble)". Thread: any.
std::string DeviceMenuText(const force::ForceDeviceInfo& device);

// Whether choice names device: the same kind and SDL name or index, or the same virtual product
// name (options aside). Thread: any.
bool ChoiceNamesDevice(const force::ForceDeviceChoice& choice,
                       const force::ForceDeviceInfo& device);

// The device a choice names, for people: "Kinetra Virtual Mouse", "Xbox 360 Controller", "force
// device 1", "the first force device", "no device". Thread: any.
std::string DescribeForceDeviceChoice(const force::ForceDeviceChoice& choice);

// The stored form of an input choice, in the syntax of KINETRA_AUDIO_INPUT ("monitor", "default",
// "file:<path>", "sdl:<name>", "<source name>", "memory:<name>"); ParseAudioInput reads it back.
// Thread: any.
std::string InputChoiceText(const capture::AudioInputChoice& choice);

// "Could not open <what>: <reason>" with the reason's first line (or "it did not open").
// Thread: any.
std::string SwitchProblemText(const std::string& what, const std::string& reason);

}  // namespace kinetra::window
