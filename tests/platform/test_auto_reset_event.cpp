// The auto-reset event: one Set releases one Wait, the event resets itself, waits time out,
// and a wake-up from another thread is never lost.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/auto_reset_event.h"

using kinetra::AutoResetEvent;
using WaitResult = AutoResetEvent::WaitResult;

namespace {

TEST(AutoResetEvent, OneSetReleasesOneWaitAndResets) {
    AutoResetEvent event;
    EXPECT_FALSE(event.IsSignalled());
    EXPECT_EQ(event.Wait(0), WaitResult::kTimeout);
    event.Set();
    event.Set();  // a second Set before a wait does not count twice
    EXPECT_TRUE(event.IsSignalled());
    EXPECT_EQ(event.Wait(0), WaitResult::kSignalled);
    EXPECT_FALSE(event.IsSignalled());
    EXPECT_EQ(event.Wait(0), WaitResult::kTimeout);
    EXPECT_EQ(event.Wait(30), WaitResult::kTimeout);  // a short limited wait ends by itself
    event.Set();
    EXPECT_EQ(event.Wait(-1), WaitResult::kSignalled);  // no limit, already signalled
}

TEST(AutoResetEvent, InjectedFailureIsReported) {
    AutoResetEvent event;
    event.Set();
    event.SetFailWaitsForTesting(true);
    EXPECT_EQ(event.Wait(1000), WaitResult::kFailed);
    event.SetFailWaitsForTesting(false);
    EXPECT_EQ(event.Wait(0), WaitResult::kSignalled);  // the signal was not consumed
    EXPECT_EQ(event.WaitCount(), 2u);
}

TEST(AutoResetEvent, WakesAWaiterOnAnotherThread) {
    AutoResetEvent event;
    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = event.Wait(-1) == WaitResult::kSignalled; });
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke);
}

TEST(AutoResetEvent, PingPongLosesNoWakeUp) {
    // Two events passed back and forth: a lost wake-up would leave a side waiting out its
    // (generous) limit and count a time-out.
    AutoResetEvent ping, pong;
    constexpr int kRounds = 20000;
    std::atomic<int> timeouts{0};
    std::thread other([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (ping.Wait(5000) != WaitResult::kSignalled) ++timeouts;
            pong.Set();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        ping.Set();
        if (pong.Wait(5000) != WaitResult::kSignalled) ++timeouts;
    }
    other.join();
    EXPECT_EQ(timeouts, 0);
}

TEST(AutoResetEvent, SetsFromSeveralThreadsNeverLeaveTheWaiterAsleep) {
    // Two threads post and set as fast as they can, so that most Sets find the event signalled
    // already. The waiter takes posts until it has seen them all; a wake-up lost while posts are
    // pending would leave it waiting out its (generous) limit and count a time-out.
    AutoResetEvent event;
    constexpr int kPerSetter = 50000;
    std::atomic<int> posted{0};
    auto setter = [&] {
        for (int i = 0; i < kPerSetter; ++i) {
            posted.fetch_add(1);
            event.Set();
        }
    };
    std::thread first(setter);
    std::thread second(setter);
    int timeouts = 0;
    while (posted.load() < 2 * kPerSetter && timeouts < 3) {
        if (event.Wait(5000) == WaitResult::kTimeout) ++timeouts;
    }
    first.join();
    second.join();
    EXPECT_EQ(timeouts, 0);
}

TEST(AutoResetEvent, ASignalTakenSeesWhatWasWrittenBeforeASetThatFoundItPending) {
    // The rings' pattern: the producer publishes a position, then sets; the consumer takes the
    // signal, reads the position and waits again once it has caught up. Here each round
    // publishes twice, so that the second Set often finds the first one's signal not yet
    // taken. That Set must still order its position before the signal is taken, or the
    // consumer reads the older one, waits again and sleeps with news pending (a time-out).
    AutoResetEvent event;
    constexpr int kRounds = 50000;
    std::atomic<int> position{0};
    std::atomic<int> seen{0};
    std::atomic<bool> stuck{false};
    std::thread consumer([&] {
        int timeouts = 0;
        while (seen.load() < 2 * kRounds && timeouts < 2) {
            if (event.Wait(5000) == WaitResult::kTimeout) ++timeouts;
            seen.store(position.load(std::memory_order_acquire));
        }
        stuck = timeouts > 0;
    });
    for (int i = 1; i <= kRounds && !stuck.load(); ++i) {
        position.store(2 * i - 1, std::memory_order_release);
        event.Set();
        position.store(2 * i, std::memory_order_release);
        event.Set();
        while (seen.load() < 2 * i && !stuck.load()) std::this_thread::yield();
    }
    consumer.join();
    EXPECT_FALSE(stuck.load());
    EXPECT_EQ(seen.load(), 2 * kRounds);
}

}  // namespace
