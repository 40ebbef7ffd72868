// An auto-reset event: Set wakes one waiter (or the next one to wait) and the event resets
// itself as that waiter returns. Built on a futex, so that Set is safe in an audio callback.
#pragma once

#include <atomic>
#include <cstdint>

namespace kinetra {

class AutoResetEvent {
public:
    enum class WaitResult { kSignalled, kTimeout, kFailed };

    // Starts not signalled. Thread: any.
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    // Signals the event. Takes no lock, allocates nothing and never blocks: callable from an
    // audio callback or a signal handler. Thread: any.
    void Set();

    // Waits until the event is signalled (and resets it) or timeoutMs milliseconds have passed
    // (a negative timeout waits without limit). kFailed when the operating system refuses the
    // wait; callers must not retry at once in a tight loop. Thread: any.
    WaitResult Wait(std::int32_t timeoutMs);

    // True while signalled and not yet consumed by a waiter. Thread: any.
    bool IsSignalled() const { return m_state.load(std::memory_order_acquire) != 0; }

    // Makes every later Wait return kFailed at once (true) or wait normally again (false), so
    // that callers' handling of a failing wait can be exercised. Thread: any.
    void SetFailWaitsForTesting(bool fail) { m_failWaits.store(fail, std::memory_order_release); }

    // Number of Wait calls so far. Thread: any.
    std::uint64_t WaitCount() const { return m_waitCount.load(std::memory_order_relaxed); }

private:
    // 0: not signalled, 1: signalled. A 32-bit word, as the futex call needs.
    std::atomic<std::int32_t> m_state{0};
    std::atomic<std::int32_t> m_waiters{0};
    std::atomic<bool> m_failWaits{false};
    std::atomic<std::uint64_t> m_waitCount{0};
};

}  // namespace kinetra
