// What force devices are on Windows for now: the virtual device alone (no SDL2 for MinGW here;
// the system's force-feedback library comes with the Windows program).
#include "force/backends/backend_table.h"
#include "force/force_devices.h"

namespace kinetra::force {

extern const ForceBackend kVirtualForceBackend;

std::span<const ForceBackend* const> ForceBackends() {
    static constexpr const ForceBackend* kRows[] = {&kVirtualForceBackend};
    return kRows;
}

std::vector<ForceDeviceInfo> ListForceDevices() {
    return {{"virtual", "Kinetra Virtual Mouse", ForceDeviceKind::kVirtual}};
}

std::string DescribeForceDeviceProblem(const std::string& openError) {
    std::string text = openError.empty() ? "no force device could be opened" : openError;
    text += ". ";
    text += kVirtualDeviceHint;
    return text;
}

}  // namespace kinetra::force
