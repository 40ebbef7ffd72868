// Audio capture straight from a PulseAudio server (or PipeWire's pulse server): the default
// source, the default output's monitor, a source by name, or what one application plays. A record
// stream with small fragments on a threaded main loop; its read callback only copies into the ring
// and raises the notifications.
#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "capture/audio_applications.h"
#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/backends/pulse_connection.h"
#include "capture/backends/ring_capture_buffer.h"
#include "platform/debug_output.h"

namespace kinetra::capture {
namespace {

using namespace pulse;

// Fragment the server hands over at a time: 1024 frames, one block (23.2 ms at 44100 Hz). Each
// fragment wakes the main loop's thread, the largest part of the program's CPU use while its
// window is hidden: 256 frames cost four times the wakeups, 512 twice. A block is analysed when
// its last frame is in, so a fragment of a block adds no wait when the two line up, as they do
// from the stream's start; from an output's monitor (the usual input) the server also renders
// further ahead of what is heard, which gives back what is lost when they do not.
constexpr std::uint32_t kFragmentFrames = 1024;

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
        if (m_stream != nullptr) {
            pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        }
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
        if (!SetFormat(format)) return kBadFormat;
        const pa_sample_spec sampleSpec = m_spec;
        const pa_buffer_attr attr = m_attr;
        m_kind = kind;
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
        if (result == kOk) HandleLoss();
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

    // Hears the application choice names (FindApplicationStream), corked, and follows it from
    // then on (Follow): waits up to the connect deadline for the first look at the server's
    // streams and, when one plays, for a stream that records it. With nothing playing the
    // capture opens all the same and waits for sound. Thread: user-interface thread.
    Result OpenApplication(const AudioInputChoice& choice, const WaveFormat& format) {
        if (!SetFormat(format)) return kBadFormat;
        m_kind = AudioInputKind::kApplication;
        m_application = choice;
        pa_threaded_mainloop* loop = m_connection->Loop();
        pa_threaded_mainloop_lock(loop);
        std::string problem = MonitorStreamUnsupported(m_connection->Context());
        if (problem.empty()) {
            HandleLoss();
            Follow(m_connection->Context());
            problem = WaitSettled(loop);
        }
        m_opened = true;
        pa_threaded_mainloop_unlock(loop);
        if (problem.empty()) return kOk;
        ReportAudioInputProblem(problem);
        return kNoDriver;
    }

    Result Start(bool) override { return Cork(false); }
    Result Stop() override { return Cork(true); }

private:
    bool SetFormat(const WaveFormat& format) {
        m_spec.format = format.wBitsPerSample == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
        m_spec.rate = format.nSamplesPerSec;
        m_spec.channels = static_cast<std::uint8_t>(format.nChannels);
        m_attr.maxlength = static_cast<std::uint32_t>(-1);
        m_attr.fragsize = kFragmentFrames * format.nBlockAlign;
        m_attr.tlength = m_attr.prebuf = m_attr.minreq = static_cast<std::uint32_t>(-1);
        return pa_sample_spec_valid(&m_spec) != 0;
    }

    // While the server is away nothing is heard; the description comes back with it.
    void HandleLoss() {
        m_connection->SetLostHandler([this] {
            PublishCaptureSourceDescription(this, {});
            ScheduleRetry();
        });
    }

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
        if (m_kind == AudioInputKind::kApplication) {
            DropStream();  // it belonged to the lost context; Follow finds the application again
            m_heardInput = PA_INVALID_INDEX;
            m_listing = false;
        } else if (!ReplaceStream(context, m_hasSource ? m_source.c_str() : nullptr)) {
            return false;
        }
        m_connection->Adopt(context);
        ReportAudioInputProblem("reconnected to the PulseAudio server");
        Follow(context);
        return true;
    }

    // A new record stream on context from source (null: the default source) in place of the
    // current one, running or corked as the capture is; with monitorInput, one that records only
    // what that sink input plays (source must be its sink's monitor). False, the old stream
    // kept, when it cannot be connected. Main loop's thread (or with the loop's lock held).
    bool ReplaceStream(pa_context* context, const char* source,
                       std::uint32_t monitorInput = PA_INVALID_INDEX) {
        pa_stream* stream = pa_stream_new(context, "Kinetra capture", &m_spec, nullptr);
        if (stream == nullptr) return false;
        const bool running = m_running.load();
        auto flags = PA_STREAM_ADJUST_LATENCY;
        if (!running) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED);
        if (monitorInput != PA_INVALID_INDEX) {
            // The server ends such a stream when its sink input goes or moves; Follow then
            // opens the next one.
            flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
            if (pa_stream_set_monitor_stream(stream, monitorInput) < 0) {
                pa_stream_unref(stream);
                return false;
            }
            pa_stream_set_state_callback(stream, &PulseCaptureBuffer::OnMonitorState, this);
        } else {
            pa_stream_set_state_callback(stream, &PulseCaptureBuffer::OnState,
                                         m_connection->Loop());
        }
        if (running) pa_stream_set_read_callback(stream, &PulseCaptureBuffer::OnRead, this);
        pa_stream_set_moved_callback(stream, &PulseCaptureBuffer::OnStreamMoved, this);
        if (pa_stream_connect_record(stream, source, &m_attr, flags) < 0) {
            pa_stream_set_read_callback(stream, nullptr, nullptr);
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_moved_callback(stream, nullptr, nullptr);
            pa_stream_unref(stream);
            return false;
        }
        DropStream();
        m_stream = stream;
        return true;
    }

    // Lets the stream go, without a callback after it. Main loop's thread or lock held.
    void DropStream() {
        if (m_stream == nullptr) return;
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
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
        auto mask = PA_SUBSCRIPTION_MASK_SERVER;
        if (m_kind == AudioInputKind::kApplication) {
            mask = static_cast<pa_subscription_mask_t>(mask | PA_SUBSCRIPTION_MASK_SINK_INPUT);
        }
        Track(pa_context_subscribe(context, mask, nullptr, nullptr));
        Refresh(context);
    }

    void Refresh(pa_context* context) {
        if (m_kind == AudioInputKind::kApplication) return ListStreams(context);
        Track(pa_context_get_server_info(context, &PulseCaptureBuffer::OnServerInfo, this));
    }

    static void OnEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t,
                        void* self) {
        const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SERVER ||
            facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT) {
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

    // Following one application: every event about the server's streams (one starts, ends,
    // pauses, moves to another output) brings a fresh list of them (ListStreams, one listing at
    // a time) and a fresh choice (Choose). A new choice opens a stream on the monitor of the
    // chosen stream's output that records that stream alone (OnTargetSink). What is heard is
    // published as the application's name, with " (waiting for sound)" while nothing plays.
    // Same threads and lifetime as above: the callbacks get this buffer and end before it goes.
    void ListStreams(pa_context* context) {
        if (m_listing) {
            m_relist = true;
            return;
        }
        m_relist = false;
        m_streams.clear();
        pa_operation* op =
            pa_context_get_sink_input_info_list(context, &PulseCaptureBuffer::OnStreamInfo, this);
        m_listing = op != nullptr;
        Track(op);
    }

    static void OnStreamInfo(pa_context* context, const pa_sink_input_info* info, int eol,
                             void* self) {
        auto* buffer = static_cast<PulseCaptureBuffer*>(self);
        if (eol == 0 && info != nullptr) {
            buffer->m_streams.push_back(ApplicationOfSinkInput(*info));
            return;
        }
        buffer->m_listing = false;
        if (buffer->m_relist) return buffer->ListStreams(context);
        if (eol < 0) return buffer->Settle(buffer->m_application.value, true);
        buffer->Choose(context);
    }

    void Choose(pa_context* context) {
        const int found = FindApplicationStream(m_application, m_streams, m_heardInput);
        if (found < 0) {
            if (m_stream != nullptr) {
                DebugOutput(
                    ("Audio input: \"" + m_application.value + "\" plays nothing\n").c_str());
            }
            DropStream();
            m_heardInput = PA_INVALID_INDEX;
            return Settle(m_application.value, true);
        }
        const AudioApplicationInfo& chosen = m_streams[static_cast<std::size_t>(found)];
        if (chosen.sinkInput == m_heardInput && chosen.sink == m_heardSink && m_stream != nullptr &&
            PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream))) {
            return Settle(chosen.name, chosen.corked);
        }
        m_target = chosen;
        Track(pa_context_get_sink_info_by_index(context, chosen.sink,
                                                &PulseCaptureBuffer::OnTargetSink, this));
    }

    static void OnTargetSink(pa_context* context, const pa_sink_info* info, int eol, void* self) {
        auto* buffer = static_cast<PulseCaptureBuffer*>(self);
        const AudioApplicationInfo& target = buffer->m_target;
        if (info == nullptr) {
            if (eol < 0) buffer->Settle(target.name, true);  // the output went meanwhile
            return;
        }
        if (info->index != target.sink || info->monitor_source_name == nullptr) return;
        if (!buffer->ReplaceStream(context, info->monitor_source_name, target.sinkInput)) {
            buffer->m_heardInput = PA_INVALID_INDEX;
            buffer->Problem("cannot record \"" + target.name +
                            "\" alone: " + pa_strerror(pa_context_errno(context)));
            return buffer->Settle(target.name, true);
        }
        DebugOutput(("Audio input: hearing \"" + target.name + "\" (stream " +
                     std::to_string(target.sinkInput) + ")\n")
                        .c_str());
        buffer->m_heardInput = target.sinkInput;
        buffer->m_heardSink = target.sink;
        buffer->Settle(target.name, target.corked);
    }

    // The main loop's thread: a stream recording one sink input changed state. The server ends
    // it when the sink input goes or moves: nothing is heard until Follow finds the next one.
    static void OnMonitorState(pa_stream* stream, void* self) {
        auto* buffer = static_cast<PulseCaptureBuffer*>(self);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
            buffer->m_heardInput = PA_INVALID_INDEX;
            buffer->Publish(buffer->m_target.name, true);
        }
        pa_threaded_mainloop_signal(buffer->m_connection->Loop(), 0);
    }

    void Publish(const std::string& name, bool waiting) {
        PublishCaptureSourceDescription(this, waiting ? name + " (waiting for sound)" : name);
    }

    // A look at the server is done: publishes what is heard and wakes OpenApplication's wait.
    void Settle(const std::string& name, bool waiting) {
        Publish(name, waiting);
        m_settled = true;
        pa_threaded_mainloop_signal(m_connection->Loop(), 0);
    }

    // Why the application cannot be heard: kept for OpenApplication's answer while it opens,
    // reported afterwards.
    void Problem(std::string text) {
        if (m_opened) return ReportAudioInputProblem(text);
        m_problem = std::move(text);
    }

    // With the loop's lock held: waits until the first look at the server has settled and a
    // stream it opened is ready or failed, at most the connect deadline. Empty, or why the
    // application cannot be heard. Thread: user-interface thread.
    std::string WaitSettled(pa_threaded_mainloop* loop) {
        const pa_usec_t deadline = pa_rtclock_now() + kConnectTimeoutUs;
        // Wakes the wait at the deadline: main loop's thread; freed below, before this returns.
        pa_time_event* timer = pa_context_rttime_new(
            m_connection->Context(), deadline,
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* l) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(l), 0);
            },
            loop);
        auto connecting = [this] {
            return m_stream != nullptr && pa_stream_get_state(m_stream) == PA_STREAM_CREATING;
        };
        while ((!m_settled || connecting()) && pa_rtclock_now() < deadline) {
            pa_threaded_mainloop_wait(loop);
        }
        if (timer != nullptr) pa_threaded_mainloop_get_api(loop)->time_free(timer);
        if (!m_problem.empty()) return m_problem;
        if (!m_settled) return "the sound server did not list its streams within 3 s";
        if (m_stream != nullptr && pa_stream_get_state(m_stream) != PA_STREAM_READY) {
            return "cannot record \"" + m_target.name +
                   "\" alone: " + pa_strerror(pa_context_errno(m_connection->Context()));
        }
        return {};
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

    // Following an application, there may be no stream (nothing plays): the next one opens
    // running or corked as m_running says, which changes under the same lock.
    Result Cork(bool cork) {
        pa_threaded_mainloop* loop = m_connection->Loop();
        pa_threaded_mainloop_lock(loop);
        if (m_stream == nullptr) {
            const bool following = m_kind == AudioInputKind::kApplication;
            if (following) m_running.store(!cork);
            pa_threaded_mainloop_unlock(loop);
            return following ? kOk : kFail;
        }
        if (!cork) m_running.store(true);
        // Corking runs on the main loop thread; once this holds the loop's lock no read
        // callback is running, and while corked none is called again.
        pa_operation* op = pa_stream_cork(m_stream, cork ? 1 : 0, nullptr, nullptr);
        if (op != nullptr) pa_operation_unref(op);
        if (cork) pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        if (!cork) pa_stream_set_read_callback(m_stream, &PulseCaptureBuffer::OnRead, this);
        if (cork) m_running.store(false);
        pa_threaded_mainloop_unlock(loop);
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
    // The application followed (OpenApplication): the choice, the server's streams of the
    // listing under way, the stream chosen last (m_target) and the sink input heard and its
    // output (PA_INVALID_INDEX while none is).
    AudioInputChoice m_application;
    std::vector<AudioApplicationInfo> m_streams;
    AudioApplicationInfo m_target;
    std::uint32_t m_heardInput = PA_INVALID_INDEX;
    std::uint32_t m_heardSink = PA_INVALID_INDEX;
    bool m_listing = false;  // a listing is under way
    bool m_relist = false;   // an event came meanwhile: list again when it ends
    bool m_settled = false;  // a look at the server has ended (WaitSettled)
    bool m_opened = false;   // OpenApplication has answered: problems are reported
    std::string m_problem;   // why the application could not be heard while it opened
};

class PulseCaptureDevice final : public ICaptureDevice {
public:
    PulseCaptureDevice(std::shared_ptr<PulseConnection> connection, AudioInputChoice choice)
        : m_connection(std::move(connection)), m_choice(std::move(choice)) {}

    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (buffer == nullptr) return kInvalidArg;
        const Result checked = CheckLiveRequest(format, bufferBytes);
        if (checked != kOk) return checked;
        auto created = std::make_unique<PulseCaptureBuffer>(bufferBytes, m_connection);
        if (!created->IsValid()) return kOutOfMemory;
        const AudioInputKind kind = m_choice.kind;
        const Result result = kind == AudioInputKind::kApplication
                                  ? created->OpenApplication(m_choice, format)
                                  : created->Open(kind, SourceFor(kind, m_choice.value), format);
        if (result != kOk) return result;
        *buffer = std::move(created);
        return kOk;
    }

private:
    std::shared_ptr<PulseConnection> m_connection;
    AudioInputChoice m_choice;
};

}  // namespace

namespace {

// kDefault the default source, kMonitor the default output's monitor, kNamed a source by its
// server name; not for "sdl:..." names or when SDL alone is asked for. kApplication always: no
// other backend can, and the open says why it cannot.
bool ServesPulse(const AudioInputChoice& choice) {
    const AudioInputKind kind = choice.kind;
    if (kind == AudioInputKind::kApplication) return true;
    const bool live = kind == AudioInputKind::kDefault || kind == AudioInputKind::kMonitor ||
                      kind == AudioInputKind::kNamed;
    return live && !choice.sdlOnly && choice.backend != AudioBackendChoice::kSdl;
}

Result OpenPulseCaptureDevice(const AudioInputChoice& choice, bool quiet,
                              std::unique_ptr<ICaptureDevice>* device) {
    const AudioInputKind kind = choice.kind;
    const std::string& name = choice.value;
    const bool application = kind == AudioInputKind::kApplication;
    const std::string needs = application ? "hearing one application needs PulseAudio or "
                                            "PipeWire's pulse server: "
                                          : "";
    if (application && choice.backend == AudioBackendChoice::kSdl) {
        ReportAudioInputProblem(needs +
                                "the SDL audio route (KINETRA_AUDIO_BACKEND=sdl) records "
                                "whole devices only");
        return kNoDriver;
    }
    if (RecentlySilent()) {
        if (!quiet) ReportAudioInputProblem(needs + kSilentServer);
        return kNoDriver;
    }
    auto connection = std::make_shared<PulseConnection>();
    std::string error;
    if (!connection->Open(&error)) {
        if (!quiet) ReportAudioInputProblem(needs + error);
        return kNoDriver;
    }
    if (kind == AudioInputKind::kNamed && !connection->HasSource(name)) {
        if (!quiet)
            ReportAudioInputProblem("the sound server has no source called \"" + name + "\"");
        return kNoDriver;
    }
    *device = std::make_unique<PulseCaptureDevice>(std::move(connection), choice);
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
