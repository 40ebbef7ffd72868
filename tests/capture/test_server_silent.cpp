// A sound server that took the connection and stopped answering (SIGSTOP): the start-up gives up
// with its reason after the connect deadline instead of waiting on every step (SDL's device
// listing included) for half a minute each. Uses a server of its own (fixture "pulse_silent").
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "capture/capture_engine.h"
#include "engine_fixture.h"
#include "pulse_env.h"
#include "support/debug_capture.h"
#include "test_listener.h"

namespace cap = kinetra::capture;

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n";
}

namespace {

// Stops the server while it lives; it always goes on again.
class StoppedServer {
public:
    explicit StoppedServer(pid_t pid) : m_pid(pid) { m_stopped = kill(m_pid, SIGSTOP) == 0; }
    ~StoppedServer() {
        if (m_stopped) kill(m_pid, SIGCONT);
    }
    StoppedServer(const StoppedServer&) = delete;
    StoppedServer& operator=(const StoppedServer&) = delete;
    bool Stopped() const { return m_stopped; }

private:
    pid_t m_pid;
    bool m_stopped = false;
};

TEST(SilentServer, StartUpFailsWithItsReasonAfterTheDeadline) {
    if (kinetra::test::PulseDir().empty()) GTEST_SKIP() << "no test sound server";
    const pid_t server = kinetra::test::PulsePid();
    ASSERT_GT(server, 0);
    setenv("KINETRA_AUDIO_INPUT", "default", 1);
    unsetenv("KINETRA_AUDIO_BACKEND");  // PulseAudio where it answers, else SDL: both are asked
    kinetra::test::RecordingReporter reporter;
    kinetra::test::DebugCapture debug;
    {
        StoppedServer stopped(server);
        ASSERT_TRUE(stopped.Stopped());
        CCaptureEngine engine;
        engine.Init(&reporter);
        EXPECT_FALSE(engine.HasDevice());
        engine.Shutdown();
    }
    unsetenv("KINETRA_AUDIO_INPUT");
    ASSERT_EQ(reporter.texts.size(), 1u);
    EXPECT_EQ(reporter.texts[0], "Could not initialize DirectSound.");
    bool reasoned = false;
    for (const std::string& line : debug.Lines()) {
        reasoned = reasoned || line.find("did not answer within 3 s") != std::string::npos;
    }
    EXPECT_TRUE(reasoned);
}

// Whether a debug line holding text has been written, waiting at most 10 s for it.
bool WaitForLine(const kinetra::test::DebugCapture& debug, const char* text) {
    for (int i = 0; i < 1000; ++i) {
        for (const std::string& line : debug.Lines()) {
            if (line.find(text) != std::string::npos) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(SilentServer, AServerThatGoesAwayIsReportedAndRejoinedWhenItIsBack) {
    if (kinetra::test::PulseDir().empty()) GTEST_SKIP() << "no test sound server";
    // A fresh server of its own (in a process of its own: ctest's test_pulse_gone_reported),
    // which it kills and starts again.
    const char* script = std::getenv("KINETRA_TEST_PULSE_SCRIPT");
    ASSERT_NE(script, nullptr);
    const std::string start = std::string(script) + " start '" + kinetra::test::PulseDir() + "'";
    ASSERT_EQ(std::system(start.c_str()), 0);
    const pid_t server = kinetra::test::PulsePid();
    ASSERT_GT(server, 0);
    setenv("KINETRA_AUDIO_INPUT", "default", 1);
    setenv("KINETRA_AUDIO_BACKEND", "pulse", 1);
    kinetra::test::RecordingReporter reporter;
    kinetra::test::DebugCapture debug;
    auto listener = std::make_unique<kinetra::test::LowBinsListener>();
    CCaptureEngine engine;
    engine.Init(&reporter);
    unsetenv("KINETRA_AUDIO_INPUT");
    unsetenv("KINETRA_AUDIO_BACKEND");
    ASSERT_TRUE(reporter.texts.empty());
    engine.AddListener(listener.get());
    ASSERT_EQ(engine.OpenCaptureBuffer(13), cap::kOk);
    ASSERT_TRUE(engine.StartThread());

    ASSERT_EQ(kill(server, SIGKILL), 0);
    EXPECT_TRUE(WaitForLine(debug, "server went away"));
    ASSERT_EQ(std::system(start.c_str()), 0);  // the same socket again
    EXPECT_TRUE(WaitForLine(debug, "reconnected to the PulseAudio server"));
    // Blocks come in again (the null sink's monitor delivers silence all the time).
    const int before = listener->Count();
    for (int i = 0; i < 1000 && listener->Count() < before + 20; ++i) {  // a way out: 10 s
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(listener->Count(), before + 20);
    EXPECT_TRUE(engine.StopThread());
    engine.RemoveListener(listener.get());
    engine.Shutdown();
}

}  // namespace
