#include "force/force_units.h"

#include "force/ond_library.h"

namespace kinetra::force {

std::uint32_t CreationPeriodMs(std::uint32_t frequencyHz) {
    if (frequencyHz == 0) return 0;
    // 1 Hz gives the largest value, 1000, so the conversion back to an integer cannot overflow.
    return static_cast<std::uint32_t>(1000.0 * (1.0 / static_cast<double>(frequencyHz)));
}

static_assert(ChangePeriodMs(0) == OND_UNCHANGED, "a change without a frequency keeps the period");

}  // namespace kinetra::force
