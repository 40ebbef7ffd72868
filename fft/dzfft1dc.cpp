#include "fft/dzfft1dc.h"

#include <atomic>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fft/fft_internal.h"
#include "fft/fft_testing.h"
#include "platform/console.h"
#include "platform/thread_scratch.h"

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
    // Writing MXCSR is slow; it is written only when its control bits (or, at the end, its
    // flags) differ from what is wanted.
    VectorFloatEnvironment() : m_saved(_mm_getcsr()) {
        if ((m_saved & ~kFlagBits) != kDefaultMxcsr) _mm_setcsr(kDefaultMxcsr);
    }
    ~VectorFloatEnvironment() {
        if (_mm_getcsr() != m_saved) _mm_setcsr(m_saved);
    }

private:
    static constexpr unsigned kDefaultMxcsr = 0x1F80;  // all masked, nearest, no FTZ/DAZ
    static constexpr unsigned kFlagBits = 0x3F;        // the six sticky exception flags
    unsigned m_saved;
#else
    VectorFloatEnvironment() = default;

private:
    FullFloatEnvironment m_full;
#endif
};

testing::ScratchAlloc g_alloc = nullptr;
testing::ScratchFree g_free = nullptr;

struct Scratch {
    void* block = nullptr;  // to release, or null when the block is the thread's cached one
    double* data = nullptr;
};

// Obtains the scratch block and returns its first 64-byte boundary at or after 16 bytes in (the
// block has room for VectorScratchDoubles(n) doubles from there, as the vector path needs, and so
// for the scalar path's n).
bool AcquireScratch(std::size_t n, Scratch& scratch) {
    const std::size_t bytes = (VectorScratchDoubles(n) + 10) * sizeof(double);
    void* block = nullptr;
    if (g_alloc != nullptr) {
        block = g_alloc(bytes);
        scratch.block = block;
    } else if (n <= kCachedScratchLimit) {
        // The thread's block, kept for its later transforms.
        block = kinetra::ThreadScratchBlock(bytes);
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

bool IsPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// True when the table element, truncated toward zero, equals m. NaN and huge values fail.
bool TableHolds(double element, std::size_t m) {
    return std::trunc(element) == static_cast<double>(m);
}

void InitTableChecked(double* table, std::size_t n) {
    FullFloatEnvironment environment;
    InitTable(table, n);
}

using TransformFn = void (*)(double*, std::size_t, const double*, double*, const PowerRequest*);

// The scalar path in the vector paths' form.
void ScalarPath(double* data, std::size_t n, const double* table, double* scratch,
                const PowerRequest* request) {
    if (request != nullptr) {
        PowersScalar(data, n, table, scratch, *request);
    } else {
        TransformScalar(data, n, table, scratch);
    }
}

bool CpuHas(testing::Path path) {
    switch (path) {
        case testing::Path::kScalar:
            return true;
        case testing::Path::kAvx2:
#if defined(__x86_64__) || defined(__i386__)
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
            return false;
#endif
    }
    return false;
}

TransformFn PathFunction(testing::Path path) {
    switch (path) {
        case testing::Path::kAvx2:
            return &TransformAvx2;
        case testing::Path::kScalar:
            break;
    }
    return &ScalarPath;
}

// The widest path this processor runs, chosen once.
testing::Path BestPath() {
    static const testing::Path best = [] {
        if (CpuHas(testing::Path::kAvx2)) return testing::Path::kAvx2;
        return testing::Path::kScalar;
    }();
    return best;
}

// A path forced by a test, or -1 for the automatic choice.
std::atomic<int> g_forcedPath{-1};

testing::Path CurrentPath() {
    const int forced = g_forcedPath.load(std::memory_order_relaxed);
    return forced >= 0 ? static_cast<testing::Path>(forced) : BestPath();
}

bool Powers(double* work, std::size_t n, const double* table, const PowerRequest& request) {
    VectorFloatEnvironment environment;
    Scratch scratch;
    if (!AcquireScratch(n, scratch)) {
        ReportInternalCondition(0, kRoutine);
        return false;
    }
    PathFunction(CurrentPath())(work, n, table, scratch.data, &request);
    ReleaseScratch(scratch);
    return true;
}

void Transform(double* data, std::size_t n, const double* table) {
    VectorFloatEnvironment environment;
    Scratch scratch;
    if (!AcquireScratch(n, scratch)) {
        ReportInternalCondition(0, kRoutine);
        return;
    }
    PathFunction(CurrentPath())(data, n, table, scratch.data, nullptr);
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

bool BlockPowers(const std::int16_t* samples, int n, const double* table, double* work,
                 double scale, double* power) {
    if (n < 2 || !IsPowerOfTwo(n)) {
        ReportParameterError(2, kRoutine);
        return false;
    }
    const auto length = static_cast<std::size_t>(n);
    if (table == nullptr || !TableHolds(table[0], length / 2) ||
        !TableHolds(table[2 * length - 1], length / 2)) {
        ReportParameterError(4, kRoutine);
        return false;
    }
    if (samples == nullptr || work == nullptr || power == nullptr) {
        ReportParameterError(1, kRoutine);
        return false;
    }
    return Powers(work, length, table, PowerRequest{samples, scale, power});
}

namespace testing {

void SetScratchAllocator(ScratchAlloc alloc, ScratchFree release) {
    g_alloc = alloc;
    g_free = release;
}

bool PathSupported(Path path) {
    return CpuHas(path);
}

bool ForcePath(Path path) {
    if (!CpuHas(path)) return false;
    g_forcedPath.store(static_cast<int>(path), std::memory_order_relaxed);
    return true;
}

void ResetPath() {
    g_forcedPath.store(-1, std::memory_order_relaxed);
}

Path ActivePath() {
    return CurrentPath();
}

const char* PathName(Path path) {
    switch (path) {
        case Path::kScalar:
            return "scalar";
        case Path::kAvx2:
            return "AVX2+FMA";
    }
    return "?";
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
        InitTableChecked(table, length);
    } else {
        Transform(data, length, table);
    }
}
