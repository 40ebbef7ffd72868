#include "platform/device_arrival.h"

namespace kinetra {

// Windows tells a window, not a watch: its WM_DEVICECHANGE handler calls NoteDeviceArrival.
DeviceArrivalWatch::DeviceArrivalWatch() : m_noted(0) {
    Arrived();  // from now on
}

DeviceArrivalWatch::~DeviceArrivalWatch() = default;

bool DeviceArrivalWatch::SystemArrived() {
    return false;
}

}  // namespace kinetra
