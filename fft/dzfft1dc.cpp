#include "fft/dzfft1dc.h"

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fft/fft_internal.h"
#include "fft/fft_testing.h"
#include "platform/console.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#define KINETRA_FFT_HAVE_MXCSR 1
#endif

namespace kinetra::fft {
namespace {

constexpr const char* kRoutine = "DZFFT1DC";
// Largest length whose scratch block a thread keeps between transforms.
constexpr std::size_t kCachedScratchLimit = 65536;

// Saves the caller's whole floating-point environment and computes under the default one
// (round to nearest, every exception masked, flags clear); the destructor puts the caller's
// environment back, discarding whatever flags our own arithmetic raised.
class FullFloatEnvironment {
public:
    FullFloatEnvironment() {
        std::fegetenv(&m_saved);
        std::fesetenv(FE_DFL_ENV);
    }
    ~FullFloatEnvironment() { std::fesetenv(&m_saved); }
    FullFloatEnvironment(const FullFloatEnvironment&) = delete;
    FullFloatEnvironment& operator=(const FullFloatEnvironment&) = delete;

private:
    std::fenv_t m_saved;
};

// The transform itself computes with SSE/AVX instructions only, whose whole control and status
// state is MXCSR; saving and restoring that register is much cheaper than the full environment.
class VectorFloatEnvironment {
public:
#ifdef KINETRA_FFT_HAVE_MXCSR
    VectorFloatEnvironment() : m_saved(_mm_getcsr()) { _mm_setcsr(kDefaultMxcsr); }
    ~VectorFloatEnvironment() { _mm_setcsr(m_saved); }

private:
    static constexpr unsigned kDefaultMxcsr = 0x1F80;  // all masked, nearest, no FTZ/DAZ
    unsigned m_saved;
#else
    VectorFloatEnvironment() = default;

private:
    FullFloatEnvironment m_full;
#endif
};

testing::ScratchAlloc g_alloc = nullptr;
testing::ScratchFree g_free = nullptr;

// A thread's scratch block, kept for the thread's later transforms.
struct ThreadScratch {
    void* block = nullptr;
    std::size_t bytes = 0;
    ~ThreadScratch() { std::free(block); }
};

struct Scratch {
    void* block = nullptr;  // to release, or null when the block is the thread's cached one
    double* data = nullptr;
};

// Obtains the scratch block of n + 18 doubles and returns its first 64-byte boundary at or
// after 16 bytes in (the block has room for n doubles from there).
bool AcquireScratch(std::size_t n, Scratch& scratch) {
    const std::size_t bytes = (n + 18) * sizeof(double);
    void* block = nullptr;
    if (g_alloc != nullptr) {
        block = g_alloc(bytes);
        scratch.block = block;
    } else if (n <= kCachedScratchLimit) {
        thread_local ThreadScratch cached;
        if (cached.bytes < bytes) {
            void* grown = std::malloc(bytes);
            if (grown == nullptr) return false;
            std::free(cached.block);
            cached.block = grown;
            cached.bytes = bytes;
        }
        block = cached.block;
    } else {
        block = std::malloc(bytes);
        scratch.block = block;
    }
    if (block == nullptr) return false;
    const auto start = reinterpret_cast<std::uintptr_t>(block) + 16;
    scratch.data = reinterpret_cast<double*>((start + 63) & ~std::uintptr_t{63});
    return true;
}

void ReleaseScratch(Scratch& scratch) {
    if (scratch.block == nullptr) return;
    if (g_free != nullptr) {
        g_free(scratch.block);
    } else {
        std::free(scratch.block);
    }
    scratch.block = nullptr;
}

bool IsPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// True when the table element, truncated toward zero, equals m. NaN and huge values fail.
bool TableHolds(double element, std::size_t m) {
    return std::trunc(element) == static_cast<double>(m);
}

void InitTable(double* table, std::size_t n) {
    FullFloatEnvironment environment;
    const std::size_t m = n / 2;
    table[0] = static_cast<double>(m);
    table[1] = 0.0;
    InitComplexTwiddles(table + TwiddleOffset(n), m);
    // Split coefficients, each angle formed directly as k * 2 pi / n in extended precision.
    double* a = table + kSplitOffset;
    double* b = a + n / 4;
    const long double twoPi = 8.0L * std::atan(1.0L);
    for (std::size_t k = 0; k < n / 4; ++k) {
        const long double theta = twoPi * static_cast<long double>(k) / static_cast<long double>(n);
        a[k] = static_cast<double>(0.5L * (1.0L - std::sin(theta)));
        b[k] = static_cast<double>(0.5L * std::cos(theta));
    }
    table[2 * n - 1] = static_cast<double>(m);
}

// Turns Z (split, natural order, m points) into X[0..m] and stores it packed into data.
void SplitStep(const double* zr, const double* zi, std::size_t n, const double* table,
               double* data) {
    const std::size_t m = n / 2;
    double* xr = data;
    double* xi = data + m + 1;
    const double* a = table + kSplitOffset;
    const double* b = a + n / 4;
    for (std::size_t k = 1; k < n / 4; ++k) {
        const std::size_t j = m - k;
        const double d = zr[k] - zr[j];
        const double s = zi[k] + zi[j];
        const double h = d * a[k] + s * b[k];
        const double g = s * a[k] - d * b[k];
        xr[k] = zr[j] + h;
        xr[j] = zr[k] - h;
        xi[k] = g - zi[j];
        xi[j] = g - zi[k];
    }
    if (n >= 4) {
        xr[n / 4] = zr[n / 4];
        xi[n / 4] = -zi[n / 4];
    }
    const double r0 = zr[0];
    const double i0 = zi[0];
    xr[0] = r0 + i0;
    xr[m] = r0 - i0;
    xi[0] = 0.0;
    xi[m] = 0.0;
}

void Transform(double* data, std::size_t n, const double* table) {
    VectorFloatEnvironment environment;
    Scratch scratch;
    if (!AcquireScratch(n, scratch)) {
        ReportInternalCondition(0, kRoutine);
        return;
    }
    const std::size_t m = n / 2;
    double* re = scratch.data;
    double* im = re + m;
    for (std::size_t j = 0; j < m; ++j) {
        re[j] = data[2 * j];
        im[j] = data[2 * j + 1];
    }
    // The input has been copied; the caller's array serves as the complex step's work area.
    if (m > 1) ZFFT1D(table + TwiddleOffset(n), m, re, im, data);
    SplitStep(re, im, n, table, data);
    ReleaseScratch(scratch);
}

}  // namespace

void ReportParameterError(int parameter, const char* routine) {
    FullFloatEnvironment environment;
    char digits[2] = {static_cast<char>('0' + parameter % 10), '\0'};
    ConsoleWrite(2, "FFT ERROR : Parameter ");
    if (parameter > 9) ConsoleWrite(2, "1");
    ConsoleWrite(2, digits);
    ConsoleWrite(2, " was incorrect on entry to ");
    ConsoleWrite(2, routine);
    ConsoleWrite(2, "\n");
}

void ReportInternalCondition(int condition, const char* routine) {
    FullFloatEnvironment environment;
    const long long magnitude = -static_cast<long long>(condition);
    char digit[2] = {static_cast<char>('0' + magnitude % 10), '\0'};
    ConsoleWrite(2, "FFT INTERNAL ERROR : Condition ");
    if (condition <= -1000) ConsoleWrite(2, "100");
    ConsoleWrite(2, digit);
    ConsoleWrite(2, " detected in function ");
    ConsoleWrite(2, routine, strnlen(routine, 10));
    ConsoleWrite(2, "\n");
}

namespace testing {

void SetScratchAllocator(ScratchAlloc alloc, ScratchFree release) {
    g_alloc = alloc;
    g_free = release;
}

}  // namespace testing
}  // namespace kinetra::fft

void DZFFT1DC(double* data, int n, int isign, double* table) {
    using namespace kinetra::fft;
    if (n == 0 || n == 1) return;
    if (!IsPowerOfTwo(n)) {
        ReportParameterError(2, kRoutine);
        return;
    }
    if (isign < -2 || isign > 2) {
        ReportParameterError(3, kRoutine);
        return;
    }
    if (table == nullptr) {
        ReportParameterError(4, kRoutine);
        return;
    }
    const auto length = static_cast<std::size_t>(n);
    if (isign != 0 &&
        (!TableHolds(table[0], length / 2) || !TableHolds(table[2 * length - 1], length / 2))) {
        ReportParameterError(4, kRoutine);
        return;
    }
    if (data == nullptr) {
        ReportParameterError(1, kRoutine);
        return;
    }
    if (isign == 0) {
        InitTable(table, length);
    } else {
        Transform(data, length, table);
    }
}
