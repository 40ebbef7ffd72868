// The virtual device: one piece of simulated hardware per process behind a short state lock (a
// ShortLock: an effect update costs the device one atomic exchange).
#include "force/virtual_device.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "force/backends/backend.h"
#include "force/backends/backend_table.h"
#include "force/backends/rumble_backend.h"
#include "platform/short_lock.h"

namespace kinetra::force {
namespace {

struct Hardware {
    // Never held during a call hook, a thread start or anything else that may block.
    ShortLock mutex;
    VirtualDeviceSnapshot state;
    DeviceEffect effects[kVirtualEffectSlots];
    // Connection that made each slot's effect (null when empty).
    const void* owner[kVirtualEffectSlots] = {};
    // Counts plug-ins; a connection made before the current one is gone.
    std::uint64_t generation = 0;
    // generation while the device takes calls (neither lost nor unplugged), 0 otherwise; and the
    // count of updates at which lost-after or unplug-after comes due. Kept by Recount.
    std::uint64_t usableGeneration = 0;
    std::uint64_t eventAt = ~std::uint64_t{0};
    std::chrono::steady_clock::time_point unpluggedAt{};
};

// Built before any code runs: an effect update looks at it without a first-use check.
constinit Hardware g_hardware;

Hardware& TheHardware() {
    return g_hardware;
}

// Called with the lock held after lost, unplugged, the generation or the update limits changed.
void Recount(Hardware& hw) {
    hw.usableGeneration = hw.state.lost || hw.state.unplugged ? 0 : hw.generation;
    std::uint64_t at = ~std::uint64_t{0};
    if (hw.state.lostAfter >= 0 && !hw.state.lost) {
        at = static_cast<std::uint64_t>(hw.state.lostAfter);
    }
    if (hw.state.unplugAfter >= 0 && static_cast<std::uint64_t>(hw.state.unplugAfter) < at) {
        at = static_cast<std::uint64_t>(hw.state.unplugAfter);
    }
    hw.eventAt = at;
}

std::atomic<VirtualCallHook> g_hook{nullptr};
std::atomic<void*> g_hookContext{nullptr};

void CallHook(VirtualCall call, int slot) {
    const VirtualCallHook hook = g_hook.load(std::memory_order_acquire);
    if (hook) hook(g_hookContext.load(std::memory_order_acquire), call, slot);
}

void CopyName(char (&to)[256], const std::string& from) {
    const std::size_t n = from.size() < sizeof to - 1 ? from.size() : sizeof to - 1;
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

// Called with the lock held when lost-after or unplug-after has come due.
void UpdateLimitReached(Hardware& hw) {
    if (hw.state.lostAfter >= 0 &&
        hw.state.updates >= static_cast<std::uint64_t>(hw.state.lostAfter)) {
        hw.state.lost = true;
    }
    if (hw.state.unplugAfter >= 0 &&
        hw.state.updates >= static_cast<std::uint64_t>(hw.state.unplugAfter)) {
        hw.state.unplugged = true;
        hw.state.unplugAfter = -1;
        ++hw.state.unplugs;
        hw.state.rumbleLow = 0;
        hw.state.rumbleHigh = 0;
        hw.unpluggedAt = std::chrono::steady_clock::now();
    }
    Recount(hw);
}

// Called with the lock held: counts an effect update and unplugs or loses the device when its
// time has come.
void CountUpdate(Hardware& hw) {
    if (++hw.state.updates >= hw.eventAt) UpdateLimitReached(hw);
}

// The two motors of kind=rumble; the combining is RumbleBackend's.
class VirtualRumble final : public RumbleOutput {
public:
    explicit VirtualRumble(std::uint64_t generation) : m_generation(generation) {}
    ~VirtualRumble() override {
        CallHook(VirtualCall::Close, -1);
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        --hw.state.connections;
    }

    bool Rumble(MotorLevels levels, std::uint32_t durationMs) override {
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        if (GoneLocked(hw) || hw.state.lost) {
            ++hw.state.failedCalls;
            return false;
        }
        hw.state.rumbleLow = levels.low;
        hw.state.rumbleHigh = levels.high;
        hw.state.rumbleDurationMs = durationMs;
        ++hw.state.rumbleCommands;
        return true;
    }

    bool EffectUpdated() override {
        CallHook(VirtualCall::Update, -1);
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        if (GoneLocked(hw) || hw.state.lost) {
            ++hw.state.failedCalls;
            return false;
        }
        CountUpdate(hw);
        return true;
    }

    bool Lost() const override {
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        return GoneLocked(hw);
    }

private:
    bool GoneLocked(const Hardware& hw) const {
        return hw.state.unplugged || hw.generation != m_generation;
    }

    std::uint64_t m_generation;
};

void ShowEffect(VirtualEffectSnapshot& shown, const DeviceEffect& effect) {
    shown.magnitude = effect.magnitude;
    shown.gain = effect.gain;
    shown.level = effect.level;
    shown.periodMs = effect.periodMs;
    shown.durationMs = effect.durationMs;
}

// Called with the lock held: empties an effect's slot; the snapshot keeps showing its last values.
void ClearSlot(Hardware& hw, int slot) {
    ShowEffect(hw.state.effects[slot], hw.effects[slot]);
    hw.owner[slot] = nullptr;
    hw.effects[slot] = DeviceEffect{};
    hw.state.effects[slot].created = false;
    hw.state.effects[slot].playing = false;
    --hw.state.effectCount;
}

class VirtualBackend final : public Backend {
public:
    VirtualBackend(bool forEffects, const char* name, std::uint64_t generation)
        : m_forEffects(forEffects), m_name(name), m_generation(generation) {}

    ~VirtualBackend() override {
        CallHook(VirtualCall::Close, -1);
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        for (int slot = 0; slot < kVirtualEffectSlots; ++slot) {
            if (hw.owner[slot] == this) ClearSlot(hw, slot);
        }
        --hw.state.connections;
    }

    const char* ProductName() const override { return m_name.c_str(); }
    std::int32_t MaxLevel() const override { return kVirtualMaxLevel; }
    bool CanPlay() const override { return m_forEffects; }
    bool Disconnected() const override {
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        return Gone(hw);
    }

    int CreateEffect(const DeviceEffect& effect) override {
        CallHook(VirtualCall::Create, -1);
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        if (hw.state.lost || Gone(hw) || !m_forEffects ||
            hw.state.effectCount >= hw.state.effectLimit) {
            ++hw.state.failedCalls;
            return -1;
        }
        for (int slot = 0; slot < kVirtualEffectSlots; ++slot) {
            if (hw.owner[slot]) continue;
            hw.owner[slot] = this;
            hw.effects[slot] = effect;
            VirtualEffectSnapshot& shown = hw.state.effects[slot];
            shown = VirtualEffectSnapshot{};
            shown.created = true;
            ShowEffect(shown, effect);
            ++hw.state.effectCount;
            return slot;
        }
        ++hw.state.failedCalls;
        return -1;
    }

    bool UpdateEffect(int id, const DeviceEffect& effect) override {
        CallHook(VirtualCall::Update, id);
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        if (!Usable(hw, id)) return false;
        // What the snapshot shows of the effect is taken from hw.effects when it is made.
        ++hw.state.effects[id].updates;
        if (hw.effects[id] == effect) ++hw.state.unchangedUpdates;
        hw.effects[id] = effect;
        CountUpdate(hw);
        return true;
    }

    bool RunEffect(int id, std::uint32_t /*iterations*/) override {
        CallHook(VirtualCall::Run, id);
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        if (!Usable(hw, id)) return false;
        ++hw.state.starts;
        hw.state.effects[id].playing = true;
        return true;
    }

    bool StopEffect(int id) override {
        CallHook(VirtualCall::Stop, id);
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        if (!Usable(hw, id)) return false;
        ++hw.state.stops;
        hw.state.effects[id].playing = false;
        return true;
    }

    void DestroyEffect(int id) override {
        CallHook(VirtualCall::Destroy, id);
        Hardware& hw = TheHardware();
        std::lock_guard lock(hw.mutex);
        if (id >= 0 && id < kVirtualEffectSlots && hw.owner[id] == this) ClearSlot(hw, id);
    }

private:
    // Called with the lock held: unplugged, or plugged in again since this connection was made.
    bool Gone(const Hardware& hw) const {
        return hw.state.unplugged || hw.generation != m_generation;
    }

    // Called with the lock held: neither lost nor gone, and id is an effect of this connection.
    bool Usable(Hardware& hw, int id) const {
        if (hw.usableGeneration != m_generation ||
            static_cast<unsigned>(id) >= static_cast<unsigned>(kVirtualEffectSlots) ||
            hw.owner[id] != this) {
            ++hw.state.failedCalls;
            return false;
        }
        return true;
    }

    bool m_forEffects;
    std::string m_name;
    std::uint64_t m_generation;
};

}  // namespace

std::shared_ptr<Backend> OpenVirtualBackend(const ForceDeviceChoice& choice, bool forEffects,
                                            std::string* error) {
    CallHook(VirtualCall::Open, -1);
    Hardware& hw = TheHardware();
    std::unique_lock lock(hw.mutex);
    // An open that names unplug-after while the device is unplugged looks for it again.
    const bool reconnecting = hw.state.unplugged && choice.unplugAfter >= 0;
    if (hw.state.connections == 0 && !reconnecting) {
        // Plugged in afresh with the settings named now.
        const std::uint64_t openFailures = hw.state.openFailures;
        hw.state = VirtualDeviceSnapshot{};
        for (auto& owner : hw.owner) owner = nullptr;
        for (auto& effect : hw.effects) effect = DeviceEffect{};
        ++hw.generation;
        hw.state.pluggedIn = true;
        hw.state.openFailures = openFailures;
        CopyName(hw.state.productName, choice.virtualName);
        hw.state.effectLimit = choice.effectLimit;
        hw.state.lostAfter = choice.lostAfter;
        hw.state.failOpen = choice.failOpen;
        hw.state.lost = choice.lostAfter == 0;
        hw.state.rumble = choice.rumble;
        hw.state.unplugAfter = choice.unplugAfter;
        hw.state.replugAfterMs = choice.replugAfterMs;
    }
    if (hw.state.unplugged) {
        const auto back = hw.unpluggedAt + std::chrono::milliseconds(hw.state.replugAfterMs);
        if (hw.state.replugAfterMs < 0 || std::chrono::steady_clock::now() < back) {
            ++hw.state.openFailures;
            *error = "the virtual device is unplugged";
            return nullptr;
        }
        // Plugged in again: no effects, motors still, the counts kept.
        hw.state.unplugged = false;
        ++hw.state.replugs;
        ++hw.generation;
        for (int slot = 0; slot < kVirtualEffectSlots; ++slot) {
            if (hw.owner[slot]) ClearSlot(hw, slot);
        }
    }
    Recount(hw);
    if (hw.state.failOpen) {
        ++hw.state.openFailures;
        *error = "the virtual device cannot be opened (fail=open)";
        return nullptr;
    }
    if (hw.state.lost && hw.state.connections > 0) {
        ++hw.state.openFailures;
        *error = "the virtual device has been lost";
        return nullptr;
    }
    ++hw.state.connections;
    ++hw.state.opens;
    // A device that is already plugged in keeps its name. The connection is made after the lock
    // is released (a rumble connection starts its renewal thread).
    char name[sizeof hw.state.productName];
    std::memcpy(name, hw.state.productName, sizeof name);
    const bool rumble = hw.state.rumble;
    const std::uint64_t generation = hw.generation;
    lock.unlock();
    if (rumble) {
        return std::make_shared<RumbleBackend>(std::make_unique<VirtualRumble>(generation), name,
                                               forEffects);
    }
    return std::make_shared<VirtualBackend>(forEffects, name, generation);
}

VirtualDeviceSnapshot GetVirtualDeviceSnapshot() {
    Hardware& hw = TheHardware();
    std::lock_guard lock(hw.mutex);
    VirtualDeviceSnapshot snapshot = hw.state;
    for (int slot = 0; slot < kVirtualEffectSlots; ++slot) {
        if (hw.owner[slot]) ShowEffect(snapshot.effects[slot], hw.effects[slot]);
    }
    return snapshot;
}

void SetVirtualDeviceCallHook(VirtualCallHook hook, void* context) {
    g_hookContext.store(context, std::memory_order_release);
    g_hook.store(hook, std::memory_order_release);
}

extern const ForceBackend kVirtualForceBackend{"virtual", ForceDeviceChoice::Kind::Virtual,
                                               OpenVirtualBackend};

}  // namespace kinetra::force
