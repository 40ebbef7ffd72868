// The rules behind hearing one application on Windows, apart from the system calls: how an audio
// session of the default output becomes an AudioApplicationInfo, and which process a choice of
// an application hears next. Nothing here needs Windows, so the rules are checked on Linux too.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "capture/audio_applications.h"
#include "capture/audio_input.h"

namespace kinetra::capture {

// One audio session: processId its process, displayName the name the session gives itself
// (UTF-8; may be empty, or an unresolved "@dll,-id" resource reference), imagePath the full path
// of the process's executable (UTF-8; empty when it could not be read), active whether it plays
// now. The name is the display name, else the executable's base name without ".exe" (any case),
// else "process <id>"; the binary is the executable's base name; sinkInput holds the process id.
// Thread: any.
AudioApplicationInfo ApplicationOfSession(std::uint32_t processId, std::string_view displayName,
                                          std::string_view imagePath, bool active);

// What a choice of an application hears next.
struct ApplicationTarget {
    std::uint32_t processId = kNoSinkInput;  // the process to hear; kNoSinkInput: none plays
    std::string name;                        // what the status shows: the session's name
    bool waiting = true;                     // its session plays nothing now
};

// The target among sessions (ApplicationOfSession's) for choice, heard being the process heard
// now (kNoSinkInput for none): FindApplicationStream's pick, or no process and the chosen name.
// Thread: any.
ApplicationTarget NextApplicationTarget(const AudioInputChoice& choice,
                                        std::span<const AudioApplicationInfo> sessions,
                                        std::uint32_t heard);

}  // namespace kinetra::capture
