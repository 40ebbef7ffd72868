#include "analysis/spectrum_frame.h"

#include <cstdlib>

#include "analysis/spectrum_frame_testing.h"
#include "fft/dzfft1dc.h"
#include "platform/cache_lines.h"
#include "platform/debug_output.h"

namespace {

constexpr int kLength = static_cast<int>(CSpectrumFrame::kFrames);
constexpr std::size_t kDataDoubles = CSpectrumFrame::kFrames + 2;
constexpr std::size_t kTableDoubles = 2 * CSpectrumFrame::kFrames + 4;

kinetra::analysis::testing::FrameAlloc g_alloc = nullptr;

// On a cache-line boundary: the transform's vector stores into the work area and the spectrum
// are fastest 32-byte aligned, which plain malloc gives only by chance.
double* AllocateDoubles(std::size_t count) {
    const std::size_t bytes = count * sizeof(double);
    if (g_alloc != nullptr) return static_cast<double*>(g_alloc(bytes));
    return static_cast<double*>(kinetra::AllocateCacheLines(bytes));
}

}  // namespace

namespace kinetra::analysis::testing {
void SetFrameAllocator(FrameAlloc alloc) {
    g_alloc = alloc;
}
}  // namespace kinetra::analysis::testing

CSpectrumFrame::CSpectrumFrame() {
    m_pData = AllocateDoubles(kDataDoubles);
    if (m_pData != nullptr) m_pTable = AllocateDoubles(kTableDoubles);
    if (m_pTable != nullptr) m_pSpectrum = AllocateDoubles(2 * kinetra::kSpectrumBins);
    if (m_pSpectrum == nullptr) {
        kinetra::DebugOutput("Bad malloc!\n");
        return;
    }
    for (std::uint32_t k = 0; k < 2 * kinetra::kSpectrumBins; ++k) m_pSpectrum[k] = 0.0;
    DZFFT1DC(m_pData, kLength, 0, m_pTable);
}

CSpectrumFrame::~CSpectrumFrame() {
    std::free(m_pSpectrum);
    std::free(m_pTable);
    std::free(m_pData);
}

bool CSpectrumFrame::IsComplete() const {
    return m_pSpectrum != nullptr;
}

bool CSpectrumFrame::Accepts(const std::int16_t* samples, std::uint32_t frameCount) const {
    if (frameCount != kFrames || samples == nullptr) {
        kinetra::DebugOutput("(FFT) Bad input!\n");
        return false;
    }
    return IsComplete();
}

const double* CSpectrumFrame::Transform(const std::int16_t* samples, std::uint32_t frameCount) {
    if (!Accepts(samples, frameCount)) return nullptr;
    // Conversion, transform and powers in one pass of the transform's own kernels; every power
    // is (Re^2 + Im^2) * kScale rounded step by step as plain double arithmetic does.
    if (!kinetra::fft::BlockPowers(samples, kLength, m_pTable, m_pData, kScale, m_pSpectrum)) {
        return nullptr;
    }
    return m_pSpectrum;
}

const double* CSpectrumFrame::TransformWindowed(const std::int16_t* samples,
                                                std::uint32_t frameCount) {
    if (!Accepts(samples, frameCount)) return nullptr;
    for (std::uint32_t n = 0; n < kFrames; ++n) m_pData[n] = samples[n];
    DZFFT1DC(m_pData, kLength, -1, m_pTable);
    // Re X[k] at k, Im X[k] at 513 + k. The plain powers as BlockPowers rounds them: the squares,
    // their sum and the scaling each rounded on their own (no fused multiply-add on this target).
    constexpr std::uint32_t kBins = kinetra::kSpectrumBins;
    const double* re = m_pData;
    const double* im = m_pData + kBins;
    for (std::uint32_t k = 0; k < kBins; ++k) {
        const double re2 = re[k] * re[k];
        const double im2 = im[k] * im[k];
        m_pSpectrum[k] = (re2 + im2) * kScale;
    }
    // The Hann window 0.5 - 0.5 cos(2 pi n / N) is three lines of the spectrum:
    // Y[k] = 0.5 X[k] - 0.25 (X[k - 1] + X[k + 1]), with X[-1] = conj X[1] and X[513] = conj
    // X[511]. 8/3 = 1 / mean(w^2).
    constexpr double kWindowedScale = kScale * (8.0 / 3.0);
    double* windowed = m_pSpectrum + kBins;
    auto power = [](double yr, double yi) { return (yr * yr + yi * yi) * kWindowedScale; };
    windowed[0] = power(0.5 * re[0] - 0.5 * re[1], 0.0);  // X[0] is real; X[-1] + X[1] = 2 Re X[1]
    for (std::uint32_t k = 1; k + 1 < kBins; ++k) {
        windowed[k] = power(0.5 * re[k] - 0.25 * (re[k - 1] + re[k + 1]),
                            0.5 * im[k] - 0.25 * (im[k - 1] + im[k + 1]));
    }
    constexpr std::uint32_t kTop = kBins - 1;  // X[512] is real; X[511] + X[513] = 2 Re X[511]
    windowed[kTop] = power(0.5 * re[kTop] - 0.5 * re[kTop - 1], 0.0);
    return m_pSpectrum;
}
