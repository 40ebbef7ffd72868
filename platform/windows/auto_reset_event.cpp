#include "platform/auto_reset_event.h"

#include <windows.h>

#include <chrono>

namespace kinetra {

// The state word decides; the event object (auto-reset) only lets a waiter sleep. A wake-up
// that finds no sleeper stays in the object and costs the next waiter one more look at the
// state, so no wake-up is lost between a waiter's look and its sleep.
AutoResetEvent::AutoResetEvent() : m_sleeper(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

AutoResetEvent::~AutoResetEvent() {
    if (m_sleeper != nullptr) CloseHandle(m_sleeper);
}

void AutoResetEvent::WakeOne() {
    if (m_sleeper != nullptr) SetEvent(m_sleeper);
}

AutoResetEvent::WaitResult AutoResetEvent::Wait(std::int32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    m_waitCount.fetch_add(1, std::memory_order_relaxed);
    if (m_failWaits.load(std::memory_order_acquire)) return WaitResult::kFailed;
    if (m_state.exchange(0) == 1) return WaitResult::kSignalled;
    if (timeoutMs == 0) return WaitResult::kTimeout;
    if (m_sleeper == nullptr) return WaitResult::kFailed;

    const bool limited = timeoutMs > 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    m_waiters.fetch_add(1);
    WaitResult result = WaitResult::kTimeout;
    for (;;) {
        if (m_state.exchange(0) == 1) {
            result = WaitResult::kSignalled;
            break;
        }
        DWORD wait = INFINITE;
        if (limited) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                result = WaitResult::kTimeout;
                break;
            }
            wait = static_cast<DWORD>(left);
        }
        const DWORD rc = WaitForSingleObject(m_sleeper, wait);
        if (rc == WAIT_OBJECT_0 || rc == WAIT_TIMEOUT) continue;
        result = WaitResult::kFailed;
        break;
    }
    m_waiters.fetch_sub(1);
    return result;
}

}  // namespace kinetra
