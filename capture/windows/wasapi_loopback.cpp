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
#include "capture/windows/wasapi_packets.h"

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
        : RingCaptureBuffer(bytes), m_client(client), m_capture(capture), m_reader(mix) {}
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
    void Pump() {
        while (!m_stop) {
            Sleep(10);
            m_reader.Drain(m_capture, [this](const std::uint8_t* data, std::uint32_t bytes) {
                Produce(data, bytes);
            });
        }
    }

    IAudioClient* m_client;
    IAudioCaptureClient* m_capture;
    WasapiPacketReader m_reader;
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
