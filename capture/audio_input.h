// Which audio input a KINETRA_AUDIO_INPUT value (or a device id) names, and the backends'
// entry points behind capture_device.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_device.h"
#include "capture/sound_file.h"

namespace kinetra::capture {

enum class AudioInputKind {
    kDefault,  // "" or "default": the system's default capture device
    kMonitor,  // "monitor": what the computer plays (the default output's monitor)
    kNamed,    // "sdl:NAME" or any other text: the capture device called NAME
    kFile,     // "file:PATH", or a value with a '/' or ending in .wav, .flac, .ogg or .oga
};

struct AudioInput {
    AudioInputKind kind = AudioInputKind::kDefault;
    std::string value;     // the device name or the file path
    bool sdlOnly = false;  // "sdl:..." names SDL's own devices
};

// Reads a KINETRA_AUDIO_INPUT value or a device id. Thread: any.
AudioInput ParseAudioInput(const std::string& text);

// The value of KINETRA_AUDIO_INPUT ("" when unset). Thread: any.
std::string AudioInputSetting();

// Tells the user why an input cannot be used: a debug line, and the same text on standard
// error unless KINETRA_DEBUG already sends debug lines there. Thread: user-interface thread.
void ReportAudioInputProblem(const std::string& reason);

// Which live backend KINETRA_AUDIO_BACKEND asks for: "pulse", "sdl", or "" (PulseAudio when a
// server answers, else SDL). Thread: any.
std::string AudioBackendSetting();

// Capture straight from a PulseAudio (or PipeWire pulse) server: kDefault the default source,
// kMonitor the default output's monitor, kNamed a source by its server name. With quiet set, a
// missing server or source is not reported (the caller falls back to SDL).
// Thread: user-interface thread.
Result OpenPulseCaptureDevice(AudioInputKind kind, const std::string& name, bool quiet,
                              std::unique_ptr<ICaptureDevice>* device);

// SDL audio capture. kind is kDefault, kMonitor or kNamed. Thread: user-interface thread.
Result OpenSdlCaptureDevice(AudioInputKind kind, const std::string& name,
                            std::unique_ptr<ICaptureDevice>* device);
// Names of SDL's capture devices (monitors included); empty when SDL audio cannot start.
std::vector<std::string> SdlCaptureDeviceNames();

// A sound file played into the ring at real-time pace, looping. Thread: user-interface thread.
Result OpenFileCaptureDevice(const std::string& path, std::unique_ptr<ICaptureDevice>* device);

}  // namespace kinetra::capture
