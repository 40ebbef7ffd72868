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
#include <memory>
#include <string>
#include <thread>

#include "force/force_channel.h"

namespace {

int g_noteFd = -1;
bool g_allAsExpected = true;

// Sends one note and waits (at most 10 s) until the driver has recorded it.
void Note(const char* format, ...) {
    char text[400];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (g_noteFd < 0) {
        std::printf("client: %s\n", text);
        std::fflush(stdout);
        return;
    }
    if (send(g_noteFd, text, std::strlen(text), MSG_NOSIGNAL) < 0) {
        std::perror("ff_client: send");
        std::exit(1);
    }
    pollfd pfd{g_noteFd, POLLIN, 0};
    char answer[8];
    if (poll(&pfd, 1, 10000) != 1 || recv(g_noteFd, answer, sizeof answer, 0) <= 0) {
        std::fprintf(stderr, "ff_client: the driver did not confirm a note\n");
        std::exit(1);
    }
}

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

// Calls from two threads at once on both channels. The order of what reaches the device is not
// fixed, so the driver records nothing meanwhile; afterwards the device must hold exactly the
// last settings of each channel. Returns the number of calls that failed.
int OverlappingCalls(CForceChannel& first, CForceChannel& second) {
    constexpr int kRounds = 150;
    int captureFailures = 0;
    std::thread capture([&] {
        for (int i = 0; i < kRounds; ++i) {
            const std::uint32_t hz[] = {40, 75, 90, 115, 250};
            if (first.ChangeParameters(static_cast<std::uint32_t>(i * 61 % 10001), hz[i % 5]) != 1)
                ++captureFailures;
            if (second.ChangeParameters(static_cast<std::uint32_t>(i * 37 % 10001),
                                        hz[(i + 2) % 5]) != 1)
                ++captureFailures;
        }
        // The last settings: 7000 at 75 Hz and 3000 at 115 Hz.
        if (first.ChangeParameters(7000, 75) != 1) ++captureFailures;
        if (second.ChangeParameters(3000, 115) != 1) ++captureFailures;
    });
    int uiFailures = 0;
    for (int i = 0; i < kRounds / 3; ++i) {
        if (first.Stop() != 1) ++uiFailures;
        if (first.ChangeGain(static_cast<std::uint32_t>(2000 + i * 97)) != 1) ++uiFailures;
        if (first.Start() != 1) ++uiFailures;
        if (second.ChangeGain(static_cast<std::uint32_t>(9000 - i * 53)) != 1) ++uiFailures;
    }
    // The last settings: channel 1 at full gain and playing, channel 2 at half gain (and still
    // stopped, as it was before this phase).
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
    if (const char* fd = std::getenv("KINETRA_VM_NOTE_FD")) g_noteFd = std::atoi(fd);

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

    Note("calls from two threads at once");
    Note("!quiet");
    int failures = OverlappingCalls(*first, *second);
    Note("!loud");
    Note("failed calls: %d", failures);
    if (failures != 0) g_allAsExpected = false;
    Note("!state");

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
