// The driver side of a force-feedback test device, run inside the test guest.
//
// Creates a uinput device that announces periodic sine effects and a device gain, starts the
// client program as a child process and records, in order, every request that reaches the
// device: effect uploads and erasures (answered with success), play, stop and gain events, and
// the client's own notes. The client sends a note as one packet on the socket named by the
// environment variable KINETRA_VM_NOTE_FD; the driver first takes every device event that is
// already queued, then records the note and answers "ok", so notes and device events keep the
// order in which the client caused them. Notes that start with '!' are commands instead:
//   !quiet   keep answering and following the effects' state, but record no device events
//   !loud    record device events again
//   !state   record the state of every effect on the device (one line each)
//   !refuse  answer the next effect upload with an error (EIO)
// so that a phase whose event order is not fixed (calls from two threads) can be checked by the
// state it leaves behind.
//
// With --rumble the device is a game pad instead ("Kinetra VM Rumble Pad", the ids of an Xbox 360
// pad, 045e:028e, with its buttons and axes) whose only effect is FF_RUMBLE. A rumble upload is
// recorded when its motor values differ from the last one recorded (the client's renewals of a
// held value are counted, not recorded), plays of count 1 are counted, stops are recorded. More
// commands:
//   !held     record whether the value held since the last recorded upload was sent again
//   !lengths  record the longest rumble upload and the number of uploads longer than 100 ms
//   !unplug   destroy the device (the client keeps running)
//   !replug   create it again; the time until its first rumble upload goes to standard error
//
// Usage: kinetra_vm_ff_driver [--rumble] LOG_FILE CLIENT [ARGS...]
// Exit status: the client's exit status, or 1 when the device could not be made or a wait ran
// out of time.
//
// Thread: single-threaded program.
#include <fcntl.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kDeviceName = "Kinetra VM Force Mouse";
constexpr const char* kPadName = "Kinetra VM Rumble Pad";
constexpr int kMaxEffects = 16;
// Longest the whole exchange with the client may take, and the longest wait for its exit.
constexpr int kRunSeconds = 100;
constexpr int kExitWaitSeconds = 10;

FILE* g_log = nullptr;
bool g_quiet = false;
long g_quietEvents = 0;   // device events handled while quiet
int g_refuseUploads = 0;  // uploads still to be refused

// What the device holds, as the requests so far have left it.
struct EffectSlot {
    bool exists = false;
    bool playing = false;
    int magnitude = 0;
    unsigned period = 0;
    unsigned waveform = 0;
};
EffectSlot g_slots[kMaxEffects];

// Rumble mode.
bool g_rumble = false;
bool g_rumbleRecorded = false;  // an upload has been recorded since the last stop or (re)creation
unsigned g_lastStrong = 0, g_lastWeak = 0;
long g_heldRenewals = 0;       // uploads repeating the last recorded value
unsigned g_longestLength = 0;  // longest rumble upload (ms)
long g_tooLong = 0;            // rumble uploads longer than 100 ms, or without end (0)
long g_rumbleUploads = 0;
double g_replugAt = -1;  // when the device was created again, until its first upload

void RecordV(const char* format, va_list args) {
    std::vfprintf(g_log, format, args);
    std::fputc('\n', g_log);
    std::fflush(g_log);  // so that a crash loses nothing
}

// Appends one line to the recorded log.
void Record(const char* format, ...) {
    va_list args;
    va_start(args, format);
    RecordV(format, args);
    va_end(args);
}

// A device event: recorded unless the client asked for quiet.
void RecordEvent(const char* format, ...) {
    if (g_quiet) {
        ++g_quietEvents;
        return;
    }
    va_list args;
    va_start(args, format);
    RecordV(format, args);
    va_end(args);
}

// Diagnostics that are not part of the recorded log.
void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("ff_driver: ", stderr);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

const char* WaveformName(unsigned waveform) {
    switch (waveform) {
        case FF_SQUARE:
            return "square";
        case FF_TRIANGLE:
            return "triangle";
        case FF_SINE:
            return "sine";
        case FF_SAW_UP:
            return "saw_up";
        case FF_SAW_DOWN:
            return "saw_down";
        case FF_CUSTOM:
            return "custom";
        default:
            return "unknown";
    }
}

// A rumble upload: recorded when its values differ from the last recorded ones.
void RecordRumble(const ff_effect& effect, bool isUpdate) {
    const ff_rumble_effect& r = effect.u.rumble;
    ++g_rumbleUploads;
    if (effect.replay.length > g_longestLength) g_longestLength = effect.replay.length;
    if (effect.replay.length == 0 || effect.replay.length > 100) ++g_tooLong;
    if (g_replugAt >= 0) {
        std::fprintf(stderr, "ff_driver: first rumble %.0f ms after the device came back\n",
                     (Now() - g_replugAt) * 1000.0);
        RecordEvent("rumble again within 2 s: %s", Now() - g_replugAt <= 2.0 ? "yes" : "no");
        g_replugAt = -1;
    }
    if (g_rumbleRecorded && r.strong_magnitude == g_lastStrong && r.weak_magnitude == g_lastWeak) {
        ++g_heldRenewals;
        return;
    }
    g_rumbleRecorded = true;
    g_lastStrong = r.strong_magnitude;
    g_lastWeak = r.weak_magnitude;
    g_heldRenewals = 0;
    RecordEvent("rumble id=%d %s strong=%u weak=%u length=%u", effect.id,
                isUpdate ? "update" : "new", r.strong_magnitude, r.weak_magnitude,
                effect.replay.length);
}

// One line describing an uploaded effect. Direction and trigger are left out on purpose:
// a one-axis mouse effect does not depend on them.
// refused: the upload is answered with an error, so the device keeps what it had.
void RecordUpload(const ff_effect& effect, bool isUpdate, bool refused) {
    const char* kind =
        refused ? (isUpdate ? "update refused" : "new refused") : (isUpdate ? "update" : "new");
    if (!refused && effect.id >= 0 && effect.id < kMaxEffects) {
        EffectSlot& slot = g_slots[effect.id];
        if (!isUpdate) slot = EffectSlot{};
        slot.exists = true;
        slot.magnitude = effect.type == FF_PERIODIC ? effect.u.periodic.magnitude : 0;
        slot.period = effect.type == FF_PERIODIC ? effect.u.periodic.period : 0;
        slot.waveform = effect.type == FF_PERIODIC ? effect.u.periodic.waveform : 0;
    }
    if (effect.type == FF_RUMBLE && !refused) {
        RecordRumble(effect, isUpdate);
        return;
    }
    if (effect.type != FF_PERIODIC) {
        RecordEvent("upload id=%d %s type=0x%x", effect.id, kind, effect.type);
        return;
    }
    const ff_periodic_effect& p = effect.u.periodic;
    RecordEvent(
        "upload id=%d %s periodic waveform=%s magnitude=%d period=%u offset=%d phase=%u "
        "length=%u delay=%u envelope=%u/%u/%u/%u",
        effect.id, kind, WaveformName(p.waveform), p.magnitude, p.period, p.offset, p.phase,
        effect.replay.length, effect.replay.delay, p.envelope.attack_length,
        p.envelope.attack_level, p.envelope.fade_length, p.envelope.fade_level);
}

// Finds the event node of the new input device (it is not always event0) and makes sure that
// /dev has it, so that a program scanning /dev/input/event* finds the device.
void EnsureEventNode(const char* sysname) {
    std::string dir = std::string("/sys/devices/virtual/input/") + sysname;
    for (int n = 0; n < 64; ++n) {
        std::string node = "event" + std::to_string(n);
        FILE* f = std::fopen((dir + "/" + node + "/dev").c_str(), "r");
        if (!f) continue;
        unsigned major = 0, minor = 0;
        int got = std::fscanf(f, "%u:%u", &major, &minor);
        std::fclose(f);
        std::string path = "/dev/input/" + node;
        if (got == 2 && access(path.c_str(), F_OK) != 0) {
            mkdir("/dev/input", 0755);
            if (mknod(path.c_str(), S_IFCHR | 0600, makedev(major, minor)) != 0) {
                Say("mknod %s: %s", path.c_str(), std::strerror(errno));
            }
        }
        Say("device %s is %s", sysname, path.c_str());
        return;
    }
    Say("device %s has no event node", sysname);
}

// The buttons and axes of an Xbox 360 pad, so that SDL takes the pad for a game controller.
bool AddPadControls(int fd) {
    const int buttons[] = {BTN_A,      BTN_B,     BTN_X,    BTN_Y,      BTN_TL,    BTN_TR,
                           BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR};
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_EVBIT, EV_ABS) == 0;
    for (int b : buttons) ok = ok && ioctl(fd, UI_SET_KEYBIT, b) == 0;
    struct Axis {
        int code, min, max;
    };
    const Axis axes[] = {{ABS_X, -32768, 32767},  {ABS_Y, -32768, 32767}, {ABS_RX, -32768, 32767},
                         {ABS_RY, -32768, 32767}, {ABS_Z, 0, 255},        {ABS_RZ, 0, 255},
                         {ABS_HAT0X, -1, 1},      {ABS_HAT0Y, -1, 1}};
    for (const Axis& a : axes) {
        uinput_abs_setup abs{};
        abs.code = static_cast<__u16>(a.code);
        abs.absinfo.minimum = a.min;
        abs.absinfo.maximum = a.max;
        ok = ok && ioctl(fd, UI_SET_ABSBIT, a.code) == 0 && ioctl(fd, UI_ABS_SETUP, &abs) == 0;
    }
    return ok;
}

int CreateDevice() {
    int fd = open("/dev/uinput", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Say("cannot open /dev/uinput: %s", std::strerror(errno));
        return -1;
    }
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_FF) == 0;
    if (g_rumble) {
        ok = ok && ioctl(fd, UI_SET_FFBIT, FF_RUMBLE) == 0 && AddPadControls(fd);
    } else {
        ok = ok && ioctl(fd, UI_SET_FFBIT, FF_PERIODIC) == 0 &&
             ioctl(fd, UI_SET_FFBIT, FF_SINE) == 0 && ioctl(fd, UI_SET_FFBIT, FF_GAIN) == 0;
    }
    uinput_setup setup{};
    setup.id.bustype = BUS_USB;
    setup.id.vendor = g_rumble ? 0x045e : 0x1d6b;
    setup.id.product = g_rumble ? 0x028e : 0x0104;
    setup.id.version = 1;
    std::snprintf(setup.name, sizeof setup.name, "%s", g_rumble ? kPadName : kDeviceName);
    setup.ff_effects_max = kMaxEffects;
    ok = ok && ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ioctl(fd, UI_DEV_CREATE) == 0;
    if (!ok) {
        Say("cannot create the uinput device: %s", std::strerror(errno));
        close(fd);
        return -1;
    }
    char sysname[64] = {};
    if (ioctl(fd, UI_GET_SYSNAME(sizeof sysname), sysname) < 0) {
        Say("UI_GET_SYSNAME: %s", std::strerror(errno));
    } else {
        EnsureEventNode(sysname);
    }
    return fd;
}

// Answers one upload request; returns false when the kernel refused the exchange.
bool AnswerUpload(int fd, int requestId) {
    uinput_ff_upload upload{};
    upload.request_id = static_cast<__u32>(requestId);
    if (ioctl(fd, UI_BEGIN_FF_UPLOAD, &upload) < 0) {
        Record("upload request=%d failed to begin: %s", requestId, std::strerror(errno));
        return false;
    }
    const bool refuse = g_refuseUploads > 0;
    if (refuse) --g_refuseUploads;
    RecordUpload(upload.effect, upload.old.type != 0, refuse);
    upload.retval = refuse ? -EIO : 0;
    if (ioctl(fd, UI_END_FF_UPLOAD, &upload) < 0) {
        Record("upload request=%d failed to end: %s", requestId, std::strerror(errno));
        return false;
    }
    return true;
}

bool AnswerErase(int fd, int requestId) {
    uinput_ff_erase erase{};
    erase.request_id = static_cast<__u32>(requestId);
    if (ioctl(fd, UI_BEGIN_FF_ERASE, &erase) < 0) {
        Record("erase request=%d failed to begin: %s", requestId, std::strerror(errno));
        return false;
    }
    if (erase.effect_id < kMaxEffects) g_slots[erase.effect_id] = EffectSlot{};
    RecordEvent("erase id=%u", erase.effect_id);
    erase.retval = 0;
    if (ioctl(fd, UI_END_FF_ERASE, &erase) < 0) {
        Record("erase request=%d failed to end: %s", requestId, std::strerror(errno));
        return false;
    }
    return true;
}

void HandleEvent(int fd, const input_event& ev) {
    if (ev.type == EV_UINPUT && ev.code == UI_FF_UPLOAD) {
        AnswerUpload(fd, ev.value);
    } else if (ev.type == EV_UINPUT && ev.code == UI_FF_ERASE) {
        AnswerErase(fd, ev.value);
    } else if (ev.type == EV_FF && ev.code == FF_GAIN) {
        RecordEvent("gain value=%d", ev.value);
    } else if (ev.type == EV_FF) {
        if (ev.code < kMaxEffects) g_slots[ev.code].playing = ev.value != 0;
        if (ev.value == 0) {
            g_rumbleRecorded = false;
            RecordEvent("stop id=%u", ev.code);
        } else if (g_rumble && ev.value == 1) {
            // Plays of rumble commands are counted, not recorded.
        } else {
            RecordEvent("play id=%u count=%d", ev.code, ev.value);
        }
    } else if (ev.type != EV_SYN) {
        Record("event type=%u code=%u value=%d", ev.type, ev.code, ev.value);
    }
}

// Handles every device event already queued. Returns false on a read error.
bool Drain(int fd) {
    for (;;) {
        input_event ev{};
        ssize_t n = read(fd, &ev, sizeof ev);
        if (n == static_cast<ssize_t>(sizeof ev)) {
            HandleEvent(fd, ev);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return true;
        Say("reading the device failed: %s", n < 0 ? std::strerror(errno) : "short read");
        return false;
    }
}

void RecordState() {
    bool any = false;
    for (int id = 0; id < kMaxEffects; ++id) {
        const EffectSlot& slot = g_slots[id];
        if (!slot.exists) continue;
        any = true;
        Record("state id=%d %s waveform=%s magnitude=%d period=%u", id,
               slot.playing ? "playing" : "stopped", WaveformName(slot.waveform), slot.magnitude,
               slot.period);
    }
    if (!any) Record("state: no effects");
}

// Carries out a command note; returns false for an unknown one. dev is the device (-1 while it is
// unplugged).
bool Command(const char* note, int* dev) {
    if (std::strcmp(note, "!held") == 0) {
        Record("held value sent again: %s", g_heldRenewals >= 2 ? "yes" : "no");
        Say("%ld renewals of the held value", g_heldRenewals);
    } else if (std::strcmp(note, "!lengths") == 0) {
        Record("longest rumble upload: %u ms; longer than 100 ms or without end: %ld",
               g_longestLength, g_tooLong);
        Say("%ld rumble uploads in all", g_rumbleUploads);
    } else if (std::strcmp(note, "!unplug") == 0) {
        if (*dev >= 0) {
            ioctl(*dev, UI_DEV_DESTROY);
            close(*dev);
            *dev = -1;
        }
        for (EffectSlot& slot : g_slots) slot = EffectSlot{};
        g_rumbleRecorded = false;
        Record("driver: device destroyed");
    } else if (std::strcmp(note, "!replug") == 0) {
        if (*dev < 0) *dev = CreateDevice();
        if (*dev < 0) return false;
        g_rumbleRecorded = false;
        g_replugAt = Now();
        Record("driver: device created again");
    } else if (std::strcmp(note, "!quiet") == 0) {
        g_quiet = true;
    } else if (std::strcmp(note, "!loud") == 0) {
        g_quiet = false;
        Say("%ld device events while quiet", g_quietEvents);
        g_quietEvents = 0;
    } else if (std::strcmp(note, "!refuse") == 0) {
        ++g_refuseUploads;
    } else if (std::strcmp(note, "!state") == 0) {
        RecordState();
    } else {
        Record("driver: unknown command %s", note);
        return false;
    }
    return true;
}

pid_t StartClient(char** argv, int noteFd) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    std::string fdText = std::to_string(noteFd);
    setenv("KINETRA_VM_NOTE_FD", fdText.c_str(), 1);
    execv(argv[0], argv);
    Say("cannot start %s: %s", argv[0], std::strerror(errno));
    _exit(127);
}

// Waits at most kExitWaitSeconds for the client; kills it after that. Returns its exit status,
// or -1 when it had to be killed.
int ReapClient(pid_t pid) {
    double deadline = Now() + kExitWaitSeconds;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            Say("client ended by signal %d", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
            return -1;
        }
        if (r < 0 && errno != EINTR) return -1;
        if (Now() > deadline) {
            Say("client did not end in time; killing it");
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        usleep(10000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--rumble") == 0) {
        g_rumble = true;
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s [--rumble] LOG_FILE CLIENT [ARGS...]\n", argv[0]);
        return 2;
    }
    g_log = std::fopen(argv[1], "w");
    if (!g_log) {
        Say("cannot write %s: %s", argv[1], std::strerror(errno));
        return 1;
    }
    int dev = CreateDevice();
    if (dev < 0) return 1;

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        Say("socketpair: %s", std::strerror(errno));
        return 1;
    }
    // The client's end must survive exec.
    fcntl(pair[1], F_SETFD, 0);
    pid_t client = StartClient(argv + 2, pair[1]);
    close(pair[1]);
    if (client < 0) {
        Say("fork: %s", std::strerror(errno));
        return 1;
    }

    bool ok = true;
    bool clientOpen = true;
    double deadline = Now() + kRunSeconds;
    while (clientOpen) {
        if (Now() > deadline) {
            Record("driver: the client did not finish within %d s", kRunSeconds);
            ok = false;
            break;
        }
        pollfd fds[2] = {{dev, POLLIN, 0}, {pair[0], POLLIN, 0}};
        int n = poll(fds, 2, 1000);
        if (n < 0 && errno != EINTR) {
            Say("poll: %s", std::strerror(errno));
            ok = false;
            break;
        }
        if (n <= 0) continue;
        if (dev >= 0 && (fds[0].revents & POLLIN) && !Drain(dev)) {
            ok = false;
            break;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            char note[512];
            ssize_t len = recv(pair[0], note, sizeof note - 1, 0);
            if (len <= 0) {
                clientOpen = false;  // the client has closed its end: it is ending
                continue;
            }
            note[len] = '\0';
            if (dev >= 0 && !Drain(dev)) {
                ok = false;
                break;
            }
            if (note[0] == '!') {
                if (!Command(note, &dev)) ok = false;
            } else {
                Record("client: %s", note);
            }
            send(pair[0], "ok", 2, MSG_NOSIGNAL);
        }
    }
    close(pair[0]);
    // The client may still be closing the device: its last erase requests need answers.
    int status = -1;
    {
        double exitDeadline = Now() + kExitWaitSeconds;
        for (;;) {
            if (dev >= 0) Drain(dev);
            int st = 0;
            pid_t r = waitpid(client, &st, WNOHANG);
            if (r == client) {
                status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
                break;
            }
            if (Now() > exitDeadline) {
                status = ReapClient(client);
                break;
            }
            pollfd pfd{dev, POLLIN, 0};
            poll(&pfd, 1, 20);
        }
    }
    if (dev >= 0) {
        Drain(dev);
        ioctl(dev, UI_DEV_DESTROY);
        close(dev);
    }
    Record("client exit=%d", status);
    std::fclose(g_log);
    if (!ok) return 1;
    return status < 0 ? 1 : status;
}
