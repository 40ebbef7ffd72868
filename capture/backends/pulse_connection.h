// The connection to a PulseAudio server (or PipeWire's pulse server) that the PulseAudio
// backend's files share: a threaded main loop with a ready context, the silent-server verdict,
// and waiting for the server's answers with a deadline.
#pragma once

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "capture/audio_applications.h"
#include "capture/audio_input.h"
#include "capture/audio_sources.h"

namespace kinetra::capture::pulse {

// How long opening waits for the server before giving up.
inline constexpr pa_usec_t kConnectTimeoutUs = 3 * 1000 * 1000;
// How long a server that did not answer is taken as silent without asking it again, so that one
// start-up waits for it once.
inline constexpr auto kSilentVerdictLife = std::chrono::seconds(10);

inline std::chrono::steady_clock::time_point& SilentSince() {
    static std::chrono::steady_clock::time_point since{};
    return since;
}

inline bool RecentlySilent() {
    const auto since = SilentSince();
    return since != std::chrono::steady_clock::time_point{} &&
           std::chrono::steady_clock::now() - since < kSilentVerdictLife;
}

inline constexpr char kSilentServer[] =
    "the PulseAudio server took the connection but did not answer within 3 s";

inline std::string TextOrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

// The input text that opens the server's source called name (ParseAudioInputChoice): the name,
// or "pulse:" and the name when the name alone would read as another input.
inline std::string SourceId(const std::string& name) {
    const AudioInputChoice parsed = ParseAudioInput(name);
    const bool plain =
        parsed.kind == AudioInputKind::kNamed && !parsed.sdlOnly && parsed.value == name;
    return plain ? name : "pulse:" + name;
}

// Microseconds from milliseconds, at least one.
inline pa_usec_t UsFromMs(int ms) {
    return static_cast<pa_usec_t>(ms > 0 ? ms : 1) * 1000;
}

// A threaded main loop with a ready context. Thread: user-interface thread.
class PulseConnection {
public:
    ~PulseConnection() { Close(); }

    // Connects within timeout; a server that takes the connection and does not answer within
    // the full connect deadline is taken as silent for a while (SilentSince).
    bool Open(std::string* error, pa_usec_t timeout = kConnectTimeoutUs) {
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
        const pa_usec_t deadline = pa_rtclock_now() + timeout;
        // A timer wakes the wait at the deadline: a server that took the connection and then
        // stopped (SIGSTOP, a hung machine) changes no state.
        pa_time_event* timer = pa_context_rttime_new(m_context, deadline, &OnTimer, this);
        bool ready = false;
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state)) break;
            if (pa_rtclock_now() >= deadline) {
                m_timedOut = true;
                break;
            }
            pa_threaded_mainloop_wait(m_loop);  // a state change or the timer
        }
        if (timer != nullptr) pa_threaded_mainloop_get_api(m_loop)->time_free(timer);
        const int code = pa_context_errno(m_context);
        pa_threaded_mainloop_unlock(m_loop);
        if (m_timedOut) {
            if (timeout >= kConnectTimeoutUs) SilentSince() = std::chrono::steady_clock::now();
            return Fail(error, kSilentServer);
        }
        if (!ready) {
            return Fail(error,
                        std::string("cannot reach the PulseAudio server: ") + pa_strerror(code));
        }
        m_ready.store(true);
        return true;
    }

    void Close() {
        m_ready.store(false);  // a disconnect of ours is no loss to report
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
        bool found = false;
        bool done = false;
        struct Query {
            bool* found;
            bool* done;
        } query{&found, &done};
        pa_threaded_mainloop_lock(m_loop);
        // Main loop's thread, while Await waits (it cancels the query before query goes).
        pa_operation* op = pa_context_get_source_info_by_name(
            m_context, name.c_str(),
            [](pa_context*, const pa_source_info* info, int eol, void* q) {
                auto* query = static_cast<Query*>(q);
                if (info != nullptr) *query->found = true;
                if (eol != 0 || info == nullptr) *query->done = true;
            },
            &query);
        Await(op, pa_rtclock_now() + kConnectTimeoutUs, &done);
        pa_threaded_mainloop_unlock(m_loop);
        return found;
    }

    // The server's sources and defaults, asked with the deadline. Thread: user-interface thread.
    void ListSources(pa_usec_t deadline, AudioSourceList* list) {
        struct Query {
            AudioSourceList* list = nullptr;
            std::string defaultSink;
            std::string defaultSource;
            bool answered = false;
            bool done = false;
        } query;
        query.list = list;
        pa_threaded_mainloop_lock(m_loop);
        // Each callback below runs on the main loop's thread while Await waits for its
        // operation; Await cancels an operation it gives up on, so none outlives query.
        pa_operation* op = pa_context_get_server_info(
            m_context,
            [](pa_context*, const pa_server_info* info, void* q) {
                auto* query = static_cast<Query*>(q);
                query->done = true;
                if (info == nullptr) return;
                query->answered = true;
                if (info->default_sink_name != nullptr)
                    query->defaultSink = info->default_sink_name;
                if (info->default_source_name != nullptr) {
                    query->defaultSource = info->default_source_name;
                }
            },
            &query);
        Await(op, deadline, &query.done);
        if (query.answered) {
            query.done = false;
            op = pa_context_get_source_info_list(
                m_context,
                [](pa_context*, const pa_source_info* info, int eol, void* q) {
                    auto* query = static_cast<Query*>(q);
                    if (eol != 0 || info == nullptr) {
                        query->done = true;
                        return;
                    }
                    const std::string description = TextOrEmpty(info->description);
                    query->list->sources.push_back({SourceId(TextOrEmpty(info->name)), description,
                                                    info->monitor_of_sink != PA_INVALID_INDEX});
                    if (query->defaultSource == TextOrEmpty(info->name)) {
                        query->list->defaultInputDescription = description;
                    }
                },
                &query);
            Await(op, deadline, &query.done);
            query.answered = query.done;
        }
        if (query.answered && !query.defaultSink.empty()) {
            query.done = false;
            op = pa_context_get_sink_info_by_name(
                m_context, query.defaultSink.c_str(),
                [](pa_context*, const pa_sink_info* info, int eol, void* q) {
                    auto* query = static_cast<Query*>(q);
                    if (info != nullptr) {
                        query->list->defaultOutputDescription = TextOrEmpty(info->description);
                    }
                    if (eol != 0 || info == nullptr) query->done = true;
                },
                &query);
            Await(op, deadline, &query.done);
            query.answered = query.done;
        }
        pa_threaded_mainloop_unlock(m_loop);
        list->serverAnswered = query.answered;
        if (!list->serverAnswered) {
            list->sources.clear();
            list->defaultOutputDescription.clear();
            list->defaultInputDescription.clear();
        }
    }

    // Called on the main loop's thread, after the report, when the server goes away; set and
    // cleared with the loop's lock held.
    void SetLostHandler(std::function<void()> handler) { m_lost = std::move(handler); }

    // Takes context, connected and ready, in place of the lost one. Main loop's thread.
    void Adopt(pa_context* context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = context;
        pa_context_set_state_callback(m_context, &PulseConnection::OnState, this);
        m_ready.store(true);
    }

    // Whether the last Open failed because the server did not answer in time.
    bool TimedOut() const { return m_timedOut; }

    pa_threaded_mainloop* Loop() const { return m_loop; }
    pa_context* Context() const { return m_context; }

private:
    // The main loop's thread (or Close's).
    static void OnState(pa_context* context, void* self) {
        auto* connection = static_cast<PulseConnection*>(self);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) &&
            connection->m_ready.exchange(false)) {
            ReportAudioInputProblem(
                "the PulseAudio server went away; reconnecting when it is back");
            if (connection->m_lost) connection->m_lost();
        }
        pa_threaded_mainloop_signal(connection->m_loop, 0);
    }
    static void OnTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        pa_threaded_mainloop_signal(static_cast<PulseConnection*>(self)->m_loop, 0);
    }

public:
    // Waits, with the loop's lock held, until *done, the operation's end or the deadline (a timer
    // wakes the wait then), and lets op go: cancelled when it still runs, so that its callback
    // never comes after the caller's data is gone. The callbacks signal through the loop's
    // signal, which the operation's end triggers (OnOperation), after its last callback.
    // Thread: user-interface thread, with the lock held.
    void Await(pa_operation* op, pa_usec_t deadline, const bool* done) {
        if (op == nullptr) return;
        pa_time_event* timer = pa_context_rttime_new(m_context, deadline, &OnTimer, this);
        pa_operation_set_state_callback(op, &PulseConnection::OnOperation, m_loop);
        while (!*done && pa_operation_get_state(op) == PA_OPERATION_RUNNING &&
               pa_rtclock_now() < deadline) {
            pa_threaded_mainloop_wait(m_loop);
        }
        if (timer != nullptr) pa_threaded_mainloop_get_api(m_loop)->time_free(timer);
        pa_operation_set_state_callback(op, nullptr, nullptr);
        if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_operation_cancel(op);
        pa_operation_unref(op);
    }
    // The main loop's thread: an operation ended (done or cancelled).
    static void OnOperation(pa_operation*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }

private:
    bool Fail(std::string* error, std::string text) {
        *error = std::move(text);
        Close();
        return false;
    }

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    bool m_started = false;
    bool m_timedOut = false;
    std::atomic<bool> m_ready{false};  // connected, and a loss not yet reported
    std::function<void()> m_lost;
};

// The first protocol version with monitor streams (pa_stream_set_monitor_stream): recording what
// one sink input plays.
inline constexpr std::uint32_t kMonitorStreamProtocol = 13;

// A sink input as an application's stream (pulse_applications.cpp). Thread: any.
AudioApplicationInfo ApplicationOfSinkInput(const pa_sink_input_info& info);

// Empty when the server behind context can record one sink input, else why not. Thread: any,
// with the loop's lock held.
std::string MonitorStreamUnsupported(pa_context* context);

}  // namespace kinetra::capture::pulse
