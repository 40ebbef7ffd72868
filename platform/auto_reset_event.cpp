#include "platform/auto_reset_event.h"

namespace kinetra {

AutoResetEvent::WaitResult AutoResetEvent::Wait(std::int32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    m_waitCount.fetch_add(1, std::memory_order_relaxed);
    if (m_failWaits.load(std::memory_order_acquire)) return WaitResult::kFailed;
    if (m_state.exchange(0) == 1) return WaitResult::kSignalled;
    if (timeoutMs == 0) return WaitResult::kTimeout;

    const bool limited = timeoutMs > 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    m_waiters.fetch_add(1);
    WaitResult result = WaitResult::kTimeout;
    for (;;) {
        if (m_state.exchange(0) == 1) {
            result = WaitResult::kSignalled;
            break;
        }
        const Clock::duration left = deadline - Clock::now();
        if (limited && left <= Clock::duration::zero()) {
            result = WaitResult::kTimeout;
            break;
        }
        if (!SleepOnState(limited, left)) {
            result = WaitResult::kFailed;
            break;
        }
    }
    m_waiters.fetch_sub(1);
    return result;
}

}  // namespace kinetra
