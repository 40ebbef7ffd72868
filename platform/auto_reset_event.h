// An auto-reset event: Set wakes one waiter (or the next one to wait) and the event resets
// itself as that waiter returns. The state is an atomic word, so that Set is safe in an audio
// callback; a waiter looks at the state (platform/auto_reset_event.cpp) and sleeps on what the
// system offers (a futex on Linux, an event object on Windows:
// platform/<system>/auto_reset_event.cpp).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace kinetra {

class AutoResetEvent {
public:
    enum class WaitResult { kSignalled, kTimeout, kFailed };

    // Starts not signalled. Thread: any.
    AutoResetEvent();
    ~AutoResetEvent();
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    // Signals the event. Takes no lock, allocates nothing and never blocks: callable from an
    // audio callback or a signal handler. Inline, as the rings set one per block. Thread: any.
    void Set() {
        // Sequentially consistent on both sides: a waiter announces itself and then looks at the
        // state; the setter changes the state and then looks for waiters. One of them sees the
        // other. An exchange even when the event is signalled already: it also puts what the
        // setter wrote before it ahead of the waiter that takes the signal. A plain look at the
        // state would not, and a waiter could take an older signal, miss the news and sleep on
        // it.
        if (m_state.exchange(1) == 0 && m_waiters.load() > 0) WakeOne();
    }

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
    // Wakes one waiter sleeping on the state.
    void WakeOne();
    // Sleeps until woken by WakeOne, or for at most left when limited; it may also return early
    // or for nothing, as the waiter looks at the state again. False when the system refuses the
    // wait.
    bool SleepOnState(bool limited, std::chrono::steady_clock::duration left);

    // 0: not signalled, 1: signalled. A 32-bit word, as the futex call needs.
    std::atomic<std::int32_t> m_state{0};
    // What a waiter sleeps on where the system needs an object for it (the Windows event
    // handle); null on Linux.
    [[maybe_unused]] void* m_sleeper = nullptr;
    std::atomic<std::int32_t> m_waiters{0};
    std::atomic<bool> m_failWaits{false};
    std::atomic<std::uint64_t> m_waitCount{0};
};

}  // namespace kinetra
