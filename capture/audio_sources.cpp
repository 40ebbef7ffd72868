#include "capture/audio_sources.h"

#include <mutex>

#include "capture/backends/backend_table.h"

namespace kinetra::capture {
namespace {

// What the running live capture hears, published by its backend.
struct PublishedSource {
    std::mutex mutex;
    const void* owner = nullptr;
    std::string description;
};

PublishedSource& Published() {
    static PublishedSource published;
    return published;
}

}  // namespace

AudioSourceList ListAudioSources(int timeoutMs) {
    return ListPulseSources(timeoutMs);
}

std::string CurrentCaptureSourceDescription() {
    PublishedSource& published = Published();
    const std::lock_guard<std::mutex> lock(published.mutex);
    return published.description;
}

void PublishCaptureSourceDescription(const void* owner, std::string description) {
    PublishedSource& published = Published();
    const std::lock_guard<std::mutex> lock(published.mutex);
    published.owner = owner;
    published.description.swap(description);  // the old text is freed after the lock
}

void WithdrawCaptureSourceDescription(const void* owner) {
    std::string old;
    PublishedSource& published = Published();
    const std::lock_guard<std::mutex> lock(published.mutex);
    if (published.owner != owner) return;
    published.owner = nullptr;
    published.description.swap(old);
}

AudioInputChoice FirstRunAudioInputChoice(bool* usedMonitor) {
    if (usedMonitor != nullptr) *usedMonitor = false;
    AudioInputChoice choice;
    std::string error;
    const bool parsed = DefaultAudioInputChoice(&choice, &error);
    if (AudioInputChosenByEnvironment() || !parsed) return choice;
    if (ProbePulseServer() != PulseServerState::kAnswers) return choice;
    choice.kind = AudioInputKind::kMonitor;
    choice.value.clear();
    if (usedMonitor != nullptr) *usedMonitor = true;
    return choice;
}

}  // namespace kinetra::capture
