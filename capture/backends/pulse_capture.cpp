// Audio capture straight from a PulseAudio server (or PipeWire's pulse server): the default
// source, the default output's monitor, or a source by name. A record stream with small
// fragments on a threaded main loop; its read callback only copies into the ring and raises the
// notifications.
#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/backends/pulse_connection.h"
#include "capture/backends/ring_capture_buffer.h"
#include "platform/debug_output.h"

namespace kinetra::capture {
namespace {

using namespace pulse;

// Fragment the server hands over at a time: 256 frames, about 5.8 ms at 44100 Hz.
constexpr std::uint32_t kFragmentFrames = 256;

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

class PulseCaptureBuffer final : public RingCaptureBuffer {
public:
    PulseCaptureBuffer(std::uint32_t bytes, std::shared_ptr<PulseConnection> connection)
        : RingCaptureBuffer(bytes), m_connection(std::move(connection)) {}

    ~PulseCaptureBuffer() override {
        Stop();
        pa_threaded_mainloop_lock(m_connection->Loop());
        m_connection->SetLostHandler(nullptr);
        if (m_retry != nullptr)
            pa_threaded_mainloop_get_api(m_connection->Loop())->time_free(m_retry);
        m_retry = nullptr;
        DropPending();
        // No event or answer of the server reaches this buffer after this.
        pa_context_set_subscribe_callback(m_connection->Context(), nullptr, nullptr);
        if (m_stream != nullptr) pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
        for (pa_operation* op : m_operations) {
            if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_operation_cancel(op);
            pa_operation_unref(op);
        }
        m_operations.clear();
        pa_threaded_mainloop_unlock(m_connection->Loop());
        WithdrawCaptureSourceDescription(this);
        if (m_stream != nullptr) {
            pa_threaded_mainloop_lock(m_connection->Loop());
            pa_stream_set_read_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
            pa_threaded_mainloop_unlock(m_connection->Loop());
        }
    }

    // Opens a stream on source (null: the server's default source) for kind, corked, and starts
    // following what kind means as the server changes (Follow). Thread: user-interface thread.
    Result Open(AudioInputKind kind, const char* source, const WaveFormat& format) {
        pa_sample_spec sampleSpec{};
        sampleSpec.format = format.wBitsPerSample == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
        sampleSpec.rate = format.nSamplesPerSec;
        sampleSpec.channels = static_cast<std::uint8_t>(format.nChannels);
        if (!pa_sample_spec_valid(&sampleSpec)) return kBadFormat;
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = kFragmentFrames * format.nBlockAlign;
        attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);

        m_kind = kind;
        m_spec = sampleSpec;
        m_attr = attr;
        m_hasSource = source != nullptr;
        if (source != nullptr) m_source = source;
        pa_threaded_mainloop* loop = m_connection->Loop();
        pa_threaded_mainloop_lock(loop);
        m_stream = pa_stream_new(m_connection->Context(), "Kinetra capture", &sampleSpec, nullptr);
        Result result = kOk;
        if (m_stream == nullptr) {
            result = kFail;
        } else {
            pa_stream_set_read_callback(m_stream, &PulseCaptureBuffer::OnRead, this);
            pa_stream_set_moved_callback(m_stream, &PulseCaptureBuffer::OnStreamMoved, this);
            // Corked until Start: nothing arrives before the notifications are in place.
            const auto flags =
                static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
            if (pa_stream_connect_record(m_stream, source, &attr, flags) < 0) result = kFail;
        }
        if (result == kOk) result = WaitReady(loop);
        // While the server is away nothing is heard; the description comes back with it.
        if (result == kOk) {
            m_connection->SetLostHandler([this] {
                PublishCaptureSourceDescription(this, {});
                ScheduleRetry();
            });
        }
        if (result == kOk) Follow(m_connection->Context());
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
    // Reconnecting after the server went away: a new context every kRetryUs until one is ready,
    // then a new record stream on it, corked as the old one was. All on the main loop's thread
    // (callbacks run with the loop's lock held), so the stream is swapped under the same lock
    // that Cork and the destructor take.
    static constexpr pa_usec_t kRetryUs = 250 * 1000;

    void ScheduleRetry() {
        if (m_retry != nullptr || m_pending != nullptr) return;
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_connection->Loop());
        timeval when{};
        pa_gettimeofday(&when);
        pa_timeval_add(&when, kRetryUs);
        m_retry = api->time_new(api, &when, &PulseCaptureBuffer::OnRetry, this);
    }

    static void OnRetry(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self) {
        auto* buffer = static_cast<PulseCaptureBuffer*>(self);
        api->time_free(event);
        buffer->m_retry = nullptr;
        pa_context* context = pa_context_new(api, "Kinetra");
        if (context == nullptr) return buffer->ScheduleRetry();
        // The state callback only once connecting has begun: a refusal on the spot (no server
        // yet) is handled here, and later changes come through the callback.
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            !PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
            pa_context_unref(context);
            return buffer->ScheduleRetry();
        }
        pa_context_set_state_callback(context, &PulseCaptureBuffer::OnPendingState, buffer);
        buffer->m_pending = context;
    }

    static void OnPendingState(pa_context* context, void* self) {
        auto* buffer = static_cast<PulseCaptureBuffer*>(self);
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY) {
            buffer->m_pending = nullptr;
            if (buffer->Resume(context)) return;
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
            return buffer->ScheduleRetry();
        }
        if (!PA_CONTEXT_IS_GOOD(state)) {
            buffer->m_pending = nullptr;
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_unref(context);
            buffer->ScheduleRetry();
        }
    }

    // A new stream on context, which the connection then adopts; the stream follows the server
    // from there (the default output's monitor is the then-default one's). False when it cannot
    // record. Main loop's thread.
    bool Resume(pa_context* context) {
        if (!ReplaceStream(context, m_hasSource ? m_source.c_str() : nullptr)) return false;
        m_connection->Adopt(context);
        ReportAudioInputProblem("reconnected to the PulseAudio server");
        Follow(context);
        return true;
    }

    // A new record stream on context from source (null: the default source) in place of the
    // current one, running or corked as the capture is. False, the old stream kept, when it
    // cannot be connected. Main loop's thread (or with the loop's lock held).
    bool ReplaceStream(pa_context* context, const char* source) {
        pa_stream* stream = pa_stream_new(context, "Kinetra capture", &m_spec, nullptr);
        if (stream == nullptr) return false;
        const bool running = m_running.load();
        auto flags = PA_STREAM_ADJUST_LATENCY;
        if (!running) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED);
        pa_stream_set_state_callback(stream, &PulseCaptureBuffer::OnState, m_connection->Loop());
        if (running) pa_stream_set_read_callback(stream, &PulseCaptureBuffer::OnRead, this);
        pa_stream_set_moved_callback(stream, &PulseCaptureBuffer::OnStreamMoved, this);
        if (pa_stream_connect_record(stream, source, &m_attr, flags) < 0) {
            pa_stream_set_read_callback(stream, nullptr, nullptr);
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_moved_callback(stream, nullptr, nullptr);
            pa_stream_unref(stream);
            return false;
        }
        if (m_stream != nullptr) {
            pa_stream_set_read_callback(m_stream, nullptr, nullptr);
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
        m_stream = stream;
        return true;
    }

    // Following the server: its events on context (a changed default output or source), and the
    // stream's moves (by the server or by us), bring a fresh look at what the stream should hear
    // (Refresh). For the default output's monitor the
    // stream is moved to the new default's monitor while it runs; the description of what it
    // hears is published each time. Every function and callback from here to OnMoved runs on the
    // main loop's thread, or on the user-interface thread with the loop's lock held (Open); the
    // callbacks get this buffer, and the destructor removes the subscription and cancels every
    // operation still running (m_operations) under the same lock, so none comes after it.
    void Follow(pa_context* context) {
        pa_context_set_subscribe_callback(context, &PulseCaptureBuffer::OnEvent, this);
        Track(pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr));
        Refresh(context);
    }

    void Refresh(pa_context* context) {
        Track(pa_context_get_server_info(context, &PulseCaptureBuffer::OnServerInfo, this));
    }

    static void OnEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t,
                        void* self) {
        const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
            static_cast<PulseCaptureBuffer*>(self)->Refresh(context);
        }
    }

    static void OnStreamMoved(pa_stream* stream, void* self) {
        static_cast<PulseCaptureBuffer*>(self)->Refresh(pa_stream_get_context(stream));
    }

    static void OnServerInfo(pa_context* context, const pa_server_info* info, void* self) {
        auto* buffer = static_cast<PulseCaptureBuffer*>(self);
        if (info == nullptr) return;
        if (buffer->m_kind == AudioInputKind::kMonitor) {
            if (info->default_sink_name == nullptr) return;
            buffer->Track(pa_context_get_sink_info_by_name(
                context, info->default_sink_name, &PulseCaptureBuffer::OnDefaultSink, self));
            return;
        }
        // The source the stream records (the client's own default may differ from the
        // server's), else the one it asked for.
        const char* source =
            buffer->m_hasSource ? buffer->m_source.c_str() : info->default_source_name;
        if (buffer->m_stream != nullptr &&
            pa_stream_get_state(buffer->m_stream) == PA_STREAM_READY &&
            pa_stream_get_device_name(buffer->m_stream) != nullptr) {
            source = pa_stream_get_device_name(buffer->m_stream);
        }
        if (source == nullptr) return;
        buffer->Track(pa_context_get_source_info_by_name(context, source,
                                                         &PulseCaptureBuffer::OnSourceInfo, self));
    }

    static void OnSourceInfo(pa_context*, const pa_source_info* info, int, void* self) {
        if (info == nullptr) return;
        PublishCaptureSourceDescription(self, TextOrEmpty(info->description));
    }

    // The default output: when the stream records another source than its monitor, the stream
    // moves there (or, where the server refuses the move, a new stream opens on it).
    static void OnDefaultSink(pa_context* context, const pa_sink_info* info, int, void* self) {
        auto* buffer = static_cast<PulseCaptureBuffer*>(self);
        if (info == nullptr || info->monitor_source_name == nullptr ||
            buffer->m_stream == nullptr) {
            return;
        }
        buffer->m_followedMonitor = info->monitor_source_name;
        buffer->m_followedDescription = TextOrEmpty(info->description);
        // A stream the server ended (its source went away) is opened again on the monitor.
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(buffer->m_stream))) {
            if (buffer->ReplaceStream(context, buffer->m_followedMonitor.c_str())) {
                PublishCaptureSourceDescription(self, buffer->m_followedDescription);
            }
            return;
        }
        // A stream still connecting (just reconnected or replaced) was asked for the default
        // monitor or this one; it cannot be moved before it is ready.
        const bool ready = pa_stream_get_state(buffer->m_stream) == PA_STREAM_READY;
        const char* current = ready ? pa_stream_get_device_name(buffer->m_stream) : nullptr;
        if (!ready || (current != nullptr && buffer->m_followedMonitor == current)) {
            PublishCaptureSourceDescription(self, buffer->m_followedDescription);
            return;
        }
        DebugOutput(("Audio input: following the default output to \"" +
                     buffer->m_followedDescription + "\"\n")
                        .c_str());
        buffer->Track(pa_context_move_source_output_by_name(
            context, pa_stream_get_index(buffer->m_stream), info->monitor_source_name,
            &PulseCaptureBuffer::OnMoved, self));
    }

    static void OnMoved(pa_context* context, int success, void* self) {
        auto* buffer = static_cast<PulseCaptureBuffer*>(self);
        if (success == 0 && !buffer->ReplaceStream(context, buffer->m_followedMonitor.c_str())) {
            ReportAudioInputProblem("cannot record from " + buffer->m_followedMonitor + ": " +
                                    pa_strerror(pa_context_errno(context)));
            return;
        }
        PublishCaptureSourceDescription(self, buffer->m_followedDescription);
    }

    // Keeps op until it ends, letting go of those that have. Main loop's thread or lock held.
    void Track(pa_operation* op) {
        if (op == nullptr) return;
        std::erase_if(m_operations, [](pa_operation* kept) {
            if (pa_operation_get_state(kept) == PA_OPERATION_RUNNING) return false;
            pa_operation_unref(kept);
            return true;
        });
        m_operations.push_back(op);
    }

    void DropPending() {
        if (m_pending == nullptr) return;
        pa_context_set_state_callback(m_pending, nullptr, nullptr);
        pa_context_disconnect(m_pending);
        pa_context_unref(m_pending);
        m_pending = nullptr;
    }

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
    pa_sample_spec m_spec{};
    pa_buffer_attr m_attr{};
    std::string m_source;
    bool m_hasSource = false;
    pa_time_event* m_retry = nullptr;  // the next reconnection attempt
    pa_context* m_pending = nullptr;   // a context connecting, not yet ready
    AudioInputKind m_kind = AudioInputKind::kDefault;
    // Operations whose callbacks get this buffer, until they end (Track).
    std::vector<pa_operation*> m_operations;
    // The default output being followed: its monitor and description (OnDefaultSink).
    std::string m_followedMonitor;
    std::string m_followedDescription;
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
        const Result result = created->Open(m_kind, SourceFor(m_kind, m_name), format);
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
    if (RecentlySilent()) {
        if (!quiet) ReportAudioInputProblem(kSilentServer);
        return kNoDriver;
    }
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

AudioSourceList ListPulseSources(int timeoutMs) {
    AudioSourceList list;
    if (RecentlySilent()) return list;
    const pa_usec_t timeout = UsFromMs(timeoutMs);
    const pa_usec_t deadline = pa_rtclock_now() + timeout;  // connecting and asking together
    PulseConnection connection;
    std::string error;
    if (!connection.Open(&error, timeout)) return list;
    connection.ListSources(deadline, &list);
    return list;
}

PulseServerState ProbePulseServer() {
    if (RecentlySilent()) return PulseServerState::kSilent;
    PulseConnection connection;
    std::string error;
    if (connection.Open(&error)) return PulseServerState::kAnswers;
    return connection.TimedOut() ? PulseServerState::kSilent : PulseServerState::kAbsent;
}

extern const CaptureBackend kPulseCaptureBackend{"pulse", ServesPulse, OpenPulseCaptureDevice,
                                                 nullptr};

}  // namespace kinetra::capture
