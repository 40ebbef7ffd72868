// The audio-input backends as one table that selection walks (capture_device.cpp). A backend is
// one source file here that defines its row, plus one entry in backend_table.cpp.
#pragma once

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "capture/audio_input.h"
#include "capture/audio_sources.h"
#include "capture/capture_device.h"

namespace kinetra::capture {

struct CaptureBackend {
    // The name the backend is known by: "file", "memory", "pulse", "sdl".
    const char* name;
    // Whether the backend can open choice at all. Thread: any; allocates nothing.
    bool (*serves)(const AudioInputChoice& choice);
    // Opens choice. With quiet set a failure is not reported to the user (another backend is
    // tried next). Thread: user-interface thread.
    Result (*open)(const AudioInputChoice& choice, bool quiet,
                   std::unique_ptr<ICaptureDevice>* device);
    // The live devices the backend can offer for choice, by id; null when it lists none.
    // Thread: user-interface thread.
    std::vector<CaptureDeviceInfo> (*list)();
};

// Whether a PulseAudio server (or PipeWire's pulse server) answers: kAnswers; kAbsent when there
// is none to connect to; kSilent when one took the connection but did not answer within the
// connect deadline (3 s). A silent verdict is remembered for 10 s, so that one start-up waits
// for it once. Thread: user-interface thread; blocks at most 3 s.
enum class PulseServerState { kAnswers, kAbsent, kSilent };
PulseServerState ProbePulseServer();

// The PulseAudio server's sources and its default output's and source's descriptions, for
// ListAudioSources. Without an answer within timeoutMs (or while the server is taken as silent):
// serverAnswered false. Thread: user-interface thread; blocks at most about timeoutMs.
AudioSourceList ListPulseSources(int timeoutMs);

// What a live capture hears now, for CurrentCaptureSourceDescription: owner (the capture buffer
// that publishes) replaces the description; withdrawing clears it only when owner published the
// one shown, so a buffer closed after its successor opened clears nothing. Thread: any (a short
// lock; publishing allocates): not the capture thread's per-block path.
void PublishCaptureSourceDescription(const void* owner, std::string description);
void WithdrawCaptureSourceDescription(const void* owner);

// The rows in the order selection tries them (each system its own:
// capture/<system>/system_backends.cpp). Thread: any.
std::span<const CaptureBackend* const> CaptureBackends();
// The row called name, or null. Thread: any.
const CaptureBackend* FindCaptureBackend(std::string_view name);

}  // namespace kinetra::capture
