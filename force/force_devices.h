// The force devices this machine offers, the state of the one the program has open, and why none
// could be opened: what the main window shows and offers in its device menu.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kinetra::force {

// How a device carries the five force channels.
enum class ForceDeviceKind {
    kSine,     // plays the five sine effects as they are
    kRumble,   // two motors (low and high frequency) carry the five effects combined
    kVirtual,  // the built-in virtual device (force/virtual_device.h)
};

// "sine", "rumble" or "virtual". Thread: any.
const char* ForceDeviceKindName(ForceDeviceKind kind);

struct ForceDeviceInfo {
    std::string id;    // a value for KINETRA_FORCE_DEVICE / ParseForceDeviceChoice: "sdl:<name>"
    std::string name;  // the product name
    ForceDeviceKind kind = ForceDeviceKind::kSine;
};

// Every force device SDL2 reaches now, in the order the default choice tries them (sine devices
// first, then rumble devices), and last the virtual device ("virtual"). Opens each device briefly
// to ask what it plays. Thread: user-interface thread; takes up to a few hundred milliseconds.
std::vector<ForceDeviceInfo> ListForceDevices();

// The connection of the device opened for effects (the force channels' shared device).
enum class ForceDeviceState {
    kNone,                 // no device open for effects
    kConnected,            // open and answering since it was opened
    kDisconnectedWaiting,  // gone (unplugged, asleep, failing): calls fail, a reconnect is tried
                           // every 2 s
    kReconnected,          // back after a disconnection, effects recreated
};

struct ForceDeviceStatus {
    ForceDeviceState state = ForceDeviceState::kNone;
    std::string name;  // product name of the device (the newest one after a reconnection)
    ForceDeviceKind kind = ForceDeviceKind::kSine;
    bool twoMotors = false;  // the effects drive two rumble motors (kRumble; virtual kind=rumble)
    std::uint64_t disconnections = 0;  // since it was opened
    std::uint64_t reconnections = 0;
};

// A copy of the status at this moment. Thread: any (takes a short lock and allocates; the capture
// thread's per-block path uses CurrentForceDeviceState instead).
ForceDeviceStatus CurrentForceDeviceStatus();
// The state alone. Thread: any; lock-free, allocates nothing.
ForceDeviceState CurrentForceDeviceState();

// Why the last open for effects failed, for the user: what was found and why each failed, with
// advice (permissions, KINETRA_FORCE_DEVICE=virtual). Empty after a successful open and before
// any. Thread: any (takes a short lock and allocates).
std::string LastForceDeviceProblem();

// ---- Library side: how the device library keeps the above up to date. ----

// The last sentence of DescribeForceDeviceProblem's text, after ". ". A window that gives the
// same advice in its own words may leave it out (ReasonWithoutVirtualHint).
inline constexpr char kVirtualDeviceHint[] = "KINETRA_FORCE_DEVICE=virtual runs without hardware.";

// The text for a failed open whose backends said openError: that, every force-feedback event
// device this user may not open (with advice), and kVirtualDeviceHint. Thread: any; reads /sys and
// tries /dev/input (allocates).
std::string DescribeForceDeviceProblem(const std::string& openError);
// problem without a closing kVirtualDeviceHint (and the space before it), else problem itself.
// Thread: any.
std::string ReasonWithoutVirtualHint(const std::string& problem);
// Records the problem of a failed open (empty: none). Thread: any.
void SetLastForceDeviceProblem(std::string problem);
// Publishes the status of the device opened for effects; owner identifies the publishing
// connection, and ClearForceDeviceStatus(owner) resets to kNone only if owner published last.
// Thread: any.
void PublishForceDeviceStatus(const void* owner, const ForceDeviceStatus& status);
void ClearForceDeviceStatus(const void* owner);
// Sets the state alone when owner published last (the rest follows with the next Publish).
// Thread: any; lock-free, allocates nothing (the capture thread may be the one that finds the
// device gone).
void PublishForceDeviceState(const void* owner, ForceDeviceState state);

}  // namespace kinetra::force
