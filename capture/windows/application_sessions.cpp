#include "capture/windows/application_sessions.h"

namespace kinetra::capture {

namespace {

// "C:\\Games\\Game.EXE" → "Game.EXE"; either slash separates.
std::string_view BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool EndsWithExe(std::string_view name) {
    if (name.size() <= 4) return false;
    const std::string_view tail = name.substr(name.size() - 4);
    const char* exe = ".exe";
    for (std::size_t i = 0; i < 4; ++i) {
        const char c =
            tail[i] >= 'A' && tail[i] <= 'Z' ? static_cast<char>(tail[i] - 'A' + 'a') : tail[i];
        if (c != exe[i]) return false;
    }
    return true;
}

}  // namespace

AudioApplicationInfo ApplicationOfSession(std::uint32_t processId, std::string_view displayName,
                                          std::string_view imagePath, bool active) {
    AudioApplicationInfo app;
    app.binary = std::string(BaseName(imagePath));
    if (!displayName.empty() && displayName.front() != '@') {
        app.name = std::string(displayName);
    } else if (!app.binary.empty()) {
        std::string_view stem = app.binary;
        if (EndsWithExe(stem)) stem.remove_suffix(4);
        app.name = std::string(stem);
    } else {
        app.name = "process " + std::to_string(processId);
    }
    app.sinkInput = processId;
    app.corked = !active;
    return app;
}

ApplicationTarget NextApplicationTarget(const AudioInputChoice& choice,
                                        std::span<const AudioApplicationInfo> sessions,
                                        std::uint32_t heard) {
    ApplicationTarget target;
    const int found = FindApplicationStream(choice, sessions, heard);
    if (found < 0) {
        target.name = choice.value;
        return target;
    }
    const AudioApplicationInfo& session = sessions[static_cast<std::size_t>(found)];
    target.processId = session.sinkInput;
    target.name = session.name;
    target.waiting = session.corked;
    return target;
}

}  // namespace kinetra::capture
