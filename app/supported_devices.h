// The force-feedback mice the program knows, and the vibration frequency each band gets on them.
#pragma once

#include <cstdint>

namespace kinetra::app {

struct SupportedDevice {
    const char* productName;        // exactly as the device reports it
    std::int32_t bandFrequency[5];  // Hz, bands 1..5
};

inline constexpr int kSupportedDeviceCount = 7;
extern const SupportedDevice g_supportedDevices[kSupportedDeviceCount];

// Row of the table for a product name: the first row whose name is equal byte for byte; else 5
// when the name contains "iFeel" (case-sensitive); else 0. A null or empty name gives 0.
// Thread: any.
int ProductIndexForName(const char* name);

// Row of the table for the shared force-feedback device (0 without a device).
// Thread: user-interface thread.
int GetProductIndex();

}  // namespace kinetra::app
