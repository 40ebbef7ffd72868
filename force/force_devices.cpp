#include "force/force_devices.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string_view>

#include "force/backends/sdl_devices.h"

namespace kinetra::force {
namespace {

std::mutex g_statusLock;  // guards g_status, g_statusOwner and g_problem
ForceDeviceStatus g_status;
const void* g_statusOwner = nullptr;
std::atomic<ForceDeviceState> g_state{ForceDeviceState::kNone};
std::atomic<const void*> g_stateOwner{nullptr};
std::string g_problem;

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// True when a sysfs capability bitmap ("107030000 0") has a bit set.
bool AnyBit(const std::string& bitmap) {
    return bitmap.find_first_of("123456789abcdefABCDEF") != std::string::npos;
}

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

std::vector<ForceDeviceInfo> ListForceDevices() {
    std::vector<ForceDeviceInfo> devices = ListSdlForceDevices();
    devices.push_back({"virtual", "Kinetra Virtual Mouse", ForceDeviceKind::kVirtual});
    return devices;
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

std::string DescribeForceDeviceProblem(const std::string& openError) {
    std::string text = openError.empty() ? "no force device could be opened" : openError;
    // Event devices with force feedback that this user may not open: SDL does not list them.
    for (int n = 0; n < 64; ++n) {
        const std::string node = "event" + std::to_string(n);
        const std::string sys = "/sys/class/input/" + node + "/device/";
        if (!AnyBit(ReadLine(sys + "capabilities/ff"))) continue;
        const std::string path = "/dev/input/" + node;
        const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) {
            close(fd);
            continue;
        }
        const int why = errno;
        text += "; " + path + " (" + ReadLine(sys + "name") + "): ";
        if (why == EACCES || why == EPERM) {
            text +=
                "permission denied \u2014 add yourself to the input group or install the udev "
                "rule installed with the package";
        } else {
            text += std::strerror(why);
        }
    }
    text += ". ";
    text += kVirtualDeviceHint;
    return text;
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
