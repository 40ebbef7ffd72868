// The inner interface between the device library and its backends (one per file: the SDL2
// haptic backend and the virtual device), reached through force/backends/backend_table.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "force/device_choice.h"

namespace kinetra::force {

// What a device is asked to play for one effect, in the device's own units.
struct DeviceEffect {
    std::int32_t level = 0;                  // 0..Backend::MaxLevel(), the effect's gain applied
    std::uint32_t periodMs = 0;              // the backend clamps it to what it can carry
    std::uint32_t durationMs = 0xFFFFFFFFu;  // 0xFFFFFFFF: without end
    std::int32_t directionX = 1;
    std::int32_t directionY = 0;
    std::int32_t offset = 0;  // -MaxLevel()..MaxLevel()
    std::uint32_t phase = 0;  // hundredths of a degree, 0..35999
    std::int32_t attackLevel = 0;
    std::uint32_t attackMs = 0;
    std::int32_t fadeLevel = 0;
    std::uint32_t fadeMs = 0;
    std::uint32_t button = 0;  // 0: no trigger button
    // The library's view (magnitude 0..10000 and gain 0..10000), reported by devices that show
    // it (the virtual one); hardware ignores it.
    std::uint32_t magnitude = 0;
    std::uint32_t gain = 10000;

    bool operator==(const DeviceEffect&) const = default;
};

// One open connection to a device. Construction opens it, destruction closes it (and the
// device drops the effects made through it).
// Threads: CreateEffect, DestroyEffect and destruction come from the user-interface thread.
// UpdateEffect, RunEffect and StopEffect may come from any thread, but never two at once for the
// same effect (the library serialises each effect); calls for different effects may overlap.
class Backend {
public:
    virtual ~Backend() = default;

    virtual const char* ProductName() const = 0;
    // Largest level the device plays.
    virtual std::int32_t MaxLevel() const = 0;
    // False when opened only to identify the device.
    virtual bool CanPlay() const = 0;
    // True when the device carries the effects on two rumble motors. Thread: any.
    virtual bool IsRumble() const { return false; }
    // True once the device is gone (unplugged, removed): every later call fails and only a new
    // open reaches it again. Thread: any.
    virtual bool Disconnected() const { return false; }

    // Creates a stopped effect; returns its id (>= 0) or -1.
    virtual int CreateEffect(const DeviceEffect& effect) = 0;
    // Changes an effect in place (a playing effect goes on playing). Returns success.
    virtual bool UpdateEffect(int id, const DeviceEffect& effect) = 0;
    // Plays an effect; iterations 0x80000000 means without end. Returns success.
    virtual bool RunEffect(int id, std::uint32_t iterations) = 0;
    virtual bool StopEffect(int id) = 0;
    virtual void DestroyEffect(int id) = 0;
};

}  // namespace kinetra::force
