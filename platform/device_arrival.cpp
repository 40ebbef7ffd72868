#include "platform/device_arrival.h"

#include <atomic>

namespace kinetra {
namespace {

std::atomic<std::uint64_t> g_noted{0};

}  // namespace

void NoteDeviceArrival() {
    g_noted.fetch_add(1, std::memory_order_relaxed);
}

bool DeviceArrivalWatch::Arrived() {
    const bool system = SystemArrived();  // drained whatever the count says
    const std::uint64_t noted = g_noted.load(std::memory_order_relaxed);
    const bool told = noted != m_noted;
    m_noted = noted;
    return system || told;
}

}  // namespace kinetra
