#include "analysis/spectrum_frame.h"

#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define KINETRA_FRAME_X86 1
#endif

#include "analysis/spectrum_frame_testing.h"
#include "fft/dzfft1dc.h"
#include "platform/debug_output.h"

namespace {

constexpr int kLength = static_cast<int>(CSpectrumFrame::kFrames);
constexpr std::size_t kDataDoubles = CSpectrumFrame::kFrames + 2;
constexpr std::size_t kTableDoubles = 2 * CSpectrumFrame::kFrames + 4;

kinetra::analysis::testing::FrameAlloc g_alloc = nullptr;

double* AllocateDoubles(std::size_t count) {
    const std::size_t bytes = count * sizeof(double);
    return static_cast<double*>(g_alloc != nullptr ? g_alloc(bytes) : std::malloc(bytes));
}

#ifdef KINETRA_FRAME_X86
// The block's conversion and PowerSpectrum four values per instruction, for processors with
// AVX2. The conversion is exact and the power takes the same three roundings in the same order
// (no fused multiply-add), so every value equals the baseline path's.
__attribute__((target("avx2"))) void ConvertAvx2(const std::int16_t* samples, double* data) {
    for (std::uint32_t j = 0; j < CSpectrumFrame::kFrames; j += 4) {
        const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples + j));
        _mm256_storeu_pd(data + j, _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(four)));
    }
}

__attribute__((target("avx2"))) void PowerSpectrumAvx2(const double* re, const double* im,
                                                       double* spectrum) {
    const __m256d scale = _mm256_set1_pd(CSpectrumFrame::kScale);
    std::uint32_t k = 0;
    for (; k + 4 <= SPECTRUM_BINS; k += 4) {
        const __m256d r = _mm256_loadu_pd(re + k);
        const __m256d i = _mm256_loadu_pd(im + k);
        const __m256d power = _mm256_add_pd(_mm256_mul_pd(r, r), _mm256_mul_pd(i, i));
        _mm256_storeu_pd(spectrum + k, _mm256_mul_pd(power, scale));
    }
    for (; k < SPECTRUM_BINS; ++k) {
        spectrum[k] = (re[k] * re[k] + im[k] * im[k]) * CSpectrumFrame::kScale;
    }
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// spectrum[k] = (re[k]^2 + im[k]^2) * 2^-20 for the 513 bins, four bins per instruction with AVX2,
// else two where the processor's baseline vector unit allows; every value is rounded exactly as
// in scalar code.
void PowerSpectrum(const double* re, const double* im, double* spectrum) {
#ifdef KINETRA_FRAME_X86
    if (HasAvx2()) {
        PowerSpectrumAvx2(re, im, spectrum);
        return;
    }
#endif
    std::uint32_t k = 0;
#if defined(__SSE2__)
    const __m128d scale = _mm_set1_pd(CSpectrumFrame::kScale);
    for (; k + 2 <= kinetra::kSpectrumBins; k += 2) {
        const __m128d r = _mm_loadu_pd(re + k);
        const __m128d i = _mm_loadu_pd(im + k);
        const __m128d power = _mm_add_pd(_mm_mul_pd(r, r), _mm_mul_pd(i, i));
        _mm_storeu_pd(spectrum + k, _mm_mul_pd(power, scale));
    }
#endif
    for (; k < kinetra::kSpectrumBins; ++k) {
        spectrum[k] = (re[k] * re[k] + im[k] * im[k]) * CSpectrumFrame::kScale;
    }
}

// data[j] = samples[j] for the block's 1024 frames.
void ConvertBlock(const std::int16_t* samples, double* data) {
#ifdef KINETRA_FRAME_X86
    if (HasAvx2()) {
        ConvertAvx2(samples, data);
        return;
    }
#endif
    for (std::uint32_t j = 0; j < CSpectrumFrame::kFrames; ++j) {
        data[j] = static_cast<double>(samples[j]);
    }
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
    std::free(m_pSpectrum);
    std::free(m_pTable);
    std::free(m_pData);
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
    ConvertBlock(samples, m_pData);
    DZFFT1DC(m_pData, kLength, -1, m_pTable);
    PowerSpectrum(m_pData, m_pData + kinetra::kSpectrumBins, m_pSpectrum);
    return m_pSpectrum;
}
