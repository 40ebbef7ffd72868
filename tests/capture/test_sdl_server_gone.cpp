// The SDL input when the sound server dies under it: stopping and shutting down still return
// promptly. Uses a server of its own (the fixture "pulse_gone"), which it kills.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "capture/capture_engine.h"
#include "engine_fixture.h"
#include "pulse_env.h"
#include "test_listener.h"

namespace cap = kinetra::capture;

// The sound-server client library keeps a few small allocations of its own to the end of the
// process (they carry no frame of ours); the leak checker of sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n";
}
using Clock = std::chrono::steady_clock;

namespace {

TEST(SdlServerGone, StopAndShutdownReturnAfterTheServerIsKilled) {
    if (kinetra::test::PulseDir().empty()) GTEST_SKIP() << "no test sound server";
    // A fresh server each run (the one before may have been killed by an earlier run).
    const char* script = std::getenv("KINETRA_TEST_PULSE_SCRIPT");
    ASSERT_NE(script, nullptr);
    const std::string startCommand =
        std::string(script) + " start '" + kinetra::test::PulseDir() + "'";
    ASSERT_EQ(std::system(startCommand.c_str()), 0);
    const pid_t server = kinetra::test::PulsePid();
    ASSERT_GT(server, 0);

    setenv("KINETRA_AUDIO_INPUT", "default", 1);
    auto listener = std::make_unique<kinetra::test::LowBinsListener>();
    kinetra::test::RecordingReporter reporter;
    CCaptureEngine engine;
    engine.Init(&reporter);
    ASSERT_TRUE(reporter.texts.empty());
    engine.AddListener(listener.get());
    ASSERT_EQ(engine.OpenCaptureBuffer(13), cap::kOk);
    ASSERT_TRUE(engine.StartThread());
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_GT(listener->Count(), 0);

    ASSERT_EQ(kill(server, SIGKILL), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const auto start = Clock::now();
    EXPECT_TRUE(engine.StopThread());
    engine.RemoveListener(listener.get());
    engine.Shutdown();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_LT(seconds, 2.0);  // a way out, not a speed figure
    unsetenv("KINETRA_AUDIO_INPUT");
}

}  // namespace
