#include "capture/capture_device.h"

#include <cstdlib>
#include <cstring>

#include "capture/audio_input.h"
#include "platform/console.h"
#include "platform/debug_output.h"

namespace kinetra::capture {
namespace {

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = text[text.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::string Describe(const AudioInput& input) {
    switch (input.kind) {
        case AudioInputKind::kDefault:
            return "the default capture device";
        case AudioInputKind::kMonitor:
            return "what the computer plays";
        case AudioInputKind::kNamed:
            return "capture device \"" + input.value + "\"";
        case AudioInputKind::kFile:
            return "sound file " + input.value;
    }
    return {};
}

}  // namespace

AudioInput ParseAudioInput(const std::string& text) {
    if (text.empty() || text == "default") return {AudioInputKind::kDefault, {}};
    if (text == "monitor") return {AudioInputKind::kMonitor, {}};
    if (StartsWith(text, "file:")) return {AudioInputKind::kFile, text.substr(5)};
    if (StartsWith(text, "sdl:")) {
        const std::string name = text.substr(4);
        if (name.empty()) return {AudioInputKind::kDefault, {}, true};
        return {AudioInputKind::kNamed, name, true};
    }
    if (text.find('/') != std::string::npos || EndsWithNoCase(text, ".wav") ||
        EndsWithNoCase(text, ".flac") || EndsWithNoCase(text, ".ogg") ||
        EndsWithNoCase(text, ".oga")) {
        return {AudioInputKind::kFile, text};
    }
    return {AudioInputKind::kNamed, text};
}

std::string AudioBackendSetting() {
    const char* value = std::getenv("KINETRA_AUDIO_BACKEND");
    return value != nullptr ? std::string(value) : std::string();
}

std::string AudioInputSetting() {
    const char* value = std::getenv("KINETRA_AUDIO_INPUT");
    return value != nullptr ? std::string(value) : std::string();
}

void ReportAudioInputProblem(const std::string& reason) {
    const std::string line = "Audio input: " + reason + "\n";
    DebugOutput(line.c_str());
    const char* debug = std::getenv("KINETRA_DEBUG");
    if (debug == nullptr || std::strcmp(debug, "1") != 0) ConsoleWrite(2, line.c_str());
}

std::vector<CaptureDeviceInfo> EnumerateCaptureDevices() {
    const AudioInput chosen = ParseAudioInput(AudioInputSetting());
    std::vector<CaptureDeviceInfo> devices;
    devices.push_back({std::string(), "Chosen input: " + Describe(chosen)});
    if (chosen.kind != AudioInputKind::kFile) {
        for (const std::string& name : SdlCaptureDeviceNames()) {
            devices.push_back({"sdl:" + name, name});
        }
    }
    return devices;
}

Result OpenCaptureDevice(const std::string& id, std::unique_ptr<ICaptureDevice>* device) {
    if (device == nullptr) return kInvalidArg;
    device->reset();
    const AudioInput input = ParseAudioInput(id.empty() ? AudioInputSetting() : id);
    if (input.kind == AudioInputKind::kFile) return OpenFileCaptureDevice(input.value, device);
    // A PulseAudio server is read directly where there is one: SDL's own PulseAudio capture
    // delivers only part of the sound on some systems. Elsewhere SDL finds the input (ALSA, ...).
    const std::string backend = AudioBackendSetting();
    if (backend != "sdl" && backend != "pulse" && !backend.empty()) {
        ReportAudioInputProblem("KINETRA_AUDIO_BACKEND must be pulse or sdl, not \"" + backend +
                                "\"");
        return kInvalidArg;
    }
    if (!input.sdlOnly && backend != "sdl") {
        const bool onlyPulse = backend == "pulse";
        const Result result = OpenPulseCaptureDevice(input.kind, input.value, !onlyPulse, device);
        if (result == kOk || onlyPulse) return result;
    }
    return OpenSdlCaptureDevice(input.kind, input.value, device);
}

}  // namespace kinetra::capture
