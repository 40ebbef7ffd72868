// Process and thread scheduling priorities. On Windows the classes are the process priority
// classes of the same names and "time critical" is the thread priority of that name
// (platform/windows/priority.cpp).
//
// On Linux the nice value belongs to each thread, so the process-wide classes are applied to
// every thread of the process:
//   kNormal   - nice 0
//   kHigh     - nice -10
//   kRealtime - nice -20 (the strongest ordinary setting; threads that already run under a
//               real-time policy keep it)
// "Time critical" for one thread is the SCHED_FIFO policy at a middle real-time priority.
// Every call returns false when the system refuses (for example without CAP_SYS_NICE or a
// real-time limit); the caller reports it and carries on.
#pragma once

namespace kinetra {

enum class PriorityClass { kNormal, kHigh, kRealtime };

// Applies the class to every thread of the process. Allocates nothing (it reads the thread list
// with a stack buffer), so the capture thread may call it. Thread: any.
bool SetProcessPriorityClass(PriorityClass priorityClass);

// Puts the calling thread under SCHED_FIFO. Thread: the thread itself.
bool SetCurrentThreadTimeCritical();

// Nice value that a class stands for. Thread: any.
int NiceValueOf(PriorityClass priorityClass);

namespace testing {

enum class PriorityRequest { kProcessNormal, kProcessHigh, kProcessRealtime, kThreadTimeCritical };

// While installed, every request goes to hook instead of the system, and its result is
// returned. Null restores the system calls. Thread: while no other thread asks for priorities.
using PriorityHook = bool (*)(PriorityRequest request);
void SetPriorityHook(PriorityHook hook);

}  // namespace testing

}  // namespace kinetra
