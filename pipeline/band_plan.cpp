#include "pipeline/band_plan.h"

#include <cstring>

#include "force/force_channel.h"

namespace kinetra::pipeline {

const SupportedDevice g_supportedDevices[kSupportedDeviceCount] = {
    {"Primax FX", {40, 75, 90, 115, 250}},
    {"Touch Force Optical", {50, 75, 90, 115, 250}},
    {"Nostromo n30 Game Mouse", {45, 75, 90, 115, 250}},
    {"Orbit 3D", {43, 75, 90, 115, 250}},
    {"Logitech Wingman Force Feedback Mouse", {50, 75, 90, 115, 250}},
    {"Logitech iFeel Mouse", {62, 75, 90, 115, 250}},
    {"Logitech iFeel MouseMan", {62, 75, 90, 115, 250}},
};

int ProductIndexForName(const char* name) {
    if (name == nullptr) return 0;
    for (int i = 0; i < kSupportedDeviceCount; ++i) {
        if (std::strcmp(name, g_supportedDevices[i].productName) == 0) return i;
    }
    return std::strstr(name, "iFeel") != nullptr ? 5 : 0;
}

int GetProductIndex() {
    char name[256] = {};
    if (CForceChannel::GetDeviceProductName(name, sizeof name) == 0) return 0;
    name[sizeof name - 1] = '\0';  // whatever the device wrote, the name ends inside the buffer
    return ProductIndexForName(name);
}

std::uint32_t EffectFrequencyFor(int productIndex, int band) {
    return static_cast<std::uint32_t>(g_supportedDevices[productIndex].bandFrequency[band - 1]);
}

}  // namespace kinetra::pipeline
