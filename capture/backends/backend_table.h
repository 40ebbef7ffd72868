// The audio-input backends as one table that selection walks (capture_device.cpp). A backend is
// one source file here that defines its row, plus one entry in backend_table.cpp.
#pragma once

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "capture/audio_input.h"
#include "capture/capture_device.h"

namespace kinetra::capture {

struct CaptureBackend {
    // The name the backend is known by: "file", "memory", "pulse", "sdl".
    const char* name;
    // Whether the backend can open choice at all. Thread: any; allocates nothing.
    bool (*serves)(const AudioInputChoice& choice);
    // Opens choice. With quiet set a failure is not reported to the user (another backend is
    // tried next). Thread: user-interface thread.
    Result (*open)(const AudioInputChoice& choice, bool quiet,
                   std::unique_ptr<ICaptureDevice>* device);
    // The live devices the backend can offer for choice, by id; null when it lists none.
    // Thread: user-interface thread.
    std::vector<CaptureDeviceInfo> (*list)();
};

// The rows in the order selection tries them. Thread: any.
std::span<const CaptureBackend* const> CaptureBackends();
// The row called name, or null. Thread: any.
const CaptureBackend* FindCaptureBackend(std::string_view name);

}  // namespace kinetra::capture
