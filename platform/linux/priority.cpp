#include "platform/priority.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/system_priority.h"

namespace kinetra {
namespace {

// The layout getdents64 writes.
struct LinuxDirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// Parses a decimal thread id; -1 for anything else ("." and "..").
pid_t ParseTid(const char* name) {
    if (*name == '\0') return -1;
    long value = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return -1;
        value = value * 10 + (*p - '0');
        if (value > 0x3fffffff) return -1;
    }
    return static_cast<pid_t>(value);
}

// Sets the nice value of every thread of the process. Reads /proc/self/task through a stack
// buffer so that nothing is allocated.
bool SetNiceOfAllThreads(int nice) {
    const int dir = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return setpriority(PRIO_PROCESS, 0, nice) == 0;
    bool ok = true;
    bool any = false;
    alignas(8) char buffer[2048];
    for (;;) {
        const long got = syscall(SYS_getdents64, dir, buffer, sizeof buffer);
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) break;
        for (long pos = 0; pos < got;) {
            const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + pos);
            const pid_t tid = ParseTid(entry->d_name);
            if (tid > 0) {
                any = true;
                // A thread that ended meanwhile (ESRCH) is no failure.
                if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0 &&
                    errno != ESRCH) {
                    ok = false;
                }
            }
            pos += entry->d_reclen;
        }
    }
    close(dir);
    return ok && any;
}

}  // namespace

bool SystemSetProcessPriorityClass(PriorityClass priorityClass) {
    return SetNiceOfAllThreads(NiceValueOf(priorityClass));
}

// The time-critical thread takes the realtime class's nice value, the top of the normal range, as
// Windows's time-critical priority is the top of its dynamic one. Under a real-time policy
// (SCHED_FIFO) the capture thread preempted, at every block, the sound server's thread that had
// just woken it: the process took a fifth more context switches, for no gain in latency.
bool SystemSetCurrentThreadTimeCritical() {
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    return setpriority(PRIO_PROCESS, tid, NiceValueOf(PriorityClass::kRealtime)) == 0;
}

}  // namespace kinetra
