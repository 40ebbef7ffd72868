// Hits mode's per-block path allocates nothing: operator new is counted while five mappers in
// hits mode take blocks (switching into the mode included).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "analysis/band_mapper.h"
#include "analysis/spectrum_frame.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

}  // namespace

// The replacements pair operator new with malloc and operator delete with free; once inlined,
// GCC takes the free for a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

TEST(HitsMode, BlocksAllocateNothing) {
    constexpr std::uint32_t kEdges[5][2] = {
        {0, 177}, {220, 440}, {484, 2000}, {2030, 10000}, {10040, 23000}};
    CBandMapper five[5] = {CBandMapper(SPECTRUM_BINS), CBandMapper(SPECTRUM_BINS),
                           CBandMapper(SPECTRUM_BINS), CBandMapper(SPECTRUM_BINS),
                           CBandMapper(SPECTRUM_BINS)};
    CBandMapper* mappers[5] = {&five[0], &five[1], &five[2], &five[3], &five[4]};
    for (int b = 0; b < 5; ++b) {
        mappers[b]->SetBand(kEdges[b][0], kEdges[b][1]);
        mappers[b]->SetThreshold(20);
    }
    std::mt19937 random(5);
    std::uniform_real_distribution<double> level(0.0, 1e6);
    std::vector<std::vector<double>> blocks(64, std::vector<double>(SPECTRUM_BINS));
    for (auto& b : blocks) {
        for (double& v : b) v = level(random);
    }
    const std::vector<double> average(SPECTRUM_BINS, 1e5);
    g_counting.store(true);
    for (CBandMapper* m : mappers) m->SetMode(MapperMode::kHits);
    for (int i = 0; i < 1000; ++i) {
        for (CBandMapper* m : mappers) {
            m->OnSpectrum(blocks[i % 64].data(), average.data(), SPECTRUM_BINS * 8);
        }
    }
    g_counting.store(false);
    EXPECT_EQ(g_allocations.load(), 0);
}

}  // namespace
