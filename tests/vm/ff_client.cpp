// The program side of the force-feedback device test, run inside the test guest.
//
// Drives our force channels (force/force_channel.h) against the guest's force-feedback device
// through the default backend, and writes a note before and after each call. Notes go, one
// packet each, to the socket named by KINETRA_VM_NOTE_FD (the driver records them between the
// device requests that the calls cause); without that variable they go to standard output.
//
// Notes starting with '!' are commands to the driver (see the driver).
//
// Exit status: 0 when every call returned what a working device gives, 1 otherwise (the
// recorded log shows which).
//
// Thread: the main thread plays the user-interface thread; one phase adds a second thread that
// plays the capture thread (ChangeParameters while the main thread stops, starts and scales).
#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <memory>
#include <string>
#include <thread>

#include "client_note.h"
#include "force/force_channel.h"
#include "force/ond_library.h"

namespace {

using kinetra::vm::Note;

// Bursts of calls from two threads; the device state is checked after each.
constexpr int kBursts = 8;

bool g_allAsExpected = true;

// Notes what is about to be called, calls it, and notes the result.
template <typename Call>
void Step(int expected, const char* what, Call call) {
    Note("%s", what);
    int result = call();
    Note("result %d", result);
    if (result != expected) {
        g_allAsExpected = false;
        Note("unexpected: wanted %d", expected);
    }
}

// Event devices this process holds open (the force device is one of them while it is open).
int OpenEventDevices() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    while (dirent* entry = readdir(dir)) {
        std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[256];
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (std::strncmp(target, "/dev/input/event", 16) == 0) ++count;
    }
    closedir(dir);
    return count;
}

// One burst of calls from two threads at once on both channels, started together. The order of
// what reaches the device is not fixed, so the driver records nothing meanwhile; afterwards the
// device must hold exactly the last settings of each channel, whichever call came last:
// channel 1 at 7000, 75 Hz, full gain, playing; channel 2 at 3000, 115 Hz, half gain, and
// stopped as it was before. burst varies the settings on the way. Returns the failed calls.
int OverlappingCalls(CForceChannel& first, CForceChannel& second, int burst) {
    constexpr int kRounds = 30;
    const std::uint32_t hz[] = {40, 75, 90, 115, 250};
    std::latch go(2);
    int captureFailures = 0;
    std::thread capture([&] {
        go.arrive_and_wait();
        for (int i = 0; i < kRounds; ++i) {
            const int k = burst * kRounds + i;
            if (first.ChangeParameters(static_cast<std::uint32_t>(k * 61 % 10001), hz[k % 5]) != 1)
                ++captureFailures;
            if (second.ChangeParameters(static_cast<std::uint32_t>(k * 37 % 10001),
                                        hz[(k + 2) % 5]) != 1)
                ++captureFailures;
        }
        if (first.ChangeParameters(7000, 75) != 1) ++captureFailures;
        if (second.ChangeParameters(3000, 115) != 1) ++captureFailures;
    });
    int uiFailures = 0;
    go.arrive_and_wait();
    for (int i = 0; i < kRounds / 2; ++i) {
        const int k = burst * kRounds + i;
        if (first.Stop() != 1) ++uiFailures;
        if (first.ChangeGain(static_cast<std::uint32_t>(2000 + k * 97 % 8000)) != 1) ++uiFailures;
        if (first.Start() != 1) ++uiFailures;
        if (second.ChangeGain(static_cast<std::uint32_t>(9000 - k * 53 % 8000)) != 1) ++uiFailures;
    }
    if (first.Stop() != 1) ++uiFailures;
    if (first.ChangeGain(10000) != 1) ++uiFailures;
    if (first.Start() != 1) ++uiFailures;
    if (second.ChangeGain(5000) != 1) ++uiFailures;
    capture.join();
    return captureFailures + uiFailures;
}

void NoteState(const char* when) {
    Note("%s: channels=%d device=%s", when, static_cast<int>(CForceChannel::ChannelCount()),
         CForceChannel::SharedDevice() ? "open" : "none");
}

}  // namespace

int main() {
    kinetra::vm::OpenNotes();

    NoteState("before the first channel");
    auto first = std::make_unique<CForceChannel>();
    NoteState("channel 1 constructed");
    if (!CForceChannel::SharedDevice()) {
        Note("no device: giving up");
        return 1;
    }
    const auto* device = CForceChannel::SharedDevice();

    char name[256];
    std::memset(name, 'x', sizeof name);
    name[sizeof name - 1] = '\0';
    int named = CForceChannel::GetDeviceProductName(name, sizeof name);
    Note("product name: result %d, \"%s\"", named, name);

    auto second = std::make_unique<CForceChannel>();
    NoteState("channel 2 constructed");
    Note("channel 2 shares the device: %s", CForceChannel::SharedDevice() == device ? "yes" : "no");

    Step(1, "channel 1 CreateEffect(10000, 250)", [&] { return first->CreateEffect(10000, 250); });
    Step(1, "channel 2 CreateEffect(0, 0)", [&] { return second->CreateEffect(0, 0); });
    Step(0, "channel 1 CreateEffect(5000, 40) again",
         [&] { return first->CreateEffect(5000, 40); });

    // A device object of its own, opened only to read the name (as device discovery does),
    // must leave the channels' device and effects alone, also when it is destroyed.
    {
        COndMouse probe;
        Step(1, "second device object Initialize(query)",
             [&] { return probe.Initialize(nullptr, nullptr, OND_INIT_QUERY, true); });
        std::memset(name, 'x', sizeof name);
        name[sizeof name - 1] = '\0';
        probe.GetProductName(name, sizeof name);
        Note("second device object product name: \"%s\"", name);
    }
    Note("second device object destroyed");
    Note("!state");

    Step(1, "channel 1 ChangeParameters(5000, 43)",
         [&] { return first->ChangeParameters(5000, 43); });
    Step(1, "channel 1 ChangeParameters(5000, 43) unchanged",
         [&] { return first->ChangeParameters(5000, 43); });
    Step(1, "channel 2 ChangeParameters(10000, 40)",
         [&] { return second->ChangeParameters(10000, 40); });
    Step(1, "channel 1 ChangeGain(5000)", [&] { return first->ChangeGain(5000); });
    Step(1, "channel 1 ChangeParameters(10000, 250)",
         [&] { return first->ChangeParameters(10000, 250); });
    Step(1, "channel 1 Stop()", [&] { return first->Stop(); });
    Step(1, "channel 1 ChangeParameters(8000, 90) while stopped",
         [&] { return first->ChangeParameters(8000, 90); });
    Step(1, "channel 1 Start()", [&] { return first->Start(); });
    Step(1, "channel 1 Start() while playing", [&] { return first->Start(); });
    Step(1, "channel 1 ChangeGain(10000)", [&] { return first->ChangeGain(10000); });
    Step(1, "channel 2 Stop()", [&] { return second->Stop(); });
    Note("open event devices: %d", OpenEventDevices());

    for (int burst = 1; burst <= kBursts; ++burst) {
        Note("calls from two threads at once, burst %d", burst);
        Note("!quiet");
        int failures = OverlappingCalls(*first, *second, burst);
        Note("!loud");
        Note("failed calls: %d", failures);
        if (failures != 0) g_allAsExpected = false;
        Note("!state");
    }

    // The device refuses an effect: the channel has none, and nothing else changes.
    {
        CForceChannel third;
        NoteState("channel 3 constructed");
        Note("!refuse");
        Step(0, "channel 3 CreateEffect(10000, 90) refused by the device",
             [&] { return third.CreateEffect(10000, 90); });
        Step(0, "channel 3 Start() without an effect", [&] { return third.Start(); });
    }
    NoteState("channel 3 destroyed");
    // The device refuses a change: the call fails, the effect plays on as it was, and the same
    // change asked again reaches the device.
    Note("!refuse");
    Step(0, "channel 1 ChangeParameters(6000, 75) refused by the device",
         [&] { return first->ChangeParameters(6000, 75); });
    Note("!state");
    Step(1, "channel 1 ChangeParameters(6000, 75) again",
         [&] { return first->ChangeParameters(6000, 75); });

    Note("destroying channel 1");
    first.reset();
    NoteState("channel 1 destroyed");
    Note("destroying channel 2");
    second.reset();
    NoteState("channel 2 destroyed");
    Note("open event devices: %d", OpenEventDevices());

    Note(g_allAsExpected ? "done" : "done with unexpected results");
    return g_allAsExpected ? 0 : 1;
}
