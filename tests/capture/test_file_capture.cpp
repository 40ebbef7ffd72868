// A sound file as the audio input: decoding (downmix, resampling, formats), clear errors for
// files that cannot be used, and the engine fed by the file at real-time pace.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "capture/audio_input.h"
#include "capture/capture_engine.h"
#include "engine_fixture.h"
#include "sound_test_files.h"
#include "support/debug_capture.h"
#include "support/stderr_capture.h"
#include "test_listener.h"

namespace cap = kinetra::capture;
using Clock = std::chrono::steady_clock;

namespace {

using kinetra::test::Sine;
using kinetra::test::TempDir;
using kinetra::test::WriteSound;

short Peak(const std::vector<std::int16_t>& samples, std::size_t from) {
    short peak = 0;
    for (std::size_t i = from; i < samples.size(); ++i) {
        peak = std::max<short>(peak, static_cast<short>(std::abs(samples[i])));
    }
    return peak;
}

TEST(SoundFileDecoding, SixteenBitMonoAt44100IsTakenAsItIs) {
    TempDir dir;
    const std::string path = dir.File("mono.wav");
    const std::vector<short> written = {0, 1, -1, 32767, -32768, 1234, -4321, 7};
    WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, written);
    std::vector<std::int16_t> samples;
    std::string error;
    ASSERT_TRUE(cap::DecodeSoundFile(path, &samples, &error)) << error;
    EXPECT_EQ(std::vector<short>(samples.begin(), samples.end()), written);
}

TEST(SoundFileDecoding, ChannelsAreAveraged) {
    TempDir dir;
    const std::string path = dir.File("stereo.wav");
    // Left 1000 and right 3000: (1000 + 3000) / 2 = 2000 in every frame.
    std::vector<short> frames;
    for (int i = 0; i < 100; ++i) {
        frames.push_back(1000);
        frames.push_back(3000);
    }
    WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, frames);
    std::vector<std::int16_t> samples;
    std::string error;
    ASSERT_TRUE(cap::DecodeSoundFile(path, &samples, &error)) << error;
    ASSERT_EQ(samples.size(), 100u);
    for (std::int16_t s : samples) ASSERT_EQ(s, 2000);
}

TEST(SoundFileDecoding, OtherRatesAreResampledAndOtherFormatsRead) {
    TempDir dir;
    struct Case {
        const char* name;
        int format;
    };
    const Case cases[] = {{"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                          {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                          {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        // One second of a 441 Hz sine of amplitude 8000 at 22050 Hz, in stereo.
        WriteSound(path, c.format, 22050, 2, Sine(22050, 441, 8000, 22050, 2));
        std::vector<std::int16_t> samples;
        std::string error;
        ASSERT_TRUE(cap::DecodeSoundFile(path, &samples, &error)) << error;
        // Twice as many samples at 44100 Hz, the same loudness.
        EXPECT_NEAR(static_cast<double>(samples.size()), 44100.0, 50.0);
        EXPECT_NEAR(Peak(samples, 1000), 8000, 400);
    }
}

TEST(SoundFileDecoding, FilesThatCannotBeUsedSayWhy) {
    TempDir dir;
    std::vector<std::int16_t> samples;
    std::string error;
    EXPECT_FALSE(cap::DecodeSoundFile("/nonexistent/kinetra.wav", &samples, &error));
    EXPECT_NE(error.find("/nonexistent/kinetra.wav"), std::string::npos) << error;

    const std::string text = dir.File("not-sound.wav");
    FILE* f = std::fopen(text.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("this is not a sound file\n", f);
    std::fclose(f);
    error.clear();
    EXPECT_FALSE(cap::DecodeSoundFile(text, &samples, &error));
    EXPECT_NE(error.find(text), std::string::npos) << error;

    const std::string empty = dir.File("empty.wav");
    WriteSound(empty, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, {});
    error.clear();
    EXPECT_FALSE(cap::DecodeSoundFile(empty, &samples, &error));
    EXPECT_NE(error.find("holds no sound"), std::string::npos) << error;
}

TEST(FileInput, MissingFileFailsInitLikeAMissingDevice) {
    setenv("KINETRA_AUDIO_INPUT", "file:/nonexistent/kinetra-input.wav", 1);
    kinetra::test::RecordingReporter reporter;
    kinetra::test::DebugCapture debug;
    std::string err;
    {
        kinetra::test::StderrCapture stderrCapture;
        CCaptureEngine engine;
        engine.Init(&reporter);
        EXPECT_FALSE(engine.HasDevice());
        EXPECT_EQ(engine.OpenCaptureBuffer(13), cap::kFail);
        engine.Shutdown();
        err = stderrCapture.Text();
    }
    unsetenv("KINETRA_AUDIO_INPUT");
    ASSERT_EQ(reporter.texts.size(), 1u);
    EXPECT_EQ(reporter.texts[0], "Could not initialize DirectSound.");
    EXPECT_EQ(reporter.exitCodes[0], 1);
    // The reason: on the debug output, and on standard error unless debug lines go there.
    bool reasoned = false;
    for (const std::string& line : debug.Lines()) {
        reasoned = reasoned || line.find("/nonexistent/kinetra-input.wav") != std::string::npos;
    }
    EXPECT_TRUE(reasoned);
    const char* debugEnv = std::getenv("KINETRA_DEBUG");
    if (debugEnv == nullptr || std::string(debugEnv) != "1") {
        EXPECT_NE(err.find("/nonexistent/kinetra-input.wav"), std::string::npos) << err;
    }
}

TEST(FileInput, TheEngineHearsTheFileAtItsPace) {
    TempDir dir;
    const std::string path = dir.File("burst.wav");
    // 0.5 s of silence, then 0.5 s of 100 Hz at amplitude 10000.
    std::vector<short> sound(22050, 0);
    const std::vector<short> tone = Sine(44100, 100, 10000, 22050);
    sound.insert(sound.end(), tone.begin(), tone.end());
    WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, sound);

    CCaptureEngine engine;
    engine.SetDeviceOpener([](const std::string&, std::unique_ptr<cap::ICaptureDevice>* d) {
        return cap::OpenCaptureDevice("", d);
    });
    setenv("KINETRA_AUDIO_INPUT", ("file:" + path).c_str(), 1);
    kinetra::test::RecordingReporter reporter;
    engine.Init(&reporter);
    unsetenv("KINETRA_AUDIO_INPUT");
    ASSERT_TRUE(reporter.texts.empty());
    auto owned = std::make_unique<kinetra::test::LowBinsListener>();
    kinetra::test::LowBinsListener& listener = *owned;
    engine.AddListener(&listener);
    cap::WaveFormat f{};
    f.wFormatTag = 1;
    EXPECT_FALSE(engine.ProbeFormat(12, &f));  // the file comes as 16-bit mono only
    const auto start = Clock::now();
    ASSERT_EQ(engine.OpenCaptureBuffer(13), cap::kOk);
    ASSERT_TRUE(engine.StartThread());
    // About 43 blocks a second: wait for a second and a half of them.
    while (listener.count.load(std::memory_order_acquire) < 64 &&
           Clock::now() - start < std::chrono::seconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_TRUE(engine.StopThread());
    engine.RemoveListener(&listener);
    engine.Shutdown();

    const int n = std::min(listener.count.load(), kinetra::test::LowBinsListener::kMax);
    ASSERT_GE(n, 64);
    // Real-time pace: 64 blocks of 1024 frames are 1.49 s of sound; far faster means no pacing.
    EXPECT_GT(seconds, 1.0);
    // The first blocks are silent; the burst is heard (100 Hz lies between bins 2 and 3).
    EXPECT_EQ(listener.BandOne(0), 0.0);
    double loudest = 0.0;
    for (int i = 0; i < n; ++i) loudest = std::max(loudest, listener.BandOne(i));
    EXPECT_GT(loudest, 1e6);
}

}  // namespace
