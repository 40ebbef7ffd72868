#include "capture/audio_input.h"

#include <cstdlib>
#include <deque>
#include <mutex>

#include "platform/console.h"
#include "platform/debug_output.h"

namespace kinetra::capture {
namespace {

// The reasons reported since the last clear (ReportAudioInputProblem may run on a backend's
// thread, hence the lock).
constexpr std::size_t kKeptProblems = 8;
std::mutex g_problemsLock;
std::deque<std::string>& RecentProblems() {
    static std::deque<std::string> problems;
    return problems;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

bool ParseBackend(std::string_view text, AudioBackendChoice* backend) {
    if (text.empty()) {
        *backend = AudioBackendChoice::kAuto;
    } else if (text == "pulse") {
        *backend = AudioBackendChoice::kPulse;
    } else if (text == "sdl") {
        *backend = AudioBackendChoice::kSdl;
    } else {
        return false;
    }
    return true;
}

std::string BackendError(std::string_view text) {
    return "must be pulse or sdl, not \"" + std::string(text) + "\"";
}

constexpr std::string_view kMemoryPrefix = "memory:";
constexpr std::string_view kPulsePrefix = "pulse:";
constexpr std::string_view kApplicationPrefix = "app:";

}  // namespace

AudioInputChoice ParseAudioInput(std::string_view text) {
    using K = AudioInputKind;
    if (text.empty() || text == "default") return {K::kDefault, {}};
    if (text == "monitor") return {K::kMonitor, {}};
    if (text.starts_with("file:")) return {K::kFile, std::string(text.substr(5))};
    if (text.starts_with(kMemoryPrefix)) {
        return {K::kMemory, std::string(text.substr(kMemoryPrefix.size()))};
    }
    if (text.starts_with(kApplicationPrefix)) {
        // The binary after the last '|' (a name with a '|' in it ends with one: "app:A|B|").
        AudioInputChoice choice{K::kApplication,
                                std::string(text.substr(kApplicationPrefix.size()))};
        const std::size_t bar = choice.value.rfind('|');
        if (bar != std::string::npos) {
            choice.binary = choice.value.substr(bar + 1);
            choice.value.resize(bar);
        }
        return choice;
    }
    if (text.starts_with(kPulsePrefix)) {
        const std::string_view name = text.substr(kPulsePrefix.size());
        if (name.empty()) return {K::kDefault, {}};
        return {K::kNamed, std::string(name)};
    }
    if (text.starts_with("sdl:")) {
        const std::string_view name = text.substr(4);
        if (name.empty()) return {K::kDefault, {}, true};
        return {K::kNamed, std::string(name), true};
    }
    if (text.find('/') != std::string_view::npos || EndsWithNoCase(text, ".wav") ||
        EndsWithNoCase(text, ".flac") || EndsWithNoCase(text, ".ogg") ||
        EndsWithNoCase(text, ".oga")) {
        return {K::kFile, std::string(text)};
    }
    return {K::kNamed, std::string(text)};
}

bool ParseAudioInputChoice(std::string_view input, std::string_view backend,
                           AudioInputChoice* choice, std::string* error) {
    *choice = AudioInputChoice{};
    AudioBackendChoice parsedBackend = AudioBackendChoice::kAuto;
    if (!ParseBackend(backend, &parsedBackend)) {
        *error = "the audio backend " + BackendError(backend);
        return false;
    }
    AudioInputChoice parsed = ParseAudioInput(input);
    if (parsed.kind == AudioInputKind::kMemory && parsed.value.empty()) {
        *error = "\"memory:\" needs the name of a memory source";
        return false;
    }
    if (parsed.kind == AudioInputKind::kApplication && parsed.value.empty()) {
        *error = "\"app:\" needs the name of an application";
        return false;
    }
    parsed.backend = parsedBackend;
    *choice = std::move(parsed);
    return true;
}

bool DefaultAudioInputChoice(AudioInputChoice* choice, std::string* error) {
    const char* inputVariable = std::getenv("KINETRA_AUDIO_INPUT");
    const char* backendVariable = std::getenv("KINETRA_AUDIO_BACKEND");
    const std::string_view input = inputVariable != nullptr ? inputVariable : "";
    const std::string_view backend = backendVariable != nullptr ? backendVariable : "";
    AudioBackendChoice unused = AudioBackendChoice::kAuto;
    if (!ParseBackend(backend, &unused)) {
        *choice = AudioInputChoice{};
        *error = "KINETRA_AUDIO_BACKEND " + BackendError(backend);
        return false;
    }
    std::string reason;
    if (ParseAudioInputChoice(input, backend, choice, &reason)) return true;
    *error = "KINETRA_AUDIO_INPUT=\"" + std::string(input) + "\" is not valid: " + reason;
    return false;
}

bool AudioInputChosenByEnvironment() {
    const char* input = std::getenv("KINETRA_AUDIO_INPUT");
    return input != nullptr && input[0] != '\0';
}

std::string DescribeAudioInput(const AudioInputChoice& choice) {
    switch (choice.kind) {
        case AudioInputKind::kDefault:
            return "the default capture device";
        case AudioInputKind::kMonitor:
            return "what the computer plays";
        case AudioInputKind::kNamed:
            return "capture device \"" + choice.value + "\"";
        case AudioInputKind::kFile:
            return "sound file " + choice.value;
        case AudioInputKind::kMemory:
            return "memory source \"" + choice.value + "\"";
        case AudioInputKind::kApplication:
            return "application \"" + choice.value + "\"";
    }
    return {};
}

void ReportAudioInputProblem(const std::string& reason) {
    const std::string line = "Audio input: " + reason + "\n";
    DebugOutput(line.c_str());
    if (!DebugOutputRequestedByEnvironment()) ConsoleWrite(2, line.c_str());
    const std::lock_guard<std::mutex> lock(g_problemsLock);
    std::deque<std::string>& problems = RecentProblems();
    problems.push_back(reason);
    if (problems.size() > kKeptProblems) problems.pop_front();
}

std::string RecentAudioInputProblems() {
    const std::lock_guard<std::mutex> lock(g_problemsLock);
    std::string text;
    for (const std::string& problem : RecentProblems()) {
        if (!text.empty()) text += '\n';
        text += problem;
    }
    return text;
}

void ClearAudioInputProblems() {
    const std::lock_guard<std::mutex> lock(g_problemsLock);
    RecentProblems().clear();
}

std::string LastAudioInputProblem() {
    const std::lock_guard<std::mutex> lock(g_problemsLock);
    return RecentProblems().empty() ? std::string() : RecentProblems().back();
}

}  // namespace kinetra::capture
