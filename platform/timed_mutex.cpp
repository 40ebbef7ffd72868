#include "platform/timed_mutex.h"

#include <chrono>

namespace kinetra {

bool TimedMutex::TryLockFor(std::int32_t timeoutMs) {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_depth > 0 && m_owner == self) {
        ++m_depth;
        return true;
    }
    const auto limit = std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    if (!m_released.wait_for(lock, limit, [this] { return m_depth == 0; })) return false;
    m_owner = self;
    m_depth = 1;
    return true;
}

bool TimedMutex::Unlock() {
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_depth == 0 || m_owner != std::this_thread::get_id()) return false;
    if (--m_depth == 0) {
        m_owner = std::thread::id();
        lock.unlock();
        m_released.notify_one();
    }
    return true;
}

bool TimedMutex::IsOwnedByCaller() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_depth > 0 && m_owner == std::this_thread::get_id();
}

bool TimedMutex::IsLocked() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_depth > 0;
}

}  // namespace kinetra
