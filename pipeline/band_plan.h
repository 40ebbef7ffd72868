// The band plan: the five frequency bands' edges, and the vibration frequency each band gets on
// the force-feedback mice the program knows.
#pragma once

#include <cstdint>

namespace kinetra::pipeline {

// Bands are numbered 1..5 from low to high; arrays here are indexed band - 1.
inline constexpr int kBands = 5;

// Edges of one band in Hz. Energy between two bands belongs to neither.
struct BandEdges {
    std::uint32_t lowHz;
    std::uint32_t highHz;
};
inline constexpr BandEdges kBandEdges[kBands] = {
    {0, 177}, {220, 440}, {484, 2000}, {2030, 10000}, {10040, 23000}};

struct SupportedDevice {
    const char* productName;             // exactly as the device reports it
    std::int32_t bandFrequency[kBands];  // Hz, bands 1..5
};

inline constexpr int kSupportedDeviceCount = 7;
extern const SupportedDevice g_supportedDevices[kSupportedDeviceCount];

// Row of the table for a product name: the first row whose name is equal byte for byte; else 5
// when the name contains "iFeel" (case-sensitive); else 0. A null or empty name gives 0.
// Thread: any.
int ProductIndexForName(const char* name);

// Row of the table for the shared force-feedback device (0 without a device).
// Thread: user-interface thread (the thread that owns the force channels).
int GetProductIndex();

// Vibration frequency of band (1..5) on the product of a table row (0..6). Thread: any.
std::uint32_t EffectFrequencyFor(int productIndex, int band);

}  // namespace kinetra::pipeline
