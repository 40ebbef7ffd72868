// The capture sources the sound server offers, for the window's input menu and status line, and
// what the running capture hears now.
#pragma once

#include <string>
#include <vector>

namespace kinetra::capture {

struct AudioSourceInfo {
    // A value for ParseAudioInputChoice that opens this source (the server's source name).
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
// sources. Thread: user-interface thread; waits at most timeoutMs for the server.
AudioSourceList ListAudioSources(int timeoutMs = 1000);

// The description of the source the running capture hears now: for "what this computer plays",
// the default output's description, following the default when it changes. Empty when no live
// capture runs or the backend does not know. Thread: any (a short lock; allocates).
std::string CurrentCaptureSourceDescription();

}  // namespace kinetra::capture
