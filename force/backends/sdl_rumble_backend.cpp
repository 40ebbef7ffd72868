// Rumble devices through SDL2: the haptic left/right effect (evdev FF_RUMBLE devices), else a
// joystick or game controller's own rumble (SDL_JoystickRumble, which also reaches pads through
// hidraw). Also what the SDL2 backends share (sdl_devices.h).
#include <SDL.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "force/backends/rumble_backend.h"
#include "force/backends/sdl_devices.h"

namespace kinetra::force {

std::mutex& SdlLock() {
    static std::mutex lock;
    return lock;
}

bool SdlDeviceGone() {
    if (errno == ENODEV) return true;
    const char* text = SDL_GetError();
    return text != nullptr && std::strstr(text, std::strerror(ENODEV)) != nullptr;
}

namespace {

// A motor value (0..65535) as a left/right effect magnitude: SDL's Linux haptic driver takes
// 0..32767 and sends twice that to the device, so the device gets the value with its lowest bit
// cleared. Thread: any.
Uint16 LeftRightMagnitude(std::uint16_t motor) {
    return static_cast<Uint16>(motor / 2);
}

// The two motors as one left/right haptic effect; every command uploads it with its duration and
// plays it once, silence stops it.
class HapticRumble final : public RumbleOutput {
public:
    explicit HapticRumble(SDL_Haptic* haptic) : m_haptic(haptic) {}
    ~HapticRumble() override {
        std::lock_guard lock(SdlLock());
        SDL_HapticClose(m_haptic);  // erases the effect
        SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    }

    bool Rumble(MotorLevels levels, std::uint32_t durationMs) override {
        if (levels == MotorLevels{}) {
            if (m_effect < 0) return true;
            return SDL_HapticStopEffect(m_haptic, m_effect) == 0 || Failed();
        }
        SDL_HapticEffect effect;
        std::memset(&effect, 0, sizeof effect);
        effect.type = SDL_HAPTIC_LEFTRIGHT;
        effect.leftright.type = SDL_HAPTIC_LEFTRIGHT;
        effect.leftright.length = durationMs;
        effect.leftright.large_magnitude = LeftRightMagnitude(levels.low);
        effect.leftright.small_magnitude = LeftRightMagnitude(levels.high);
        if (m_effect < 0) {
            m_effect = SDL_HapticNewEffect(m_haptic, &effect);
            if (m_effect < 0) return Failed();
        } else if (SDL_HapticUpdateEffect(m_haptic, m_effect, &effect) != 0) {
            return Failed();
        }
        return SDL_HapticRunEffect(m_haptic, m_effect, 1) == 0 || Failed();
    }

    bool Lost() const override { return m_gone.load(std::memory_order_relaxed); }

private:
    bool Failed() {
        if (SdlDeviceGone()) m_gone.store(true, std::memory_order_relaxed);
        return false;
    }

    SDL_Haptic* m_haptic;
    int m_effect = -1;
    std::atomic<bool> m_gone{false};
};

// The joystick's own rumble; SDL ends each command after its duration.
class JoystickRumble final : public RumbleOutput {
public:
    explicit JoystickRumble(SDL_Joystick* joystick) : m_joystick(joystick) {}
    ~JoystickRumble() override {
        std::lock_guard lock(SdlLock());
        SDL_JoystickRumble(m_joystick, 0, 0, 0);
        SDL_JoystickClose(m_joystick);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }

    bool Rumble(MotorLevels levels, std::uint32_t durationMs) override {
        SDL_JoystickUpdate();  // lets SDL end expired commands and notice a removed device
        if (SDL_JoystickRumble(m_joystick, levels.low, levels.high, durationMs) == 0) return true;
        if (SdlDeviceGone() || !SDL_JoystickGetAttached(m_joystick)) {
            m_gone.store(true, std::memory_order_relaxed);
        }
        return false;
    }

    bool Lost() const override { return m_gone.load(std::memory_order_relaxed); }

private:
    SDL_Joystick* m_joystick;
    std::atomic<bool> m_gone{false};
};

bool Named(const ForceDeviceChoice& choice) {
    return choice.sdlIndex >= 0 || !choice.sdlName.empty();
}

bool NameMatches(const ForceDeviceChoice& choice, const char* name) {
    return choice.sdlName.empty() || choice.sdlName == (name ? name : "");
}

// A haptic device with the left/right effect, or null (with what was found in *why).
std::shared_ptr<Backend> OpenHapticRumble(const ForceDeviceChoice& choice, bool forEffects,
                                          std::string* why) {
    if (SDL_InitSubSystem(SDL_INIT_HAPTIC) != 0) {
        *why = std::string("SDL haptic subsystem unavailable: ") + SDL_GetError();
        return nullptr;
    }
    const int count = SDL_NumHaptics();
    for (int index = 0; index < count; ++index) {
        if (choice.sdlIndex >= 0 && index != choice.sdlIndex) continue;
        const char* name = SDL_HapticName(index);
        if (!NameMatches(choice, name)) continue;
        const std::string shown = name ? name : "";
        SDL_Haptic* haptic = SDL_HapticOpen(index);
        if (!haptic) {
            *why = "SDL haptic device " + std::to_string(index) + " (" + shown +
                   ") cannot be opened: " + SDL_GetError();
            continue;
        }
        if ((SDL_HapticQuery(haptic) & SDL_HAPTIC_LEFTRIGHT) != 0) {
            return std::make_shared<RumbleBackend>(std::make_unique<HapticRumble>(haptic), shown,
                                                   forEffects);
        }
        SDL_HapticClose(haptic);
        *why = "SDL haptic device " + std::to_string(index) + " (" + shown +
               ") plays neither sine effects nor rumble";
    }
    SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    return nullptr;
}

// A joystick or game controller with rumble, or null (with what was found in *why).
std::shared_ptr<Backend> OpenJoystickRumble(const ForceDeviceChoice& choice, bool forEffects,
                                            std::string* why) {
    if (choice.sdlIndex >= 0) return nullptr;  // indexes count haptic devices
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        *why = std::string("SDL joystick subsystem unavailable: ") + SDL_GetError();
        return nullptr;
    }
    const int count = SDL_NumJoysticks();
    for (int index = 0; index < count; ++index) {
        const char* name = SDL_JoystickNameForIndex(index);
        if (!NameMatches(choice, name)) continue;
        const std::string shown = name ? name : "";
        SDL_Joystick* joystick = SDL_JoystickOpen(index);
        if (!joystick) {
            *why = "joystick " + std::to_string(index) + " (" + shown +
                   ") cannot be opened: " + SDL_GetError();
            continue;
        }
        if (SDL_JoystickHasRumble(joystick)) {
            return std::make_shared<RumbleBackend>(std::make_unique<JoystickRumble>(joystick),
                                                   shown, forEffects);
        }
        SDL_JoystickClose(joystick);
        if (why->empty())
            *why = "joystick " + std::to_string(index) + " (" + shown + ") has no rumble";
    }
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    return nullptr;
}

}  // namespace

std::shared_ptr<Backend> OpenSdlRumbleBackend(const ForceDeviceChoice& choice, bool forEffects,
                                              std::string* error) {
    std::lock_guard lock(SdlLock());
    std::string hapticWhy;
    if (auto backend = OpenHapticRumble(choice, forEffects, &hapticWhy)) return backend;
    std::string joystickWhy;
    if (auto backend = OpenJoystickRumble(choice, forEffects, &joystickWhy)) return backend;
    std::string why = hapticWhy;
    if (!joystickWhy.empty()) why += (why.empty() ? "" : "; ") + joystickWhy;
    if (why.empty()) {
        why = Named(choice) ? "no SDL rumble device by that name or index"
                            : "no SDL device with rumble found";
    }
    *error = why;
    return nullptr;
}

std::vector<ForceDeviceInfo> ListSdlForceDevices() {
    std::lock_guard lock(SdlLock());
    std::vector<ForceDeviceInfo> sine;
    std::vector<ForceDeviceInfo> rumble;
    if (SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0) {
        for (int index = 0; index < SDL_NumHaptics(); ++index) {
            const char* name = SDL_HapticName(index);
            const std::string shown = name ? name : "";
            SDL_Haptic* haptic = SDL_HapticOpen(index);
            if (!haptic) continue;
            const unsigned int offers = SDL_HapticQuery(haptic);
            SDL_HapticClose(haptic);
            if ((offers & SDL_HAPTIC_SINE) != 0) {
                sine.push_back({"sdl:" + shown, shown, ForceDeviceKind::kSine});
            } else if ((offers & SDL_HAPTIC_LEFTRIGHT) != 0) {
                rumble.push_back({"sdl:" + shown, shown, ForceDeviceKind::kRumble});
            }
        }
        SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    }
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0) {
        for (int index = 0; index < SDL_NumJoysticks(); ++index) {
            SDL_Joystick* joystick = SDL_JoystickOpen(index);
            if (!joystick) continue;
            // Devices SDL haptic reaches are listed above already.
            const bool listed = SDL_JoystickIsHaptic(joystick) == SDL_TRUE;
            const bool rumbles = SDL_JoystickHasRumble(joystick) == SDL_TRUE;
            const char* name = SDL_JoystickName(joystick);
            const std::string shown = name ? name : "";
            SDL_JoystickClose(joystick);
            if (rumbles && !listed) {
                rumble.push_back({"sdl:" + shown, shown, ForceDeviceKind::kRumble});
            }
        }
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    sine.insert(sine.end(), rumble.begin(), rumble.end());
    return sine;
}

}  // namespace kinetra::force
