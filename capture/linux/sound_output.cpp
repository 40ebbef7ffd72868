// A sound-file input played aloud through SDL's default output (PulseAudio, PipeWire, ALSA).
#include "capture/backends/sound_output.h"

#include <SDL.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "capture/audio_input.h"

namespace kinetra::capture {
namespace {

constexpr int kRate = 44100;
constexpr std::uint32_t kMostQueuedBytes = kRate / 4 * 2;

// Whether this machine has anywhere to play to: a sound server's socket (PulseAudio, or
// PipeWire's pulse server) or an ALSA playback device. Without one nothing is tried, so that a
// machine without sound plays nothing quietly instead of each audio driver's complaints.
bool HasSoundOutput() {
    if (std::getenv("SDL_AUDIODRIVER") != nullptr || std::getenv("PULSE_SERVER") != nullptr) {
        return true;
    }
    std::error_code error;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) {
        if (std::filesystem::exists(std::filesystem::path(runtime) / "pulse" / "native", error)) {
            return true;
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator("/dev/snd", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("pcmC", 0) == 0 && name.back() == 'p') return true;
    }
    return false;
}

// The default output, 44100 Hz 16-bit mono, or 0 when none opens.
SDL_AudioDeviceID OpenOutput() {
    if (!HasSoundOutput()) return 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        ReportAudioInputProblem(std::string("sound file not played aloud: ") + SDL_GetError());
        return 0;
    }
    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = 512;
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (device == 0) {
        ReportAudioInputProblem(std::string("sound file not played aloud: ") + SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    SDL_PauseAudioDevice(device, 0);
    return device;
}

class SdlSoundOutput final : public SoundOutput {
public:
    explicit SdlSoundOutput(SDL_AudioDeviceID device) : m_device(device) {}
    ~SdlSoundOutput() override {
        SDL_CloseAudioDevice(m_device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    void Queue(const std::int16_t* samples, std::uint32_t frames) override {
        if (SDL_GetQueuedAudioSize(m_device) > kMostQueuedBytes) SDL_ClearQueuedAudio(m_device);
        SDL_QueueAudio(m_device, samples, frames * sizeof(std::int16_t));
    }

private:
    SDL_AudioDeviceID m_device;
};

}  // namespace

std::unique_ptr<SoundOutput> OpenSoundOutput() {
    const SDL_AudioDeviceID device = OpenOutput();
    if (device == 0) return nullptr;
    return std::make_unique<SdlSoundOutput>(device);
}

}  // namespace kinetra::capture
