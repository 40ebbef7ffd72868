// A hook on the virtual device that holds the first call of one kind inside the device until
// released (or until a way-out time), like a slow driver. Tests run it on their own thread; the
// held call waits on the calling thread of the device.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "force/virtual_device.h"

namespace kinetra::test {

// Longest a call is held, or waited for.
inline constexpr auto kSlowCallWayOut = std::chrono::seconds(30);

// Holds one kind of device call inside the device until released, like a slow driver.
class SlowCall {
public:
    explicit SlowCall(kinetra::force::VirtualCall call) : m_call(call) {
        kinetra::force::SetVirtualDeviceCallHook(&Hook, this);
    }
    ~SlowCall() {
        Release();
        kinetra::force::SetVirtualDeviceCallHook(nullptr, nullptr);
    }

    // Waits until a call of the kind is held; false after the way-out time.
    bool WaitHeld() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kSlowCallWayOut, [this] { return m_held; });
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    static void Hook(void* context, kinetra::force::VirtualCall call, int /*slot*/) {
        auto* self = static_cast<SlowCall*>(context);
        if (call != self->m_call) return;
        std::unique_lock lock(self->m_mutex);
        if (self->m_held) return;  // hold only the first one
        self->m_held = true;
        self->m_changed.notify_all();
        self->m_changed.wait_for(lock, kSlowCallWayOut, [self] { return self->m_released; });
    }

    const kinetra::force::VirtualCall m_call;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_released = false;
};

}  // namespace kinetra::test
