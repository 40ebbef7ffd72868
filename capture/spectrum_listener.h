// What the capture engine calls with every spectrum it produces: the band mappers
// (analysis/band_mapper.h), the tools' recorders and the tests' probes.
#pragma once

#include <atomic>
#include <cstdint>

// Receives every spectrum the capture engine produces.
class CSpectrumListener {
public:
    CSpectrumListener() = default;
    CSpectrumListener(const CSpectrumListener&) = delete;
    CSpectrumListener& operator=(const CSpectrumListener&) = delete;

    // spectrum and average point to SPECTRUM_BINS doubles, valid for the call only; byteLength is
    // the length the caller vouches for. When it covers twice SPECTRUM_BINS doubles, the block's
    // windowed powers follow the plain ones (CSpectrumFrame::TransformWindowed). Returns 1 when
    // processed, 0 when skipped. Thread: capture thread.
    virtual int OnSpectrum(const double* spectrum, const double* average,
                           std::uint32_t byteLength) = 0;
    // Whether the next block should come with its windowed powers. Thread: capture thread.
    virtual bool WantsWindowedSpectrum() const { return false; }
    // Stores the flag and returns it. Thread: user-interface thread.
    virtual int Enable(int flag) {
        m_bEnabled.store(flag, std::memory_order_relaxed);
        return flag;
    }
    // The flag last stored. Thread: any.
    bool Enabled() const { return m_bEnabled.load(std::memory_order_relaxed) != 0; }

protected:
    ~CSpectrumListener() = default;  // owners delete listeners through their own type

    std::atomic<std::int32_t> m_bEnabled{1};
};
