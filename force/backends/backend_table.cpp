#include "force/backends/backend_table.h"

namespace kinetra::force {

// The rows themselves are each system's (force/<system>/system_devices.cpp).

const ForceBackend* FindForceBackend(std::string_view name) {
    for (const ForceBackend* row : ForceBackends()) {
        if (name == row->name) return row;
    }
    return nullptr;
}

std::shared_ptr<Backend> OpenForceBackend(const ForceDeviceChoice& choice, bool forEffects,
                                          std::string* error) {
    for (const ForceBackend* row : ForceBackends()) {
        if (row->kind == choice.kind) return row->open(choice, forEffects, error);
    }
    *error = "no force device (KINETRA_FORCE_DEVICE=none)";
    return nullptr;
}

}  // namespace kinetra::force
