#include "capture/backends/backend_table.h"

namespace kinetra::capture {

// The rows themselves are each system's (capture/<system>/system_backends.cpp).

const CaptureBackend* FindCaptureBackend(std::string_view name) {
    for (const CaptureBackend* row : CaptureBackends()) {
        if (name == row->name) return row;
    }
    return nullptr;
}

}  // namespace kinetra::capture
