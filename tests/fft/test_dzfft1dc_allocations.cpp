// After a thread's first transform, transforms of up to 65536 points allocate nothing (the capture
// path relies on it); longer ones take one scratch block per call. Counted by wrapping malloc in
// this test program, which is why the test is left out of the sanitizer builds (their allocators
// replace malloc themselves).
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

#include "fft/dzfft1dc.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KINETRA_COUNT_MALLOC 0
#else
#define KINETRA_COUNT_MALLOC 1
#endif

#if KINETRA_COUNT_MALLOC
extern "C" void* __libc_malloc(std::size_t size);

namespace {
std::atomic<int> g_mallocs{0};
thread_local bool t_counting = false;
}  // namespace

extern "C" void* malloc(std::size_t size) {
    if (t_counting) g_mallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
#endif

namespace {

// Mallocs made by `rounds` transforms of n points on this thread, after one untimed first call.
int MallocsOfTransforms(int n, int rounds) {
#if KINETRA_COUNT_MALLOC
    std::vector<double> table(2 * n + 4), data(n + 2, 0.5);
    DZFFT1DC(data.data(), n, 0, table.data());
    DZFFT1DC(data.data(), n, -1, table.data());
    g_mallocs = 0;
    t_counting = true;
    for (int round = 0; round < rounds; ++round) {
        for (int j = 0; j < n; ++j) data[j] = 0.25 * (j % 5);
        DZFFT1DC(data.data(), n, -1, table.data());
    }
    t_counting = false;
    return g_mallocs.load();
#else
    (void)n;
    (void)rounds;
    return -1;
#endif
}

TEST(DzfftAllocations, NoneAfterTheFirstTransformUpTo65536Points) {
    if (!KINETRA_COUNT_MALLOC) GTEST_SKIP() << "malloc cannot be counted under a sanitizer";
    for (int n : {2, 64, 1024, 4096, 65536}) EXPECT_EQ(MallocsOfTransforms(n, 20), 0) << n;
    // Also on a thread of its own, as the capture thread is.
    int onThread = -2;
    std::thread worker([&] { onThread = MallocsOfTransforms(1024, 50); });
    worker.join();
    EXPECT_EQ(onThread, 0);
}

TEST(DzfftAllocations, LongerTransformsTakeOneScratchBlockEach) {
    if (!KINETRA_COUNT_MALLOC) GTEST_SKIP() << "malloc cannot be counted under a sanitizer";
    EXPECT_EQ(MallocsOfTransforms(131072, 3), 3);
}

}  // namespace
