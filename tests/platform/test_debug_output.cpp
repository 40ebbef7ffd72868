// The debug-output function: silent by default, on standard error with KINETRA_DEBUG=1, and
// captured by an installed sink.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/debug_output.h"
#include "support/debug_capture.h"
#include "support/stderr_capture.h"

namespace {

TEST(DebugOutput, SinkReceivesLinesAndDefaultFollowsTheEnvironment) {
    {
        kinetra::test::DebugCapture capture;
        kinetra::DebugOutput("one\n");
        kinetra::DebugOutput(nullptr);
        kinetra::DebugOutput("two\n");
        EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"one\n", "two\n"}));
    }
    // The environment is read once per process; the test runs without KINETRA_DEBUG or with it.
    const char* env = std::getenv("KINETRA_DEBUG");
    const bool enabled = env != nullptr && std::string(env) == "1";
    kinetra::test::StderrCapture err;
    kinetra::DebugOutput("three\n");
    EXPECT_EQ(err.Text(), enabled ? "three\n" : "");
}

}  // namespace
