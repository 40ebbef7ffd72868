#include "platform/debug_output.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/console.h"

namespace kinetra {
namespace {

std::atomic<DebugSink> g_sink{nullptr};
std::atomic<void*> g_context{nullptr};

bool DebugEnabledByEnvironment() {
    static const bool enabled = [] {
        const char* value = std::getenv("KINETRA_DEBUG");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

}  // namespace

void DebugOutput(const char* line) {
    if (line == nullptr) return;
    if (DebugSink sink = g_sink.load(std::memory_order_acquire)) {
        sink(g_context.load(std::memory_order_acquire), line);
        return;
    }
    if (DebugEnabledByEnvironment()) ConsoleWrite(2, line);
}

bool DebugOutputEnabled() {
    return g_sink.load(std::memory_order_acquire) != nullptr || DebugEnabledByEnvironment();
}

bool DebugOutputRequestedByEnvironment() {
    return DebugEnabledByEnvironment();
}

void SetDebugSink(DebugSink sink, void* context) {
    if (sink == nullptr) {
        g_sink.store(nullptr, std::memory_order_release);
        g_context.store(nullptr, std::memory_order_release);
        return;
    }
    g_context.store(context, std::memory_order_release);
    g_sink.store(sink, std::memory_order_release);
}

}  // namespace kinetra
