// The DirectInput backend: the library's effects as sine effects on the device
// (DirectInputDevice), and a device that reports itself lost is acquired again once; one that
// cannot be is gone until reopened.
#include <array>
#include <atomic>
#include <mutex>

#include "force/windows/windows_devices.h"

namespace kinetra::force {
namespace {

constexpr std::uint32_t kForever = 0xFFFFFFFFu;

std::uint32_t Micro(std::uint32_t ms) {
    return ms >= kForever / 1000 ? kForever : ms * 1000;
}

std::uint32_t Level(std::int32_t level) {
    return static_cast<std::uint32_t>(level < 0                       ? 0
                                      : level > kDirectInputFullScale ? kDirectInputFullScale
                                                                      : level);
}

class DirectInputBackend final : public Backend {
public:
    DirectInputBackend(std::unique_ptr<DirectInputDevice> device, bool forEffects)
        : m_device(std::move(device)), m_name(m_device->ProductName()), m_forEffects(forEffects) {}
    ~DirectInputBackend() override {
        for (int id = 0; id < kSlots; ++id) DestroyEffect(id);
    }

    const char* ProductName() const override { return m_name.c_str(); }
    std::int32_t MaxLevel() const override { return kDirectInputFullScale; }
    bool CanPlay() const override { return m_forEffects; }
    bool Disconnected() const override { return m_gone.load(); }

    int CreateEffect(const DeviceEffect& effect) override {
        if (!m_forEffects || m_gone) return -1;
        int slot = 0;
        while (slot < kSlots && m_handles[slot] >= 0) ++slot;
        if (slot == kSlots) return -1;
        int handle = -1;
        if (!Check(m_device->CreateSine(DirectInputSineFor(effect), &handle)) || handle < 0) {
            return -1;
        }
        m_handles[slot] = handle;
        return slot;
    }
    bool UpdateEffect(int id, const DeviceEffect& effect) override {
        return Valid(id) &&
               Retry([&] { return m_device->SetSine(m_handles[id], DirectInputSineFor(effect)); });
    }
    bool RunEffect(int id, std::uint32_t iterations) override {
        const std::uint32_t times = iterations == 0x80000000u ? kForever : iterations;
        return Valid(id) && Retry([&] { return m_device->Start(m_handles[id], times); });
    }
    bool StopEffect(int id) override {
        return Valid(id) && Retry([&] { return m_device->Stop(m_handles[id]); });
    }
    void DestroyEffect(int id) override {
        if (id < 0 || id >= kSlots || m_handles[id] < 0) return;
        m_device->Release(m_handles[id]);
        m_handles[id] = -1;
    }

private:
    static constexpr int kSlots = 16;
    // DIERR_INPUTLOST and DIERR_NOTACQUIRED: the device may be acquired again.
    static constexpr std::int32_t kInputLost = static_cast<std::int32_t>(0x8007001E);
    static constexpr std::int32_t kNotAcquired = static_cast<std::int32_t>(0x8007000C);
    // DIERR_UNPLUGGED: gone until reopened.
    static constexpr std::int32_t kUnplugged = static_cast<std::int32_t>(0x80040209);

    bool Valid(int id) const { return !m_gone && id >= 0 && id < kSlots && m_handles[id] >= 0; }
    bool Check(std::int32_t result) { return result >= 0; }
    template <typename Call>
    bool Retry(Call call) {
        std::int32_t result = call();
        if (result == kInputLost || result == kNotAcquired) {
            std::lock_guard<std::mutex> lock(m_reacquire);
            result = m_device->Reacquire() >= 0 ? call() : result;
            if (result < 0) m_gone = true;
        }
        if (result == kUnplugged) m_gone = true;
        return result >= 0;
    }

    std::unique_ptr<DirectInputDevice> m_device;
    std::string m_name;
    bool m_forEffects;
    std::array<int, kSlots> m_handles = [] {
        std::array<int, kSlots> handles;
        handles.fill(-1);
        return handles;
    }();
    std::atomic<bool> m_gone{false};
    std::mutex m_reacquire;
};

}  // namespace

DirectInputSine DirectInputSineFor(const DeviceEffect& effect) {
    DirectInputSine sine;
    sine.magnitude = Level(effect.level);
    sine.periodUs = Micro(effect.periodMs);
    sine.gain = kDirectInputFullScale;
    sine.durationUs = Micro(effect.durationMs);
    sine.offset = effect.offset < -kDirectInputFullScale  ? -kDirectInputFullScale
                  : effect.offset > kDirectInputFullScale ? kDirectInputFullScale
                                                          : effect.offset;
    sine.phase = effect.phase % 36000;
    sine.directionX = effect.directionX;
    sine.directionY = effect.directionY;
    sine.attackLevel = Level(effect.attackLevel);
    sine.attackUs = Micro(effect.attackMs);
    sine.fadeLevel = Level(effect.fadeLevel);
    sine.fadeUs = Micro(effect.fadeMs);
    // Buttons count from 1 in the library, from 0 in DirectInput's button offsets.
    sine.triggerButton = effect.button == 0 ? kForever : effect.button - 1;
    return sine;
}

std::shared_ptr<Backend> MakeDirectInputBackend(std::unique_ptr<DirectInputDevice> device,
                                                bool forEffects) {
    return std::make_shared<DirectInputBackend>(std::move(device), forEffects);
}

}  // namespace kinetra::force
