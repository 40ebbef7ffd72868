// Arithmetic of the end-to-end benchmarks: time units, percentiles, pairing clicks with the
// blocks that fired for them, and the CPU time of a process from its /proc stat line.
// Thread (all): any; pure functions.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/block_format.h"

namespace kinetra::bench {

inline constexpr int kE2eRate = kinetra::kSampleRate;

// Nanoseconds that frames take to play at 44100 Hz (truncated).
inline std::int64_t FramesToNs(std::int64_t frames) {
    return frames * 1'000'000'000LL / kE2eRate;
}

// How a capture route is named in the figure lines: "pulse" is the program's own route, the
// others go through SDL's audio drivers.
inline const char* RouteName(const std::string& driver) {
    if (driver == "pulse") return "PulseAudio, read directly (the program's route)";
    if (driver == "pulseaudio") return "SDL's PulseAudio driver";
    if (driver == "alsa") return "SDL's ALSA driver";
    return driver.c_str();
}

// Milliseconds of a nanosecond count.
inline double NsToMs(std::int64_t ns) {
    return static_cast<double>(ns) / 1e6;
}

// Value at rank ceil(p x n) of sorted values (nearest-rank percentile), p in (0, 1]; 0 when
// there are none.
inline double NearestRank(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0.0;
    auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    rank = std::clamp<std::size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

struct FireEvent {
    std::int64_t ns = 0;  // time of the force update
    int band = 0;         // 1..5
};

struct ClickMatch {
    std::vector<double> latenciesMs;  // counted clicks that found a firing block, sorted
    int missed = 0;                   // counted clicks that found none
    // The n-th firing block against the n-th click, whatever their distance.
    int inOrderPairs = 0;
    double firstInOrderMs = 0.0;
    double lastInOrderMs = 0.0;
};

// Pairs clicks (reference times, ascending) with firing blocks (ascending): each click takes
// the first block not taken yet from beforeNs before its reference to afterNs after it. The
// first warmUp clicks take their block but are not counted.
inline ClickMatch MatchClicks(const std::vector<std::int64_t>& clicks,
                              const std::vector<FireEvent>& events, std::size_t warmUp,
                              std::int64_t beforeNs, std::int64_t afterNs) {
    ClickMatch result;
    std::size_t next = 0;
    for (std::size_t c = 0; c < clicks.size(); ++c) {
        while (next < events.size() && events[next].ns < clicks[c] - beforeNs) ++next;
        const bool hit = next < events.size() && events[next].ns <= clicks[c] + afterNs;
        if (c >= warmUp) {
            if (hit) {
                result.latenciesMs.push_back(NsToMs(events[next].ns - clicks[c]));
            } else {
                ++result.missed;
            }
        }
        if (hit) ++next;
    }
    std::sort(result.latenciesMs.begin(), result.latenciesMs.end());
    const std::size_t pairs = std::min(clicks.size(), events.size());
    if (pairs > 0) {
        result.inOrderPairs = static_cast<int>(pairs);
        result.firstInOrderMs = NsToMs(events[0].ns - clicks[0]);
        result.lastInOrderMs = NsToMs(events[pairs - 1].ns - clicks[pairs - 1]);
    }
    return result;
}

// utime + stime (fields 14 and 15) of a /proc/<pid>/stat line, in clock ticks; -1 when the line
// does not hold them. The command name (field 2) is in parentheses and may hold spaces and
// parentheses itself, so the fields are counted from its last ')'.
inline long long CpuTicksOfStatLine(const std::string& line) {
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 > line.size()) return -1;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    long long utime = -1;
    long long stime = -1;
    for (int index = 3; fields >> field; ++index) {
        if (index != 14 && index != 15) continue;
        char* end = nullptr;
        const long long value = std::strtoll(field.c_str(), &end, 10);
        if (end == field.c_str() || *end != '\0' || value < 0) return -1;
        if (index == 14) {
            utime = value;
        } else {
            stime = value;
            break;
        }
    }
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

// The command name of a /proc/<pid>/stat line (field 2, without its parentheses); empty when
// the line has none.
inline std::string CommandOfStatLine(const std::string& line) {
    const auto open = line.find('(');
    const auto close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return {};
    return line.substr(open + 1, close - open - 1);
}

}  // namespace kinetra::bench
