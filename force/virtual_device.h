// The built-in virtual force-feedback device.
//
// Chosen with KINETRA_FORCE_DEVICE=virtual[:<product name>][,option...], options separated by
// commas:
//   fail=open        the device cannot be opened
//   effects=<N>      only N effects (0..16) can exist at once
//   lost-after=<N>   the device is lost after N effect updates: every later call fails
//   kind=rumble      two motors (low and high frequency) instead of sine effects; kind=sine is
//                    the default
//   unplug-after=<N> the device is unplugged after N effect updates: calls fail, and the library
//                    looks for it again (every 2 s)
//   replug-after=<M> an unplugged device is plugged in again M milliseconds later (with no
//                    effects); without it, it stays away
// The default product name is "Kinetra Virtual Mouse"; a name may not contain ','.
//
// It behaves as one piece of hardware per process: 16 effect slots, each with its level, period,
// gain and playing state, and counts of what was sent to it. Every COndMouse that opens it gets a
// connection to the same hardware; when it is opened while no connection is open it is plugged in
// afresh with the settings of the variable at that moment (slots empty, counts zero, not lost).
// When the last connection closes its effects are gone, but the counts stay readable. An unplugged
// device (unplug-after) is not plugged in afresh by an open that names unplug-after again: that
// open is a reconnection, which succeeds once replug-after has passed (and then keeps the counts;
// it is not unplugged a second time).
#pragma once

#include <cstdint>

namespace kinetra::force {

inline constexpr int kVirtualEffectSlots = 16;
inline constexpr const char kVirtualDefaultName[] = "Kinetra Virtual Mouse";
// The virtual device's level range is 0..kVirtualMaxLevel, as on SDL devices.
inline constexpr std::int32_t kVirtualMaxLevel = 32767;

struct VirtualEffectSnapshot {
    bool created = false;          // the slot holds an effect
    bool playing = false;          // started and not stopped
    std::uint32_t magnitude = 0;   // magnitude asked for, 0..10000, before the gain
    std::uint32_t gain = 10000;    // the effect's own gain, 0..10000
    std::int32_t level = 0;        // the level the device plays, 0..kVirtualMaxLevel
    std::uint32_t periodMs = 0;    // period in milliseconds
    std::uint32_t durationMs = 0;  // 0xFFFFFFFF: without end
    std::uint64_t updates = 0;     // updates received for this effect
};

struct VirtualDeviceSnapshot {
    bool pluggedIn = false;  // opened at least once in this process
    int connections = 0;     // open connections (COndMouse objects holding it, and their effects)
    bool lost = false;       // the device has been lost (lost-after)
    char productName[256] = {};
    int effectLimit = kVirtualEffectSlots;  // effects=N
    std::int64_t lostAfter = -1;            // lost-after=N, -1 when not set
    bool failOpen = false;                  // fail=open
    int effectCount = 0;                    // effects that exist now
    std::uint64_t opens = 0;                // successful opens since plugged in
    std::uint64_t openFailures = 0;         // refused opens (fail=open, lost), counted always
    std::uint64_t updates = 0;              // effect updates received (all effects)
    std::uint64_t unchangedUpdates = 0;     // of those, updates that changed nothing
    std::uint64_t starts = 0;               // run requests received
    std::uint64_t stops = 0;                // stop requests received
    std::uint64_t failedCalls = 0;          // calls refused (lost device, slot limit)
    bool rumble = false;                    // kind=rumble
    std::uint16_t rumbleLow = 0;            // low-frequency motor now, 0..65535
    std::uint16_t rumbleHigh = 0;           // high-frequency motor now, 0..65535
    std::uint32_t rumbleDurationMs = 0;     // duration of the last rumble command
    std::uint64_t rumbleCommands = 0;       // rumble commands received (renewals included)
    std::int64_t unplugAfter = -1;          // unplug-after=N, -1 when not set or done
    std::int64_t replugAfterMs = -1;        // replug-after=M, -1 when not set
    bool unplugged = false;                 // unplugged now
    std::uint64_t unplugs = 0;              // times unplugged
    std::uint64_t replugs = 0;              // times plugged in again
    VirtualEffectSnapshot effects[kVirtualEffectSlots];
};

// A consistent copy of the virtual device's state at this moment.
// Thread: any. Takes the device's short state lock; allocates nothing.
VirtualDeviceSnapshot GetVirtualDeviceSnapshot();

// Kinds of call the device receives, for the call hook.
enum class VirtualCall { Open, Create, Update, Run, Stop, Destroy, Close };

// Called at the start of every call the device receives, on the calling thread, before the
// device looks at it and without any lock held (so a hook may block to imitate a slow device).
// slot is the effect slot, or -1. Meant for tests and tools; null removes the hook.
using VirtualCallHook = void (*)(void* context, VirtualCall call, int slot);
// Thread: any, but not while a device call may be running the previous hook.
void SetVirtualDeviceCallHook(VirtualCallHook hook, void* context);

}  // namespace kinetra::force
