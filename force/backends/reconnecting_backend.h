// A device connection that outlives its device: when the device goes away (the inner backend
// reports Disconnected) calls fail quietly while a watcher thread retries the open every 2 s, and
// soon after a new event device appears in /dev/input (on Linux, what SDL's device-added event
// reports); when it succeeds the effects are recreated with the settings and playing state last
// asked for.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "force/backends/backend.h"
#include "force/force_devices.h"

namespace kinetra::force {

// How often a gone device is looked for again, and how often the watcher looks at the device.
inline constexpr std::chrono::milliseconds kReconnectInterval{2000};
inline constexpr std::chrono::milliseconds kDeviceWatchInterval{100};
// How long after an event device appears (or changes its permissions) it is looked for.
inline constexpr std::chrono::milliseconds kAddedSettle{100};

class ReconnectingBackend final : public Backend {
public:
    // Opens the device again; null (with a reason in *error) when it is not there.
    using Opener = std::function<std::shared_ptr<Backend>(std::string* error)>;

    // first: the device just opened for effects; reopen: how to open it again. virtualDevice: the
    // status shows ForceDeviceKind::kVirtual. Publishes the status (kConnected) and starts the
    // watcher thread. Thread: user-interface thread.
    ReconnectingBackend(std::shared_ptr<Backend> first, Opener reopen, bool virtualDevice);
    // Stops the watcher and closes the device; the status becomes kNone.
    // Thread: user-interface thread, while no other call runs.
    ~ReconnectingBackend() override;

    const char* ProductName() const override { return m_name.c_str(); }
    std::int32_t MaxLevel() const override { return m_maxLevel; }
    bool CanPlay() const override { return true; }
    bool IsRumble() const override { return m_rumble; }

    // While the device is gone these record what is asked and fail (CreateEffect: -1).
    int CreateEffect(const DeviceEffect& effect) override;
    bool UpdateEffect(int id, const DeviceEffect& effect) override;
    bool RunEffect(int id, std::uint32_t iterations) override;
    bool StopEffect(int id) override;
    void DestroyEffect(int id) override;

private:
    static constexpr int kSlots = 32;
    struct Slot {
        bool exists = false;
        DeviceEffect effect;
        bool playing = false;
        std::uint32_t iterations = 0x80000000u;
        int inner = -1;             // id on the current device
        std::uint64_t version = 0;  // counts changes asked for
    };

    // Takes the current device for a call on slot id; false (with nothing set) when id is not an
    // effect or the device is gone. Records nothing.
    bool Current(int id, std::shared_ptr<Backend>* inner, int* innerId);
    // After a failed call: retires inner if it reports being gone.
    void CheckGone(const std::shared_ptr<Backend>& inner);
    // Called with m_mutex held; allocates nothing (a calling thread may find the device gone).
    void GoneLocked();
    void WatchLoop();
    // True when event devices appeared or changed since the last look. Thread: the watcher.
    bool DeviceAdded();
    // Recreates every effect on device and installs it. Thread: the watcher.
    bool Restore(const std::shared_ptr<Backend>& device);
    ForceDeviceStatus StatusLocked() const;

    Opener m_reopen;
    const std::string m_name;
    const std::int32_t m_maxLevel;
    const bool m_virtual;
    bool m_rumble;

    mutable std::mutex m_mutex;  // guards everything below; never held during device calls
    std::condition_variable m_wake;
    std::array<Slot, kSlots> m_slots{};
    std::shared_ptr<Backend> m_inner;    // null while the device is gone
    std::shared_ptr<Backend> m_retired;  // the gone device, closed once no call holds it
    bool m_gone = false;
    bool m_statusDue = false;  // the watcher publishes the whole status
    bool m_quit = false;
    std::string m_currentName;
    std::uint64_t m_disconnections = 0;
    std::uint64_t m_reconnections = 0;
    int m_added = -1;  // inotify on /dev/input, or -1
    std::thread m_watcher;
};

}  // namespace kinetra::force
