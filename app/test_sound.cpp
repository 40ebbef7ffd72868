#include "app/test_sound.h"

#include <SDL.h>

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

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
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxSoundFileBytes) return false;
    const std::string name = path.toStdString();
    SDL_AudioSpec wanted{};
    Uint8* data = nullptr;
    Uint32 length = 0;
    if (SDL_LoadWAV(name.c_str(), &wanted, &data, &length) == nullptr) return false;

    SDL_AudioCVT cvt{};
    const int built = SDL_BuildAudioCVT(&cvt, wanted.format, wanted.channels, wanted.freq,
                                        AUDIO_S16SYS, 1, kPlaybackRate);
    if (built < 0 || cvt.len_mult <= 0) {
        SDL_FreeWAV(data);
        return false;
    }
    // Cut the input so that the converted sound stays within kMaxPlaybackSeconds.
    const std::uint64_t frameBytes =
        static_cast<std::uint64_t>(SDL_AUDIO_BITSIZE(wanted.format) / 8) * wanted.channels;
    if (frameBytes == 0 || wanted.freq <= 0) {
        SDL_FreeWAV(data);
        return false;
    }
    const std::uint64_t maxInput =
        frameBytes * static_cast<std::uint64_t>(wanted.freq) * kMaxPlaybackSeconds;
    std::uint64_t inputBytes = std::min<std::uint64_t>(length, maxInput);
    inputBytes -= inputBytes % frameBytes;

    std::vector<Uint8> work(static_cast<std::size_t>(inputBytes) *
                            static_cast<std::size_t>(cvt.len_mult));
    if (inputBytes > 0) std::memcpy(work.data(), data, static_cast<std::size_t>(inputBytes));
    SDL_FreeWAV(data);
    cvt.buf = work.data();
    cvt.len = static_cast<int>(inputBytes);
    if (built > 0 && SDL_ConvertAudio(&cvt) != 0) return false;
    const int converted = built > 0 ? cvt.len_cvt : cvt.len;
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(converted) / 2,
                                                    kPlaybackRate * kMaxPlaybackSeconds);
    samples->resize(count);
    if (count > 0) std::memcpy(samples->data(), work.data(), count * 2);
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
