// The applications that play sound now, for the window's Input → Applications menu, and how a
// choice of one ("app:NAME", AudioInputKind::kApplication) finds the stream it hears.
//
// While such a choice runs, CurrentCaptureSourceDescription (capture/audio_sources.h) says what
// it hears: the application's name, or the name and " (waiting for sound)" while the
// application plays nothing (no stream, or only paused ones). Within the capture nothing waits
// for it: the ring simply gets no blocks then.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "capture/audio_input.h"

namespace kinetra::capture {

// No sink input (the server's PA_INVALID_INDEX).
inline constexpr std::uint32_t kNoSinkInput = 0xFFFFFFFFu;

// One stream an application plays (a sink input of the sound server).
struct AudioApplicationInfo {
    std::string name;             // application.name; the binary, or the stream's name, without one
    std::string binary;           // application.process.binary; may be empty
    std::string iconName;         // application.icon_name, an icon theme's name; may be empty
    std::uint32_t sinkInput = 0;  // the server's index of the stream (Windows: the process id)
    std::uint32_t sink = 0;       // the output it plays to
    bool corked = false;          // paused: it plays nothing now
};

struct AudioApplicationList {
    // Who lists the streams answered: on Linux a PulseAudio server (or PipeWire's pulse server);
    // on Windows always (the system's audio engine).
    bool serverAnswered = false;
    // Empty when one application's stream can be recorded, else why not (on Windows: no process
    // loopback before Windows 10 version 2004, nor under Wine).
    std::string unsupported;
    // Every stream that plays now, in the server's order: an application with several streams
    // comes several times (ApplicationInputText gives them the same choice).
    std::vector<AudioApplicationInfo> applications;
};

// Asks the sound server for the streams that play now. Without a server answering within
// timeoutMs (or one taken as silent, see ProbePulseServer): serverAnswered false, nothing listed.
// Thread: user-interface thread; waits at most about timeoutMs (connecting and asking together).
AudioApplicationList ListAudioApplications(int timeoutMs = 1000);

// The input text of the choice that hears app: "app:NAME|BINARY" ("app:NAME" without a binary;
// a name with a '|' in it gets a '|' at its end). ParseAudioInput reads it back; the second form
// writes a parsed choice back (its value and binary). Thread: any.
std::string ApplicationInputText(const AudioApplicationInfo& app);
std::string ApplicationInputText(const std::string& name, const std::string& binary);

// Which of streams the choice of an application hears: the index in streams, -1 for none.
// A stream qualifies by its name, or, when the choice names no binary, by a binary equal to the
// chosen name; a name with the chosen binary beats one without. Among equals: playing before
// paused, then current (the sink input heard now, kNoSinkInput for none), then the newest.
// Thread: any; allocates nothing.
int FindApplicationStream(const AudioInputChoice& choice,
                          std::span<const AudioApplicationInfo> streams, std::uint32_t current);

}  // namespace kinetra::capture
