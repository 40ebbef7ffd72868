// A device connection that outlives its device: when the device goes away (the inner backend
// reports Disconnected) calls fail quietly while a watcher thread retries the open every 2 s, and
// soon after a new event device appears in /dev/input (on Linux, what SDL's device-added event
// reports); when it succeeds the effects are recreated with the settings and playing state last
// asked for.
//
// A call for an effect whose device is present takes one short lock (its slot's guard) and no
// reference count: it records what it asks for, takes the current device and marks itself as
// inside a call under the guard, and clears the mark after the device call. The watcher closes a
// gone device only once no slot is marked, looking at each mark under its guard, so a call that
// took the device before it went away keeps it open, and one that came after finds none.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "force/backends/backend.h"
#include "force/force_devices.h"
#include "platform/device_arrival.h"
#include "platform/short_lock.h"

namespace kinetra::force {

// How often a gone device is looked for again, and how often the watcher looks for new devices
// while it is gone.
inline constexpr std::chrono::milliseconds kReconnectInterval{2000};
inline constexpr std::chrono::milliseconds kDeviceWatchInterval{100};
// How often the watcher asks a present device whether it is gone. A call that fails finds out at
// once; this is for a device that goes while nothing plays on it.
inline constexpr std::chrono::milliseconds kPresentWatchInterval{1000};
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
    // Threads as Backend's: UpdateEffect, RunEffect and StopEffect from any thread (the library
    // never runs two at once for one effect); CreateEffect and DestroyEffect from the
    // user-interface thread.
    int CreateEffect(const DeviceEffect& effect) override;
    bool UpdateEffect(int id, const DeviceEffect& effect) override;
    bool RunEffect(int id, std::uint32_t iterations) override;
    bool StopEffect(int id) override;
    void DestroyEffect(int id) override;

private:
    static constexpr int kSlots = 32;
    // What was last asked for one effect, to make it again on a device that comes back.
    struct SlotState {
        bool exists = false;
        DeviceEffect effect;
        bool playing = false;
        std::uint32_t iterations = 0x80000000u;
        int inner = -1;             // id on the current device
        std::uint64_t version = 0;  // counts changes asked for
    };
    struct Slot {
        // Guards state. Held for a few instructions, never during a device call: by a call for
        // this effect, and by the watcher and the user-interface thread (those with m_mutex held,
        // taken first).
        kinetra::ShortLock guard;
        SlotState state;
        // True from when a call for this effect took the current device (under guard) until it is
        // done with it. Written by that call only; read under guard.
        std::atomic<bool> calling{false};
    };
    // Every slot's guard, taken in order and released on destruction. Thread: the watcher or the
    // user-interface thread, with m_mutex held.
    class AllSlotsGuard;

    // Starts a call on slot id: under its guard, record(state) notes what is asked, the change is
    // counted, and the current device and the effect's id on it are taken. False (the device
    // untouched) when id is not an effect or the device is gone; true when the caller is to call
    // *inner and then Leave(id). Thread: the calling thread.
    template <typename Record>
    bool Enter(int id, const Record& record, Backend** inner, int* innerId);
    void Leave(int id) { m_slots[id].calling.store(false, std::memory_order_release); }
    // After a failed call: retires inner if it reports being gone. The caller keeps inner open
    // (a shared_ptr or the slot's calling mark).
    void CheckGone(Backend* inner);
    // Called with m_mutex held; allocates nothing (a calling thread may find the device gone).
    void GoneLocked();
    // True while a call holds the device it took. Thread: the watcher, with m_mutex held.
    bool CallInside();
    void WatchLoop();
    // Recreates every effect on device and installs it. Thread: the watcher.
    bool Restore(const std::shared_ptr<Backend>& device);
    ForceDeviceStatus StatusLocked() const;

    Opener m_reopen;
    const std::string m_name;
    const std::int32_t m_maxLevel;
    const bool m_virtual;
    bool m_rumble;

    std::array<Slot, kSlots> m_slots{};
    // m_inner's device while it is present, null while it is gone: what calls take. Written with
    // m_mutex held; read by calls under a slot guard.
    std::atomic<Backend*> m_current{nullptr};

    mutable std::mutex m_mutex;  // guards everything below; never held during device calls
    std::condition_variable m_wake;
    std::shared_ptr<Backend> m_inner;    // null while the device is gone
    std::shared_ptr<Backend> m_retired;  // the gone device, closed once no call holds it
    bool m_gone = false;
    bool m_statusDue = false;  // the watcher publishes the whole status
    bool m_quit = false;
    std::string m_currentName;
    std::uint64_t m_disconnections = 0;
    std::uint64_t m_reconnections = 0;
    DeviceArrivalWatch m_arrivals;  // looked at by the watcher
    std::thread m_watcher;
};

}  // namespace kinetra::force
