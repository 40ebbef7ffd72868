#include "platform/auto_reset_event.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace kinetra {
namespace {

static_assert(sizeof(std::atomic<std::int32_t>) == sizeof(int), "the futex word is an int");

int* FutexWord(std::atomic<std::int32_t>* state) {
    return reinterpret_cast<int*>(state);
}

// Absolute CLOCK_MONOTONIC time timeoutMs from now.
timespec DeadlineAfter(std::int32_t timeoutMs) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    timespec deadline = now;
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}

bool Passed(const timespec& deadline) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > deadline.tv_sec ||
           (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
}

}  // namespace

AutoResetEvent::AutoResetEvent() = default;
AutoResetEvent::~AutoResetEvent() = default;

void AutoResetEvent::WakeOne() {
    syscall(SYS_futex, FutexWord(&m_state), FUTEX_WAKE | FUTEX_PRIVATE_FLAG, 1, nullptr, nullptr,
            0);
}

AutoResetEvent::WaitResult AutoResetEvent::Wait(std::int32_t timeoutMs) {
    m_waitCount.fetch_add(1, std::memory_order_relaxed);
    if (m_failWaits.load(std::memory_order_acquire)) return WaitResult::kFailed;
    if (m_state.exchange(0) == 1) return WaitResult::kSignalled;
    if (timeoutMs == 0) return WaitResult::kTimeout;

    const bool limited = timeoutMs > 0;
    const timespec deadline = limited ? DeadlineAfter(timeoutMs) : timespec{};
    m_waiters.fetch_add(1);
    WaitResult result = WaitResult::kTimeout;
    for (;;) {
        if (m_state.exchange(0) == 1) {
            result = WaitResult::kSignalled;
            break;
        }
        if (limited && Passed(deadline)) {
            result = WaitResult::kTimeout;
            break;
        }
        const long rc =
            syscall(SYS_futex, FutexWord(&m_state), FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG, 0,
                    limited ? &deadline : nullptr, nullptr, FUTEX_BITSET_MATCH_ANY);
        if (rc == 0) continue;
        const int error = errno;
        if (error == EAGAIN || error == EINTR || error == ETIMEDOUT) continue;
        result = WaitResult::kFailed;
        break;
    }
    m_waiters.fetch_sub(1);
    return result;
}

}  // namespace kinetra
