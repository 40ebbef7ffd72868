#include "platform/short_lock.h"

#include <chrono>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace kinetra {
namespace {

// Rounds of the pause hint before the waiting thread starts to yield: a holder keeps the lock for
// well under a microsecond unless it is preempted.
constexpr int kPauseRounds = 64;
// Rounds of yielding before the waiting thread sleeps between looks. A yield lets only threads of
// the waiter's own priority run, so a real-time capture thread waiting for a holder of normal
// priority preempted on the same processor would yield in vain; a short sleep lets it run.
constexpr int kYieldRounds = 16;
constexpr std::chrono::microseconds kSleepBetweenLooks{20};

void PauseHint() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

}  // namespace

void ShortLock::LockContended() {
    int rounds = 0;
    for (;;) {
        // Read until it looks free, so that waiting threads do not keep stealing the line; pause
        // first, then let a preempted holder run.
        while (m_taken.load(std::memory_order_relaxed)) {
            if (rounds < kPauseRounds) {
                ++rounds;
                PauseHint();
            } else if (rounds < kPauseRounds + kYieldRounds) {
                ++rounds;
                std::this_thread::yield();
            } else {
                std::this_thread::sleep_for(kSleepBetweenLooks);
            }
        }
        if (!m_taken.exchange(true, std::memory_order_acquire)) return;
    }
}

}  // namespace kinetra
