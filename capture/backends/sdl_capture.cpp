// Audio capture through SDL2: the default capture device, the default output's monitor
// ("Monitor of ..." under PulseAudio and PipeWire's pulse server), or a device by name.
#include <SDL2/SDL.h>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/backends/ring_capture_buffer.h"
#include "platform/debug_output.h"

namespace kinetra::capture {
namespace {

constexpr const char kMonitorPrefix[] = "Monitor of ";
constexpr int kCallbackFrames = 512;

// One reference on SDL's audio subsystem (SDL counts them), with monitors listed.
class SdlAudioSession {
public:
    SdlAudioSession() {
        SDL_SetHint(SDL_HINT_AUDIO_INCLUDE_MONITORS, "1");
        m_ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    ~SdlAudioSession() {
        if (m_ok) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    SdlAudioSession(const SdlAudioSession&) = delete;
    SdlAudioSession& operator=(const SdlAudioSession&) = delete;
    bool Ok() const { return m_ok; }

private:
    bool m_ok = false;
};

std::vector<std::string> CaptureNames() {
    std::vector<std::string> names;
    const int count = SDL_GetNumAudioDevices(1);
    for (int i = 0; i < count; ++i) {
        const char* name = SDL_GetAudioDeviceName(i, 1);
        if (name != nullptr) names.emplace_back(name);
    }
    return names;
}

// The monitor of the default output, or else the first monitor; empty when there is none.
std::string FindMonitor(const std::vector<std::string>& names) {
    char* sink = nullptr;
    SDL_AudioSpec format{};
    std::string wanted;
    if (SDL_GetDefaultAudioInfo(&sink, &format, 0) == 0 && sink != nullptr) {
        wanted = std::string(kMonitorPrefix) + sink;
    }
    SDL_free(sink);
    std::string first;
    for (const std::string& name : names) {
        if (!wanted.empty() && name == wanted) return name;
        if (first.empty() && name.rfind(kMonitorPrefix, 0) == 0) first = name;
    }
    return first;
}

class SdlCaptureBuffer final : public RingCaptureBuffer {
public:
    explicit SdlCaptureBuffer(std::uint32_t bytes) : RingCaptureBuffer(bytes) {}
    ~SdlCaptureBuffer() override {
        if (m_device != 0) SDL_CloseAudioDevice(m_device);
    }

    Result Open(const std::string& name, const WaveFormat& format) {
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(format.nSamplesPerSec);
        want.format = format.wBitsPerSample == 16 ? AUDIO_S16SYS : AUDIO_U8;
        want.channels = static_cast<Uint8>(format.nChannels);
        want.samples = kCallbackFrames;
        want.callback = &SdlCaptureBuffer::Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No allowed changes: SDL converts whatever the device delivers to this format.
        m_device = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 1, &want, &have, 0);
        if (m_device == 0) {
            ReportAudioInputProblem(std::string("cannot open the capture device: ") +
                                    SDL_GetError());
            return kFail;
        }
        return kOk;
    }

    Result Start(bool) override {
        if (m_device == 0) return kFail;
        m_running.store(true);
        SDL_PauseAudioDevice(m_device, 0);
        return kOk;
    }

    Result Stop() override {
        // Pausing takes the device's lock, so the callback has returned and is not called again.
        if (m_device != 0) SDL_PauseAudioDevice(m_device, 1);
        m_running.store(false);
        return kOk;
    }

private:
    // SDL's audio thread: copy and notify only.
    static void SDLCALL Callback(void* userdata, Uint8* stream, int len) {
        if (len > 0)
            static_cast<SdlCaptureBuffer*>(userdata)->Produce(stream,
                                                              static_cast<std::uint32_t>(len));
    }

    SDL_AudioDeviceID m_device = 0;
};

class SdlCaptureDevice final : public ICaptureDevice {
public:
    explicit SdlCaptureDevice(std::string name) : m_name(std::move(name)) {}

    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (buffer == nullptr) return kInvalidArg;
        const Result checked = CheckLiveRequest(format, bufferBytes);
        if (checked != kOk) return checked;
        auto created = std::make_unique<SdlCaptureBuffer>(bufferBytes);
        if (!created->IsValid()) return kOutOfMemory;
        const Result result = created->Open(m_name, format);
        if (result != kOk) return result;
        *buffer = std::move(created);
        return kOk;
    }

    SdlAudioSession& Session() { return m_session; }

private:
    SdlAudioSession m_session;  // released after every buffer (buffers die before the device)
    std::string m_name;         // empty: the default capture device
};

}  // namespace

namespace {

// Names of SDL's capture devices (monitors included) as ids "sdl:NAME"; empty when SDL audio
// cannot start.
std::vector<CaptureDeviceInfo> ListSdlCaptureDevices() {
    SdlAudioSession session;
    if (!session.Ok()) return {};
    std::vector<CaptureDeviceInfo> devices;
    for (const std::string& name : CaptureNames()) devices.push_back({"sdl:" + name, name});
    return devices;
}

// kDefault, kMonitor or kNamed, unless PulseAudio alone is asked for ("sdl:..." names are SDL's
// whatever the backend).
bool ServesSdl(const AudioInputChoice& choice) {
    const AudioInputKind kind = choice.kind;
    const bool live = kind == AudioInputKind::kDefault || kind == AudioInputKind::kMonitor ||
                      kind == AudioInputKind::kNamed;
    return live && (choice.sdlOnly || choice.backend != AudioBackendChoice::kPulse);
}

Result OpenSdlCaptureDevice(const AudioInputChoice& choice, bool /*quiet*/,
                            std::unique_ptr<ICaptureDevice>* device) {
    const AudioInputKind kind = choice.kind;
    const std::string& name = choice.value;
    auto session = std::make_unique<SdlAudioSession>();
    if (!session->Ok()) {
        ReportAudioInputProblem(std::string("cannot start SDL audio: ") + SDL_GetError());
        return kNoDriver;
    }
    std::string chosen;
    if (kind == AudioInputKind::kMonitor) {
        chosen = FindMonitor(CaptureNames());
        if (chosen.empty()) {
            ReportAudioInputProblem(
                "no monitor of an output found (needs PulseAudio or PipeWire's pulse server)");
            return kNoDriver;
        }
    } else if (kind == AudioInputKind::kNamed) {
        bool found = false;
        for (const std::string& candidate : CaptureNames()) found = found || candidate == name;
        if (!found) {
            ReportAudioInputProblem("no capture device called \"" + name + "\"");
            return kNoDriver;
        }
        chosen = name;
    } else if (SDL_GetNumAudioDevices(1) == 0) {
        const char* driver = SDL_GetCurrentAudioDriver();
        ReportAudioInputProblem(std::string("no capture device found (SDL audio driver: ") +
                                (driver != nullptr ? driver : "none") + ")");
        return kNoDriver;
    }
    // The device keeps its own reference; this one was only for the look-up.
    auto opened = std::make_unique<SdlCaptureDevice>(chosen);
    if (!opened->Session().Ok()) return kNoDriver;
    *device = std::move(opened);
    return kOk;
}

}  // namespace

extern const CaptureBackend kSdlCaptureBackend{"sdl", ServesSdl, OpenSdlCaptureDevice,
                                               ListSdlCaptureDevices};

}  // namespace kinetra::capture
