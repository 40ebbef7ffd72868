#include "platform/priority.h"

#include <windows.h>

#include "platform/system_priority.h"

namespace kinetra {

// The classes are the process priority classes of the same names.
bool SystemSetProcessPriorityClass(PriorityClass priorityClass) {
    const DWORD value = priorityClass == PriorityClass::kHigh       ? HIGH_PRIORITY_CLASS
                        : priorityClass == PriorityClass::kRealtime ? REALTIME_PRIORITY_CLASS
                                                                    : NORMAL_PRIORITY_CLASS;
    return SetPriorityClass(GetCurrentProcess(), value) != 0;
}

bool SystemSetCurrentThreadTimeCritical() {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

}  // namespace kinetra
