// A two-motor rumble device carrying the library's periodic effects: each effect's effective level
// drives the low- or the high-frequency motor, the motors take the largest level given to them.
// The motors are reached through a RumbleOutput (SDL2 in sdl_rumble_backend.cpp, the virtual
// device in virtual_device.cpp).
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "force/backends/backend.h"

namespace kinetra::force {

// Longest a rumble command lasts on the device, and how often a held value is sent again.
inline constexpr std::uint32_t kRumbleCommandMs = 100;
inline constexpr std::uint32_t kRumbleRenewMs = 50;
// Effects whose frequency is below this (period above 1000 / this) drive the low motor.
inline constexpr std::uint32_t kRumbleSplitHz = 100;
// Full scale of a motor.
inline constexpr std::uint32_t kMotorFullScale = 65535;

struct MotorLevels {
    std::uint16_t low = 0;   // strong, low-frequency motor, 0..65535
    std::uint16_t high = 0;  // weak, high-frequency motor, 0..65535
    bool operator==(const MotorLevels&) const = default;
};

// True when an effect with this period (milliseconds) drives the low-frequency motor: its
// frequency 1000 / periodMs is below kRumbleSplitHz (a period of 0, 0 Hz, counts as low).
// Thread: any.
bool DrivesLowMotor(std::uint32_t periodMs);

// One effect's contribution: its level on the motor of its period, 0 when it is not playing.
// Level = 65535 * magnitude * gain / 10000^2, nearest (magnitude and gain 0..10000).
// Thread: any.
struct RumbleInput {
    bool playing = false;
    std::uint32_t magnitude = 0;
    std::uint32_t gain = 10000;
    std::uint32_t periodMs = 0;
};
std::uint16_t MotorLevel(std::uint32_t magnitude, std::uint32_t gain);
// The two motors for a set of effects: each motor the maximum of its effects' levels.
// Thread: any; allocates nothing.
MotorLevels CombineRumble(const RumbleInput* inputs, std::size_t count);

// The two motors of one device.
// Thread: Rumble is called by one thread at a time (the backend serialises it); EffectUpdated and
// Lost from any thread.
class RumbleOutput {
public:
    virtual ~RumbleOutput() = default;
    // Sets both motors for durationMs milliseconds ((0, 0): silence at once). Returns success.
    virtual bool Rumble(MotorLevels levels, std::uint32_t durationMs) = 0;
    // Told of every effect update (the virtual device counts them). Returns false when the device
    // is gone.
    virtual bool EffectUpdated() { return !Lost(); }
    // True once the device is gone for good (unplugged): reopen to use it again.
    virtual bool Lost() const = 0;
};

// A Backend over a RumbleOutput, with a renewal thread that sends a held nonzero value again every
// kRumbleRenewMs (each command lasting kRumbleCommandMs) and ends with the backend.
// Threads: as Backend. Effect calls keep state behind a short lock; the call that finds no other
// call sending sends the newest motor values before it returns, the others return at once.
class RumbleBackend final : public Backend {
public:
    RumbleBackend(std::unique_ptr<RumbleOutput> output, std::string name, bool forEffects);
    // Stops the renewal thread and silences both motors. Thread: user-interface thread.
    ~RumbleBackend() override;

    const char* ProductName() const override { return m_name.c_str(); }
    std::int32_t MaxLevel() const override { return 32767; }
    bool CanPlay() const override { return m_forEffects; }
    bool IsRumble() const override { return true; }
    bool Disconnected() const override;

    int CreateEffect(const DeviceEffect& effect) override;
    bool UpdateEffect(int id, const DeviceEffect& effect) override;
    bool RunEffect(int id, std::uint32_t iterations) override;
    bool StopEffect(int id) override;
    void DestroyEffect(int id) override;

    // The motor values last sent. Thread: any.
    MotorLevels SentLevels() const;

private:
    static constexpr int kSlots = 16;
    struct Slot {
        bool exists = false;
        RumbleInput input;
    };

    // Sends the motors if they changed (or renew is set and they are not silent); lock holds
    // m_mutex. Returns false when the output failed.
    bool Send(std::unique_lock<std::mutex>& lock, bool renew);
    void RenewalLoop();
    bool Valid(int id) const { return id >= 0 && id < kSlots && m_slots[id].exists; }

    std::unique_ptr<RumbleOutput> m_output;
    std::string m_name;
    bool m_forEffects;

    mutable std::mutex m_mutex;  // guards everything below; never held during output calls
    std::condition_variable m_wake;
    std::array<Slot, kSlots> m_slots{};
    MotorLevels m_sent;
    bool m_sentOnce = false;
    bool m_busy = false;  // a call is talking to the output
    bool m_failing = false;
    bool m_lost = false;
    bool m_quit = false;
    std::chrono::steady_clock::time_point m_lastSend{};
    std::thread m_renewal;
};

}  // namespace kinetra::force
