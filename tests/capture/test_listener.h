// Spectrum listeners for the capture tests.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "analysis/band_mapper.h"
#include "analysis/spectrum_frame.h"

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

}  // namespace kinetra::test
