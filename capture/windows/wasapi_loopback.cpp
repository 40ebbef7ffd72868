// "What this computer plays" on Windows: a WASAPI loopback capture of the default output
// (render endpoint), in the engine's format (16-bit mono at 44100 Hz: channels averaged, the
// mix rate resampled linearly) fed into the ring by a thread of its own that polls every 10 ms.
// When the default output changes, the capture follows it at the next start. Where loopback is
// refused (Wine 8 answers AUDCLNT_E_WRONG_ENDPOINT_TYPE), the first DirectSound capture device
// whose name starts with "Monitor of " (a PulseAudio monitor, as Wine lists it) stands in.
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/backends/ring_capture_buffer.h"

namespace kinetra::capture {

extern const CaptureBackend kDirectSoundCaptureBackend;

namespace {

constexpr double kRate = 44100.0;

template <typename T>
void Release(T*& p) {
    if (p != nullptr) p->Release();
    p = nullptr;
}

class LoopbackBuffer final : public RingCaptureBuffer {
public:
    LoopbackBuffer(std::uint32_t bytes, IAudioClient* client, IAudioCaptureClient* capture,
                   const WAVEFORMATEX& mix)
        : RingCaptureBuffer(bytes), m_client(client), m_capture(capture), m_mix(mix) {
        const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(&mix);
        m_float = mix.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
                  (mix.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
                   extensible->SubFormat.Data1 == WAVE_FORMAT_IEEE_FLOAT);
        m_step = mix.nSamplesPerSec / kRate;
        m_out.reserve(4096);
    }
    ~LoopbackBuffer() override {
        Stop();
        Release(m_capture);
        Release(m_client);
    }

    Result Start(bool) override {
        if (m_thread.joinable()) return kOk;
        const HRESULT hr = m_client->Start();
        if (FAILED(hr)) return hr;
        m_stop = false;
        m_running = true;
        m_thread = std::thread(&LoopbackBuffer::Pump, this);
        return kOk;
    }
    Result Stop() override {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        m_running = false;
        return m_client->Stop();
    }

private:
    // One frame of the mix format averaged to one value, -1..1.
    double Frame(const BYTE* frame) const {
        double sum = 0.0;
        for (WORD c = 0; c < m_mix.nChannels; ++c) {
            if (m_float) {
                float v;
                std::memcpy(&v, frame + 4 * c, 4);
                sum += v;
            } else {
                std::int16_t v;
                std::memcpy(&v, frame + 2 * c, 2);
                sum += v / 32768.0;
            }
        }
        return sum / m_mix.nChannels;
    }

    void Pump() {
        while (!m_stop) {
            Sleep(10);
            UINT32 packet = 0;
            while (SUCCEEDED(m_capture->GetNextPacketSize(&packet)) && packet > 0) {
                BYTE* data = nullptr;
                UINT32 frames = 0;
                DWORD flags = 0;
                if (FAILED(m_capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) break;
                m_out.clear();
                for (UINT32 i = 0; i < frames; ++i) {
                    const double v = (flags & AUDCLNT_BUFFERFLAGS_SILENT)
                                         ? 0.0
                                         : Frame(data + i * m_mix.nBlockAlign);
                    // Output samples fall between the previous input frame and this one.
                    for (; m_phase <= 1.0; m_phase += m_step) {
                        const double s = m_last + (v - m_last) * m_phase;
                        m_out.push_back(static_cast<std::int16_t>(std::lround(
                            std::fmax(-1.0, std::fmin(s, 32767.0 / 32768.0)) * 32768.0)));
                    }
                    m_phase -= 1.0;
                    m_last = v;
                }
                m_capture->ReleaseBuffer(frames);
                if (!m_out.empty()) {
                    Produce(reinterpret_cast<const std::uint8_t*>(m_out.data()),
                            static_cast<std::uint32_t>(m_out.size() * 2));
                }
            }
        }
    }

    IAudioClient* m_client;
    IAudioCaptureClient* m_capture;
    WAVEFORMATEX m_mix;
    bool m_float = false;
    double m_step = 1.0;
    double m_phase = 0.0;
    double m_last = 0.0;
    std::vector<std::int16_t> m_out;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class LoopbackDevice final : public ICaptureDevice {
public:
    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (format.nSamplesPerSec != kRate || format.wBitsPerSample != 16 ||
            format.nChannels != 1) {
            return kBadFormat;
        }
        IMMDeviceEnumerator* devices = nullptr;
        IMMDevice* output = nullptr;
        IAudioClient* client = nullptr;
        IAudioCaptureClient* capture = nullptr;
        WAVEFORMATEX* mix = nullptr;
        // The default output now: a changed default is followed at the next start.
        HRESULT hr =
            CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                             __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&devices));
        if (SUCCEEDED(hr)) hr = devices->GetDefaultAudioEndpoint(eRender, eConsole, &output);
        if (SUCCEEDED(hr)) {
            hr = output->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                  reinterpret_cast<void**>(&client));
        }
        if (SUCCEEDED(hr)) hr = client->GetMixFormat(&mix);
        const bool usable =
            SUCCEEDED(hr) && (mix->wBitsPerSample == 32 || mix->wBitsPerSample == 16);
        if (SUCCEEDED(hr) && usable) {
            hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, 2000000,
                                    0, mix, nullptr);
        }
        if (SUCCEEDED(hr) && usable) {
            hr = client->GetService(__uuidof(IAudioCaptureClient),
                                    reinterpret_cast<void**>(&capture));
        }
        Result result = FAILED(hr) ? hr : usable ? kOk : kBadFormat;
        if (result == kOk) {
            auto created = std::make_unique<LoopbackBuffer>(bufferBytes, client, capture, *mix);
            client = nullptr;
            capture = nullptr;
            if (created->IsValid()) {
                *buffer = std::move(created);
            } else {
                result = kOutOfMemory;
            }
        }
        if (mix != nullptr) CoTaskMemFree(mix);
        Release(capture);
        Release(client);
        Release(output);
        Release(devices);
        return result;
    }
};

bool ServesMonitor(const AudioInputChoice& choice) {
    return choice.kind == AudioInputKind::kMonitor;
}

// A DirectSound capture device that is a sound server's monitor, or null.
Result OpenMonitorStandIn(const AudioInputChoice& choice, std::unique_ptr<ICaptureDevice>* device) {
    for (const CaptureDeviceInfo& info : kDirectSoundCaptureBackend.list()) {
        if (info.description.rfind("Monitor of ", 0) == 0) {
            AudioInputChoice named = choice;
            named.kind = AudioInputKind::kNamed;
            named.value = info.description;
            return kDirectSoundCaptureBackend.open(named, false, device);
        }
    }
    return kNoDriver;
}

Result OpenMonitor(const AudioInputChoice& choice, bool, std::unique_ptr<ICaptureDevice>* device) {
    // COM stays initialised on the user-interface thread for the rest of the run.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Trying a buffer is the only way to learn whether loopback works here.
    LoopbackDevice loopback;
    std::unique_ptr<ICaptureBuffer> probe;
    const WaveFormat format{kWaveFormatPcm, 1, 44100, 88200, 2, 16, 0};
    const Result tried = loopback.CreateCaptureBuffer(format, 32768, &probe);
    if (tried == kOk) {
        *device = std::make_unique<LoopbackDevice>();
        return kOk;
    }
    if (OpenMonitorStandIn(choice, device) == kOk) return kOk;
    char text[96];
    std::snprintf(text, sizeof text,
                  "WASAPI cannot capture what this computer plays (loopback: 0x%08lX)",
                  static_cast<unsigned long>(tried));
    ReportAudioInputProblem(text);
    return tried;
}

}  // namespace

extern const CaptureBackend kWasapiLoopbackBackend{"wasapi", ServesMonitor, OpenMonitor, nullptr};

}  // namespace kinetra::capture
