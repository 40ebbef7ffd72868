// The force devices of Windows: DirectInput 8 force-feedback devices playing the five sine
// effects, XInput gamepads carrying them on two rumble motors. The DirectInput backend talks to a
// device through DirectInputDevice, so that tests can script one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "force/backends/backend.h"

namespace kinetra::force {

// One periodic sine effect as DirectInput takes it (DIEFFECT with DIPERIODIC): magnitude and
// gain 0..10000, period and duration in microseconds (0xFFFFFFFF: INFINITE), offset -10000..10000,
// phase in hundredths of a degree, direction as two cartesian axes, envelope levels 0..10000
// and times in microseconds (no envelope when both times are 0).
struct DirectInputSine {
    std::uint32_t magnitude = 0;
    std::uint32_t periodUs = 0;
    std::uint32_t gain = 10000;
    std::uint32_t durationUs = 0xFFFFFFFFu;
    std::int32_t offset = 0;
    std::uint32_t phase = 0;
    std::int32_t directionX = 1;
    std::int32_t directionY = 0;
    std::uint32_t attackLevel = 0;
    std::uint32_t attackUs = 0;
    std::uint32_t fadeLevel = 0;
    std::uint32_t fadeUs = 0;
    std::uint32_t triggerButton = 0xFFFFFFFFu;  // DIEB_NOTRIGGER
    bool operator==(const DirectInputSine&) const = default;
};

// Full scale of DirectInput's magnitudes and gains (DI_FFNOMINALMAX).
inline constexpr std::int32_t kDirectInputFullScale = 10000;

// What the library asks of one effect, in DirectInput's terms: the level (gain applied) as the
// magnitude at full gain; milliseconds as microseconds.
DirectInputSine DirectInputSineFor(const DeviceEffect& effect);

// An acquired force-feedback device. Results are HRESULTs (negative: failure). Thread: as
// Backend's effect calls.
class DirectInputDevice {
public:
    virtual ~DirectInputDevice() = default;
    virtual std::string ProductName() const = 0;
    // A downloaded, stopped effect; *id its handle.
    virtual std::int32_t CreateSine(const DirectInputSine& sine, int* id) = 0;
    // Changes an effect in place (a playing one goes on playing).
    virtual std::int32_t SetSine(int id, const DirectInputSine& sine) = 0;
    virtual std::int32_t Start(int id, std::uint32_t iterations) = 0;
    virtual std::int32_t Stop(int id) = 0;
    virtual void Release(int id) = 0;
    // Acquires the device again after it was lost (another program took it, or it came back).
    virtual std::int32_t Reacquire() = 0;
};

// The backend over a device; forEffects false: opened only to identify it.
std::shared_ptr<Backend> MakeDirectInputBackend(std::unique_ptr<DirectInputDevice> device,
                                                bool forEffects);

// The attached force-feedback devices' product names, in DirectInput's order. Thread:
// user-interface thread.
std::vector<std::string> DirectInputForceDevices();
// Opens the index-th (index >= 0), the one called name (not empty), or the first; null with a
// reason in *error. Thread: user-interface thread.
std::unique_ptr<DirectInputDevice> OpenDirectInputDevice(int index, const std::string& name,
                                                         std::string* error);

// XInput controllers connected now (0..3), their names ("XInput Controller 1"..), and a rumble
// backend on one. Thread: user-interface thread.
std::vector<int> ConnectedXInputControllers();
std::string XInputControllerName(int user);
std::shared_ptr<Backend> OpenXInputRumble(int user, bool forEffects);

}  // namespace kinetra::force
