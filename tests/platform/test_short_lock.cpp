// The short lock: holders kept apart, try_lock, and a waiter that outlasts a long holder.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/short_lock.h"

namespace {
constexpr auto kWayOut = std::chrono::seconds(30);
}  // namespace

// Increments from several threads are never lost, and try_lock fails only while another holder
// has it.
TEST(ShortLock, KeepsEveryHolderAlone) {
    kinetra::ShortLock lock;
    std::uint64_t count = 0;  // guarded by lock
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                std::lock_guard guard(lock);
                const std::uint64_t seen = count;
                if (i % 64 == 0) std::this_thread::yield();  // a holder that is preempted
                count = seen + 1;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(count, static_cast<std::uint64_t>(kThreads) * kRounds);

    ASSERT_TRUE(lock.try_lock());
    auto other = std::async(std::launch::async, [&] { return lock.try_lock(); });
    EXPECT_FALSE(other.get());
    lock.unlock();
    other = std::async(std::launch::async, [&] {
        const bool taken = lock.try_lock();
        if (taken) lock.unlock();
        return taken;
    });
    EXPECT_TRUE(other.get());
}

// A holder that keeps the lock far longer than a spin (preempted, or here sleeping) makes the
// waiter fall back to sleeping between looks; it still gets the lock once the holder lets go.
TEST(ShortLock, AWaiterOutlastsALongHolder) {
    kinetra::ShortLock lock;
    std::atomic<bool> held{false};
    bool seenByWaiter = false;  // guarded by lock
    lock.lock();
    auto waiter = std::async(std::launch::async, [&] {
        held = true;
        std::lock_guard guard(lock);
        return seenByWaiter;
    });
    while (!held) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    seenByWaiter = true;
    lock.unlock();
    ASSERT_EQ(waiter.wait_for(kWayOut), std::future_status::ready);
    EXPECT_TRUE(waiter.get());
}
