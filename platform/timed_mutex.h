// A mutex that knows its owning thread: it can be taken with a time limit, taken again by its
// owner (counted, like a recursive mutex), and released only by its owner. Releasing it from any
// other thread fails and says so instead of corrupting it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace kinetra {

class TimedMutex {
public:
    TimedMutex() = default;
    TimedMutex(const TimedMutex&) = delete;
    TimedMutex& operator=(const TimedMutex&) = delete;

    // Takes the mutex, waiting at most timeoutMs milliseconds (0 only tries). Returns true when
    // the calling thread owns it afterwards; an owner taking it again succeeds at once and must
    // unlock once more. Thread: any.
    bool TryLockFor(std::int32_t timeoutMs);

    // Releases one level of ownership. Returns false, and changes nothing, when the calling
    // thread does not own the mutex. Thread: any (only the owner succeeds).
    bool Unlock();

    // True when the calling thread owns the mutex. Thread: any.
    bool IsOwnedByCaller() const;
    // True when some thread owns it. Thread: any.
    bool IsLocked() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_released;
    std::thread::id m_owner;  // default id: not owned
    std::uint32_t m_depth = 0;
};

}  // namespace kinetra
