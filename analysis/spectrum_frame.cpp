#include "analysis/spectrum_frame.h"

#include <cstdlib>

#if defined(__x86_64__)
#include <immintrin.h>
#define KINETRA_FRAME_X86 1
#endif

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

constexpr std::uint32_t kBins = kinetra::kSpectrumBins;
constexpr double kPowerScale = CSpectrumFrame::kScale;
// The windowed powers' scale: 8/3 = 1 / mean(w^2) for the Hann window.
constexpr double kWindowedScale = kPowerScale * (8.0 / 3.0);

// The plain powers as BlockPowers rounds them (the squares, their sum and the scaling each
// rounded on their own: no fused multiply-add), and the powers under the Hann window
// 0.5 - 0.5 cos(2 pi n / N), which is three lines of the spectrum:
// Y[k] = 0.5 X[k] - 0.25 (X[k - 1] + X[k + 1]), with X[-1] = conj X[1] and X[513] = conj X[511]
// (X[0] and X[512] are real).
void BothPowersScalar(const double* re, const double* im, std::uint32_t from, double* out) {
    for (std::uint32_t k = from; k < kBins; ++k) {
        const double re2 = re[k] * re[k];
        const double im2 = im[k] * im[k];
        out[k] = (re2 + im2) * kPowerScale;
    }
    double* windowed = out + kBins;
    for (std::uint32_t k = from > 1 ? from : 1; k + 1 < kBins; ++k) {
        const double yr = 0.5 * re[k] - 0.25 * (re[k - 1] + re[k + 1]);
        const double yi = 0.5 * im[k] - 0.25 * (im[k - 1] + im[k + 1]);
        windowed[k] = (yr * yr + yi * yi) * kWindowedScale;
    }
}

void EdgePowers(const double* re, double* out) {
    constexpr std::uint32_t kTop = kBins - 1;
    const double y0 = 0.5 * re[0] - 0.5 * re[1];
    const double yTop = 0.5 * re[kTop] - 0.5 * re[kTop - 1];
    out[kBins] = y0 * y0 * kWindowedScale;
    out[kBins + kTop] = yTop * yTop * kWindowedScale;
}

void ConvertScalar(const std::int16_t* samples, std::uint32_t from, double* data) {
    for (std::uint32_t n = from; n < CSpectrumFrame::kFrames; ++n) data[n] = samples[n];
}

#ifdef KINETRA_FRAME_X86
__attribute__((target("avx2"))) void ConvertAvx2(const std::int16_t* samples, double* data) {
    for (std::uint32_t n = 0; n < CSpectrumFrame::kFrames; n += 4) {
        const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples + n));
        _mm256_storeu_pd(data + n, _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(four)));
    }
}

__attribute__((target("avx2"))) void BothPowersAvx2(const double* re, const double* im,
                                                    double* out) {
    const __m256d scale = _mm256_set1_pd(kPowerScale);
    const __m256d windowedScale = _mm256_set1_pd(kWindowedScale);
    const __m256d half = _mm256_set1_pd(0.5), quarter = _mm256_set1_pd(0.25);
    // Bins 1 .. 508 in steps of four; bin 0 and bins 509 .. 512 after.
    std::uint32_t k = 1;
    for (; k + 4 < kBins; k += 4) {
        const __m256d r = _mm256_loadu_pd(re + k), i = _mm256_loadu_pd(im + k);
        const __m256d plain = _mm256_add_pd(_mm256_mul_pd(r, r), _mm256_mul_pd(i, i));
        _mm256_storeu_pd(out + k, _mm256_mul_pd(plain, scale));
        const __m256d yr = _mm256_sub_pd(
            _mm256_mul_pd(half, r),
            _mm256_mul_pd(quarter,
                          _mm256_add_pd(_mm256_loadu_pd(re + k - 1), _mm256_loadu_pd(re + k + 1))));
        const __m256d yi = _mm256_sub_pd(
            _mm256_mul_pd(half, i),
            _mm256_mul_pd(quarter,
                          _mm256_add_pd(_mm256_loadu_pd(im + k - 1), _mm256_loadu_pd(im + k + 1))));
        const __m256d power = _mm256_add_pd(_mm256_mul_pd(yr, yr), _mm256_mul_pd(yi, yi));
        _mm256_storeu_pd(out + kBins + k, _mm256_mul_pd(power, windowedScale));
    }
    const double re2 = re[0] * re[0];
    const double im2 = im[0] * im[0];
    out[0] = (re2 + im2) * kPowerScale;
    BothPowersScalar(re, im, k, out);
}
#endif

void ConvertSamples(const std::int16_t* samples, double* data) {
#ifdef KINETRA_FRAME_X86
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) return ConvertAvx2(samples, data);
#endif
    ConvertScalar(samples, 0, data);
}

void BothPowers(const double* re, const double* im, double* out) {
#ifdef KINETRA_FRAME_X86
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        BothPowersAvx2(re, im, out);
        EdgePowers(re, out);
        return;
    }
#endif
    BothPowersScalar(re, im, 0, out);
    EdgePowers(re, out);
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
    kinetra::FreeCacheLines(m_pSpectrum);
    kinetra::FreeCacheLines(m_pTable);
    kinetra::FreeCacheLines(m_pData);
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
    ConvertSamples(samples, m_pData);
    DZFFT1DC(m_pData, kLength, -1, m_pTable);
    // Re X[k] at k, Im X[k] at 513 + k.
    BothPowers(m_pData, m_pData + kinetra::kSpectrumBins, m_pSpectrum);
    return m_pSpectrum;
}
