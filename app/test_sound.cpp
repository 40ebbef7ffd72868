#include "app/test_sound.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "capture/sound_file.h"
#include "platform/debug_output.h"

namespace kinetra::app {

namespace {

void Report(const char* what) {
    char line[256];
    std::snprintf(line, sizeof line, "TEST SOUND: %s: %s\n", what, SDL_GetError());
    kinetra::DebugOutput(line);
}

}  // namespace

std::vector<std::int16_t> BuiltInSound() {
    constexpr double kPi = 3.14159265358979323846;
    std::vector<std::int16_t> samples(kPlaybackRate / 4);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / kPlaybackRate;
        const double envelope = std::min(1.0, t / 0.002) * std::exp(-t * 14.0);
        const double v = 0.6 * std::sin(2 * kPi * 60.0 * t) + 0.3 * std::sin(2 * kPi * 330.0 * t) +
                         0.2 * std::sin(2 * kPi * 1000.0 * t);
        samples[i] = static_cast<std::int16_t>(std::lround(20000.0 * envelope * v / 1.1));
    }
    return samples;
}

bool LoadSoundFile(const QString& path, std::vector<std::int16_t>* samples) {
    // The audio input's own decoder: any format it reads, cut at kMaxPlaybackSeconds (nothing
    // past that is decoded, whatever the file says of its length).
    kinetra::capture::SoundLimit limit;
    limit.maxFrames = kinetra::capture::SoundFramesForSeconds(kMaxPlaybackSeconds);
    limit.cut = true;
    std::string error;
    if (!kinetra::capture::DecodeSoundFile(path.toStdString(), limit, samples, &error)) {
        kinetra::DebugOutput(("TEST SOUND: " + error + "\n").c_str());
        return false;
    }
    return true;
}

TestSoundPlayer::TestSoundPlayer() = default;

TestSoundPlayer::~TestSoundPlayer() {
    if (m_device != 0) SDL_CloseAudioDevice(m_device);
    if (m_bAudioStarted) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool TestSoundPlayer::OpenOutput() {
    if (m_device != 0) return true;
    if (!m_bAudioStarted) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            Report("no audio output");
            return false;
        }
        m_bAudioStarted = true;
    }
    SDL_AudioSpec want{};
    want.freq = kPlaybackRate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = kinetra::kBlockFrames;  // one block's worth per callback
    SDL_AudioSpec have{};
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m_device == 0) {
        Report("cannot open the audio output");
        return false;
    }
    return true;
}

bool TestSoundPlayer::Play(const QString& path) {
    std::vector<std::int16_t> samples;
    m_bBuiltIn = path.isEmpty() || !LoadSoundFile(path, &samples);
    if (m_bBuiltIn) samples = BuiltInSound();
    if (!OpenOutput()) return false;
    SDL_ClearQueuedAudio(m_device);
    if (!samples.empty() &&
        SDL_QueueAudio(m_device, samples.data(), static_cast<Uint32>(samples.size() * 2)) != 0) {
        Report("cannot queue the sound");
        return false;
    }
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

void TestSoundPlayer::Stop() {
    if (m_device != 0) SDL_ClearQueuedAudio(m_device);
}

std::uint32_t TestSoundPlayer::QueuedBytes() const {
    return m_device != 0 ? SDL_GetQueuedAudioSize(m_device) : 0;
}

}  // namespace kinetra::app
