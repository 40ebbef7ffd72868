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

bool AutoResetEvent::SleepOnState(bool limited, std::chrono::steady_clock::duration left) {
    if (m_sleeper == nullptr) return false;
    const DWORD wait =
        limited ? static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(left).count())
                : INFINITE;
    const DWORD rc = WaitForSingleObject(m_sleeper, wait);
    return rc == WAIT_OBJECT_0 || rc == WAIT_TIMEOUT;
}

}  // namespace kinetra
