// What force devices are on Linux: SDL2's haptic devices and the virtual device, the event
// devices under /dev/input for advice when none opens.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "force/backends/backend_table.h"
#include "force/backends/sdl_devices.h"
#include "force/force_devices.h"

namespace kinetra::force {

// Each row is defined next to its backend.
extern const ForceBackend kSdlForceBackend;
extern const ForceBackend kVirtualForceBackend;

namespace {

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

std::span<const ForceBackend* const> ForceBackends() {
    static constexpr const ForceBackend* kRows[] = {
        &kSdlForceBackend,
        &kVirtualForceBackend,
    };
    return kRows;
}

std::vector<ForceDeviceInfo> ListForceDevices() {
    std::vector<ForceDeviceInfo> devices = ListSdlForceDevices();
    devices.push_back({"virtual", "Kinetra Virtual Mouse", ForceDeviceKind::kVirtual});
    return devices;
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

}  // namespace kinetra::force
