// Word that input devices appeared or changed (a game controller plugged in, a node's rights
// changed), for code that waits for a device to come back. Each system has its own source
// (platform/<system>/device_arrival.cpp): on Linux inotify on /dev/input; on Windows the window
// that receives WM_DEVICECHANGE (RegisterDeviceNotification) passes it on with
// NoteDeviceArrival. A watch that cannot start reports only what NoteDeviceArrival tells.
#pragma once

#include <cstdint>

namespace kinetra {

class DeviceArrivalWatch {
public:
    // Starts watching. Thread: any.
    DeviceArrivalWatch();
    ~DeviceArrivalWatch();
    DeviceArrivalWatch(const DeviceArrivalWatch&) = delete;
    DeviceArrivalWatch& operator=(const DeviceArrivalWatch&) = delete;

    // True when devices appeared or changed since the last call (or since the watch started).
    // Never blocks; allocates nothing. Thread: one thread at a time.
    bool Arrived();

private:
    // The system's own source, drained. Thread: as Arrived.
    bool SystemArrived();

    std::uint64_t m_noted;  // the NoteDeviceArrival count already reported
    // The system's watch (Linux: the inotify descriptor), or -1.
    [[maybe_unused]] int m_handle = -1;
};

// Tells every watch that devices appeared (Windows: on DBT_DEVICEARRIVAL). Thread: any;
// lock-free, allocates nothing.
void NoteDeviceArrival();

}  // namespace kinetra
