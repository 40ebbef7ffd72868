// Spectrum listeners for the capture tests.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "analysis/spectrum_frame.h"
#include "capture/spectrum_listener.h"

namespace kinetra::test {

// Counts calls and keeps what the last call saw. Allocates nothing in OnSpectrum.
class CountingListener final : public CSpectrumListener {
public:
    int OnSpectrum(const double* spectrum, const double* average,
                   std::uint32_t byteLength) override {
        lastSpectrum = spectrum;
        lastAverage = average;
        lastByteLength = byteLength;
        for (std::uint32_t k = 0; k < SPECTRUM_BINS; ++k) {
            spectrumCopy[k] = spectrum[k];
            averageCopy[k] = average[k];
        }
        if (order != nullptr) order->push_back(tag);
        calls.fetch_add(1, std::memory_order_release);
        return 1;
    }
    int Enable(int flag) override {
        m_bEnabled.store(flag);
        return flag;
    }

    std::atomic<int> calls{0};
    const double* lastSpectrum = nullptr;
    const double* lastAverage = nullptr;
    std::uint32_t lastByteLength = 0;
    std::array<double, SPECTRUM_BINS> spectrumCopy{};
    std::array<double, SPECTRUM_BINS> averageCopy{};
    std::vector<char>* order = nullptr;  // when set, tag is appended per call
    char tag = '?';
};

// Keeps bins 0 .. 7 of every spectrum and average, in order of arrival (up to kMax blocks).
// Allocates nothing in OnSpectrum.
class LowBinsListener final : public CSpectrumListener {
public:
    static constexpr int kMax = 4096;
    static constexpr int kBins = 8;

    int OnSpectrum(const double* spectrum, const double* average, std::uint32_t) override {
        const int n = count.load(std::memory_order_relaxed);
        if (n < kMax) {
            for (int k = 0; k < kBins; ++k) {
                spectra[n][k] = spectrum[k];
                averages[n][k] = average[k];
            }
        }
        count.store(n + 1, std::memory_order_release);
        return 1;
    }
    int Enable(int flag) override { return flag; }

    // Highest power of band 1 (bins 1 to 5) in block n.
    double BandOne(int n) const {
        double highest = 0.0;
        for (int k = 1; k <= 5; ++k) highest = spectra[n][k] > highest ? spectra[n][k] : highest;
        return highest;
    }
    int Count() const {
        const int n = count.load(std::memory_order_acquire);
        return n < kMax ? n : kMax;
    }

    std::array<std::array<double, kBins>, kMax> spectra{};
    std::array<std::array<double, kBins>, kMax> averages{};
    std::atomic<int> count{0};
};

}  // namespace kinetra::test
