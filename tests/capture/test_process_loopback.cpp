// Hearing one application on the system itself: the listing answers within the time it is
// given, and a choice of an application opens where the system records one process's sound and
// otherwise fails with the reason the listing gives. Wine 8 has no process loopback: there the
// reason names Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

#include "capture/audio_applications.h"
#include "capture/capture_device.h"

namespace cap = kinetra::capture;

TEST(ProcessLoopback, TheListingAnswersInTimeAndAChoiceOpensOrSaysWhyNot) {
    const auto start = std::chrono::steady_clock::now();
    const cap::AudioApplicationList list = cap::ListAudioApplications(4000);
    // A generous bound: the call must not hang on the system's answer.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_TRUE(list.serverAnswered);

    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (wine) {
        EXPECT_NE(list.unsupported.find("Wine"), std::string::npos) << list.unsupported;
    }

    cap::ClearAudioInputProblems();
    std::unique_ptr<cap::ICaptureDevice> device;
    const cap::Result opened =
        cap::OpenCaptureDevice("", cap::ParseAudioInput("app:kinetra test player"), &device);
    if (list.unsupported.empty()) {
        EXPECT_EQ(opened, cap::kOk);
    } else {
        EXPECT_NE(opened, cap::kOk);
        EXPECT_EQ(device, nullptr);
        EXPECT_EQ(cap::LastAudioInputProblem(), list.unsupported);
    }
}
