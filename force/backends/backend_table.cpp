#include "force/backends/backend_table.h"

namespace kinetra::force {

// Each row is defined next to its backend.
extern const ForceBackend kSdlForceBackend;
extern const ForceBackend kVirtualForceBackend;

namespace {

constexpr const ForceBackend* kRows[] = {
    &kSdlForceBackend,
    &kVirtualForceBackend,
};

}  // namespace

std::span<const ForceBackend* const> ForceBackends() {
    return kRows;
}

const ForceBackend* FindForceBackend(std::string_view name) {
    for (const ForceBackend* row : kRows) {
        if (name == row->name) return row;
    }
    return nullptr;
}

std::shared_ptr<Backend> OpenForceBackend(const ForceDeviceChoice& choice, bool forEffects,
                                          std::string* error) {
    for (const ForceBackend* row : kRows) {
        if (row->kind == choice.kind) return row->open(choice, forEffects, error);
    }
    *error = "no force device (KINETRA_FORCE_DEVICE=none)";
    return nullptr;
}

}  // namespace kinetra::force
