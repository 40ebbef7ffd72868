// The per-block path (pump, spectrum frame, average, listeners, and the band mappers in either
// mode) allocates nothing: every allocation function of the process is counted while blocks flow.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "analysis/band_mapper.h"
#include "capture/memory_source.h"
#include "engine_fixture.h"
#include "test_listener.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void Count() {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
}

}  // namespace

// Every form of operator new lands here. The plain forms and delete are not inlined, so that GCC
// does not pair the malloc inside new with a delete and take it for a mismatch.
__attribute__((noinline)) void* operator new(std::size_t size) {
    Count();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
__attribute__((noinline)) void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    Count();
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
// Over-aligned: from malloc, with the block's start kept just before the aligned memory (so that
// one free fits every system).
void* operator new(std::size_t size, std::align_val_t align) {
    Count();
    const auto alignment = static_cast<std::size_t>(align);
    void* block = std::malloc(size + alignment + sizeof(void*));
    if (block == nullptr) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(block) + sizeof(void*);
    void** aligned = reinterpret_cast<void**>((start + alignment - 1) & ~(alignment - 1));
    aligned[-1] = block;
    return aligned;
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return operator new(size, align);
}
__attribute__((noinline)) void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    operator delete(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    if (p != nullptr) std::free(static_cast<void**>(p)[-1]);
}
void operator delete[](void* p, std::align_val_t align) noexcept {
    operator delete(p, align);
}
void operator delete(void* p, std::size_t, std::align_val_t align) noexcept {
    operator delete(p, align);
}
void operator delete[](void* p, std::size_t, std::align_val_t align) noexcept {
    operator delete(p, align);
}

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define KINETRA_COUNT_C_HEAP 1
// The C heap too, with glibc (the sanitizers own malloc in their builds, and the Windows C
// runtime's cannot be replaced: there only operator new counts).
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) {
    Count();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    Count();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    Count();
    return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t align, std::size_t size) {
    Count();
    return __libc_memalign(align, size);
}
int posix_memalign(void** out, std::size_t align, std::size_t size) {
    Count();
    void* p = __libc_memalign(align, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
void free(void* p) {
    __libc_free(p);
}
}
#endif

namespace {

using kinetra::test::CountingListener;
using kinetra::test::EngineTest;

bool SilentHook(kinetra::testing::PriorityRequest) {
    return true;
}

class PumpAllocationTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        kinetra::testing::SetPriorityHook(&SilentHook);  // the recorder's vector would allocate
        for (std::int16_t j = 0; j < 1024; ++j)
            m_block[j] = static_cast<std::int16_t>((j * 37) % 2001 - 1000);
        Open();
        for (CountingListener& l : m_listeners) engine->AddListener(&l);
    }
    void TearDown() override {
        g_counting = false;
        for (CountingListener& l : m_listeners) engine->RemoveListener(&l);
        EngineTest::TearDown();
    }
    void AppendBlocks(int count) {
        for (int i = 0; i < count; ++i) ASSERT_TRUE(script->Append(m_block, 1024));
    }

    std::int16_t m_block[1024];
    CountingListener m_listeners[5];
};

void* volatile g_escape = nullptr;

TEST(AllocationCounter, SeesAllocations) {
    g_allocations = 0;
    g_counting = true;
    g_escape = ::operator new(64);
    ::operator delete(g_escape);
    g_escape = std::malloc(64);
    std::free(g_escape);
    g_counting = false;
#ifdef KINETRA_COUNT_C_HEAP
    EXPECT_GE(g_allocations.load(), 3);  // operator new (and the malloc under it), malloc
#else
    EXPECT_GE(g_allocations.load(), 1);
#endif
}

TEST_F(PumpAllocationTest, PumpingOnTheCallingThreadAllocatesNothing) {
    AppendBlocks(1);
    engine->PumpBlock();  // warm-up
    g_allocations = 0;
    g_counting = true;
    for (int i = 0; i < 3000; ++i) {
        switch (i % 5) {
            case 0:
                AppendBlocks(4);  // stale blocks dropped and counted
                break;
            case 1:
                CCaptureEngine::SetLagBlocksForTesting(100);  // past the limit: priority raised
                AppendBlocks(2);
                break;
            case 2:
                script->SetLockLengthOverride(1024);  // a block the frame refuses
                AppendBlocks(1);
                break;
            default:
                script->SetLockLengthOverride(0);
                AppendBlocks(1);
                break;
        }
        engine->PumpBlock();
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_GT(m_listeners[4].calls.load(), 2000);
}

TEST_F(PumpAllocationTest, TheRunningCaptureThreadAllocatesNothingPerBlock) {
    ASSERT_TRUE(engine->StartThread());
    // Warm-up: the thread is in its loop and has handled a block.
    AppendBlocks(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // The last listener: once it has been called, the block's pump is all but done, so the next
    // block cannot arrive while this one is still pending (it would be dropped as stale).
    while (m_listeners[4].calls.load() < 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(m_listeners[4].calls.load(), 1);

    g_allocations = 0;
    g_counting = true;
    for (int i = 0; i < 500; ++i) {
        const int before = m_listeners[4].calls.load();
        AppendBlocks(1);
        // Each block gets its own way out, so a slow (sanitized) build still waits for every one.
        const auto blockDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_listeners[4].calls.load() == before &&
               std::chrono::steady_clock::now() < blockDeadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_EQ(m_listeners[4].calls.load(), 501);
    EXPECT_TRUE(engine->StopThread());
}

// The in-memory source's side of the path (the producer's Push, the reader's Lock and Unlock)
// allocates nothing either, and its waits replace the polling above.
TEST(MemorySourceAllocations, PushingIntoTheRunningEngineAllocatesNothing) {
    kinetra::testing::SetPriorityHook(&SilentHook);
    std::string error;
    auto source = kinetra::capture::MemorySource::Create("allocations", &error);
    ASSERT_NE(source, nullptr) << error;
    CCaptureEngine engine;
    engine.SetAudioInput(source->Choice());
    engine.Init(nullptr);
    CountingListener listener;
    engine.AddListener(&listener);
    ASSERT_EQ(engine.OpenCaptureBuffer(13), kinetra::capture::kOk);
    ASSERT_TRUE(engine.StartThread());
    std::int16_t block[1024];
    for (int j = 0; j < 1024; ++j) block[j] = static_cast<std::int16_t>((j * 53) % 3001 - 1500);
    constexpr std::int32_t kWaitMs = 10000;  // per block: a way out should the engine stop
    ASSERT_EQ(source->Push(block, 1024, kWaitMs), kinetra::capture::kOk);  // warm-up
    ASSERT_TRUE(source->WaitUntilTaken(kWaitMs));

    g_allocations = 0;
    g_counting = true;
    int pushed = 0;
    for (int i = 0; i < 500; ++i) pushed += source->Push(block, 1024, kWaitMs) == 0;
    const bool taken = source->WaitUntilTaken(kWaitMs);
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_EQ(pushed, 500);
    EXPECT_TRUE(taken);
    EXPECT_EQ(listener.calls.load(), 501);
    EXPECT_TRUE(engine.StopThread());
    engine.RemoveListener(&listener);
    engine.Shutdown();
    kinetra::testing::SetPriorityHook(nullptr);
}

// Hits mode's blocks (switching into the mode included) on five mappers, with the spectrum
// frame's windowed copy as the capture engine makes it in hits mode.
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
    std::uniform_int_distribution<int> sample(-20000, 20000);
    std::vector<std::int16_t> sound(64 * 1024);
    for (auto& v : sound) v = static_cast<std::int16_t>(sample(random));
    CSpectrumFrame frame;
    frame.TransformWindowed(sound.data(), 1024);  // the transform's scratch block, once a thread
    const std::vector<double> average(SPECTRUM_BINS, 1e5);
    g_allocations = 0;
    g_counting.store(true);
    for (CBandMapper* m : mappers) m->SetMode(MapperMode::kHits);
    for (int i = 0; i < 1000; ++i) {
        const double* spectrum = frame.TransformWindowed(&sound[(i % 64) * 1024], 1024);
        for (CBandMapper* m : mappers) {
            m->OnSpectrum(spectrum, average.data(), 2 * SPECTRUM_BINS * 8);
        }
    }
    g_counting.store(false);
    EXPECT_EQ(g_allocations.load(), 0);
}

}  // namespace
