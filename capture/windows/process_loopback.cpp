// "app:NAME" on Windows: what one application plays, recorded by process loopback (the
// application's process and its children) and fed into the ring in the engine's format by a
// thread of its own, woken by the audio engine for each packet. The thread follows the
// application: it looks at the default output's sessions once a second and at once when the
// heard process ends, and moves to the process FindApplicationStream picks (a restarted
// application, a second session of the same name). While none plays, the status says
// "NAME (waiting for sound)".
//
// ActivateAudioInterfaceAsync is looked up in mmdevapi.dll at run time, so that the program
// still starts where it is missing; there, and where the activation is refused (Wine 8), the
// choice fails with the reason.
#include "capture/windows/process_loopback.h"

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <objidl.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/backends/ring_capture_buffer.h"
#include "capture/windows/application_sessions.h"
#include "capture/windows/wasapi_packets.h"
#include "platform/debug_output.h"

// MinGW-w64's headers have no audioclientactivationparams.h: the few declarations needed here.
#if __has_include(<audioclientactivationparams.h>)
#include <audioclientactivationparams.h>
#else
typedef enum AUDIOCLIENT_ACTIVATION_TYPE {
    AUDIOCLIENT_ACTIVATION_TYPE_DEFAULT = 0,
    AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK = 1,
} AUDIOCLIENT_ACTIVATION_TYPE;
typedef enum PROCESS_LOOPBACK_MODE {
    PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE = 0,
    PROCESS_LOOPBACK_MODE_EXCLUDE_TARGET_PROCESS_TREE = 1,
} PROCESS_LOOPBACK_MODE;
typedef struct AUDIOCLIENT_PROCESS_LOOPBACK_PARAMS {
    DWORD TargetProcessId;
    PROCESS_LOOPBACK_MODE ProcessLoopbackMode;
} AUDIOCLIENT_PROCESS_LOOPBACK_PARAMS;
typedef struct AUDIOCLIENT_ACTIVATION_PARAMS {
    AUDIOCLIENT_ACTIVATION_TYPE ActivationType;
    union {
        AUDIOCLIENT_PROCESS_LOOPBACK_PARAMS ProcessLoopbackParams;
    };
} AUDIOCLIENT_ACTIVATION_PARAMS;
#endif
#ifndef VIRTUAL_AUDIO_DEVICE_PROCESS_LOOPBACK
#define VIRTUAL_AUDIO_DEVICE_PROCESS_LOOPBACK L"VAD\\Process_Loopback"
#endif

namespace kinetra::capture {

namespace {

constexpr const char* kNeedsVersion =
    "hearing one application needs Windows 10 version 2004 or later";
constexpr DWORD kFirstProcessLoopbackBuild = 19041;  // Windows 10 version 2004
constexpr DWORD kLookIntervalMs = 1000;              // between looks at the sessions
const HRESULT kActivationTimedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

template <typename T>
void Release(T*& p) {
    if (p != nullptr) p->Release();
    p = nullptr;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

using ActivateFunction = HRESULT(WINAPI*)(LPCWSTR, REFIID, PROPVARIANT*,
                                          IActivateAudioInterfaceCompletionHandler*,
                                          IActivateAudioInterfaceAsyncOperation**);

// mmdevapi.dll's ActivateAudioInterfaceAsync, or null. The library stays loaded.
ActivateFunction LoadActivate() {
    static const ActivateFunction activate = [] {
        HMODULE library = LoadLibraryW(L"mmdevapi.dll");
        FARPROC found =
            library != nullptr ? GetProcAddress(library, "ActivateAudioInterfaceAsync") : nullptr;
        return reinterpret_cast<ActivateFunction>(reinterpret_cast<void (*)()>(found));
    }();
    return activate;
}

// The system's build number (RtlGetVersion, which no manifest shims), 0 when unknown.
DWORD SystemBuild() {
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    FARPROC found = ntdll != nullptr ? GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    if (found == nullptr) return 0;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    auto get = reinterpret_cast<GetVersion>(reinterpret_cast<void (*)()>(found));
    return get(&version) == 0 ? version.dwBuildNumber : 0;
}

// Wine's version ("8.0") when running under Wine, else empty.
std::string WineVersion() {
    using GetWineVersion = const char*(CDECL*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    FARPROC found = ntdll != nullptr ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
    if (found == nullptr) return {};
    const char* version = reinterpret_cast<GetWineVersion>(reinterpret_cast<void (*)()>(found))();
    return version != nullptr ? version : "";
}

// Signals an event when the activation is done. Agile: the system calls it on a thread of its
// own, whatever the apartment of the thread that asked. Counted: the system may still hold it
// after the asking thread gave up waiting.
class ActivationWaiter final : public IActivateAudioInterfaceCompletionHandler,
                               public IAgileObject {
public:
    ActivationWaiter() : m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ActivationWaiter(const ActivationWaiter&) = delete;
    ActivationWaiter& operator=(const ActivationWaiter&) = delete;

    HANDLE Done() const { return m_done; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (id == __uuidof(IUnknown) || id == __uuidof(IActivateAudioInterfaceCompletionHandler)) {
            *out = static_cast<IActivateAudioInterfaceCompletionHandler*>(this);
        } else if (id == __uuidof(IAgileObject)) {
            *out = static_cast<IAgileObject*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE ActivateCompleted(IActivateAudioInterfaceAsyncOperation*) override {
        SetEvent(m_done);
        return S_OK;
    }

private:
    ~ActivationWaiter() {
        if (m_done != nullptr) CloseHandle(m_done);
    }

    std::atomic<ULONG> m_references{1};
    HANDLE m_done;
};

// An audio client that records what processId and its children play: waits for the system at
// most timeoutMs, and not past stop being set (stop may be null). kActivationTimedOut when the
// system did not answer in time.
HRESULT ActivateProcessLoopback(DWORD processId, DWORD timeoutMs, HANDLE stop,
                                IAudioClient** client) {
    *client = nullptr;
    const ActivateFunction activate = LoadActivate();
    if (activate == nullptr) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    AUDIOCLIENT_ACTIVATION_PARAMS params{};
    params.ActivationType = AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK;
    params.ProcessLoopbackParams.TargetProcessId = processId;
    params.ProcessLoopbackParams.ProcessLoopbackMode =
        PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE;
    PROPVARIANT variant{};
    variant.vt = VT_BLOB;
    variant.blob.cbSize = sizeof params;
    variant.blob.pBlobData = reinterpret_cast<BYTE*>(&params);

    auto* waiter = new ActivationWaiter;
    if (waiter->Done() == nullptr) {
        waiter->Release();
        return HRESULT_FROM_WIN32(GetLastError());
    }
    IActivateAudioInterfaceAsyncOperation* operation = nullptr;
    HRESULT hr = activate(VIRTUAL_AUDIO_DEVICE_PROCESS_LOOPBACK, __uuidof(IAudioClient), &variant,
                          waiter, &operation);
    if (SUCCEEDED(hr)) {
        const HANDLE waits[] = {waiter->Done(), stop};
        const DWORD woken =
            WaitForMultipleObjects(stop != nullptr ? 2 : 1, waits, FALSE, timeoutMs);
        if (woken == WAIT_OBJECT_0 && operation != nullptr) {
            HRESULT result = E_FAIL;
            IUnknown* activated = nullptr;
            hr = operation->GetActivateResult(&result, &activated);
            if (SUCCEEDED(hr)) hr = result;
            if (SUCCEEDED(hr)) {
                hr = activated != nullptr
                         ? activated->QueryInterface(__uuidof(IAudioClient),
                                                     reinterpret_cast<void**>(client))
                         : E_NOINTERFACE;
            }
            Release(activated);
        } else if (woken == WAIT_OBJECT_0) {
            hr = E_POINTER;
        } else {
            hr = woken == WAIT_TIMEOUT ? kActivationTimedOut : E_ABORT;
        }
    }
    Release(operation);
    waiter->Release();
    return hr;
}

// One process heard: its loopback client, woken by audio for each packet, and the process, which
// signals when it ends. Thread: the feeder thread alone.
struct HeardProcess {
    std::uint32_t processId = kNoSinkInput;
    IAudioClient* client = nullptr;
    IAudioCaptureClient* capture = nullptr;
    HANDLE audio = nullptr;
    HANDLE process = nullptr;
    std::unique_ptr<WasapiPacketReader> reader;

    ~HeardProcess() { Close(); }

    HRESULT Open(DWORD id, HANDLE stop) {
        HRESULT hr = ActivateProcessLoopback(id, kActivationTimeoutMs, stop, &client);
        // What the application plays, converted by the audio engine: 16-bit stereo at 44100 Hz.
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 2;
        format.nSamplesPerSec = 44100;
        format.wBitsPerSample = 16;
        format.nBlockAlign = 4;
        format.nAvgBytesPerSec = 44100 * 4;
        if (SUCCEEDED(hr)) {
            hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                    AUDCLNT_STREAMFLAGS_LOOPBACK |
                                        AUDCLNT_STREAMFLAGS_EVENTCALLBACK |
                                        AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM,
                                    2000000, 0, &format, nullptr);
        }
        if (SUCCEEDED(hr)) {
            audio = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            hr = audio != nullptr ? client->SetEventHandle(audio) : E_OUTOFMEMORY;
        }
        if (SUCCEEDED(hr)) {
            hr = client->GetService(__uuidof(IAudioCaptureClient),
                                    reinterpret_cast<void**>(&capture));
        }
        if (SUCCEEDED(hr)) hr = client->Start();
        if (FAILED(hr)) {
            Close();
            return hr;
        }
        reader = std::make_unique<WasapiPacketReader>(format);
        process = OpenProcess(SYNCHRONIZE, FALSE, id);  // null: the looks alone notice its end
        processId = id;
        return S_OK;
    }

    void Close() {
        if (client != nullptr) client->Stop();
        Release(capture);
        Release(client);
        if (audio != nullptr) CloseHandle(audio);
        if (process != nullptr) CloseHandle(process);
        audio = process = nullptr;
        reader.reset();
        processId = kNoSinkInput;
    }
};

class ApplicationBuffer final : public RingCaptureBuffer {
public:
    ApplicationBuffer(std::uint32_t bytes, AudioInputChoice choice)
        : RingCaptureBuffer(bytes),
          m_choice(std::move(choice)),
          m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~ApplicationBuffer() override {
        Stop();
        WithdrawCaptureSourceDescription(this);
        if (m_stop != nullptr) CloseHandle(m_stop);
    }

    bool Ready() const { return IsValid() && m_stop != nullptr; }

    // Until the first look: nothing is heard yet.
    void PublishWaiting() { Publish({kNoSinkInput, m_choice.value, true}); }

    Result Start(bool) override {
        if (m_thread.joinable()) return kOk;
        ResetEvent(m_stop);
        m_running = true;
        m_thread = std::thread(&ApplicationBuffer::Feed, this);
        return kOk;
    }
    Result Stop() override {
        SetEvent(m_stop);
        if (m_thread.joinable()) m_thread.join();
        m_running = false;
        return kOk;
    }

private:
    // The feeder thread: looks, moves to the target, drains packets as they come; every wait
    // ends when Stop sets m_stop.
    void Feed() {
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        HeardProcess heard;
        std::vector<AudioApplicationInfo> sessions;
        std::uint32_t refused = kNoSinkInput;  // its activation failed: not tried again
        ULONGLONG nextLook = 0;
        for (;;) {
            if (GetTickCount64() >= nextLook) {
                Look(&heard, &sessions, &refused);
                nextLook = GetTickCount64() + kLookIntervalMs;
            }
            // m_stop first, then the heard process's audio and its end, when there are.
            enum Woken : DWORD { kStop, kAudio, kEnded, kNone };
            HANDLE waits[3] = {m_stop};
            Woken meaning[3] = {kStop, kNone, kNone};
            DWORD count = 1;
            if (heard.audio != nullptr) {
                waits[count] = heard.audio;
                meaning[count++] = kAudio;
            }
            if (heard.process != nullptr) {
                waits[count] = heard.process;
                meaning[count++] = kEnded;
            }
            const ULONGLONG now = GetTickCount64();
            const DWORD wait = nextLook > now ? static_cast<DWORD>(nextLook - now) : 0;
            const DWORD woken = WaitForMultipleObjects(count, waits, FALSE, wait);
            const Woken what =
                woken - WAIT_OBJECT_0 < count ? meaning[woken - WAIT_OBJECT_0] : kNone;
            if (what == kStop) break;
            if (what == kAudio) {
                heard.reader->Drain(heard.capture,
                                    [this](const std::uint8_t* data, std::uint32_t bytes) {
                                        Produce(data, bytes);
                                    });
            } else if (what == kEnded) {
                DebugOutput("Audio input: the application's process ended\n");
                heard.Close();
                nextLook = 0;
            } else if (woken == WAIT_FAILED) {
                if (WaitForSingleObject(m_stop, kLookIntervalMs) == WAIT_OBJECT_0) break;
            }
        }
        heard.Close();
        if (SUCCEEDED(com)) CoUninitialize();
    }

    // A look at the sessions: moves to the process the choice hears now, and publishes it.
    void Look(HeardProcess* heard, std::vector<AudioApplicationInfo>* sessions,
              std::uint32_t* refused) {
        sessions->clear();
        std::string error;
        if (!ListAudioSessions(sessions, &error)) sessions->clear();
        ApplicationTarget target = NextApplicationTarget(m_choice, *sessions, heard->processId);
        if (target.processId != heard->processId) {
            if (heard->processId != kNoSinkInput && target.processId == kNoSinkInput) {
                DebugOutput(("Audio input: \"" + m_choice.value + "\" plays nothing\n").c_str());
            }
            heard->Close();
            if (target.processId != kNoSinkInput && target.processId != *refused) {
                const HRESULT hr = heard->Open(target.processId, m_stop);
                if (SUCCEEDED(hr)) {
                    DebugOutput(("Audio input: hearing \"" + target.name + "\" (process " +
                                 std::to_string(target.processId) + ")\n")
                                    .c_str());
                } else if (hr != E_ABORT && hr != kActivationTimedOut) {
                    *refused = target.processId;
                    ReportAudioInputProblem("cannot record \"" + target.name +
                                            "\" alone (process " +
                                            std::to_string(target.processId) + "): " + Hex(hr));
                }
            }
        }
        if (heard->processId == kNoSinkInput) target.waiting = true;
        Publish(target);
    }

    void Publish(const ApplicationTarget& target) {
        std::string text = target.waiting ? target.name + " (waiting for sound)" : target.name;
        if (text == m_published) return;
        m_published = text;
        PublishCaptureSourceDescription(this, std::move(text));
    }

    AudioInputChoice m_choice;
    HANDLE m_stop;
    std::thread m_thread;
    std::string m_published;  // the feeder thread's, or the opening thread's before it starts
};

class ApplicationDevice final : public ICaptureDevice {
public:
    explicit ApplicationDevice(AudioInputChoice choice) : m_choice(std::move(choice)) {}

    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (buffer == nullptr) return kInvalidArg;
        if (format.nSamplesPerSec != 44100 || format.wBitsPerSample != 16 ||
            format.nChannels != 1) {
            return kBadFormat;
        }
        const Result checked = CheckLiveRequest(format, bufferBytes);
        if (checked != kOk) return checked;
        auto created = std::make_unique<ApplicationBuffer>(bufferBytes, m_choice);
        if (!created->Ready()) return kOutOfMemory;
        created->PublishWaiting();
        *buffer = std::move(created);
        return kOk;
    }

private:
    AudioInputChoice m_choice;
};

bool ServesApplication(const AudioInputChoice& choice) {
    return choice.kind == AudioInputKind::kApplication;
}

Result OpenApplication(const AudioInputChoice& choice, bool quiet,
                       std::unique_ptr<ICaptureDevice>* device) {
    // COM stays initialised on the user-interface thread for the rest of the run.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string problem = ProcessLoopbackProblem(kActivationTimeoutMs);
    if (!problem.empty()) {
        if (!quiet) ReportAudioInputProblem(problem);
        return kNoDriver;
    }
    *device = std::make_unique<ApplicationDevice>(choice);
    return kOk;
}

}  // namespace

std::string ProcessLoopbackProblem(DWORD timeoutMs) {
    static std::mutex lock;
    static std::optional<std::string> known;
    {
        const std::lock_guard<std::mutex> held(lock);
        if (known) return *known;
    }
    // Asking is the only sure test: build numbers vary (servers, Wine's own), and an older system
    // refuses the activation.
    std::string problem;
    if (LoadActivate() == nullptr) {
        problem = std::string(kNeedsVersion) + " (mmdevapi.dll has no ActivateAudioInterfaceAsync)";
    } else {
        IAudioClient* client = nullptr;
        const HRESULT hr =
            ActivateProcessLoopback(GetCurrentProcessId(), timeoutMs, nullptr, &client);
        Release(client);
        if (hr == kActivationTimedOut) {
            return "hearing one application: Windows did not answer the process loopback "
                   "activation within " +
                   std::to_string(timeoutMs) + " ms";
        }
        const std::string wine = WineVersion();
        const DWORD build = SystemBuild();
        const std::string activation = "activation: " + Hex(hr);
        if (FAILED(hr) && !wine.empty()) {
            problem = std::string(kNeedsVersion) + ": Wine " + wine + " has no process loopback (" +
                      activation + ")";
        } else if (FAILED(hr) && build != 0 && build < kFirstProcessLoopbackBuild) {
            problem = std::string(kNeedsVersion) + " (this is build " + std::to_string(build) +
                      "; " + activation + ")";
        } else if (FAILED(hr)) {
            problem =
                "hearing one application: Windows refuses process loopback (" + activation + ")";
        }
    }
    const std::lock_guard<std::mutex> held(lock);
    known = problem;
    return problem;
}

extern const CaptureBackend kProcessLoopbackBackend{"app", ServesApplication, OpenApplication,
                                                    nullptr};

}  // namespace kinetra::capture
