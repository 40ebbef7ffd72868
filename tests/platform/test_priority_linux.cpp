// Priority classes and the time-critical thread setting on Linux (nice values of the process and of
// one thread).
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/priority.h"

using kinetra::PriorityClass;

namespace {

int NiceOfThread(pid_t tid) {
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
}

pid_t ThisTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

TEST(Priority, ClassesStandForNiceValues) {
    EXPECT_EQ(kinetra::NiceValueOf(PriorityClass::kNormal), 0);
    EXPECT_EQ(kinetra::NiceValueOf(PriorityClass::kHigh), -10);
    EXPECT_EQ(kinetra::NiceValueOf(PriorityClass::kRealtime), -20);
}

TEST(Priority, ProcessClassReachesEveryThread) {
    std::atomic<pid_t> otherTid{0};
    std::atomic<bool> done{false};
    std::thread other([&] {
        otherTid = ThisTid();
        while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (otherTid == 0) std::this_thread::yield();
    const int before = NiceOfThread(ThisTid());
    if (!kinetra::SetProcessPriorityClass(PriorityClass::kHigh)) {
        done = true;
        other.join();
        GTEST_SKIP() << "raising priorities is not permitted here";
    }
    EXPECT_EQ(NiceOfThread(ThisTid()), -10);
    EXPECT_EQ(NiceOfThread(otherTid), -10);
    // Back to where this process started (0 normally).
    EXPECT_TRUE(setpriority(PRIO_PROCESS, static_cast<id_t>(ThisTid()), before) == 0);
    setpriority(PRIO_PROCESS, static_cast<id_t>(otherTid.load()), before);
    done = true;
    other.join();
}

TEST(Priority, TimeCriticalThreadHasTheTopNiceValueAndNoRealTimePolicy) {
    bool granted = false;
    int policy = -1;
    int nice = 0;
    std::thread worker([&] {
        granted = kinetra::SetCurrentThreadTimeCritical();
        sched_param param{};
        pthread_getschedparam(pthread_self(), &policy, &param);
        nice = NiceOfThread(ThisTid());
    });
    worker.join();
    if (!granted) GTEST_SKIP() << "raising a thread's priority is not permitted here";
    EXPECT_EQ(policy, SCHED_OTHER);
    EXPECT_EQ(nice, -20);
}

}  // namespace
