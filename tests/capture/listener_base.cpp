// The listener base's one out-of-line operation, for test programs that link no band mapper.
// Weak, so that the analysis library's own definition wins wherever it is linked.
#include "analysis/band_mapper.h"

__attribute__((weak)) int CSpectrumListener::Enable(int flag) {
    m_bEnabled.store(flag);
    return flag;
}
