// Writes the sound that the Test button plays: 44100 Hz, 16-bit, mono PCM in a WAV file.
// Short hits that each land in one of the five bands, one band at a time from low to high, then
// a few bars of all of them together, so that every effect can be felt in turn and at once.
// The output is fully determined by this file: no randomness, no clock.
//
//   kinetra-make-test-sound OUTPUT.wav
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/block_format.h"

namespace {

constexpr int kRate = kinetra::kSampleRate;
constexpr double kPi = 3.14159265358979323846;

// One partial of a hit: a sine that may glide from startHz to endHz during the hit.
struct Partial {
    double startHz;
    double endHz;
    double amplitude;
};

// A hit: partials under an envelope with a 2 ms rise (no click that would spray energy into
// every band) and an exponential decay.
struct Hit {
    Partial partials[3];
    double decayPerSecond;
    double seconds;
};

// Band edges (Hz): 0-177, 220-440, 484-2000, 2030-10000, 10040-23000. Every partial sits well
// inside its band.
constexpr Hit kHits[5] = {
    {{{110.0, 45.0, 1.0}, {0, 0, 0}, {0, 0, 0}}, 7.0, 0.45},             // band 1: a kick
    {{{300.0, 280.0, 0.8}, {360.0, 340.0, 0.3}, {0, 0, 0}}, 9.0, 0.40},  // band 2: a low tom
    {{{800.0, 800.0, 0.5}, {1200.0, 1200.0, 0.4}, {1600.0, 1600.0, 0.3}}, 14.0, 0.30},    // band 3
    {{{3100.0, 3100.0, 0.4}, {5300.0, 5300.0, 0.4}, {7700.0, 7700.0, 0.3}}, 22.0, 0.20},  // band 4
    {{{12000.0, 12000.0, 0.4}, {14500.0, 14500.0, 0.4}, {17000.0, 17000.0, 0.3}},
     30.0,
     0.15},  // band 5
};

void AddHit(std::vector<double>& out, double atSeconds, const Hit& hit, double gain) {
    const auto start = static_cast<std::size_t>(std::lround(atSeconds * kRate));
    const auto length = static_cast<std::size_t>(std::lround(hit.seconds * kRate));
    if (out.size() < start + length) out.resize(start + length, 0.0);
    for (const Partial& p : hit.partials) {
        if (p.amplitude == 0.0) continue;
        double phase = 0.0;
        for (std::size_t i = 0; i < length; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double hz = p.startHz + (p.endHz - p.startHz) * (t / hit.seconds);
            const double rise = std::min(1.0, t / 0.002);
            out[start + i] +=
                gain * p.amplitude * rise * std::exp(-t * hit.decayPerSecond) * std::sin(phase);
            phase += 2.0 * kPi * hz / kRate;
        }
    }
}

std::vector<double> Compose() {
    std::vector<double> mix;
    double t = 0.25;
    // Each band on its own, low to high.
    for (const Hit& hit : kHits) {
        AddHit(mix, t, hit, 1.0);
        t += 0.5;
    }
    // Two bars of a beat that uses every band.
    t += 0.25;
    for (int bar = 0; bar < 2; ++bar) {
        for (int beat = 0; beat < 4; ++beat) {
            const double at = t + beat * 0.3;
            AddHit(mix, at, kHits[beat % 2 == 0 ? 0 : 2], 1.0);
            AddHit(mix, at + 0.15, kHits[4], 0.8);
            if (beat == 3) AddHit(mix, at + 0.15, kHits[1], 1.0);
            if (beat % 2 == 1) AddHit(mix, at, kHits[3], 0.9);
        }
        t += 1.2;
    }
    // Everything at once to finish, then a short tail of silence.
    for (const Hit& hit : kHits) AddHit(mix, t, hit, 1.0);
    mix.resize(mix.size() + kRate / 4, 0.0);
    return mix;
}

void PutLe(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::vector<unsigned char> ToWav(const std::vector<double>& mix) {
    double peak = 0.0;
    for (double v : mix) peak = std::max(peak, std::fabs(v));
    const double scale = peak > 0.0 ? 0.85 * 32767.0 / peak : 0.0;
    const auto dataBytes = static_cast<std::uint32_t>(mix.size() * 2);
    std::vector<unsigned char> out;
    out.reserve(44 + dataBytes);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    PutLe(out, 36 + dataBytes, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(out, 16, 4);         // fmt chunk size
    PutLe(out, 1, 2);          // PCM
    PutLe(out, 1, 2);          // mono
    PutLe(out, kRate, 4);      // frames per second
    PutLe(out, kRate * 2, 4);  // bytes per second
    PutLe(out, 2, 2);          // bytes per frame
    PutLe(out, 16, 2);         // bits per sample
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    PutLe(out, dataBytes, 4);
    for (double v : mix) {
        const long s = std::clamp(std::lround(v * scale), -32768L, 32767L);
        PutLe(out, static_cast<std::uint32_t>(static_cast<std::int16_t>(s)), 2);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kinetra-make-test-sound OUTPUT.wav\n");
        return 2;
    }
    const std::vector<unsigned char> wav = ToWav(Compose());
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(wav.data(), 1, wav.size(), file) == wav.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "kinetra-make-test-sound: could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
