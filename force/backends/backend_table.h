// The force backends as one table that the device library walks (force/ond_library.cpp). A
// backend is one source file here that defines its row, plus one entry in backend_table.cpp.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "force/backends/backend.h"
#include "force/device_choice.h"

namespace kinetra::force {

struct ForceBackend {
    // The name the backend is known by (the first word of its device text): "sdl", "virtual".
    const char* name;
    // The choices it opens.
    ForceDeviceChoice::Kind kind;
    // Opens the device choice names; null with a reason in *error when it cannot be opened.
    // forEffects: false to open it only to identify it. Thread: user-interface thread.
    std::shared_ptr<Backend> (*open)(const ForceDeviceChoice& choice, bool forEffects,
                                     std::string* error);
};

// The rows (each system its own: force/<system>/system_devices.cpp). Thread: any.
std::span<const ForceBackend* const> ForceBackends();
// The row called name, or null. Thread: any.
const ForceBackend* FindForceBackend(std::string_view name);

// Opens choice through the row of its kind; null with a reason in *error when none opens it
// (Kind::None: "no force device (KINETRA_FORCE_DEVICE=none)"). Thread: user-interface thread.
std::shared_ptr<Backend> OpenForceBackend(const ForceDeviceChoice& choice, bool forEffects,
                                          std::string* error);

}  // namespace kinetra::force
