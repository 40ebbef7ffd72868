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

}  // namespace
