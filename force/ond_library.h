// The force-feedback class library: a device (COndMouse) and its periodic effects (COndPeriodic).
//
// The library talks to a force-feedback device through one of its backends (force/backends/),
// chosen when a device is initialised: by the choice the program set (SetForceDeviceChoice in
// force/device_choice.h), else by the environment variable KINETRA_FORCE_DEVICE, whose text
// (also what ParseForceDeviceChoice reads) is:
//   unset or ""              the first SDL2 device that plays sine effects, else the first SDL2
//                            device with rumble (force/force_devices.h)
//   sdl                      the same
//   sdl:<index>              the SDL2 haptic device with that index (sine effects or rumble)
//   sdl:<name>               the first SDL2 device with exactly that name (sine first)
//   virtual[:<name>][,opt]   the built-in virtual device (force/virtual_device.h)
//   none                     no device: every Initialize fails
// A malformed value is reported on standard error and treated as "no device".
//
// Values: magnitudes, gains and envelope levels are 0..10000 (10000 = full strength; larger values
// count as 10000); periods and times are milliseconds; offsets are -10000..10000; phases are
// hundredths of a degree (0..35999). OND_UNCHANGED in any value of ChangeParameters and
// OND_ENVELOPE_UNCHANGED as its envelope leave that setting as it is.
//
// Concurrency: each effect keeps its wanted settings behind a short lock that guards state only
// and never device I/O. A call records what it wants and, unless another call is talking to the
// device for this effect right now, talks to the device itself until the device has everything
// that was asked for. A call that finds the device busy with this effect returns at once; the
// call that is busy sends the newer settings before it returns. So the capture thread's
// ChangeParameters never waits behind a slow device call that the user-interface thread started
// (and the other way round), and once all calls have returned the device has the last settings
// asked for. A busy call sends only the newest settings, so it works at most as long as the other
// thread keeps asking for changes faster than the device takes them (the capture thread asks at
// most once per block). Different effects never wait for each other. A ChangeParameters that asks
// for the magnitude and period the effect has, while the device has everything asked for and no
// call is talking to it, returns without taking the lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// Attack and fade of an effect; levels 0..10000, times in milliseconds.
struct VORBIT_ENVELOPE {
    std::uint32_t dwAttackLevel = 0;
    std::uint32_t dwAttackTime = 0;
    std::uint32_t dwFadeLevel = 0;
    std::uint32_t dwFadeTime = 0;
};

// Effect type identifier.
struct OND_GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

inline bool operator==(const OND_GUID& a, const OND_GUID& b) {
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) return false;
    }
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3;
}

// The sine effect {5959DF73-2911-11D1-B049-0020AF30269A}, the only periodic type offered.
inline constexpr OND_GUID GUID_Ond_Sine = {
    0x5959DF73, 0x2911, 0x11D1, {0xB0, 0x49, 0x00, 0x20, 0xAF, 0x30, 0x26, 0x9A}};

// "Leave as it is" in ChangeParameters and "as configured" for Start's iteration count.
inline constexpr std::uint32_t OND_UNCHANGED = 0x80000000u;
// "Leave the envelope as it is" in ChangeParameters.
inline VORBIT_ENVELOPE* OndEnvelopeUnchanged() {
    return reinterpret_cast<VORBIT_ENVELOPE*>(~std::uintptr_t{0});
}
#define OND_ENVELOPE_UNCHANGED (OndEnvelopeUnchanged())
// Effect duration without end.
inline constexpr std::uint32_t OND_INFINITE = 0xFFFFFFFFu;

// COndMouse::Initialize flags.
inline constexpr std::uint32_t OND_INIT_QUERY = 4;    // open only to identify the device
inline constexpr std::uint32_t OND_INIT_EFFECTS = 8;  // open to play effects

namespace kinetra::force {
class Backend;
struct EffectState;

// Why the last failed COndMouse::Initialize or COndPeriodic::Initialize failed, for the user
// ("" before any failure). Thread: user-interface thread.
std::string LastForceProblem();

// Tells the user why the force device cannot be used: a debug line, and the same text on standard
// error unless KINETRA_DEBUG already sends debug lines there ("Force device: <reason>").
// Thread: user-interface thread.
void ReportForceProblem(const std::string& reason);
}  // namespace kinetra::force

class CHXCErrors {
public:
    // Error handling of the whole library. The library never throws and never shows a message; a
    // failing operation returns 0. With bit HXC_ERR_REPORT set it also writes one diagnostic line
    // (kinetra::DebugOutput) when a device cannot be opened or an effect starts failing.
    // Thread: any (read and written atomically).
    static std::atomic<std::uint32_t> m_dwErrHandlingFlags;
    static constexpr std::uint32_t HXC_ERR_REPORT = 1;
};

class COndDevice {
public:
    // Thread: user-interface thread.
    COndDevice();
    // Releases the device. Effects still alive keep their connection until they are destroyed.
    // Thread: user-interface thread, while no other call on this device or its effects runs.
    ~COndDevice();
    COndDevice(const COndDevice&) = delete;
    COndDevice& operator=(const COndDevice&) = delete;

    // Writes the zero-terminated product name (cut to size - 1 characters) and returns 1; returns
    // 0 without an open device or with a null buffer or size 0 (buffer untouched).
    // Thread: user-interface thread.
    int GetProductName(char* buffer, std::uint32_t size) const;

    // True after a successful Initialize.
    bool IsOpen() const { return m_pBackend != nullptr; }

protected:
    friend class COndPeriodic;
    std::shared_ptr<kinetra::force::Backend> m_pBackend;
};

class COndMouse : public COndDevice {
public:
    // Opens the device the current choice names (CurrentForceDeviceChoice: the one set, else
    // KINETRA_FORCE_DEVICE). Opened for effects, the device is looked for again every 2 s when it
    // goes away, and its effects are made again when it is back (CurrentForceDeviceStatus in
    // force/force_devices.h); when no device opens for effects, why goes to standard error and to
    // LastForceDeviceProblem. flags: OND_INIT_EFFECTS (8) to play effects, OND_INIT_QUERY (4)
    // only to read its name; other values fail. instance and window identify the owner and may
    // be null; bOption is accepted and has no use on these backends.
    // Returns 1 when the device was opened, 0 otherwise (also when already open).
    // Thread: user-interface thread.
    int Initialize(void* instance, void* window, std::uint32_t flags, bool bOption);
};

class COndEffect {
public:
    // Starts playing (again). dwIterations: OND_UNCHANGED plays without end, otherwise the
    // number of repetitions; dwFlags and bAllowStartDelay are accepted and have no use here.
    // Sends nothing when the effect plays already. Returns 1, or 0 on failure or without effect.
    // Thread: any; may overlap the other calls on this effect.
    int Start(std::uint32_t dwIterations = OND_UNCHANGED, std::uint32_t dwFlags = 0,
              bool bAllowStartDelay = true);
    // Silences the effect without destroying it. Returns 1, or 0 on failure or without effect.
    // Thread: any; may overlap the other calls on this effect.
    int Stop();
    // Scales this effect alone by gain / 10000 (the device's own gain is never touched).
    // Returns 1, or 0 on failure or without effect. Thread: any; may overlap the other calls.
    int ChangeGain(std::uint32_t gain);

    // True after a successful Initialize. Thread: any.
    bool IsCreated() const;

protected:
    COndEffect();
    ~COndEffect();
    COndEffect(const COndEffect&) = delete;
    COndEffect& operator=(const COndEffect&) = delete;

    std::unique_ptr<kinetra::force::EffectState> m_pState;
};

class COndPeriodic : public COndEffect {
public:
    // type must be GUID_Ond_Sine for Initialize to succeed. Thread: user-interface thread.
    explicit COndPeriodic(const OND_GUID& type);
    // Stops and releases the effect. Thread: user-interface thread, while no other call on this
    // effect runs.
    ~COndPeriodic();

    // Creates the effect on an open device (opened with OND_INIT_EFFECTS). dwDuration: OND_INFINITE
    // or milliseconds; lDirectionX/lDirectionY: direction of the force (0, 0 counts as 1, 0);
    // pEnvelope: null for none. dwTriggerButton: 0, or a device button that starts the effect.
    // The effect does not play until Start. Returns 1 on success; 0 when already created, on a
    // closed device or a refusal of the device. Thread: user-interface thread.
    int Initialize(COndDevice* pDevice, std::uint32_t dwMagnitude, std::uint32_t dwPeriod,
                   std::uint32_t dwDuration = OND_INFINITE, std::int32_t lDirectionX = 1,
                   std::int32_t lDirectionY = 0, std::int32_t lOffset = 0,
                   std::uint32_t dwPhase = 0, VORBIT_ENVELOPE* pEnvelope = nullptr,
                   std::uint32_t dwTriggerButton = 0);

    // Changes the settings of the (playing) effect in place; each OND_UNCHANGED value (and the
    // envelope OND_ENVELOPE_UNCHANGED) stays as it is. Sends nothing when nothing changes.
    // Returns 1, or 0 on failure or without effect.
    // Thread: any; may overlap Start, Stop and ChangeGain on another thread.
    int ChangeParameters(std::uint32_t dwMagnitude, std::uint32_t dwPeriod,
                         std::uint32_t dwDuration = OND_UNCHANGED,
                         std::int32_t lDirectionX = static_cast<std::int32_t>(OND_UNCHANGED),
                         std::int32_t lDirectionY = static_cast<std::int32_t>(OND_UNCHANGED),
                         std::int32_t lOffset = static_cast<std::int32_t>(OND_UNCHANGED),
                         std::uint32_t dwPhase = OND_UNCHANGED,
                         VORBIT_ENVELOPE* pEnvelope = OND_ENVELOPE_UNCHANGED) {
        constexpr auto kSignedUnchanged = static_cast<std::int32_t>(OND_UNCHANGED);
        // Inline so that a caller passing the markers (the force channel, once per block and
        // band) goes straight to the magnitude and period change.
        if (dwDuration == OND_UNCHANGED && lDirectionX == kSignedUnchanged &&
            lDirectionY == kSignedUnchanged && lOffset == kSignedUnchanged &&
            dwPhase == OND_UNCHANGED && pEnvelope == OND_ENVELOPE_UNCHANGED) {
            return ChangeMagnitudeAndPeriod(dwMagnitude, dwPeriod);
        }
        return ChangeAllParameters(dwMagnitude, dwPeriod, dwDuration, lDirectionX, lDirectionY,
                                   lOffset, dwPhase, pEnvelope);
    }

private:
    // ChangeParameters with every value but the magnitude and the period OND_UNCHANGED (and the
    // envelope OND_ENVELOPE_UNCHANGED). Threads as ChangeParameters'.
    int ChangeMagnitudeAndPeriod(std::uint32_t dwMagnitude, std::uint32_t dwPeriod);
    // ChangeParameters with any other value given. Threads as ChangeParameters'.
    int ChangeAllParameters(std::uint32_t dwMagnitude, std::uint32_t dwPeriod,
                            std::uint32_t dwDuration, std::int32_t lDirectionX,
                            std::int32_t lDirectionY, std::int32_t lOffset, std::uint32_t dwPhase,
                            VORBIT_ENVELOPE* pEnvelope);

    OND_GUID m_type;
};
