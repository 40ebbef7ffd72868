#include "platform/short_lock.h"

#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace kinetra {
namespace {

// Rounds of the pause hint before the waiting thread starts to yield: a holder keeps the lock for
// well under a microsecond unless it is preempted.
constexpr int kPauseRounds = 64;

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
            } else {
                std::this_thread::yield();
            }
        }
        if (!m_taken.exchange(true, std::memory_order_acquire)) return;
    }
}

}  // namespace kinetra
