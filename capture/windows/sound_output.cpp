// A sound-file input played aloud on Windows through waveOut (winmm) on the default output
// (WAVE_MAPPER), 44100 Hz 16-bit mono. The feeder's blocks are gathered into a ring of buffers
// prepared once at the start; each full buffer goes to the device, which marks it done once
// played. Two buffers of silence lead, so that the device always holds the next one; more than
// a quarter of a second not yet played is dropped (waveOutReset), so that what is heard stays in
// step with what is felt.
#include "capture/backends/sound_output.h"

#include <windows.h>
// After <windows.h>, which it needs.
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "capture/audio_input.h"

namespace kinetra::capture {
namespace {

constexpr DWORD kRate = 44100;
constexpr std::uint32_t kBufferFrames = 512;  // about 11.6 ms
constexpr int kBuffers = 32;                  // more than a quarter of a second
constexpr std::uint32_t kMostPendingFrames = kRate / 4;
constexpr int kLeadingSilence = 2;

std::string ErrorText(MMRESULT result) {
    wchar_t text[MAXERRORLENGTH] = {};
    waveOutGetErrorTextW(result, text, MAXERRORLENGTH);
    char narrow[MAXERRORLENGTH * 3] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow[0] != '\0' ? narrow : "error " + std::to_string(result);
}

class WaveOutSoundOutput final : public SoundOutput {
public:
    explicit WaveOutSoundOutput(HWAVEOUT device) : m_device(device) {
        for (int i = 0; i < kBuffers; ++i) {
            WAVEHDR& header = m_headers[i];
            header.lpData = reinterpret_cast<LPSTR>(m_samples[i]);
            header.dwBufferLength = kBufferFrames * sizeof(std::int16_t);
            m_prepared[i] =
                waveOutPrepareHeader(m_device, &header, sizeof header) == MMSYSERR_NOERROR;
            header.dwFlags |= WHDR_DONE;  // free to fill
        }
        for (int i = 0; i < kLeadingSilence; ++i) WriteNext();  // the buffers start silent
    }
    ~WaveOutSoundOutput() override {
        waveOutReset(m_device);
        for (int i = 0; i < kBuffers; ++i) {
            if (m_prepared[i]) waveOutUnprepareHeader(m_device, &m_headers[i], sizeof(WAVEHDR));
        }
        waveOutClose(m_device);
    }
    WaveOutSoundOutput(const WaveOutSoundOutput&) = delete;
    WaveOutSoundOutput& operator=(const WaveOutSoundOutput&) = delete;

    void Queue(const std::int16_t* samples, std::uint32_t frames) override {
        if (PendingFrames() > kMostPendingFrames) {
            // Fallen behind: what the device holds goes, the buffer being filled starts again.
            waveOutReset(m_device);
            m_filled = 0;
        }
        while (frames > 0) {
            if (m_filled == 0 && !Free(m_next)) return;  // every buffer still playing
            const std::uint32_t n = std::min(frames, kBufferFrames - m_filled);
            std::memcpy(m_samples[m_next] + m_filled, samples, n * sizeof(std::int16_t));
            m_filled += n;
            samples += n;
            frames -= n;
            if (m_filled == kBufferFrames) {
                WriteNext();
                m_filled = 0;
            }
        }
    }

private:
    bool Free(int i) const {
        return !m_prepared[i] ||
               (static_cast<volatile const DWORD&>(m_headers[i].dwFlags) & WHDR_DONE) != 0;
    }
    // Buffers handed to the device and not yet played, in frames.
    std::uint32_t PendingFrames() const {
        std::uint32_t pending = 0;
        for (int i = 0; i < kBuffers; ++i) {
            if (!Free(i)) pending += kBufferFrames;
        }
        return pending;
    }
    // Hands the buffer m_next to the device and moves on to the next.
    void WriteNext() {
        if (m_prepared[m_next]) {
            m_headers[m_next].dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
            if (waveOutWrite(m_device, &m_headers[m_next], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
                m_headers[m_next].dwFlags |= WHDR_DONE;
            }
        }
        m_next = (m_next + 1) % kBuffers;
    }

    HWAVEOUT m_device;
    WAVEHDR m_headers[kBuffers] = {};
    bool m_prepared[kBuffers] = {};
    std::int16_t m_samples[kBuffers][kBufferFrames] = {};
    int m_next = 0;
    std::uint32_t m_filled = 0;  // frames in the buffer m_next
};

}  // namespace

std::unique_ptr<SoundOutput> OpenSoundOutput() {
    // Without an output device nothing is tried, and nothing is said.
    if (waveOutGetNumDevs() == 0) return nullptr;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = kRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = kRate * 2;
    HWAVEOUT device = nullptr;
    const MMRESULT opened = waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (opened != MMSYSERR_NOERROR) {
        ReportAudioInputProblem("sound file not played aloud: " + ErrorText(opened));
        return nullptr;
    }
    return std::make_unique<WaveOutSoundOutput>(device);
}

}  // namespace kinetra::capture
