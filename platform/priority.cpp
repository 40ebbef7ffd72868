#include "platform/priority.h"

#include <atomic>

#include "platform/system_priority.h"

namespace kinetra {
namespace {

std::atomic<testing::PriorityHook> g_hook{nullptr};

}  // namespace

int NiceValueOf(PriorityClass priorityClass) {
    switch (priorityClass) {
        case PriorityClass::kHigh:
            return -10;
        case PriorityClass::kRealtime:
            return -20;
        case PriorityClass::kNormal:
            break;
    }
    return 0;
}

bool SetProcessPriorityClass(PriorityClass priorityClass) {
    if (testing::PriorityHook hook = g_hook.load(std::memory_order_acquire)) {
        using R = testing::PriorityRequest;
        const R request = priorityClass == PriorityClass::kHigh       ? R::kProcessHigh
                          : priorityClass == PriorityClass::kRealtime ? R::kProcessRealtime
                                                                      : R::kProcessNormal;
        return hook(request);
    }
    return SystemSetProcessPriorityClass(priorityClass);
}

bool SetCurrentThreadTimeCritical() {
    if (testing::PriorityHook hook = g_hook.load(std::memory_order_acquire)) {
        return hook(testing::PriorityRequest::kThreadTimeCritical);
    }
    return SystemSetCurrentThreadTimeCritical();
}

namespace testing {
void SetPriorityHook(PriorityHook hook) {
    g_hook.store(hook, std::memory_order_release);
}
}  // namespace testing

}  // namespace kinetra
