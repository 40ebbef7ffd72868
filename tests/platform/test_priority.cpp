// Every priority request goes through the test hook when one is installed.
#include <gtest/gtest.h>

#include <vector>

#include "platform/priority.h"

using kinetra::PriorityClass;
namespace pt = kinetra::testing;

namespace {

std::vector<pt::PriorityRequest> g_requests;
bool RecordAndRefuse(pt::PriorityRequest request) {
    g_requests.push_back(request);
    return false;
}

TEST(Priority, HookReceivesEveryRequest) {
    g_requests.clear();
    pt::SetPriorityHook(&RecordAndRefuse);
    EXPECT_FALSE(kinetra::SetProcessPriorityClass(PriorityClass::kHigh));
    EXPECT_FALSE(kinetra::SetProcessPriorityClass(PriorityClass::kRealtime));
    EXPECT_FALSE(kinetra::SetProcessPriorityClass(PriorityClass::kNormal));
    EXPECT_FALSE(kinetra::SetCurrentThreadTimeCritical());
    pt::SetPriorityHook(nullptr);
    EXPECT_EQ(g_requests,
              (std::vector<pt::PriorityRequest>{
                  pt::PriorityRequest::kProcessHigh, pt::PriorityRequest::kProcessRealtime,
                  pt::PriorityRequest::kProcessNormal, pt::PriorityRequest::kThreadTimeCritical}));
}

}  // namespace
