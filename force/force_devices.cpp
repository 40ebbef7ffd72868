#include "force/force_devices.h"

#include <atomic>
#include <mutex>
#include <string_view>

namespace kinetra::force {
namespace {

std::mutex g_statusLock;  // guards g_status, g_statusOwner and g_problem
ForceDeviceStatus g_status;
const void* g_statusOwner = nullptr;
std::atomic<ForceDeviceState> g_state{ForceDeviceState::kNone};
std::atomic<const void*> g_stateOwner{nullptr};
std::string g_problem;

}  // namespace

const char* ForceDeviceKindName(ForceDeviceKind kind) {
    switch (kind) {
        case ForceDeviceKind::kSine:
            return "sine";
        case ForceDeviceKind::kRumble:
            return "rumble";
        case ForceDeviceKind::kVirtual:
            return "virtual";
    }
    return "sine";
}

ForceDeviceStatus CurrentForceDeviceStatus() {
    std::lock_guard lock(g_statusLock);
    ForceDeviceStatus status = g_status;
    status.state = g_state.load(std::memory_order_acquire);  // may be newer
    return status;
}

ForceDeviceState CurrentForceDeviceState() {
    return g_state.load(std::memory_order_acquire);
}

std::string LastForceDeviceProblem() {
    std::lock_guard lock(g_statusLock);
    return g_problem;
}

void SetLastForceDeviceProblem(std::string problem) {
    std::lock_guard lock(g_statusLock);
    g_problem = std::move(problem);
}

void PublishForceDeviceStatus(const void* owner, const ForceDeviceStatus& status) {
    std::lock_guard lock(g_statusLock);
    g_statusOwner = owner;
    g_status = status;
    g_stateOwner.store(owner, std::memory_order_release);
    g_state.store(status.state, std::memory_order_release);
}

void PublishForceDeviceState(const void* owner, ForceDeviceState state) {
    if (g_stateOwner.load(std::memory_order_acquire) == owner) {
        g_state.store(state, std::memory_order_release);
    }
}

void ClearForceDeviceStatus(const void* owner) {
    std::lock_guard lock(g_statusLock);
    if (g_statusOwner != owner) return;
    g_statusOwner = nullptr;
    g_status = ForceDeviceStatus{};
    g_stateOwner.store(nullptr, std::memory_order_release);
    g_state.store(ForceDeviceState::kNone, std::memory_order_release);
}

std::string ReasonWithoutVirtualHint(const std::string& problem) {
    const std::string_view hint = kVirtualDeviceHint;
    if (problem.size() < hint.size() ||
        problem.compare(problem.size() - hint.size(), hint.size(), hint) != 0) {
        return problem;
    }
    std::string reason = problem.substr(0, problem.size() - hint.size());
    while (!reason.empty() && reason.back() == ' ') reason.pop_back();
    return reason;
}

}  // namespace kinetra::force
