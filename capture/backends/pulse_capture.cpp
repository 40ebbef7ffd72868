// Audio capture straight from a PulseAudio server (or PipeWire's pulse server): the default
// source, the default output's monitor, or a source by name. A record stream with small
// fragments on a threaded main loop; its read callback only copies into the ring and raises the
// notifications.
#include <pulse/pulseaudio.h>

#include <string>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/backends/ring_capture_buffer.h"

namespace kinetra::capture {
namespace {

// Fragment the server hands over at a time: 256 frames, about 5.8 ms at 44100 Hz.
constexpr std::uint32_t kFragmentFrames = 256;
// How long opening waits for the server before giving up.
constexpr pa_usec_t kConnectTimeoutUs = 3 * 1000 * 1000;

const char* SourceFor(AudioInputKind kind, const std::string& name) {
    switch (kind) {
        case AudioInputKind::kMonitor:
            return "@DEFAULT_MONITOR@";
        case AudioInputKind::kNamed:
            return name.c_str();
        default:
            return nullptr;  // the server's default source
    }
}

// A threaded main loop with a ready context. Thread: user-interface thread.
class PulseConnection {
public:
    ~PulseConnection() { Close(); }

    bool Open(std::string* error) {
        m_loop = pa_threaded_mainloop_new();
        if (m_loop == nullptr) return Fail(error, "cannot create a PulseAudio main loop");
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Kinetra");
        if (m_context == nullptr) return Fail(error, "cannot create a PulseAudio context");
        pa_context_set_state_callback(m_context, &PulseConnection::OnState, this);
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return Fail(error, std::string("no PulseAudio server: ") +
                                   pa_strerror(pa_context_errno(m_context)));
        }
        if (pa_threaded_mainloop_start(m_loop) < 0) {
            return Fail(error, "cannot start the PulseAudio main loop");
        }
        m_started = true;
        pa_threaded_mainloop_lock(m_loop);
        const pa_usec_t deadline = pa_rtclock_now() + kConnectTimeoutUs;
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY) break;
            if (!PA_CONTEXT_IS_GOOD(state) || pa_rtclock_now() > deadline) {
                pa_threaded_mainloop_unlock(m_loop);
                return Fail(error, std::string("cannot reach the PulseAudio server: ") +
                                       pa_strerror(pa_context_errno(m_context)));
            }
            // Woken by the state callback; the deadline is looked at again at least every
            // state change, and the server answers or fails within it.
            pa_threaded_mainloop_wait(m_loop);
        }
        pa_threaded_mainloop_unlock(m_loop);
        return true;
    }

    void Close() {
        if (m_started) pa_threaded_mainloop_stop(m_loop);
        m_started = false;
        if (m_context != nullptr) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
        if (m_loop != nullptr) {
            pa_threaded_mainloop_free(m_loop);
            m_loop = nullptr;
        }
    }

    // True when the server has a source called name. Thread: user-interface thread.
    bool HasSource(const std::string& name) {
        struct Query {
            pa_threaded_mainloop* loop;
            bool done = false;
            bool found = false;
        } query{m_loop};
        pa_threaded_mainloop_lock(m_loop);
        pa_operation* op = pa_context_get_source_info_by_name(
            m_context, name.c_str(),
            [](pa_context*, const pa_source_info* info, int eol, void* q) {
                auto* query = static_cast<Query*>(q);
                if (info != nullptr) query->found = true;
                if (eol != 0 || info == nullptr) query->done = true;
                pa_threaded_mainloop_signal(query->loop, 0);
            },
            &query);
        const pa_usec_t deadline = pa_rtclock_now() + kConnectTimeoutUs;
        while (op != nullptr && !query.done && pa_operation_get_state(op) == PA_OPERATION_RUNNING &&
               pa_rtclock_now() < deadline) {
            pa_threaded_mainloop_wait(m_loop);
        }
        if (op != nullptr) pa_operation_unref(op);
        pa_threaded_mainloop_unlock(m_loop);
        return query.found;
    }

    pa_threaded_mainloop* Loop() const { return m_loop; }
    pa_context* Context() const { return m_context; }

private:
    static void OnState(pa_context*, void* self) {
        pa_threaded_mainloop_signal(static_cast<PulseConnection*>(self)->m_loop, 0);
    }

    bool Fail(std::string* error, std::string text) {
        *error = std::move(text);
        Close();
        return false;
    }

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    bool m_started = false;
};

class PulseCaptureBuffer final : public RingCaptureBuffer {
public:
    PulseCaptureBuffer(std::uint32_t bytes, std::shared_ptr<PulseConnection> connection)
        : RingCaptureBuffer(bytes), m_connection(std::move(connection)) {}

    ~PulseCaptureBuffer() override {
        Stop();
        if (m_stream != nullptr) {
            pa_threaded_mainloop_lock(m_connection->Loop());
            pa_stream_set_read_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
            pa_threaded_mainloop_unlock(m_connection->Loop());
        }
    }

    Result Open(const char* source, const WaveFormat& format) {
        pa_sample_spec sampleSpec{};
        sampleSpec.format = format.wBitsPerSample == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
        sampleSpec.rate = format.nSamplesPerSec;
        sampleSpec.channels = static_cast<std::uint8_t>(format.nChannels);
        if (!pa_sample_spec_valid(&sampleSpec)) return kBadFormat;
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = kFragmentFrames * format.nBlockAlign;
        attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);

        pa_threaded_mainloop* loop = m_connection->Loop();
        pa_threaded_mainloop_lock(loop);
        m_stream = pa_stream_new(m_connection->Context(), "Kinetra capture", &sampleSpec, nullptr);
        Result result = kOk;
        if (m_stream == nullptr) {
            result = kFail;
        } else {
            pa_stream_set_read_callback(m_stream, &PulseCaptureBuffer::OnRead, this);
            // Corked until Start: nothing arrives before the notifications are in place.
            const auto flags =
                static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
            if (pa_stream_connect_record(m_stream, source, &attr, flags) < 0) result = kFail;
        }
        if (result == kOk) result = WaitReady(loop);
        const std::string reason = pa_strerror(pa_context_errno(m_connection->Context()));
        pa_threaded_mainloop_unlock(loop);
        if (result != kOk) {
            ReportAudioInputProblem(std::string("cannot record from ") +
                                    (source != nullptr ? source : "the default source") + ": " +
                                    reason);
        }
        return result;
    }

    Result Start(bool) override { return Cork(false); }
    Result Stop() override { return Cork(true); }

private:
    Result WaitReady(pa_threaded_mainloop* loop) {
        pa_stream_set_state_callback(m_stream, &PulseCaptureBuffer::OnState, loop);
        const pa_usec_t deadline = pa_rtclock_now() + kConnectTimeoutUs;
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY) return kOk;
            if (!PA_STREAM_IS_GOOD(state) || pa_rtclock_now() > deadline) return kNoDriver;
            pa_threaded_mainloop_wait(loop);
        }
    }

    Result Cork(bool cork) {
        if (m_stream == nullptr) return kFail;
        if (!cork) m_running.store(true);
        pa_threaded_mainloop* loop = m_connection->Loop();
        pa_threaded_mainloop_lock(loop);
        // Corking runs on the main loop thread; once this holds the loop's lock no read
        // callback is running, and while corked none is called again.
        pa_operation* op = pa_stream_cork(m_stream, cork ? 1 : 0, nullptr, nullptr);
        if (op != nullptr) pa_operation_unref(op);
        if (cork) pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        if (!cork) pa_stream_set_read_callback(m_stream, &PulseCaptureBuffer::OnRead, this);
        pa_threaded_mainloop_unlock(loop);
        if (cork) m_running.store(false);
        return op != nullptr ? kOk : kFail;
    }

    static void OnState(pa_stream*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }

    // The main loop's thread: copy and notify only.
    static void OnRead(pa_stream* stream, std::size_t, void* self) {
        auto* buffer = static_cast<PulseCaptureBuffer*>(self);
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(stream) > 0) {
            if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
            if (data != nullptr) {
                buffer->Produce(static_cast<const std::uint8_t*>(data),
                                static_cast<std::uint32_t>(bytes));
            } else {
                buffer->ProduceSilence(static_cast<std::uint32_t>(bytes));  // a hole
            }
            pa_stream_drop(stream);
        }
    }

    void ProduceSilence(std::uint32_t bytes) {
        static const std::uint8_t zeros[1024] = {};
        while (bytes > 0) {
            const std::uint32_t chunk = bytes < sizeof zeros ? bytes : sizeof zeros;
            Produce(zeros, chunk);
            bytes -= chunk;
        }
    }

    std::shared_ptr<PulseConnection> m_connection;
    pa_stream* m_stream = nullptr;
};

class PulseCaptureDevice final : public ICaptureDevice {
public:
    PulseCaptureDevice(std::shared_ptr<PulseConnection> connection, AudioInputKind kind,
                       std::string name)
        : m_connection(std::move(connection)), m_kind(kind), m_name(std::move(name)) {}

    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (buffer == nullptr) return kInvalidArg;
        const Result checked = CheckLiveRequest(format, bufferBytes);
        if (checked != kOk) return checked;
        auto created = std::make_unique<PulseCaptureBuffer>(bufferBytes, m_connection);
        if (!created->IsValid()) return kOutOfMemory;
        const Result result = created->Open(SourceFor(m_kind, m_name), format);
        if (result != kOk) return result;
        *buffer = std::move(created);
        return kOk;
    }

private:
    std::shared_ptr<PulseConnection> m_connection;
    AudioInputKind m_kind;
    std::string m_name;
};

}  // namespace

namespace {

// kDefault the default source, kMonitor the default output's monitor, kNamed a source by its
// server name; not for "sdl:..." names or when SDL alone is asked for.
bool ServesPulse(const AudioInputChoice& choice) {
    const AudioInputKind kind = choice.kind;
    const bool live = kind == AudioInputKind::kDefault || kind == AudioInputKind::kMonitor ||
                      kind == AudioInputKind::kNamed;
    return live && !choice.sdlOnly && choice.backend != AudioBackendChoice::kSdl;
}

Result OpenPulseCaptureDevice(const AudioInputChoice& choice, bool quiet,
                              std::unique_ptr<ICaptureDevice>* device) {
    const AudioInputKind kind = choice.kind;
    const std::string& name = choice.value;
    auto connection = std::make_shared<PulseConnection>();
    std::string error;
    if (!connection->Open(&error)) {
        if (!quiet) ReportAudioInputProblem(error);
        return kNoDriver;
    }
    if (kind == AudioInputKind::kNamed && !connection->HasSource(name)) {
        if (!quiet)
            ReportAudioInputProblem("the sound server has no source called \"" + name + "\"");
        return kNoDriver;
    }
    *device = std::make_unique<PulseCaptureDevice>(std::move(connection), kind, name);
    return kOk;
}

}  // namespace

extern const CaptureBackend kPulseCaptureBackend{"pulse", ServesPulse, OpenPulseCaptureDevice,
                                                 nullptr};

}  // namespace kinetra::capture
