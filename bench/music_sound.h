// A deterministic music-like sound for the end-to-end benchmarks: 120 beats a minute, a bass
// line, four-note chords, a kick drum on every beat, a snare on beats 2 and 4 and hi-hats on
// the off-beats, 44100 Hz 16-bit mono. The same seconds always give the same samples.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/block_format.h"

namespace kinetra::bench {

inline constexpr int kMusicRate = kinetra::kSampleRate;

// Samples of the sound, seconds long.
inline std::vector<std::int16_t> MakeMusic(double seconds) {
    const double twoPi = 8.0 * std::atan(1.0);
    const std::int64_t count = static_cast<std::int64_t>(seconds * kMusicRate);
    std::vector<std::int16_t> out(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)));
    const double beat = 0.5;  // seconds
    // A minor, F major, C major, G major: root frequencies and chord notes in Hz.
    const double roots[4] = {55.0, 43.65, 65.41, 49.0};
    const double chords[4][4] = {{220.0, 261.63, 329.63, 440.0},
                                 {174.61, 220.0, 261.63, 349.23},
                                 {261.63, 329.63, 392.0, 523.25},
                                 {196.0, 246.94, 293.66, 392.0}};
    std::uint32_t noise = 0x12345678u;
    double hatState = 0.0;
    for (std::int64_t n = 0; n < count; ++n) {
        const double t = static_cast<double>(n) / kMusicRate;
        const int beatIndex = static_cast<int>(t / beat);
        const double inBeat = t - beatIndex * beat;
        const int bar = beatIndex / 4;
        const int chord = bar % 4;
        // xorshift white noise, -1..1
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        const double white = static_cast<double>(noise) / 2147483648.0 - 1.0;

        double v = 0.0;
        // Bass: root, an octave up on the off-beat half, plucked.
        const double bassHz = roots[chord] * (inBeat < beat / 2 ? 1.0 : 2.0);
        const double bassPhase = inBeat < beat / 2 ? inBeat : inBeat - beat / 2;
        v += 0.30 * std::sin(twoPi * bassHz * t) * std::exp(-bassPhase * 6.0);
        // Chord pad, slow swell within each bar.
        const double inBar = t - bar * 4 * beat;
        const double pad = 0.05 * (0.6 + 0.4 * std::sin(twoPi * inBar / (4 * beat)));
        for (double hz : chords[chord]) v += pad * std::sin(twoPi * hz * t);
        // Kick: falling pitch, fast decay.
        const double kickHz = 50.0 + 100.0 * std::exp(-inBeat * 30.0);
        v += 0.45 * std::sin(twoPi * kickHz * inBeat) * std::exp(-inBeat * 12.0);
        // Snare on beats 2 and 4.
        if (beatIndex % 2 == 1) v += 0.25 * white * std::exp(-inBeat * 18.0);
        // Hi-hat on the off-beat: high-passed noise.
        hatState = 0.5 * hatState + 0.5 * white;
        const double hat = white - hatState;
        if (inBeat >= beat / 2) v += 0.12 * hat * std::exp(-(inBeat - beat / 2) * 40.0);

        const double scaled = std::clamp(v * 20000.0, -32768.0, 32767.0);
        out[static_cast<std::size_t>(n)] = static_cast<std::int16_t>(std::lround(scaled));
    }
    return out;
}

// Writes samples as a 16-bit mono PCM WAV file. False when the file cannot be written.
inline bool WriteWav(const std::string& path, const std::vector<std::int16_t>& samples) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    auto u32 = [f](std::uint32_t x) {
        const unsigned char b[4] = {
            static_cast<unsigned char>(x), static_cast<unsigned char>(x >> 8),
            static_cast<unsigned char>(x >> 16), static_cast<unsigned char>(x >> 24)};
        std::fwrite(b, 1, 4, f);
    };
    auto u16 = [f](std::uint16_t x) {
        const unsigned char b[2] = {static_cast<unsigned char>(x),
                                    static_cast<unsigned char>(x >> 8)};
        std::fwrite(b, 1, 2, f);
    };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);  // PCM
    u16(1);  // mono
    u32(kMusicRate);
    u32(kMusicRate * 2);
    u16(2);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(dataBytes);
    for (std::int16_t s : samples) u16(static_cast<std::uint16_t>(s));
    const bool ok = std::ferror(f) == 0;
    return std::fclose(f) == 0 && ok;
}

}  // namespace kinetra::bench
