// The program side of the rumble pad test, run inside the test guest after the sine device test.
//
// Drives five force channels (the first supported device's band frequencies: 40, 75, 90, 115 and
// 250 Hz) through the default device choice, which finds only the guest's rumble pad; changes
// their magnitudes, gains and playing state; has the driver unplug the pad and plug it in again
// while it keeps calling; and closes. Notes go to the driver as in ff_client.cpp; each call's
// result note waits kSettleMs first, so that a command the renewal thread finishes for the call is
// recorded before it.
//
// Exit status: 0 when every call returned what a working device gives and the pad was found
// again within 2 s, 1 otherwise.
//
// Thread: the main thread plays the user-interface and capture threads (the library adds its
// renewal and watcher threads).
#include <SDL.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "client_note.h"
#include "force/force_channel.h"
#include "force/force_devices.h"

namespace {

using kinetra::vm::Note;

using Clock = std::chrono::steady_clock;
using kinetra::force::CurrentForceDeviceState;
using kinetra::force::CurrentForceDeviceStatus;
using kinetra::force::ForceDeviceState;

constexpr std::uint32_t kBandHz[5] = {40, 75, 90, 115, 250};
constexpr int kSettleMs = 40;

bool g_allAsExpected = true;

void Settle(int ms = kSettleMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

template <typename Call>
void Step(int expected, const char* what, Call call) {
    Note("%s", what);
    const int result = call();
    Settle();
    Note("result %d", result);
    if (result != expected) {
        g_allAsExpected = false;
        Note("unexpected: wanted %d", expected);
    }
}

// Waits at most limit for the device state; returns the seconds waited, or -1.
double WaitForState(ForceDeviceState state, std::chrono::milliseconds limit) {
    const Clock::time_point start = Clock::now();
    while (CurrentForceDeviceState() != state) {
        if (Clock::now() - start > limit) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

const char* StateName(ForceDeviceState state) {
    switch (state) {
        case ForceDeviceState::kNone:
            return "none";
        case ForceDeviceState::kConnected:
            return "connected";
        case ForceDeviceState::kDisconnectedWaiting:
            return "disconnected, waiting";
        case ForceDeviceState::kReconnected:
            return "reconnected";
    }
    return "?";
}

}  // namespace

int main() {
    kinetra::vm::OpenNotes();

    // What SDL makes of the pad, and the devices the library offers.
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0) {
        const int count = SDL_NumJoysticks();
        for (int i = 0; i < count; ++i) {
            Note("SDL joystick %d: game controller %s, \"%s\"", i,
                 SDL_IsGameController(i) ? "yes" : "no", SDL_JoystickNameForIndex(i));
        }
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    }
    for (const auto& device : kinetra::force::ListForceDevices()) {
        Note("device %s (%s)", device.id.c_str(), kinetra::force::ForceDeviceKindName(device.kind));
    }

    std::unique_ptr<CForceChannel> band[5];
    for (auto& b : band) b = std::make_unique<CForceChannel>();
    if (!CForceChannel::SharedDevice()) {
        Note("no device: %s", kinetra::force::LastForceDeviceProblem().c_str());
        return 1;
    }
    char name[256] = {};
    CForceChannel::GetDeviceProductName(name, sizeof name);
    const auto status = CurrentForceDeviceStatus();
    Note("device \"%s\", kind %s, %s", name, kinetra::force::ForceDeviceKindName(status.kind),
         StateName(status.state));

    Step(1, "band 1 CreateEffect(2000, 40)", [&] { return band[0]->CreateEffect(2000, 40); });
    Step(1, "band 2 CreateEffect(6000, 75)", [&] { return band[1]->CreateEffect(6000, 75); });
    Step(1, "band 3 CreateEffect(4000, 90)", [&] { return band[2]->CreateEffect(4000, 90); });
    Step(1, "band 4 CreateEffect(3000, 115)", [&] { return band[3]->CreateEffect(3000, 115); });
    Step(1, "band 5 CreateEffect(1000, 250)", [&] { return band[4]->CreateEffect(1000, 250); });
    Note("holding the value for 300 ms");
    Settle(300);
    Note("!held");
    Step(1, "band 2 ChangeGain(5000)", [&] { return band[1]->ChangeGain(5000); });
    Step(1, "band 5 ChangeParameters(5000, 250)",
         [&] { return band[4]->ChangeParameters(5000, 250); });
    Step(1, "band 4 ChangeParameters(3000, 115) unchanged",
         [&] { return band[3]->ChangeParameters(3000, 115); });
    Step(1, "band 1 ChangeParameters(9000, 40)",
         [&] { return band[0]->ChangeParameters(9000, 40); });
    Step(1, "band 1 Stop()", [&] { return band[0]->Stop(); });
    Step(1, "band 5 Stop()", [&] { return band[4]->Stop(); });
    for (int b = 1; b < 4; ++b) {
        char what[64];
        std::snprintf(what, sizeof what, "band %d Stop()", b + 1);
        Step(1, what, [&] { return band[b]->Stop(); });
    }
    Step(1, "band 3 ChangeParameters(8000, 90) while stopped",
         [&] { return band[2]->ChangeParameters(8000, 90); });
    for (int b = 0; b < 5; ++b) {
        char what[64];
        std::snprintf(what, sizeof what, "band %d Start()", b + 1);
        Step(1, what, [&] { return band[b]->Start(); });
    }

    // The pad goes away while the client runs; what it asks for meanwhile is in force when the
    // pad is back.
    Note("!unplug");
    const int away1 = band[0]->ChangeParameters(7000, 40);
    const int away2 = band[4]->Stop();
    const int away3 = band[1]->ChangeGain(2500);
    std::fprintf(stderr, "ff_rumble_client: calls while the pad is away returned %d %d %d\n", away1,
                 away2, away3);
    Note("band 1 ChangeParameters(7000, 40), band 5 Stop(), band 2 ChangeGain(2500) while away");
    const double noticed =
        WaitForState(ForceDeviceState::kDisconnectedWaiting, std::chrono::milliseconds(3000));
    Note("state: %s", StateName(CurrentForceDeviceState()));
    if (noticed < 0) g_allAsExpected = false;
    Settle(600);  // the library looks once and finds nothing
    Note("!replug");
    const double back =
        WaitForState(ForceDeviceState::kReconnected, std::chrono::milliseconds(5000));
    std::fprintf(stderr, "ff_rumble_client: reconnected %.3f s after the pad came back\n", back);
    Settle();
    Note("state: %s; within 2 s: %s", StateName(CurrentForceDeviceState()),
         back >= 0 && back <= 2.0 ? "yes" : "no");
    if (back < 0 || back > 2.0) g_allAsExpected = false;
    Step(1, "band 3 ChangeParameters(10000, 90)",
         [&] { return band[2]->ChangeParameters(10000, 90); });
    Note("!lengths");

    for (int b = 0; b < 5; ++b) {
        Note("destroying band %d", b + 1);
        band[b].reset();
        Settle();
    }
    Note("device: %s", CForceChannel::SharedDevice() ? "open" : "none");
    Note(g_allAsExpected ? "done" : "done with unexpected results");
    return g_allAsExpected ? 0 : 1;
}
