#include "force/backends/reconnecting_backend.h"

#include <algorithm>

#include "platform/debug_output.h"

namespace kinetra::force {

class ReconnectingBackend::AllSlotsGuard {
public:
    explicit AllSlotsGuard(std::array<Slot, kSlots>& slots) : m_slots(slots) {
        for (Slot& slot : m_slots) slot.guard.lock();
    }
    ~AllSlotsGuard() {
        for (Slot& slot : m_slots) slot.guard.unlock();
    }
    AllSlotsGuard(const AllSlotsGuard&) = delete;
    AllSlotsGuard& operator=(const AllSlotsGuard&) = delete;

private:
    std::array<Slot, kSlots>& m_slots;
};

ReconnectingBackend::ReconnectingBackend(std::shared_ptr<Backend> first, Opener reopen,
                                         bool virtualDevice)
    : m_reopen(std::move(reopen)),
      m_name(first->ProductName()),
      m_maxLevel(first->MaxLevel()),
      m_virtual(virtualDevice),
      m_rumble(first->IsRumble()),
      m_inner(std::move(first)),
      m_currentName(m_name) {
    m_current.store(m_inner.get(), std::memory_order_release);
    PublishForceDeviceStatus(this, StatusLocked());
    m_watcher = std::thread([this] { WatchLoop(); });
}

ReconnectingBackend::~ReconnectingBackend() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_watcher.join();
    m_current.store(nullptr, std::memory_order_release);
    m_inner.reset();
    m_retired.reset();
    ClearForceDeviceStatus(this);
}

ForceDeviceStatus ReconnectingBackend::StatusLocked() const {
    ForceDeviceStatus s;
    s.state = m_gone                ? ForceDeviceState::kDisconnectedWaiting
              : m_reconnections > 0 ? ForceDeviceState::kReconnected
                                    : ForceDeviceState::kConnected;
    s.name = m_currentName;
    s.kind = m_virtual ? ForceDeviceKind::kVirtual
                       : (m_rumble ? ForceDeviceKind::kRumble : ForceDeviceKind::kSine);
    s.twoMotors = m_rumble;
    s.disconnections = m_disconnections;
    s.reconnections = m_reconnections;
    return s;
}

template <typename Record>
bool ReconnectingBackend::Enter(int id, const Record& record, Backend** inner, int* innerId) {
    if (id < 0 || id >= kSlots) return false;
    Slot& slot = m_slots[id];
    std::lock_guard guard(slot.guard);
    if (!slot.state.exists) return false;
    record(slot.state);
    ++slot.state.version;
    // Taken under the guard, as the mark below is set: the watcher reads the mark under the same
    // guard after the device was retired, so it either sees the mark or this call sees no device.
    Backend* current = m_current.load(std::memory_order_acquire);
    if (current == nullptr) return false;
    *inner = current;
    *innerId = slot.state.inner;
    slot.calling.store(true, std::memory_order_relaxed);
    return true;
}

bool ReconnectingBackend::CallInside() {
    for (Slot& slot : m_slots) {
        std::lock_guard guard(slot.guard);
        if (slot.calling.load(std::memory_order_acquire)) return true;
    }
    return false;
}

void ReconnectingBackend::GoneLocked() {
    if (m_gone) return;
    m_gone = true;
    m_current.store(nullptr, std::memory_order_release);
    m_retired = std::move(m_inner);
    ++m_disconnections;
    // The full status (which allocates) is published by the watcher.
    PublishForceDeviceState(this, ForceDeviceState::kDisconnectedWaiting);
    m_statusDue = true;
    m_wake.notify_all();
}

void ReconnectingBackend::CheckGone(Backend* inner) {
    if (!inner->Disconnected()) return;
    std::lock_guard lock(m_mutex);
    if (m_inner.get() == inner) GoneLocked();
}

int ReconnectingBackend::CreateEffect(const DeviceEffect& effect) {
    std::shared_ptr<Backend> inner;
    {
        std::lock_guard lock(m_mutex);
        if (m_gone || !m_inner) return -1;
        inner = m_inner;
    }
    const int innerId = inner->CreateEffect(effect);
    if (innerId < 0) {
        CheckGone(inner.get());
        return -1;
    }
    std::lock_guard lock(m_mutex);
    for (int id = 0; id < kSlots; ++id) {
        Slot& slot = m_slots[id];
        std::lock_guard guard(slot.guard);
        if (slot.state.exists) continue;
        slot.state.exists = true;
        slot.state.effect = effect;
        slot.state.playing = false;
        slot.state.iterations = 0x80000000u;
        slot.state.inner = innerId;
        ++slot.state.version;
        return id;
    }
    inner->DestroyEffect(innerId);
    return -1;
}

bool ReconnectingBackend::UpdateEffect(int id, const DeviceEffect& effect) {
    Backend* inner = nullptr;
    int innerId = -1;
    if (!Enter(
            id, [&effect](SlotState& s) { s.effect = effect; }, &inner, &innerId)) {
        return false;
    }
    const bool ok = inner->UpdateEffect(innerId, effect);
    if (!ok) CheckGone(inner);
    Leave(id);
    return ok;
}

bool ReconnectingBackend::RunEffect(int id, std::uint32_t iterations) {
    Backend* inner = nullptr;
    int innerId = -1;
    const auto record = [iterations](SlotState& s) {
        s.playing = true;
        s.iterations = iterations;
    };
    if (!Enter(id, record, &inner, &innerId)) return false;
    const bool ok = inner->RunEffect(innerId, iterations);
    if (!ok) CheckGone(inner);
    Leave(id);
    return ok;
}

bool ReconnectingBackend::StopEffect(int id) {
    Backend* inner = nullptr;
    int innerId = -1;
    if (!Enter(
            id, [](SlotState& s) { s.playing = false; }, &inner, &innerId))
        return false;
    const bool ok = inner->StopEffect(innerId);
    if (!ok) CheckGone(inner);
    Leave(id);
    return ok;
}

void ReconnectingBackend::DestroyEffect(int id) {
    if (id < 0 || id >= kSlots) return;
    std::shared_ptr<Backend> inner;
    int innerId = -1;
    {
        std::lock_guard lock(m_mutex);
        Slot& slot = m_slots[id];
        std::lock_guard guard(slot.guard);
        const bool current = slot.state.exists && !m_gone && m_inner;
        if (current) {
            inner = m_inner;
            innerId = slot.state.inner;
        }
        slot.state.exists = false;
        ++slot.state.version;
        if (!current) return;
    }
    inner->DestroyEffect(innerId);
}

bool ReconnectingBackend::Restore(const std::shared_ptr<Backend>& device) {
    std::array<SlotState, kSlots> applied{};  // what device has, per slot (inner ids on device)
    for (int round = 0; round < 8; ++round) {
        std::array<SlotState, kSlots> wanted;
        {
            std::lock_guard lock(m_mutex);
            if (m_quit) return false;
            const AllSlotsGuard all(m_slots);
            for (int id = 0; id < kSlots; ++id) wanted[id] = m_slots[id].state;
        }
        for (int id = 0; id < kSlots; ++id) {
            SlotState& have = applied[id];
            const SlotState& want = wanted[id];
            if (have.exists && want.version == have.version) continue;
            if (!want.exists) {
                if (have.exists) device->DestroyEffect(have.inner);
                have = SlotState{};
                have.version = want.version;
                continue;
            }
            bool ok = true;
            if (!have.exists) {
                have.inner = device->CreateEffect(want.effect);
                ok = have.inner >= 0;
                have.exists = ok;
            } else if (!(have.effect == want.effect)) {
                ok = device->UpdateEffect(have.inner, want.effect);
            }
            if (ok && want.playing && (!have.playing || round == 0)) {
                ok = device->RunEffect(have.inner, want.iterations);
            } else if (ok && !want.playing && have.playing) {
                ok = device->StopEffect(have.inner);
            }
            if (!ok) return false;
            have.effect = want.effect;
            have.playing = want.playing;
            have.version = want.version;
        }
        std::lock_guard lock(m_mutex);
        {
            // Compared and installed with every slot held: a call either recorded its change
            // before (and the comparison sees it) or takes the device installed here.
            const AllSlotsGuard all(m_slots);
            bool current = true;
            for (int id = 0; id < kSlots; ++id) {
                if (m_slots[id].state.exists != applied[id].exists ||
                    m_slots[id].state.version != applied[id].version) {
                    current = false;
                }
            }
            if (!current && round < 7) continue;
            for (int id = 0; id < kSlots; ++id) m_slots[id].state.inner = applied[id].inner;
            m_current.store(device.get(), std::memory_order_release);
        }
        m_inner = device;
        m_gone = false;
        m_rumble = device->IsRumble();
        m_currentName = device->ProductName();
        ++m_reconnections;
        PublishForceDeviceStatus(this, StatusLocked());
        return true;
    }
    return false;
}

void ReconnectingBackend::WatchLoop() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(m_mutex);
    Clock::time_point nextAttempt = Clock::now();
    while (!m_quit) {
        const Clock::time_point tick =
            Clock::now() + (m_gone || m_retired ? kDeviceWatchInterval : kPresentWatchInterval);
        m_wake.wait_until(lock, m_gone && !m_retired ? std::min(tick, nextAttempt) : tick);
        if (m_quit) break;
        if (!m_gone && m_inner && m_inner->Disconnected()) {
            GoneLocked();
            nextAttempt = Clock::now();
        }
        if (m_statusDue) {
            m_statusDue = false;
            PublishForceDeviceStatus(this, StatusLocked());
        }
        if (m_retired) {
            if (m_retired.use_count() > 1 || CallInside()) continue;  // a call still holds it
            std::shared_ptr<Backend> closing = std::move(m_retired);
            lock.unlock();
            DebugOutput("FORCE: the force device is gone; looking for it every 2 s\n");
            closing.reset();  // closes it here, not on a calling thread
            lock.lock();
            continue;
        }
        // New devices start a search at once.
        const bool added = m_arrivals.Arrived();
        if (!m_gone) continue;
        if (added) nextAttempt = std::min(nextAttempt, Clock::now() + kAddedSettle);
        if (Clock::now() < nextAttempt) continue;
        nextAttempt = Clock::now() + kReconnectInterval;
        lock.unlock();
        std::string error;
        std::shared_ptr<Backend> device = m_reopen(&error);
        const bool restored = device && device->CanPlay() && Restore(device);
        if (restored) DebugOutput("FORCE: the force device is back; effects recreated\n");
        device.reset();  // when not installed, closed here
        lock.lock();
    }
}

}  // namespace kinetra::force
