// A sound file as the audio input: decoded once to 16-bit mono at 44100 Hz and written into the
// ring by a feeder thread at the pace a capture device would, looping at the end of the file (or
// going silent after one pass), and, when asked, queued to the default output as it is fed.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/backends/ring_capture_buffer.h"
#include "capture/backends/sound_output.h"
#include "capture/sound_file.h"

namespace kinetra::capture {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kFeedFrames = 256;  // about 5.8 ms per write

std::atomic<bool> g_aloud{false};
std::atomic<bool> g_loop{true};

class FileCaptureBuffer final : public RingCaptureBuffer {
public:
    FileCaptureBuffer(std::uint32_t bytes, std::shared_ptr<const std::vector<std::int16_t>> samples)
        : RingCaptureBuffer(bytes), m_samples(std::move(samples)) {}
    ~FileCaptureBuffer() override { Stop(); }

    Result Start(bool) override {
        std::lock_guard<std::mutex> lock(m_control);
        if (m_feeder.joinable()) return kOk;
        m_stop = false;
        m_loop = g_loop.load();
        if (g_aloud.load() && !m_output) m_output = OpenSoundOutput();
        m_running.store(true);
        try {
            m_feeder = std::thread(&FileCaptureBuffer::Feed, this);
        } catch (const std::system_error&) {
            m_running.store(false);
            return kFail;
        }
        return kOk;
    }

    Result Stop() override {
        std::thread feeder;
        {
            std::lock_guard<std::mutex> lock(m_control);
            m_stop = true;
            feeder = std::move(m_feeder);
        }
        m_wake.notify_all();
        if (feeder.joinable()) feeder.join();
        m_running.store(false);
        m_output.reset();
        return kOk;
    }

private:
    void Feed() {
        using Clock = std::chrono::steady_clock;
        const std::vector<std::int16_t>& samples = *m_samples;
        const Clock::time_point start = Clock::now();
        std::uint64_t produced = 0;
        std::size_t position = 0;
        bool ended = false;  // one pass played, not looping: silence from here
        std::int16_t chunk[kFeedFrames];
        for (;;) {
            const auto due = start + std::chrono::nanoseconds(produced * 1000000000ull / kRate);
            {
                std::unique_lock<std::mutex> lock(m_control);
                if (m_wake.wait_until(lock, due, [this] { return m_stop; })) return;
            }
            for (std::uint32_t i = 0; i < kFeedFrames; ++i) {
                chunk[i] = ended ? 0 : samples[position];
                if (!ended && ++position == samples.size()) {
                    position = 0;
                    ended = !m_loop;
                }
            }
            Produce(reinterpret_cast<const std::uint8_t*>(chunk), sizeof chunk);
            // The output plays what the ring gets, as it gets it.
            if (m_output && !ended) m_output->Queue(chunk, kFeedFrames);
            produced += kFeedFrames;
        }
    }

    std::shared_ptr<const std::vector<std::int16_t>> m_samples;
    std::mutex m_control;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_loop = true;
    std::unique_ptr<SoundOutput> m_output;  // the default output while played aloud, else none
    std::thread m_feeder;
};

class FileCaptureDevice final : public ICaptureDevice {
public:
    explicit FileCaptureDevice(std::shared_ptr<const std::vector<std::int16_t>> samples)
        : m_samples(std::move(samples)) {}

    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (buffer == nullptr) return kInvalidArg;
        if (format.wFormatTag != kWaveFormatPcm || format.nSamplesPerSec != kRate ||
            format.wBitsPerSample != 16 || format.nChannels != 1 || format.nBlockAlign != 2) {
            return kBadFormat;  // the file is delivered as 44100 Hz 16-bit mono only
        }
        if (bufferBytes == 0 || bufferBytes % 2 != 0) return kInvalidArg;
        auto created = std::make_unique<FileCaptureBuffer>(bufferBytes, m_samples);
        if (!created->IsValid()) return kOutOfMemory;
        *buffer = std::move(created);
        return kOk;
    }

private:
    std::shared_ptr<const std::vector<std::int16_t>> m_samples;
};

}  // namespace

void SetSoundFilePlayback(bool aloud, bool loop) {
    g_aloud.store(aloud);
    g_loop.store(loop);
}

Result OpenFileCaptureDevice(const std::string& path, std::unique_ptr<ICaptureDevice>* device) {
    auto samples = std::make_shared<std::vector<std::int16_t>>();
    std::string error;
    if (!DecodeSoundFile(path, samples.get(), &error)) {
        ReportAudioInputProblem(error);
        return kNoDriver;
    }
    *device = std::make_unique<FileCaptureDevice>(std::move(samples));
    return kOk;
}

namespace {

bool ServesFile(const AudioInputChoice& choice) {
    return choice.kind == AudioInputKind::kFile;
}

Result OpenFile(const AudioInputChoice& choice, bool, std::unique_ptr<ICaptureDevice>* device) {
    return OpenFileCaptureDevice(choice.value, device);
}

}  // namespace

extern const CaptureBackend kFileCaptureBackend{"file", ServesFile, OpenFile, nullptr};

}  // namespace kinetra::capture
