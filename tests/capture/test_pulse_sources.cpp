// The sound server's sources as the input menu lists them, and "what this computer plays"
// following the default output while it runs: a private PulseAudio (fixture "pulse_follow") with
// a second null sink loaded here, and the default output switched with pactl while sound flows.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "capture/audio_sources.h"
#include "capture/capture_engine.h"
#include "engine_fixture.h"
#include "pulse_env.h"
#include "support/debug_capture.h"
#include "support/scoped_env.h"
#include "test_listener.h"

namespace cap = kinetra::capture;
using kinetra::test::LowBinsListener;
using kinetra::test::PlayIntoSink;
using kinetra::test::Tone;

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n";
}

// The sound-server client library is not built with ThreadSanitizer: it creates its locks and
// threads with atomics TSan cannot see, and TSan would report races between two of its own
// frames. Interceptors called from such modules are left out; every access made by our code,
// the library's callbacks into our code and the capture thread included, is still checked.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
#endif

namespace {

constexpr char kFirstSink[] = "kinetra_null";  // the fixture's, "Null Output"
constexpr char kFirstDescription[] = "Null Output";
constexpr char kSecondSink[] = "kinetra_other";
constexpr char kSecondDescription[] = "KinetraHeadphones";

bool Pactl(const std::string& arguments) {
    return std::system(("pactl " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// Waits (at most 10 s) until the capture says it hears description.
bool WaitForDescription(const std::string& description) {
    for (int i = 0; i < 1000; ++i) {
        if (cap::CurrentCaptureSourceDescription() == description) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Band 1's highest power in the blocks that arrive while a 100 Hz burst plays into sink, and
// a little after. Sound played before has reached the listener first (it comes some 30 ms after
// the player has drained).
double LoudestWhilePlaying(const LowBinsListener& listener, const char* sink) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int from = listener.Count();
    EXPECT_TRUE(PlayIntoSink(Tone(100, 10000, 11025), sink));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    double loudest = 0.0;
    for (int i = from; i < listener.Count(); ++i) loudest = std::max(loudest, listener.BandOne(i));
    return loudest;
}

class PulseSourcesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!kinetra::test::PulseDir().empty()) LoadSecondSink();
    }
    // A second output, as headphones plugged in beside the built-in one.
    static bool LoadSecondSink() {
        return Pactl(std::string("load-module module-null-sink sink_name=") + kSecondSink +
                     " rate=44100 channels=1 norewinds=1 sink_properties=device.description=" +
                     kSecondDescription);
    }
    void SetUp() override {
        if (kinetra::test::PulseDir().empty()) GTEST_SKIP() << "no test sound server";
        ASSERT_TRUE(Pactl(std::string("set-default-sink ") + kFirstSink));
        // The default source stays put, so that the server has no reason of its own to move a
        // stream when the default output changes.
        ASSERT_TRUE(Pactl(std::string("set-default-source ") + kFirstSink + ".monitor"));
    }

    // Captures choice with the listener until Stop.
    void Start(const cap::AudioInputChoice& choice) {
        m_engine.SetAudioInput(choice);
        m_engine.Init(&m_reporter);
        ASSERT_TRUE(m_reporter.texts.empty()) << cap::DescribeAudioInput(choice) << " did not open";
        m_engine.AddListener(&m_listener);
        ASSERT_EQ(m_engine.OpenCaptureBuffer(13), cap::kOk);
        ASSERT_TRUE(m_engine.StartThread());
    }
    void TearDown() override {
        m_engine.StopThread();
        m_engine.RemoveListener(&m_listener);
        m_engine.Shutdown();
    }

    kinetra::test::RecordingReporter m_reporter;
    LowBinsListener m_listener;
    CCaptureEngine m_engine;
};

cap::AudioInputChoice Choice(const std::string& text) {
    cap::AudioInputChoice choice;
    std::string error;
    EXPECT_TRUE(cap::ParseAudioInputChoice(text, "pulse", &choice, &error)) << error;
    return choice;
}

TEST_F(PulseSourcesTest, WhatTheComputerPlaysMovesToTheNewDefaultOutputWhileSoundFlows) {
    Start(Choice("monitor"));
    ASSERT_TRUE(WaitForDescription(kFirstDescription)) << cap::CurrentCaptureSourceDescription();
    EXPECT_GT(LoudestWhilePlaying(m_listener, kFirstSink), 1e6);

    // Switched while a tone plays into the new output: what follows the switch is heard.
    // (The server moves playback streams of the old default along; the player names its sink.)
    FILE* player = kinetra::test::StartPlaying(Tone(100, 10000, 88200), kSecondSink);
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(Pactl(std::string("set-default-sink ") + kSecondSink));
    EXPECT_TRUE(WaitForDescription(kSecondDescription)) << cap::CurrentCaptureSourceDescription();
    const int switched = m_listener.Count();
    for (int i = 0; i < 500 && m_listener.Count() < switched + 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    double afterSwitch = 0.0;
    for (int i = switched; i < m_listener.Count(); ++i) {
        afterSwitch = std::max(afterSwitch, m_listener.BandOne(i));
    }
    pclose(player);
    EXPECT_GT(afterSwitch, 1e6);

    // The old output is no longer heard; the new one is, without a restart.
    EXPECT_LT(LoudestWhilePlaying(m_listener, kFirstSink), 1.0);
    EXPECT_GT(LoudestWhilePlaying(m_listener, kSecondSink), 1e6);
    EXPECT_TRUE(m_reporter.texts.empty());

    // And back.
    ASSERT_TRUE(Pactl(std::string("set-default-sink ") + kFirstSink));
    EXPECT_TRUE(WaitForDescription(kFirstDescription));
    EXPECT_GT(LoudestWhilePlaying(m_listener, kFirstSink), 1e6);
}

TEST_F(PulseSourcesTest, ListsBothMonitorsWithTheDefaultsAndEachIdOpensItsSource) {
    ASSERT_TRUE(Pactl(std::string("set-default-source ") + kSecondSink + ".monitor"));
    const cap::AudioSourceList list = cap::ListAudioSources(3000);
    ASSERT_TRUE(list.serverAnswered);
    EXPECT_EQ(list.defaultOutputDescription, kFirstDescription);
    EXPECT_EQ(list.defaultInputDescription, std::string("Monitor of ") + kSecondDescription);
    int monitors = 0;
    std::string secondId;
    for (const cap::AudioSourceInfo& source : list.sources) {
        if (source.description == std::string("Monitor of ") + kFirstDescription) {
            EXPECT_TRUE(source.monitor);
            EXPECT_EQ(source.id, std::string(kFirstSink) + ".monitor");
            ++monitors;
        }
        if (source.description == std::string("Monitor of ") + kSecondDescription) {
            EXPECT_TRUE(source.monitor);
            secondId = source.id;
            ++monitors;
        }
    }
    EXPECT_EQ(monitors, 2);

    // The id read back names that source, and opening it hears that output alone.
    const cap::AudioInputChoice choice = Choice(secondId);
    EXPECT_EQ(choice.kind, cap::AudioInputKind::kNamed);
    EXPECT_EQ(choice.value, std::string(kSecondSink) + ".monitor");
    Start(choice);
    EXPECT_TRUE(WaitForDescription(std::string("Monitor of ") + kSecondDescription));
    EXPECT_GT(LoudestWhilePlaying(m_listener, kSecondSink), 1e6);
    EXPECT_LT(LoudestWhilePlaying(m_listener, kFirstSink), 1.0);
}

TEST_F(PulseSourcesTest, FirstRunTakesWhatTheComputerPlaysUnlessTheEnvironmentSaysDefault) {
    bool usedMonitor = false;
    {
        kinetra::test::ScopedEnv unset("KINETRA_AUDIO_INPUT", nullptr);
        EXPECT_EQ(cap::FirstRunAudioInputChoice(&usedMonitor).kind, cap::AudioInputKind::kMonitor);
        EXPECT_TRUE(usedMonitor);
    }
    {
        kinetra::test::ScopedEnv chosen("KINETRA_AUDIO_INPUT", "default");
        EXPECT_EQ(cap::FirstRunAudioInputChoice(&usedMonitor).kind, cap::AudioInputKind::kDefault);
        EXPECT_FALSE(usedMonitor);
    }
    {
        kinetra::test::ScopedEnv unset("KINETRA_AUDIO_INPUT", nullptr);
        kinetra::test::ScopedEnv noServer("PULSE_SERVER", "unix:/nonexistent/kinetra/native");
        EXPECT_EQ(cap::FirstRunAudioInputChoice(&usedMonitor).kind, cap::AudioInputKind::kDefault);
        EXPECT_FALSE(usedMonitor);
        EXPECT_FALSE(cap::ListAudioSources(500).serverAnswered);
    }
}

// Last: a stopped server makes the listing give up at its deadline (and does not mark the
// server silent for the next listing).
TEST_F(PulseSourcesTest, AServerThatDoesNotAnswerGivesNoListWithinTheDeadline) {
    const pid_t server = kinetra::test::PulsePid();
    ASSERT_GT(server, 0);
    ASSERT_EQ(kill(server, SIGSTOP), 0);
    const auto start = std::chrono::steady_clock::now();
    const cap::AudioSourceList list = cap::ListAudioSources(300);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    kill(server, SIGCONT);
    EXPECT_FALSE(list.serverAnswered);
    EXPECT_TRUE(list.sources.empty());
    EXPECT_LT(seconds, 5.0);  // a way out, not a speed figure
    EXPECT_TRUE(cap::ListAudioSources(3000).serverAnswered);
}

// Last (it kills the server and starts it again): after the server comes back, the capture
// follows the default output on the new connection as it did before.
TEST_F(PulseSourcesTest, AfterTheServerComesBackTheMonitorStillFollowsTheDefaultOutput) {
    const char* script = std::getenv("KINETRA_TEST_PULSE_SCRIPT");
    ASSERT_NE(script, nullptr);
    const std::string start = std::string(script) + " start '" + kinetra::test::PulseDir() + "'";
    kinetra::test::DebugCapture debug;
    Start(Choice("monitor"));
    ASSERT_TRUE(WaitForDescription(kFirstDescription));

    ASSERT_EQ(kill(kinetra::test::PulsePid(), SIGKILL), 0);
    EXPECT_TRUE(WaitForDescription(""));       // nothing is heard while the server is away
    ASSERT_EQ(std::system(start.c_str()), 0);  // the same socket again, one output
    EXPECT_TRUE(WaitForDescription(kFirstDescription));
    bool reconnected = false;
    for (const std::string& line : debug.Lines()) {
        reconnected = reconnected || line.find("reconnected") != std::string::npos;
    }
    EXPECT_TRUE(reconnected);

    ASSERT_TRUE(LoadSecondSink());
    ASSERT_TRUE(Pactl(std::string("set-default-source ") + kFirstSink + ".monitor"));
    ASSERT_TRUE(Pactl(std::string("set-default-sink ") + kSecondSink));
    EXPECT_TRUE(WaitForDescription(kSecondDescription)) << cap::CurrentCaptureSourceDescription();
    EXPECT_GT(LoudestWhilePlaying(m_listener, kSecondSink), 1e6);
    EXPECT_LT(LoudestWhilePlaying(m_listener, kFirstSink), 1.0);
}

}  // namespace
