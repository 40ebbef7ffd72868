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
    if (m_pTable != nullptr) m_pSpectrum = AllocateDoubles(kinetra::kSpectrumBins);
    if (m_pSpectrum == nullptr) {
        kinetra::DebugOutput("Bad malloc!\n");
        return;
    }
    for (std::uint32_t k = 0; k < kinetra::kSpectrumBins; ++k) m_pSpectrum[k] = 0.0;
    DZFFT1DC(m_pData, kLength, 0, m_pTable);
}

CSpectrumFrame::~CSpectrumFrame() {
    kinetra::FreeCacheLines(m_pSpectrum);
    kinetra::FreeCacheLines(m_pTable);
    kinetra::FreeCacheLines(m_pData);
}

bool CSpectrumFrame::IsComplete() const {
    return m_pSpectrum != nullptr;
}

const double* CSpectrumFrame::Transform(const std::int16_t* samples, std::uint32_t frameCount) {
    if (frameCount != kFrames || samples == nullptr) {
        kinetra::DebugOutput("(FFT) Bad input!\n");
        return nullptr;
    }
    if (!IsComplete()) return nullptr;
    // Conversion, transform and powers in one pass of the transform's own kernels; every power
    // is (Re^2 + Im^2) * kScale rounded step by step as plain double arithmetic does.
    if (!kinetra::fft::BlockPowers(samples, kLength, m_pTable, m_pData, kScale, m_pSpectrum)) {
        return nullptr;
    }
    return m_pSpectrum;
}
