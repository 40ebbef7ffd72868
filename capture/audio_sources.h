// The capture sources the sound server offers, for the window's input menu and status line, and
// what the running capture hears now.
#pragma once

#include <string>
#include <vector>

#include "capture/audio_input.h"

namespace kinetra::capture {

struct AudioSourceInfo {
    // A value for ParseAudioInputChoice that opens this source (kNamed): the server's source
    // name, or "pulse:" and the name when the name alone would read as another input ("monitor",
    // a path, "sdl:...").
    std::string id;
    // For people, as the server describes it: "Built-in Audio Analog Stereo",
    // "Monitor of Built-in Audio Analog Stereo".
    std::string description;
    bool monitor = false;  // the monitor of an output
};

struct AudioSourceList {
    bool serverAnswered = false;  // a sound server (PulseAudio or PipeWire's pulse server) answered
    std::vector<AudioSourceInfo> sources;  // every source the server lists, in its order
    std::string defaultOutputDescription;  // description of the default output (sink)
    std::string defaultInputDescription;   // description of the default source
};

// Asks the sound server for its sources. Without a server answering: serverAnswered false and no
// sources. A server taken as silent in the last 10 s (see ProbePulseServer) is not asked again;
// a listing that times out does not mark it silent. Thread: user-interface thread; waits at most
// about timeoutMs for the server (connecting and asking together).
AudioSourceList ListAudioSources(int timeoutMs = 1000);

// The description of the source the running capture hears now: for "what this computer plays",
// the default output's description, following the default when it changes (the stream moves to
// the new default output's monitor); for the default input, the default source's description;
// for a named source, its description. Set by the PulseAudio backend shortly after the capture
// opens (asynchronously) and after every change. Empty when no live capture runs or the backend
// does not know (SDL, files, memory sources). Thread: any (a short lock; allocates).
std::string CurrentCaptureSourceDescription();

// The input for a first run, when there is neither a stored choice nor KINETRA_AUDIO_INPUT:
// "monitor" (what the computer plays) when a PulseAudio server answers, with *usedMonitor set
// (usedMonitor may be null), else the system's default capture device. KINETRA_AUDIO_BACKEND is
// kept in the choice. When KINETRA_AUDIO_INPUT is set after all (AudioInputChosenByEnvironment),
// its choice is returned unchanged and *usedMonitor is false; a malformed variable gives the
// default device. Thread: user-interface thread; blocks at most 3 s (ProbePulseServer).
AudioInputChoice FirstRunAudioInputChoice(bool* usedMonitor);

}  // namespace kinetra::capture
