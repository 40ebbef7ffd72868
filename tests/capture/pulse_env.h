// The private PulseAudio server that the ctest fixture starts (pulse_fixture.sh), as seen from
// a test: its folder comes in KINETRA_TEST_PULSE_DIR.
#pragma once

#include <signal.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace kinetra::test {

inline std::string PulseDir() {
    const char* dir = std::getenv("KINETRA_TEST_PULSE_DIR");
    return dir != nullptr ? dir : "";
}

// Plays 16-bit mono samples at 44100 Hz into a sink (the null sink unless told) with pacat and
// returns once they have been played (pacat drains before it exits). False when pacat cannot run.
inline bool PlayIntoSink(const std::vector<short>& samples,
                         const std::string& sink = "kinetra_null") {
    const std::string command =
        "pacat --playback --raw --format=s16le --rate=44100 --channels=1 --device=" + sink +
        " --latency-msec=30 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "w");
    if (pipe == nullptr) return false;
    const std::size_t written = std::fwrite(samples.data(), sizeof(short), samples.size(), pipe);
    return pclose(pipe) == 0 && written == samples.size();
}

// Starts playing in the background; the returned pipe is closed with pclose (which waits).
inline FILE* StartPlaying(const std::vector<short>& samples,
                          const std::string& sink = "kinetra_null") {
    const std::string command =
        "pacat --playback --raw --format=s16le --rate=44100 --channels=1 --device=" + sink +
        " --latency-msec=30 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "w");
    if (pipe != nullptr) std::fwrite(samples.data(), sizeof(short), samples.size(), pipe);
    return pipe;
}

inline std::vector<short> Tone(double hz, double amplitude, int frames) {
    std::vector<short> out(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        out[static_cast<std::size_t>(i)] =
            static_cast<short>(std::lround(amplitude * std::sin(2 * M_PI * hz * i / 44100.0)));
    }
    return out;
}

// Pid of the fixture's server, or 0.
inline pid_t PulsePid() {
    std::ifstream in(PulseDir() + "/pid");
    long pid = 0;
    in >> pid;
    return static_cast<pid_t>(pid);
}

}  // namespace kinetra::test
