#include "platform/priority.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/system_priority.h"

namespace kinetra {
namespace {

constexpr int kTimeCriticalFifoPriority = 40;

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

bool SystemSetCurrentThreadTimeCritical() {
    const int lowest = sched_get_priority_min(SCHED_FIFO);
    const int highest = sched_get_priority_max(SCHED_FIFO);
    if (lowest < 0 || highest < 0) return false;
    sched_param param{};
    param.sched_priority = kTimeCriticalFifoPriority < lowest    ? lowest
                           : kTimeCriticalFifoPriority > highest ? highest
                                                                 : kTimeCriticalFifoPriority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace kinetra
