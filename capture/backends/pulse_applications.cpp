// The applications that play into a PulseAudio server (or PipeWire's pulse server): its sink
// inputs with their application's name, binary and icon.
#include <pulse/pulseaudio.h>

#include "capture/audio_applications.h"
#include "capture/backends/pulse_connection.h"

namespace kinetra::capture {

namespace pulse {

AudioApplicationInfo ApplicationOfSinkInput(const pa_sink_input_info& info) {
    AudioApplicationInfo app;
    app.name = TextOrEmpty(pa_proplist_gets(info.proplist, PA_PROP_APPLICATION_NAME));
    app.binary = TextOrEmpty(pa_proplist_gets(info.proplist, PA_PROP_APPLICATION_PROCESS_BINARY));
    app.iconName = TextOrEmpty(pa_proplist_gets(info.proplist, PA_PROP_APPLICATION_ICON_NAME));
    if (app.name.empty()) app.name = !app.binary.empty() ? app.binary : TextOrEmpty(info.name);
    app.sinkInput = info.index;
    app.sink = info.sink;
    app.corked = info.corked != 0;
    return app;
}

std::string MonitorStreamUnsupported(pa_context* context) {
    const std::uint32_t version = pa_context_get_server_protocol_version(context);
    if (version >= kMonitorStreamProtocol) return {};
    return "the sound server cannot record one application's stream (its protocol version " +
           std::to_string(version) + " has no monitor streams; " +
           std::to_string(kMonitorStreamProtocol) + " has)";
}

}  // namespace pulse

AudioApplicationList ListAudioApplications(int timeoutMs) {
    AudioApplicationList list;
    if (pulse::RecentlySilent()) return list;
    const pa_usec_t timeout = pulse::UsFromMs(timeoutMs);
    const pa_usec_t deadline = pa_rtclock_now() + timeout;  // connecting and asking together
    pulse::PulseConnection connection;
    std::string error;
    if (!connection.Open(&error, timeout)) return list;
    struct Query {
        AudioApplicationList* list;
        bool done = false;
    } query{&list};
    pa_threaded_mainloop_lock(connection.Loop());
    list.unsupported = pulse::MonitorStreamUnsupported(connection.Context());
    // Main loop's thread, while Await waits (it cancels the operation before query goes).
    pa_operation* op = pa_context_get_sink_input_info_list(
        connection.Context(),
        [](pa_context*, const pa_sink_input_info* info, int eol, void* q) {
            auto* query = static_cast<Query*>(q);
            if (eol != 0 || info == nullptr) {
                query->done = true;
                return;
            }
            query->list->applications.push_back(pulse::ApplicationOfSinkInput(*info));
        },
        &query);
    connection.Await(op, deadline, &query.done);
    pa_threaded_mainloop_unlock(connection.Loop());
    list.serverAnswered = query.done;
    if (!list.serverAnswered) list.applications.clear();
    return list;
}

}  // namespace kinetra::capture
