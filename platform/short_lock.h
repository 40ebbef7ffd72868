// A lock for a few dozen instructions of shared state: taking it when it is free is one atomic
// exchange and releasing it is a plain store, where a std::mutex costs a read-modify-write each
// way and a call into the C library. A thread that finds it taken spins for a short while, then
// yields its processor a few times, then sleeps 20 microseconds between looks (so that a holder
// of lower priority that was preempted gets to run even under a real-time waiter). It suits
// state whose holders never block: no device I/O, no waiting, no thread start and no debug line
// while it is held. It meets the standard's Lockable requirements (std::lock_guard,
// std::unique_lock).
#pragma once

#include <atomic>

namespace kinetra {

class ShortLock {
public:
    ShortLock() = default;
    ShortLock(const ShortLock&) = delete;
    ShortLock& operator=(const ShortLock&) = delete;

    // Takes the lock, waiting while another thread holds it. Not recursive. Thread: any.
    void lock() {
        if (!m_taken.exchange(true, std::memory_order_acquire)) return;
        LockContended();
    }
    // Takes the lock when it is free; false (nothing taken) otherwise. Thread: any.
    bool try_lock() {
        return !m_taken.load(std::memory_order_relaxed) &&
               !m_taken.exchange(true, std::memory_order_acquire);
    }
    // Releases the lock. Thread: the holder.
    void unlock() { m_taken.store(false, std::memory_order_release); }

private:
    // Waits for the holder to let go, then takes the lock.
    void LockContended();

    std::atomic<bool> m_taken{false};
};

}  // namespace kinetra
