// On Windows the classes are the process priority classes of their names, and "time critical"
// the thread priority of that name.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "platform/priority.h"

using kinetra::PriorityClass;

namespace {

TEST(Priority, ClassesAreTheProcessPriorityClasses) {
    const DWORD before = GetPriorityClass(GetCurrentProcess());
    ASSERT_TRUE(kinetra::SetProcessPriorityClass(PriorityClass::kHigh));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    ASSERT_TRUE(kinetra::SetProcessPriorityClass(PriorityClass::kNormal));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    SetPriorityClass(GetCurrentProcess(), before);
}

TEST(Priority, TimeCriticalIsTheThreadPriority) {
    int priority = 0;
    bool granted = false;
    std::thread worker([&] {
        granted = kinetra::SetCurrentThreadTimeCritical();
        priority = GetThreadPriority(GetCurrentThread());
    });
    worker.join();
    ASSERT_TRUE(granted);
    EXPECT_EQ(priority, THREAD_PRIORITY_TIME_CRITICAL);
}

}  // namespace
