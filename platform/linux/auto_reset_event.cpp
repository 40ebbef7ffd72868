#include "platform/auto_reset_event.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace kinetra {
namespace {

static_assert(sizeof(std::atomic<std::int32_t>) == sizeof(int), "the futex word is an int");

int* FutexWord(std::atomic<std::int32_t>* state) {
    return reinterpret_cast<int*>(state);
}

}  // namespace

AutoResetEvent::AutoResetEvent() = default;
AutoResetEvent::~AutoResetEvent() = default;

void AutoResetEvent::WakeOne() {
    syscall(SYS_futex, FutexWord(&m_state), FUTEX_WAKE | FUTEX_PRIVATE_FLAG, 1, nullptr, nullptr,
            0);
}

bool AutoResetEvent::SleepOnState(bool limited, std::chrono::steady_clock::duration left) {
    // A relative wait is measured on CLOCK_MONOTONIC, the steady clock's.
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec relative{static_cast<time_t>(ns / 1000000000),
                            static_cast<long>(ns % 1000000000)};
    const long rc = syscall(SYS_futex, FutexWord(&m_state), FUTEX_WAIT | FUTEX_PRIVATE_FLAG, 0,
                            limited ? &relative : nullptr, nullptr, 0);
    if (rc == 0) return true;
    const int error = errno;
    return error == EAGAIN || error == EINTR || error == ETIMEDOUT;
}

}  // namespace kinetra
