// DirectSound capture: the default capture device (the first that DirectSoundCaptureEnumerateA
// reports: the primary driver, without a GUID) or one by its description. The engine's ring,
// trial buffer and notification positions map one to one onto DirectSound's capture buffer and
// its IDirectSoundNotify; DirectSound sets Win32 events, which a relay thread passes on to the
// engine's events. COM is initialised on the opening (user-interface) thread for the device's
// lifetime; the capture thread uses the buffer's position and lock, which need no COM of its own.
#include <dsound.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "platform/auto_reset_event.h"

namespace kinetra::capture {
namespace {

struct FoundDevice {
    std::string wanted;  // empty: the first report
    bool found = false;
    bool hasGuid = false;
    GUID guid{};
    std::vector<std::string> names;
};

BOOL CALLBACK EnumCaptureDevice(LPGUID guid, LPCSTR description, LPCSTR, LPVOID context) {
    auto* found = static_cast<FoundDevice*>(context);
    const std::string name = description != nullptr ? description : "";
    // The primary driver comes first, without a GUID; it is listed as the default, not by name.
    if (guid != nullptr) found->names.push_back(name);
    if (!found->found && (found->wanted.empty() || found->wanted == name)) {
        found->found = true;
        found->hasGuid = guid != nullptr;
        if (guid != nullptr) found->guid = *guid;
        // The first report decides for the default device: the enumeration stops there.
        if (found->wanted.empty()) return FALSE;
    }
    return TRUE;
}

class DirectSoundBuffer final : public ICaptureBuffer {
public:
    explicit DirectSoundBuffer(IDirectSoundCaptureBuffer* buffer) : m_buffer(buffer) {}
    ~DirectSoundBuffer() override {
        Stop();
        if (m_notify != nullptr) m_notify->Release();
        m_buffer->Release();
        for (HANDLE event : m_events) CloseHandle(event);
        if (m_stopRelay != nullptr) CloseHandle(m_stopRelay);
    }

    Result SetNotificationPositions(std::uint32_t count, const PositionNotify* positions) override {
        if (m_notify == nullptr) {
            const HRESULT hr = m_buffer->QueryInterface(IID_IDirectSoundNotify,
                                                        reinterpret_cast<void**>(&m_notify));
            if (FAILED(hr)) return hr;
        }
        // One Win32 event for each of the engine's events.
        std::vector<DSBPOSITIONNOTIFY> table(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::size_t slot = 0;
            while (slot < m_targets.size() && m_targets[slot] != positions[i].hEventNotify) ++slot;
            if (slot == m_targets.size()) {
                if (slot + 1 >= MAXIMUM_WAIT_OBJECTS) return kInvalidArg;
                m_targets.push_back(positions[i].hEventNotify);
                m_events.push_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
            }
            table[i].dwOffset = positions[i].dwOffset;
            table[i].hEventNotify = m_events[slot];
        }
        return m_notify->SetNotificationPositions(count, table.data());
    }

    Result Start(bool looping) override {
        if (!m_relay.joinable() && !m_events.empty()) {
            m_stopRelay = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            m_relay = std::thread(&DirectSoundBuffer::Relay, this);
        }
        return m_buffer->Start(looping ? DSCBSTART_LOOPING : 0);
    }

    Result Stop() override {
        const HRESULT hr = m_buffer->Stop();
        if (m_relay.joinable()) {
            SetEvent(m_stopRelay);
            m_relay.join();
        }
        return hr;
    }

    Result GetCurrentPosition(std::uint32_t* capturePosition,
                              std::uint32_t* readPosition) override {
        DWORD capture = 0, read = 0;
        const HRESULT hr = m_buffer->GetCurrentPosition(&capture, &read);
        if (capturePosition != nullptr) *capturePosition = capture;
        if (readPosition != nullptr) *readPosition = read;
        return hr;
    }

    Result Lock(std::uint32_t offset, std::uint32_t bytes, void** region1, std::uint32_t* bytes1,
                void** region2, std::uint32_t* bytes2) override {
        DWORD first = 0, second = 0;
        const HRESULT hr = m_buffer->Lock(offset, bytes, region1, &first, region2, &second, 0);
        if (bytes1 != nullptr) *bytes1 = first;
        if (bytes2 != nullptr) *bytes2 = second;
        return hr;
    }

    Result Unlock(void* region1, std::uint32_t bytes1, void* region2,
                  std::uint32_t bytes2) override {
        return m_buffer->Unlock(region1, bytes1, region2, bytes2);
    }

private:
    // Passes DirectSound's notifications on until Stop.
    void Relay() {
        std::vector<HANDLE> waits = {m_stopRelay};
        waits.insert(waits.end(), m_events.begin(), m_events.end());
        for (;;) {
            const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(waits.size()),
                                                       waits.data(), FALSE, INFINITE);
            if (which == WAIT_OBJECT_0 || which == WAIT_FAILED) return;
            const DWORD slot = which - WAIT_OBJECT_0 - 1;
            if (slot < m_targets.size()) m_targets[slot]->Set();
        }
    }

    IDirectSoundCaptureBuffer* m_buffer;
    IDirectSoundNotify* m_notify = nullptr;
    std::vector<AutoResetEvent*> m_targets;
    std::vector<HANDLE> m_events;
    HANDLE m_stopRelay = nullptr;
    std::thread m_relay;
};

class DirectSoundDevice final : public ICaptureDevice {
public:
    DirectSoundDevice(IDirectSoundCapture* capture, bool comStarted)
        : m_capture(capture), m_comStarted(comStarted) {}
    ~DirectSoundDevice() override {
        m_capture->Release();
        if (m_comStarted) CoUninitialize();
    }

    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (buffer == nullptr) return kInvalidArg;
        WAVEFORMATEX wave{};
        wave.wFormatTag = format.wFormatTag;
        wave.nChannels = format.nChannels;
        wave.nSamplesPerSec = format.nSamplesPerSec;
        wave.nAvgBytesPerSec = format.nAvgBytesPerSec;
        wave.nBlockAlign = format.nBlockAlign;
        wave.wBitsPerSample = format.wBitsPerSample;
        wave.cbSize = 0;
        // The 28-byte description: no capture effects.
        DSCBUFFERDESC description{};
        description.dwSize = sizeof description;
        description.dwBufferBytes = bufferBytes;
        description.lpwfxFormat = &wave;
        IDirectSoundCaptureBuffer* created = nullptr;
        const HRESULT hr = m_capture->CreateCaptureBuffer(&description, &created, nullptr);
        if (FAILED(hr)) return hr;
        *buffer = std::make_unique<DirectSoundBuffer>(created);
        return kOk;
    }

private:
    IDirectSoundCapture* m_capture;
    bool m_comStarted;
};

std::string HResultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

bool ServesDirectSound(const AudioInputChoice& choice) {
    return choice.kind == AudioInputKind::kDefault || choice.kind == AudioInputKind::kNamed;
}

Result OpenDirectSound(const AudioInputChoice& choice, bool /*quiet*/,
                       std::unique_ptr<ICaptureDevice>* device) {
    FoundDevice found;
    if (choice.kind == AudioInputKind::kNamed) found.wanted = choice.value;
    DirectSoundCaptureEnumerateA(&EnumCaptureDevice, &found);
    if (!found.wanted.empty() && !found.found) {
        ReportAudioInputProblem("no capture device called \"" + found.wanted + "\"");
        return kNoDriver;
    }
    const HRESULT com = CoInitialize(nullptr);
    if (FAILED(com) && com != RPC_E_CHANGED_MODE) {
        ReportAudioInputProblem("cannot start COM for DirectSound (" + HResultText(com) + ")");
        return com;
    }
    const bool comStarted = SUCCEEDED(com);
    IDirectSoundCapture* capture = nullptr;
    // All zero (or no GUID at all) opens the default capture device.
    const HRESULT hr =
        DirectSoundCaptureCreate(found.hasGuid ? &found.guid : nullptr, &capture, nullptr);
    if (FAILED(hr)) {
        if (comStarted) CoUninitialize();
        ReportAudioInputProblem("DirectSound cannot open the capture device (" + HResultText(hr) +
                                ")");
        return hr;
    }
    *device = std::make_unique<DirectSoundDevice>(capture, comStarted);
    return kOk;
}

std::vector<CaptureDeviceInfo> ListDirectSound() {
    FoundDevice found;
    found.wanted = std::string(1, '\0');  // matches nothing: every device is listed
    DirectSoundCaptureEnumerateA(&EnumCaptureDevice, &found);
    std::vector<CaptureDeviceInfo> devices;
    for (const std::string& name : found.names) devices.push_back({name, name});
    return devices;
}

}  // namespace

extern const CaptureBackend kDirectSoundCaptureBackend{"dsound", ServesDirectSound, OpenDirectSound,
                                                       ListDirectSound};

}  // namespace kinetra::capture
