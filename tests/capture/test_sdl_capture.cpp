// The SDL input against a real sound server: a private PulseAudio with a null sink whose monitor
// is the capture source (the ctest fixture starts it). Sound played into the sink reaches the
// listeners; silence does not; stopping while sound flows returns promptly.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "analysis/band_mapper.h"
#include "capture/audio_input.h"
#include "capture/capture_engine.h"
#include "engine_fixture.h"
#include "force/virtual_device.h"
#include "pulse_env.h"
#include "support/debug_capture.h"
#include "test_listener.h"

namespace cap = kinetra::capture;

// The sound-server client library keeps a few small allocations of its own to the end of the
// process (they carry no frame of ours); the leak checker of sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n";
}
using kinetra::test::LowBinsListener;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class SdlCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (kinetra::test::PulseDir().empty()) GTEST_SKIP() << "no test sound server";
        m_listener = std::make_unique<LowBinsListener>();
    }
    void TearDown() override { unsetenv("KINETRA_AUDIO_INPUT"); }

    // Init with the given KINETRA_AUDIO_INPUT, the listener registered, format 13 opened.
    void Start(CCaptureEngine& engine, const char* input) {
        setenv("KINETRA_AUDIO_INPUT", input, 1);
        engine.Init(&m_reporter);
        ASSERT_TRUE(m_reporter.texts.empty()) << "input " << input << " did not open";
        engine.AddListener(m_listener.get());
        ASSERT_EQ(engine.OpenCaptureBuffer(13), cap::kOk);
        ASSERT_TRUE(engine.StartThread());
    }

    kinetra::test::RecordingReporter m_reporter;
    std::unique_ptr<LowBinsListener> m_listener;
};

TEST_F(SdlCaptureTest, ToneBurstRisesSilenceDoesNotAndTheAverageFollowsItsRule) {
    CCaptureEngine engine;
    Start(engine, "default");  // the server's default source: the null sink's monitor

    // Silence: nothing plays into the sink. Some 20 blocks (the server may take a moment).
    const auto waitStart = Clock::now();
    while (m_listener->Count() < 20 && SecondsSince(waitStart) < 5.0) SleepMs(5);
    const int silent = m_listener->Count();
    ASSERT_GT(silent, 5) << "no blocks arrived from the sound server";
    for (int i = 0; i < silent; ++i) EXPECT_LT(m_listener->BandOne(i), 1.0) << "block " << i;

    // A burst of 100 Hz (between bins 2 and 3) at amplitude 10000.
    ASSERT_TRUE(kinetra::test::PlayIntoSink(kinetra::test::Tone(100, 10000, 22050)));
    SleepMs(300);
    EXPECT_TRUE(engine.StopThread());
    engine.RemoveListener(m_listener.get());
    engine.Shutdown();

    const int n = m_listener->Count();
    double loudest = 0.0, sharpestRise = 0.0;
    for (int i = silent; i < n; ++i) {
        loudest = std::max(loudest, m_listener->BandOne(i));
        for (int k = 1; k <= 5; ++k) {
            const double avg = m_listener->averages[i][k];
            if (avg > 0.0) sharpestRise = std::max(sharpestRise, m_listener->spectra[i][k] / avg);
        }
    }
    EXPECT_GT(loudest, 1e6);
    EXPECT_GT(sharpestRise, 10.0);  // a sudden rise over the running average

    // average(n) = average(n-1) + (spectrum(n) - average(n-1)) * 0.02, from all zero.
    for (int k = 0; k < LowBinsListener::kBins; ++k) {
        EXPECT_EQ(m_listener->averages[0][k], m_listener->spectra[0][k] * 0.02);
    }
    for (int i = 1; i < n; ++i) {
        for (int k = 0; k < LowBinsListener::kBins; ++k) {
            const long double prev = m_listener->averages[i - 1][k];
            const long double expected = prev + (m_listener->spectra[i][k] - prev) * 0.02L;
            ASSERT_NEAR(m_listener->averages[i][k], static_cast<double>(expected),
                        1e-12 * std::fabs(static_cast<double>(expected)) + 1e-300)
                << "block " << i << " bin " << k;
        }
    }
}

TEST_F(SdlCaptureTest, MonitorOfTheDefaultOutputIsFound) {
    setenv("KINETRA_AUDIO_INPUT", "monitor", 1);
    bool listed = false;
    for (const cap::CaptureDeviceInfo& info : cap::EnumerateCaptureDevices()) {
        listed = listed || info.id.rfind("sdl:Monitor of ", 0) == 0;
    }
    EXPECT_TRUE(listed);
    CCaptureEngine engine;
    Start(engine, "monitor");
    ASSERT_TRUE(kinetra::test::PlayIntoSink(kinetra::test::Tone(100, 10000, 11025)));
    SleepMs(200);
    EXPECT_TRUE(engine.StopThread());
    engine.RemoveListener(m_listener.get());
    engine.Shutdown();
    double loudest = 0.0;
    for (int i = 0; i < m_listener->Count(); ++i)
        loudest = std::max(loudest, m_listener->BandOne(i));
    EXPECT_GT(loudest, 1e6);
}

TEST_F(SdlCaptureTest, UnknownDeviceNameFailsInitWithAReason) {
    kinetra::test::DebugCapture debug;
    setenv("KINETRA_AUDIO_INPUT", "sdl:No Such Microphone", 1);
    CCaptureEngine engine;
    engine.Init(&m_reporter);
    ASSERT_EQ(m_reporter.texts.size(), 1u);
    EXPECT_EQ(m_reporter.texts[0], "Could not initialize DirectSound.");
    bool reasoned = false;
    for (const std::string& line : debug.Lines()) {
        reasoned = reasoned || line.find("No Such Microphone") != std::string::npos;
    }
    EXPECT_TRUE(reasoned);
    engine.Shutdown();
}

TEST_F(SdlCaptureTest, ClosingWhileSoundFlowsReturnsPromptly) {
    CCaptureEngine engine;
    Start(engine, "default");
    FILE* player = kinetra::test::StartPlaying(kinetra::test::Tone(100, 10000, 44100));
    ASSERT_NE(player, nullptr);
    // The sound flows once the first block has arrived: the player and the server may take more
    // than a fixed wait on a loaded machine (a way out after 10 s).
    const auto flowing = Clock::now() + std::chrono::seconds(10);
    while (m_listener->Count() == 0 && Clock::now() < flowing) SleepMs(20);
    SleepMs(100);
    const auto start = Clock::now();
    EXPECT_TRUE(engine.StopThread());
    engine.RemoveListener(m_listener.get());
    engine.Shutdown();
    EXPECT_LT(SecondsSince(start), 2.0);  // a way out, not a speed figure
    pclose(player);
    EXPECT_GT(m_listener->Count(), 0);
}

TEST_F(SdlCaptureTest, BandMappersDriveTheVirtualForceDeviceFromTheServer) {
    setenv("KINETRA_FORCE_DEVICE", "virtual", 1);
    constexpr std::uint32_t kLowHz[5] = {0, 220, 484, 2030, 10040};
    constexpr std::uint32_t kHighHz[5] = {177, 440, 2000, 10000, 23000};
    constexpr std::uint32_t kEffectHz[5] = {10, 20, 25, 40, 50};  // known by their periods
    setenv("KINETRA_AUDIO_INPUT", "default", 1);
    CCaptureEngine engine;
    engine.Init(&m_reporter);
    ASSERT_TRUE(m_reporter.texts.empty());
    std::unique_ptr<CBandMapper> mappers[5];
    for (int k = 0; k < 5; ++k) {
        mappers[k] = std::make_unique<CBandMapper>(SPECTRUM_BINS);
        ASSERT_EQ(mappers[k]->AttachEffect(), 1);
        mappers[k]->SetBand(kLowHz[k], kHighHz[k]);
        mappers[k]->SetEffectFrequency(kEffectHz[k]);
        mappers[k]->SetThreshold(20);
        engine.AddListener(mappers[k].get());
    }
    for (auto& m : mappers) m->SetGain(10000);
    ASSERT_EQ(engine.OpenCaptureBuffer(13), cap::kOk);
    ASSERT_TRUE(engine.StartThread());

    // The magnitude band 1's effect has on the device now (-1 before its first update).
    auto bandOne = [] {
        const kinetra::force::VirtualDeviceSnapshot s = kinetra::force::GetVirtualDeviceSnapshot();
        for (const auto& e : s.effects) {
            if (e.created && e.periodMs == 100) return static_cast<long>(e.magnitude);
        }
        return -1L;
    };
    // Silence: at rest once blocks arrive (the first one gives the effect its period).
    const auto waitStart = Clock::now();
    while (bandOne() < 0 && SecondsSince(waitStart) < 5.0) SleepMs(5);
    SleepMs(200);
    EXPECT_EQ(bandOne(), 0);

    FILE* player = kinetra::test::StartPlaying(kinetra::test::Tone(100, 10000, 22050));
    ASSERT_NE(player, nullptr);
    long strongest = 0;
    const auto start = Clock::now();
    while (SecondsSince(start) < 2.0) {
        strongest = std::max(strongest, bandOne());
        SleepMs(2);
    }
    pclose(player);
    EXPECT_TRUE(engine.StopThread());
    for (auto& m : mappers) engine.RemoveListener(m.get());
    for (auto& m : mappers) m.reset();
    engine.Shutdown();
    unsetenv("KINETRA_FORCE_DEVICE");
    EXPECT_GE(strongest, 1000);  // band 1 sends whole thousands up to 10000
}

}  // namespace
