// "What this computer plays" on Windows: a WASAPI loopback capture of the default output
// (render endpoint), in the engine's format (16-bit mono at 44100 Hz: channels averaged, the
// mix rate resampled linearly) fed into the ring by a thread of its own that polls every 10 ms.
// When the default output changes mid-run (IMMNotificationClient::OnDefaultDeviceChanged), that
// thread opens the new default before its next packet. Where loopback is refused (Wine 8
// answers AUDCLNT_E_WRONG_ENDPOINT_TYPE), the first DirectSound capture device whose name starts
// with "Monitor of " (a PulseAudio monitor, as Wine lists it) stands in.
#include "capture/windows/wasapi_loopback.h"

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/windows/wasapi_packets.h"

namespace kinetra::capture {

extern const CaptureBackend kDirectSoundCaptureBackend;

namespace {

constexpr double kRate = 44100.0;
constexpr int kRetryPolls = 50;  // half a second of 10 ms polls

template <typename T>
void Release(T*& p) {
    if (p != nullptr) p->Release();
    p = nullptr;
}

bool UsableMix(const WAVEFORMATEX& mix) {
    return (mix.wBitsPerSample == 32 || mix.wBitsPerSample == 16) && mix.nChannels > 0 &&
           mix.nSamplesPerSec > 0 && mix.nBlockAlign >= mix.nChannels * mix.wBitsPerSample / 8;
}

}  // namespace

LoopbackCaptureBuffer::LoopbackCaptureBuffer(std::uint32_t bytes,
                                             std::unique_ptr<LoopbackSource> source,
                                             const WAVEFORMATEXTENSIBLE& mix)
    : RingCaptureBuffer(bytes), m_source(std::move(source)), m_reader(mix.Format) {}

LoopbackCaptureBuffer::~LoopbackCaptureBuffer() {
    Stop();
    m_source.reset();
}

Result LoopbackCaptureBuffer::Start(bool) {
    if (m_thread.joinable()) return kOk;
    if (m_open) {
        const Result started = m_source->Start();
        if (started != kOk) return started;
    }
    m_stop = false;
    m_running = true;
    try {
        m_thread = std::thread(&LoopbackCaptureBuffer::Pump, this);
    } catch (const std::system_error&) {
        m_running = false;
        if (m_open) m_source->Stop();
        return kFail;
    }
    return kOk;
}

Result LoopbackCaptureBuffer::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    m_running = false;
    if (m_open) m_source->Stop();
    return kOk;
}

// The default output, opened again on this thread (its format may differ).
void LoopbackCaptureBuffer::Reopen() {
    m_reopens.fetch_add(1);
    m_source->Close();
    WAVEFORMATEXTENSIBLE mix{};
    m_open = m_source->Open(&mix) == kOk && UsableMix(mix.Format);
    if (m_open) m_open = m_source->Start() == kOk;
    if (m_open) {
        m_reader.Reset(mix.Format);
    } else {
        m_source->Close();
        m_retryIn = kRetryPolls;
    }
}

void LoopbackCaptureBuffer::Pump() {
    // The sources opened here need COM on this thread.
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    while (!m_stop) {
        Sleep(10);
        if (m_reopen.exchange(false) || (!m_open && --m_retryIn <= 0)) Reopen();
        if (!m_open) continue;
        const BYTE* data = nullptr;
        UINT32 frames = 0;
        bool silent = false;
        while (!m_stop && m_source->NextPacket(&data, &frames, &silent)) {
            const auto out = m_reader.Convert(data, frames, silent);
            m_source->ReleasePacket(frames);
            if (!out.empty()) {
                Produce(reinterpret_cast<const std::uint8_t*>(out.data()),
                        static_cast<std::uint32_t>(out.size() * 2));
            }
        }
    }
    if (com) CoUninitialize();
}

namespace {

// The default output's loopback through WASAPI shared mode.
class DefaultOutputLoopback final : public LoopbackSource {
public:
    ~DefaultOutputLoopback() override { Close(); }

    Result Open(WAVEFORMATEXTENSIBLE* mix) override {
        Close();
        IMMDeviceEnumerator* devices = nullptr;
        IMMDevice* output = nullptr;
        WAVEFORMATEX* format = nullptr;
        HRESULT hr =
            CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                             __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&devices));
        if (SUCCEEDED(hr)) hr = devices->GetDefaultAudioEndpoint(eRender, eConsole, &output);
        if (SUCCEEDED(hr)) {
            hr = output->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                  reinterpret_cast<void**>(&m_client));
        }
        if (SUCCEEDED(hr)) hr = m_client->GetMixFormat(&format);
        if (SUCCEEDED(hr) && !UsableMix(*format)) hr = kBadFormat;
        if (SUCCEEDED(hr)) {
            hr = m_client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK,
                                      2000000, 0, format, nullptr);
        }
        if (SUCCEEDED(hr)) {
            hr = m_client->GetService(__uuidof(IAudioCaptureClient),
                                      reinterpret_cast<void**>(&m_capture));
        }
        if (SUCCEEDED(hr)) {
            *mix = WAVEFORMATEXTENSIBLE{};
            std::memcpy(mix, format,
                        std::min<std::size_t>(sizeof *mix, sizeof(WAVEFORMATEX) + format->cbSize));
        }
        if (format != nullptr) CoTaskMemFree(format);
        Release(output);
        Release(devices);
        if (FAILED(hr)) Close();
        return hr;
    }
    void Close() override {
        Release(m_capture);
        Release(m_client);
    }
    Result Start() override { return m_client != nullptr ? m_client->Start() : kFail; }
    void Stop() override {
        if (m_client != nullptr) m_client->Stop();
    }
    bool NextPacket(const BYTE** data, UINT32* frames, bool* silent) override {
        UINT32 packet = 0;
        if (m_capture == nullptr || FAILED(m_capture->GetNextPacketSize(&packet)) || packet == 0) {
            return false;
        }
        BYTE* bytes = nullptr;
        DWORD flags = 0;
        if (FAILED(m_capture->GetBuffer(&bytes, frames, &flags, nullptr, nullptr))) return false;
        *data = bytes;
        *silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
        return true;
    }
    void ReleasePacket(UINT32 frames) override { m_capture->ReleaseBuffer(frames); }

private:
    IAudioClient* m_client = nullptr;
    IAudioCaptureClient* m_capture = nullptr;
};

// Word of a new default output, for the ring that follows it. Its methods run on the audio
// service's threads and only set a flag.
class DefaultOutputWatch final : public IMMNotificationClient {
public:
    explicit DefaultOutputWatch(LoopbackCaptureBuffer* buffer) : m_buffer(buffer) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == __uuidof(IUnknown) || id == __uuidof(IMMNotificationClient)) {
            *object = static_cast<IMMNotificationClient*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override {
        if (flow == eRender && role == eConsole) m_buffer->NoteDefaultOutputChanged();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
        return S_OK;
    }

private:
    LoopbackCaptureBuffer* m_buffer;
    std::atomic<ULONG> m_references{1};
};

// The loopback ring with its watch on the default output: registered while the ring lives.
class WatchedLoopbackBuffer final : public ICaptureBuffer {
public:
    WatchedLoopbackBuffer(std::unique_ptr<LoopbackCaptureBuffer> ring) : m_ring(std::move(ring)) {
        if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                       __uuidof(IMMDeviceEnumerator),
                                       reinterpret_cast<void**>(&m_devices)))) {
            m_watch = new DefaultOutputWatch(m_ring.get());
            if (FAILED(m_devices->RegisterEndpointNotificationCallback(m_watch))) {
                Release(m_watch);
            }
        }
    }
    ~WatchedLoopbackBuffer() override {
        if (m_watch != nullptr) m_devices->UnregisterEndpointNotificationCallback(m_watch);
        Release(m_watch);
        Release(m_devices);
        m_ring.reset();
    }
    Result SetNotificationPositions(std::uint32_t count, const PositionNotify* positions) override {
        return m_ring->SetNotificationPositions(count, positions);
    }
    Result GetCurrentPosition(std::uint32_t* capture, std::uint32_t* read) override {
        return m_ring->GetCurrentPosition(capture, read);
    }
    Result Lock(std::uint32_t offset, std::uint32_t bytes, void** region1, std::uint32_t* bytes1,
                void** region2, std::uint32_t* bytes2) override {
        return m_ring->Lock(offset, bytes, region1, bytes1, region2, bytes2);
    }
    Result Unlock(void* a, std::uint32_t an, void* b, std::uint32_t bn) override {
        return m_ring->Unlock(a, an, b, bn);
    }
    Result Start(bool loop) override { return m_ring->Start(loop); }
    Result Stop() override { return m_ring->Stop(); }

private:
    std::unique_ptr<LoopbackCaptureBuffer> m_ring;
    IMMDeviceEnumerator* m_devices = nullptr;
    DefaultOutputWatch* m_watch = nullptr;
};

class LoopbackDevice final : public ICaptureDevice {
public:
    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (format.nSamplesPerSec != kRate || format.wBitsPerSample != 16 ||
            format.nChannels != 1) {
            return kBadFormat;
        }
        auto source = std::make_unique<DefaultOutputLoopback>();
        WAVEFORMATEXTENSIBLE mix{};
        const Result opened = source->Open(&mix);
        if (opened != kOk) return opened;
        auto ring = std::make_unique<LoopbackCaptureBuffer>(bufferBytes, std::move(source), mix);
        if (!ring->IsValid()) return kOutOfMemory;
        *buffer = std::make_unique<WatchedLoopbackBuffer>(std::move(ring));
        return kOk;
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
