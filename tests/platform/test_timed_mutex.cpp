// The owner-aware timed mutex: owners may take it again, only owners release it, and waiters
// give up after their limit.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/timed_mutex.h"

using kinetra::TimedMutex;

namespace {

TEST(TimedMutex, OwnerCountsAndOnlyOwnerReleases) {
    TimedMutex mutex;
    EXPECT_FALSE(mutex.Unlock());  // nobody owns it
    ASSERT_TRUE(mutex.TryLockFor(0));
    EXPECT_TRUE(mutex.IsOwnedByCaller());
    EXPECT_TRUE(mutex.TryLockFor(0));  // again, by its owner

    bool otherUnlocked = true, otherLocked = true, otherOwns = true;
    std::thread other([&] {
        otherUnlocked = mutex.Unlock();
        otherLocked = mutex.TryLockFor(20);
        otherOwns = mutex.IsOwnedByCaller();
    });
    other.join();
    EXPECT_FALSE(otherUnlocked);
    EXPECT_FALSE(otherLocked);
    EXPECT_FALSE(otherOwns);
    EXPECT_TRUE(mutex.IsOwnedByCaller());  // the failed release changed nothing

    EXPECT_TRUE(mutex.Unlock());
    EXPECT_TRUE(mutex.IsLocked());  // one level left
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_FALSE(mutex.IsLocked());
    EXPECT_FALSE(mutex.Unlock());
}

TEST(TimedMutex, WaiterGetsItWhenTheOwnerReleases) {
    TimedMutex mutex;
    std::atomic<bool> held{false}, release{false};
    std::thread owner([&] {
        mutex.TryLockFor(0);
        held = true;
        while (!release) std::this_thread::yield();
        mutex.Unlock();
    });
    while (!held) std::this_thread::yield();
    EXPECT_FALSE(mutex.TryLockFor(0));
    release = true;
    EXPECT_TRUE(mutex.TryLockFor(10000));
    EXPECT_TRUE(mutex.IsOwnedByCaller());
    owner.join();
    EXPECT_TRUE(mutex.Unlock());
}

}  // namespace
