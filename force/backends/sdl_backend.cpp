// Real force-feedback devices through SDL2's haptic API (on Linux: evdev force-feedback devices).
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "force/backends/backend.h"
#include "force/backends/backend_table.h"
#include "force/backends/sdl_devices.h"

namespace kinetra::force {
namespace {

constexpr std::uint32_t kUnchanged = 0x80000000u;

Uint16 ClampU16(std::uint32_t value) {
    return static_cast<Uint16>(std::min<std::uint32_t>(value, 65535u));
}

Sint16 ClampS16(std::int32_t value) {
    return static_cast<Sint16>(std::clamp<std::int32_t>(value, -32767, 32767));
}

// The SDL description of one of our sine effects.
SDL_HapticEffect ToSdl(const DeviceEffect& effect) {
    SDL_HapticEffect sdl;
    std::memset(&sdl, 0, sizeof sdl);  // compared byte for byte, padding included
    sdl.type = SDL_HAPTIC_SINE;
    SDL_HapticPeriodic& p = sdl.periodic;
    p.type = SDL_HAPTIC_SINE;
    p.direction.type = SDL_HAPTIC_CARTESIAN;
    const bool noDirection = effect.directionX == 0 && effect.directionY == 0;
    p.direction.dir[0] = noDirection ? 1 : effect.directionX;
    p.direction.dir[1] = noDirection ? 0 : effect.directionY;
    p.length = effect.durationMs;  // 0xFFFFFFFF is SDL_HAPTIC_INFINITY
    p.button = ClampU16(effect.button);
    p.period = ClampU16(effect.periodMs);
    p.magnitude = ClampS16(effect.level);
    p.offset = ClampS16(effect.offset);
    p.phase = static_cast<Uint16>(effect.phase % 36000u);
    p.attack_length = ClampU16(effect.attackMs);
    p.attack_level = static_cast<Uint16>(std::clamp<std::int32_t>(effect.attackLevel, 0, 32767));
    p.fade_length = ClampU16(effect.fadeMs);
    p.fade_level = static_cast<Uint16>(std::clamp<std::int32_t>(effect.fadeLevel, 0, 32767));
    return sdl;
}

class SdlBackend final : public Backend {
public:
    SdlBackend(SDL_Haptic* haptic, const char* name, bool forEffects)
        : m_haptic(haptic), m_name(name ? name : ""), m_forEffects(forEffects) {
        const int slots = SDL_HapticNumEffects(haptic);
        m_sent.resize(slots > 0 ? static_cast<std::size_t>(slots) : 0);
    }

    ~SdlBackend() override {
        std::lock_guard lock(SdlLock());
        SDL_HapticClose(m_haptic);  // drops the effects made through this connection
        SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    }

    const char* ProductName() const override { return m_name.c_str(); }
    std::int32_t MaxLevel() const override { return 32767; }
    bool CanPlay() const override { return m_forEffects; }
    bool Disconnected() const override { return m_gone.load(std::memory_order_relaxed); }

    int CreateEffect(const DeviceEffect& effect) override {
        if (!m_forEffects) return -1;
        SDL_HapticEffect sdl = ToSdl(effect);
        const int id = SDL_HapticNewEffect(m_haptic, &sdl);
        if (id < 0) return -1;
        if (static_cast<std::size_t>(id) >= m_sent.size()) {
            // Cannot happen with SDL's own ids; refuse rather than write outside m_sent.
            SDL_HapticDestroyEffect(m_haptic, id);
            return -1;
        }
        m_sent[static_cast<std::size_t>(id)] = sdl;
        return id;
    }

    bool UpdateEffect(int id, const DeviceEffect& effect) override {
        if (!Valid(id)) return false;
        SDL_HapticEffect sdl = ToSdl(effect);
        SDL_HapticEffect& sent = m_sent[static_cast<std::size_t>(id)];
        // Changes of the library's view alone (e.g. a magnitude step below one device level)
        // do not reach the device: some drivers restart an effect at each upload.
        if (std::memcmp(&sdl, &sent, sizeof sdl) == 0) return true;
        if (SDL_HapticUpdateEffect(m_haptic, id, &sdl) != 0) return Failed();
        sent = sdl;
        return true;
    }

    bool RunEffect(int id, std::uint32_t iterations) override {
        if (!Valid(id)) return false;
        const Uint32 count = iterations == kUnchanged ? SDL_HAPTIC_INFINITY : iterations;
        return SDL_HapticRunEffect(m_haptic, id, count) == 0 || Failed();
    }

    bool StopEffect(int id) override {
        if (!Valid(id)) return false;
        return SDL_HapticStopEffect(m_haptic, id) == 0 || Failed();
    }

    void DestroyEffect(int id) override {
        if (Valid(id)) SDL_HapticDestroyEffect(m_haptic, id);
    }

private:
    bool Valid(int id) const { return id >= 0 && static_cast<std::size_t>(id) < m_sent.size(); }
    // After a failed call; always false.
    bool Failed() {
        if (SdlDeviceGone()) m_gone.store(true, std::memory_order_relaxed);
        return false;
    }

    SDL_Haptic* m_haptic;
    std::string m_name;
    bool m_forEffects;
    // The last description sent for each effect id; each entry is touched only by the call that
    // owns that effect at the moment.
    std::vector<SDL_HapticEffect> m_sent;
    std::atomic<bool> m_gone{false};  // a call failed because the device is gone
};

}  // namespace

namespace {

// Today's path: a haptic device that plays sine effects.
std::shared_ptr<Backend> OpenSdlSineBackend(const ForceDeviceChoice& choice, bool forEffects,
                                            std::string* error) {
    std::lock_guard lock(SdlLock());
    // Reference-counted by SDL, so other users of SDL in this process are not disturbed.
    if (SDL_InitSubSystem(SDL_INIT_HAPTIC) != 0) {
        *error = std::string("SDL haptic subsystem unavailable: ") + SDL_GetError();
        return nullptr;
    }
    const int count = SDL_NumHaptics();
    std::string why =
        count > 0 ? "no SDL haptic device plays sine effects" : "no SDL haptic device found";
    for (int index = 0; index < count; ++index) {
        if (choice.sdlIndex >= 0 && index != choice.sdlIndex) continue;
        const char* name = SDL_HapticName(index);
        if (!choice.sdlName.empty() && choice.sdlName != (name ? name : "")) continue;
        const bool named = choice.sdlIndex >= 0 || !choice.sdlName.empty();
        SDL_Haptic* haptic = SDL_HapticOpen(index);
        if (!haptic) {
            why = "SDL haptic device " + std::to_string(index) +
                  " cannot be opened: " + SDL_GetError();
            if (named) break;
            continue;
        }
        if ((SDL_HapticQuery(haptic) & SDL_HAPTIC_SINE) != 0) {
            return std::make_shared<SdlBackend>(haptic, name, forEffects);
        }
        SDL_HapticClose(haptic);
        why = "SDL haptic device " + std::to_string(index) + " does not play sine effects";
        if (named) break;
    }
    if (choice.sdlIndex >= count) {
        why = "there is no SDL haptic device " + std::to_string(choice.sdlIndex) + " (" +
              std::to_string(count < 0 ? 0 : count) + " found)";
    } else if (!choice.sdlName.empty() && why.starts_with("no SDL")) {
        why = "no SDL haptic device is named \"" + choice.sdlName + "\"";
    }
    SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    *error = why;
    return nullptr;
}

}  // namespace

// A device that plays sine effects, else a rumble device (sdl_rumble_backend.cpp).
std::shared_ptr<Backend> OpenSdlBackend(const ForceDeviceChoice& choice, bool forEffects,
                                        std::string* error) {
    std::string sineWhy;
    if (auto backend = OpenSdlSineBackend(choice, forEffects, &sineWhy)) return backend;
    std::string rumbleWhy;
    if (auto backend = OpenSdlRumbleBackend(choice, forEffects, &rumbleWhy)) return backend;
    *error = sineWhy + "; " + rumbleWhy;
    return nullptr;
}

extern const ForceBackend kSdlForceBackend{"sdl", ForceDeviceChoice::Kind::Sdl, OpenSdlBackend};

}  // namespace kinetra::force
