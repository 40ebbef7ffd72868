#include "force/ond_library.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "force/backends/backend.h"
#include "force/backends/backend_table.h"
#include "force/backends/reconnecting_backend.h"
#include "force/device_choice.h"
#include "force/force_devices.h"
#include "force/force_units.h"
#include "platform/console.h"
#include "platform/debug_output.h"
#include "platform/short_lock.h"

std::atomic<std::uint32_t> CHXCErrors::m_dwErrHandlingFlags{0};

namespace kinetra::force {
namespace {

std::string& LastProblem() {
    static std::string problem;
    return problem;
}

bool Reporting() {
    return (CHXCErrors::m_dwErrHandlingFlags.load(std::memory_order_relaxed) &
            CHXCErrors::HXC_ERR_REPORT) != 0;
}

std::uint32_t Full(std::uint32_t value) {
    return value > kFullScale ? kFullScale : value;
}

// Why no device opened, always on standard error (once while it stays the same, until a device
// opens) and for the window (LastForceDeviceProblem). Thread: user-interface thread.
std::string g_lastPrintedProblem;  // user-interface thread only

void ReportOpenProblem(const std::string& problem) {
    std::string& lastPrinted = g_lastPrintedProblem;
    SetLastForceDeviceProblem(problem);
    if (problem == lastPrinted) return;
    lastPrinted = problem;
    // Standard error only: the library's own debug line ("FORCE: ...") follows when reporting.
    const std::string line = "Force device: " + problem + "\n";
    kinetra::ConsoleWrite(2, line.c_str());
}

}  // namespace

std::string LastForceProblem() {
    return LastProblem();
}

void ReportForceProblem(const std::string& reason) {
    const std::string line = "Force device: " + reason + "\n";
    kinetra::DebugOutput(line.c_str());
    if (!kinetra::DebugOutputRequestedByEnvironment()) kinetra::ConsoleWrite(2, line.c_str());
}

// An effect's settings in the library's units.
struct EffectSettings {
    std::uint32_t magnitude = 0;
    std::uint32_t period = 0;
    std::uint32_t duration = OND_INFINITE;
    std::int32_t directionX = 1;
    std::int32_t directionY = 0;
    std::int32_t offset = 0;
    std::uint32_t phase = 0;
    VORBIT_ENVELOPE envelope;
    std::uint32_t button = 0;
};

struct EffectState {
    // Set by Initialize on the user-interface thread before any other call may run, cleared by
    // the destructor after the last one; read-only in between.
    std::shared_ptr<Backend> backend;
    std::int32_t maxLevel = 0;  // backend->MaxLevel(), fixed for the backend's lifetime
    int id = -1;
    std::atomic<bool> created{false};

    // Everything below is guarded by mutex, which is never held during device I/O or a debug
    // line: a call that talks to the device for this effect takes it twice (once to record what
    // it wants, once to learn whether more was asked meanwhile), the only atomic
    // read-modify-writes of the hand-off.
    kinetra::ShortLock mutex;
    EffectSettings wanted;
    std::uint32_t gain = kFullScale;
    std::uint64_t levelScale = 0;  // DeviceLevelScale(gain, maxLevel), set with gain
    bool playing = false;
    std::uint32_t iterations = OND_UNCHANGED;
    // Something besides the wanted magnitude and period changed (the gain, the duration, ...)
    // since want was last worked out. Set by every call that changes such a setting.
    bool othersChanged = false;
    bool sentPlaying = false;       // whether the device plays it
    bool playingKnown = true;       // false after a failed start or stop: send the next one anyway
    bool busy = false;              // a call is talking to the device for this effect
    bool changedWhileBusy = false;  // a call changed what is wanted while another was busy
    bool failing = false;           // the last device call for this effect failed

    // Written only by the call that is busy (and by Initialize), with mutex held; that call also
    // hands want to the device without the lock, which no other call touches meanwhile.
    DeviceEffect want;       // what the device should have, worked out from the settings
    DeviceEffect sent;       // what the device has
    bool othersSent = true;  // want and sent agree in all but level, periodMs and magnitude
    bool wantIsSent = true;  // want and sent agree in everything
    // False after a refused update until one is taken: what the device holds is then not known
    // (a device that comes back gets the refused settings from the reconnecting backend, which
    // records every wish), so the next update is sent even when it asks for sent again.
    bool sentKnown = true;

    // While the device has everything asked for and no call is talking to it: kSettled, the
    // wanted magnitude (bits 32..61), the wanted period (bits 0..31) and kSettledFailing when the
    // last device call failed; 0 otherwise. A ChangeParameters that asks for exactly these
    // returns by it without the lock: under the lock it would change nothing and send nothing.
    // Written with mutex held; read by any call.
    std::atomic<std::uint64_t> settled{0};
    static constexpr std::uint64_t kSettled = std::uint64_t{1} << 63;
    static constexpr std::uint64_t kSettledFailing = std::uint64_t{1} << 62;

    // settled's value for the state now; called with mutex held when nothing is left to send.
    std::uint64_t SettledWord() const {
        return kSettled | (failing ? kSettledFailing : 0) |
               (std::uint64_t{wanted.magnitude} << 32) | wanted.period;
    }

    DeviceEffect ToDevice() const {
        const std::int32_t max = maxLevel;
        DeviceEffect d;
        d.level = ScaledDeviceLevel(wanted.magnitude, levelScale);
        d.periodMs = wanted.period;
        d.durationMs = wanted.duration;
        d.directionX = wanted.directionX;
        d.directionY = wanted.directionY;
        d.offset = DeviceSignedLevel(wanted.offset, max);
        d.phase = wanted.phase % 36000u;
        d.attackLevel = ScaledDeviceLevel(wanted.envelope.dwAttackLevel, levelScale);
        d.attackMs = wanted.envelope.dwAttackTime;
        d.fadeLevel = ScaledDeviceLevel(wanted.envelope.dwFadeLevel, levelScale);
        d.fadeMs = wanted.envelope.dwFadeTime;
        d.button = wanted.button;
        d.magnitude = wanted.magnitude;
        d.gain = gain;
        return d;
    }

    // True when a and b agree in everything but level, periodMs and magnitude.
    static bool OthersEqual(DeviceEffect a, const DeviceEffect& b) {
        a.level = b.level;
        a.periodMs = b.periodMs;
        a.magnitude = b.magnitude;
        return a == b;
    }

    // Works want out again from the settings: the level, period and magnitude always (what the
    // capture thread changes), the rest only when it changed. Compared with sent before they are
    // stored: reading fields back just after writing them one by one would wait for the stores.
    // Called by the busy call.
    void RefreshWant() {
        if (othersChanged) {
            RefreshAllOfWant();
            return;
        }
        const std::int32_t level = ScaledDeviceLevel(wanted.magnitude, levelScale);
        const std::uint32_t period = wanted.period;
        const std::uint32_t magnitude = wanted.magnitude;
        wantIsSent = othersSent && level == sent.level && period == sent.periodMs &&
                     magnitude == sent.magnitude;
        want.level = level;
        want.periodMs = period;
        want.magnitude = magnitude;
    }

    // RefreshWant when more than the level, period and magnitude may have changed. Out of line,
    // as are SendDue and Finish: the usual update keeps to a few registers and stays inline.
    [[gnu::noinline]] void RefreshAllOfWant() {
        othersChanged = false;
        want = ToDevice();
        othersSent = sentKnown && OthersEqual(want, sent);
        wantIsSent = sentKnown && want == sent;
    }

    // After the device refused want: sent may no longer be what it holds.
    void UpdateRefused() {
        sentKnown = false;
        othersSent = false;
        wantIsSent = false;
    }

    // After the device took want.
    void WantSent() {
        if (othersSent) {
            sent.level = want.level;
            sent.periodMs = want.periodMs;
            sent.magnitude = want.magnitude;
        } else {
            sent = want;
            othersSent = true;
            sentKnown = true;
        }
        wantIsSent = true;
    }

    // What the busy call sends next, worked out with mutex held.
    enum class Next { kNothing, kStop, kUpdate, kRun };
    Next NextToSend() const {
        if (!playing && (sentPlaying || !playingKnown)) return Next::kStop;
        if (!wantIsSent) return Next::kUpdate;
        if (playing && (!sentPlaying || !playingKnown)) return Next::kRun;
        return Next::kNothing;
    }

    // Brings the device up to date after a call changed what is wanted. Entered with mutex held
    // (taken with lock(), not by a guard object); returns with it released. Returns the call's
    // result.
    int Deliver() {
        // What is wanted may have changed: settled again only once nothing is left to send.
        settled.store(0, std::memory_order_relaxed);
        if (busy) {
            // The call that talks to the device now sends this change before it returns.
            changedWhileBusy = true;
            const int result = failing ? 0 : 1;
            mutex.unlock();
            return result;
        }
        busy = true;
        // Every change of the wanted settings, the gain, the playing state or the iterations is
        // followed by a Deliver under the same lock, so while this call is busy a change always
        // shows as changedWhileBusy: without one, want is still what the device should have.
        RefreshWant();
        if (wantIsSent || !playingKnown || playing != sentPlaying) return SendDue(false);
        // The capture thread's usual case: an update and nothing else is due.
        changedWhileBusy = false;
        mutex.unlock();
        const bool done = backend->UpdateEffect(id, want);
        mutex.lock();
        if (!done) {
            UpdateRefused();
            return Finish(true, false);
        }
        WantSent();
        if (changedWhileBusy) {
            RefreshWant();
            return SendDue(true);
        }
        busy = false;
        failing = false;
        settled.store(SettledWord(), std::memory_order_release);
        mutex.unlock();
        return 1;
    }

    // Deliver's general case: sends what NextToSend says until nothing is left or the device
    // refuses. sentSomething: this call sent something already. Entered and left as Finish.
    [[gnu::noinline]] int SendDue(bool sentSomething) {
        bool ok = true;
        for (;;) {
            changedWhileBusy = false;
            const Next next = NextToSend();
            if (next == Next::kNothing) break;
            const std::uint32_t runIterations = iterations;
            mutex.unlock();
            bool done;
            if (next == Next::kStop) {
                done = backend->StopEffect(id);
            } else if (next == Next::kUpdate) {
                done = backend->UpdateEffect(id, want);
            } else {
                done = backend->RunEffect(id, runIterations);
            }
            mutex.lock();
            sentSomething = true;
            if (!done) {
                // A device that went away and comes back gets the wanted state from the
                // reconnecting backend; the next call sends start or stop again either way.
                if (next != Next::kUpdate) {
                    playingKnown = false;
                } else {
                    UpdateRefused();
                }
                ok = false;
                break;
            }
            if (next == Next::kStop) {
                sentPlaying = false;
                playingKnown = true;
            } else if (next == Next::kUpdate) {
                WantSent();
            } else {
                sentPlaying = true;
                playingKnown = true;
            }
            if (changedWhileBusy) RefreshWant();
        }
        return Finish(sentSomething, ok);
    }

    // Ends the busy call: entered with mutex held, returns with it released, and reports a device
    // that starts refusing. ok: nothing was refused.
    [[gnu::noinline]] int Finish(bool sentSomething, bool ok) {
        busy = false;
        if (!sentSomething) {
            settled.store(SettledWord(), std::memory_order_release);
            const int result = failing ? 0 : 1;
            mutex.unlock();
            return result;
        }
        const bool report = !ok && !failing && Reporting();
        failing = !ok;
        if (ok) settled.store(SettledWord(), std::memory_order_release);
        mutex.unlock();
        if (report) DebugOutput("FORCE: the device refused an effect change\n");
        return ok ? 1 : 0;
    }
};

}  // namespace kinetra::force

using kinetra::force::EffectState;

// ---- COndDevice, COndMouse ----

COndDevice::COndDevice() = default;
COndDevice::~COndDevice() = default;

int COndDevice::GetProductName(char* buffer, std::uint32_t size) const {
    if (!m_pBackend || !buffer || size == 0) return 0;
    std::snprintf(buffer, size, "%s", m_pBackend->ProductName());
    return 1;
}

int COndMouse::Initialize(void* /*instance*/, void* /*window*/, std::uint32_t flags,
                          bool /*bOption*/) {
    using namespace kinetra::force;
    if (m_pBackend) return 0;
    if (flags != OND_INIT_EFFECTS && flags != OND_INIT_QUERY) {
        if (Reporting()) kinetra::DebugOutput("FORCE: Initialize with unknown flags\n");
        return 0;
    }
    ForceDeviceChoice choice;
    std::string error;
    if (!CurrentForceDeviceChoice(&choice, &error)) {
        std::fprintf(stderr, "Kinetra: %s; no force device is used.\n", error.c_str());
        LastProblem() = error;
        return 0;
    }
    const bool forEffects = flags == OND_INIT_EFFECTS;
    m_pBackend = OpenForceBackend(choice, forEffects, &error);
    if (!m_pBackend) {
        LastProblem() = error;
        if (forEffects && choice.kind != ForceDeviceChoice::Kind::None) {
            ReportOpenProblem(DescribeForceDeviceProblem(error));
        }
        if (Reporting()) {
            char line[320];
            std::snprintf(line, sizeof line, "FORCE: %s\n", error.c_str());
            kinetra::DebugOutput(line);
        }
        return 0;
    }
    if (forEffects) {
        SetLastForceDeviceProblem({});
        g_lastPrintedProblem.clear();
        auto reopen = [choice](std::string* why) { return OpenForceBackend(choice, true, why); };
        m_pBackend = std::make_shared<ReconnectingBackend>(
            std::move(m_pBackend), reopen, choice.kind == ForceDeviceChoice::Kind::Virtual);
    }
    return 1;
}

// ---- COndEffect ----

COndEffect::COndEffect() : m_pState(std::make_unique<EffectState>()) {}
COndEffect::~COndEffect() = default;

bool COndEffect::IsCreated() const {
    return m_pState->created.load(std::memory_order_acquire);
}

int COndEffect::Start(std::uint32_t dwIterations, std::uint32_t /*dwFlags*/,
                      bool /*bAllowStartDelay*/) {
    EffectState& s = *m_pState;
    if (!IsCreated()) return 0;
    s.mutex.lock();
    s.playing = true;
    s.iterations = dwIterations;
    return s.Deliver();
}

int COndEffect::Stop() {
    EffectState& s = *m_pState;
    if (!IsCreated()) return 0;
    s.mutex.lock();
    s.playing = false;
    return s.Deliver();
}

int COndEffect::ChangeGain(std::uint32_t gain) {
    EffectState& s = *m_pState;
    if (!IsCreated()) return 0;
    s.mutex.lock();
    s.gain = kinetra::force::Full(gain);
    s.levelScale = kinetra::force::DeviceLevelScale(s.gain, s.maxLevel);
    s.othersChanged = true;
    return s.Deliver();
}

// ---- COndPeriodic ----

COndPeriodic::COndPeriodic(const OND_GUID& type) : m_type(type) {}

COndPeriodic::~COndPeriodic() {
    EffectState& s = *m_pState;
    if (s.created.load(std::memory_order_acquire)) {
        s.backend->DestroyEffect(s.id);  // the device stops it first
        s.created.store(false, std::memory_order_release);
    }
    s.backend.reset();
}

int COndPeriodic::Initialize(COndDevice* pDevice, std::uint32_t dwMagnitude, std::uint32_t dwPeriod,
                             std::uint32_t dwDuration, std::int32_t lDirectionX,
                             std::int32_t lDirectionY, std::int32_t lOffset, std::uint32_t dwPhase,
                             VORBIT_ENVELOPE* pEnvelope, std::uint32_t dwTriggerButton) {
    using namespace kinetra::force;
    EffectState& s = *m_pState;
    if (IsCreated() || !pDevice || !pDevice->m_pBackend || !pDevice->m_pBackend->CanPlay() ||
        !(m_type == GUID_Ond_Sine) || pEnvelope == OND_ENVELOPE_UNCHANGED) {
        return 0;
    }
    // No other call looks at the state before created is set (with release order below), so it
    // is filled without the lock, which is not held across the device's CreateEffect.
    s.backend = pDevice->m_pBackend;
    s.maxLevel = s.backend->MaxLevel();
    s.wanted.magnitude = Full(dwMagnitude);
    s.wanted.period = dwPeriod;
    s.wanted.duration = dwDuration;
    s.wanted.directionX = lDirectionX;
    s.wanted.directionY = lDirectionY;
    s.wanted.offset = lOffset;
    s.wanted.phase = dwPhase;
    s.wanted.envelope = pEnvelope ? *pEnvelope : VORBIT_ENVELOPE{};
    s.wanted.button = dwTriggerButton;
    s.gain = kFullScale;
    s.levelScale = DeviceLevelScale(s.gain, s.maxLevel);
    s.playing = false;
    s.want = s.ToDevice();
    const int id = s.backend->CreateEffect(s.want);
    if (id < 0) {
        s.backend.reset();
        if (Reporting()) kinetra::DebugOutput("FORCE: the device refused a new effect\n");
        LastProblem() = "the device refused a new effect";
        return 0;
    }
    s.id = id;
    s.sent = s.want;
    s.othersSent = true;
    s.wantIsSent = true;
    s.sentKnown = true;
    s.othersChanged = false;
    s.sentPlaying = false;
    s.failing = false;
    s.settled.store(s.SettledWord(), std::memory_order_release);
    s.created.store(true, std::memory_order_release);
    return 1;
}

int COndPeriodic::ChangeMagnitudeAndPeriod(std::uint32_t dwMagnitude, std::uint32_t dwPeriod) {
    using kinetra::force::Full;
    EffectState& s = *m_pState;
    if (!s.created.load(std::memory_order_acquire)) return 0;
    // The capture thread's call for a band whose magnitude stays: nothing to change.
    const std::uint64_t settled = s.settled.load(std::memory_order_acquire);
    if ((settled & EffectState::kSettled) != 0 &&
        (dwMagnitude == OND_UNCHANGED || Full(dwMagnitude) == ((settled >> 32) & 0x3FFFFFFFu)) &&
        (dwPeriod == OND_UNCHANGED || dwPeriod == (settled & 0xFFFFFFFFu))) {
        return (settled & EffectState::kSettledFailing) != 0 ? 0 : 1;
    }
    s.mutex.lock();
    if (dwMagnitude != OND_UNCHANGED) s.wanted.magnitude = Full(dwMagnitude);
    if (dwPeriod != OND_UNCHANGED) s.wanted.period = dwPeriod;
    return s.Deliver();
}

int COndPeriodic::ChangeAllParameters(std::uint32_t dwMagnitude, std::uint32_t dwPeriod,
                                      std::uint32_t dwDuration, std::int32_t lDirectionX,
                                      std::int32_t lDirectionY, std::int32_t lOffset,
                                      std::uint32_t dwPhase, VORBIT_ENVELOPE* pEnvelope) {
    EffectState& s = *m_pState;
    if (!s.created.load(std::memory_order_acquire)) return 0;
    constexpr std::int32_t kSignedUnchanged = static_cast<std::int32_t>(OND_UNCHANGED);
    s.mutex.lock();
    kinetra::force::EffectSettings& w = s.wanted;
    if (dwMagnitude != OND_UNCHANGED) w.magnitude = kinetra::force::Full(dwMagnitude);
    if (dwPeriod != OND_UNCHANGED) w.period = dwPeriod;
    if (dwDuration != OND_UNCHANGED) w.duration = dwDuration;
    if (lDirectionX != kSignedUnchanged) w.directionX = lDirectionX;
    if (lDirectionY != kSignedUnchanged) w.directionY = lDirectionY;
    if (lOffset != kSignedUnchanged) w.offset = lOffset;
    if (dwPhase != OND_UNCHANGED) w.phase = dwPhase;
    if (pEnvelope != OND_ENVELOPE_UNCHANGED) {
        w.envelope = pEnvelope ? *pEnvelope : VORBIT_ENVELOPE{};
    }
    s.othersChanged = true;
    return s.Deliver();
}
