// Turns one captured block of 1024 16-bit mono samples into the power of bins 0 .. 512.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/block_format.h"

// The former name of kinetra::kSpectrumBins, the length of a spectrum.
constexpr std::uint32_t SPECTRUM_BINS = kinetra::kSpectrumBins;

class CSpectrumFrame {
public:
    static constexpr std::uint32_t kFrames = kinetra::kBlockFrames;
    static constexpr double kScale = 1.0 / 1048576.0;  // 1 / 1024^2

    // Obtains the transform array, the work table and the spectrum, in that order, and prepares
    // the table. At the first allocation that fails it writes "Bad malloc!\n" and stops; such a
    // frame is not complete (IsComplete) and refuses every block. Thread: owner's.
    CSpectrumFrame();
    ~CSpectrumFrame();
    CSpectrumFrame(const CSpectrumFrame&) = delete;
    CSpectrumFrame& operator=(const CSpectrumFrame&) = delete;

    // True when all three arrays exist. Thread: any.
    bool IsComplete() const;

    // Returns the 513 powers (|X[k]| / 1024)^2 of the block, lent until the next call or the
    // frame's release; or null when the block is refused: frameCount other than 1024 or no
    // samples (with "(FFT) Bad input!\n"), or an incomplete frame. A refused block leaves the
    // previous spectrum as it was. Allocates nothing. Thread: one thread at a time (the capture
    // thread).
    const double* Transform(const std::int16_t* samples, std::uint32_t frameCount);

    // As Transform, and the 513 powers of the block under a periodic Hann window follow the
    // plain powers (returned pointer + kSpectrumBins). They are scaled by 8/3, so that a band of
    // noise has the same energy in both; a tone's leakage falls below 16-bit noise within a few
    // bins instead of reaching every band. The plain powers are the same bits as Transform's.
    // The hits analysis reads the windowed copy (see CSpectrumListener). Allocates nothing.
    // Thread: as Transform.
    const double* TransformWindowed(const std::int16_t* samples, std::uint32_t frameCount);

private:
    bool Accepts(const std::int16_t* samples, std::uint32_t frameCount) const;

    double* m_pData = nullptr;      // 1026 doubles: the transform's work area
    double* m_pTable = nullptr;     // 2052 doubles: the transform's work table
    double* m_pSpectrum = nullptr;  // 2 x 513 doubles: the latest block's powers, then the
                                    // windowed ones (TransformWindowed)
};
