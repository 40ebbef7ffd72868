#include "platform/device_arrival.h"

#include <sys/inotify.h>
#include <unistd.h>

namespace kinetra {

// New event devices (what SDL's device-added event reports on Linux) and changed rights.
DeviceArrivalWatch::DeviceArrivalWatch() : m_noted(0) {
    m_handle = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_handle >= 0 && inotify_add_watch(m_handle, "/dev/input", IN_CREATE | IN_ATTRIB) < 0) {
        close(m_handle);
        m_handle = -1;
    }
    Arrived();  // from now on
}

DeviceArrivalWatch::~DeviceArrivalWatch() {
    if (m_handle >= 0) close(m_handle);
}

bool DeviceArrivalWatch::SystemArrived() {
    if (m_handle < 0) return false;
    bool any = false;
    alignas(inotify_event) char buffer[4096];
    while (read(m_handle, buffer, sizeof buffer) > 0) any = true;
    return any;
}

}  // namespace kinetra
