// A sound-file input played aloud: on the PulseAudio fixture, the sink receives the file's sound
// while the engine hears the same file in its lowest band.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "capture/audio_input.h"
#include "capture/capture_engine.h"
#include "engine_fixture.h"
#include "sound_test_files.h"
#include "test_listener.h"

namespace cap = kinetra::capture;

// The sound-server client library keeps a few small allocations of its own to the end of the
// process (they carry no frame of ours); the leak checker of sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n";
}

namespace {

TEST(FileAloud, TheSinkReceivesTheFileWhileTheBandFires) {
    kinetra::test::TempDir dir;
    const std::string path = dir.File("bursts.wav");
    // 0.25 s of 100 Hz at amplitude 12000, then 0.25 s of silence; looped.
    std::vector<short> sound = kinetra::test::Sine(44100, 100, 12000, 11025);
    sound.resize(22050, 0);
    kinetra::test::WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, sound);

    cap::SetSoundFilePlayback(true, true);
    CCaptureEngine engine;
    engine.SetDeviceOpener([](const std::string&, std::unique_ptr<cap::ICaptureDevice>* d) {
        return cap::OpenCaptureDevice("", d);
    });
    setenv("KINETRA_AUDIO_INPUT", ("file:" + path).c_str(), 1);
    kinetra::test::RecordingReporter reporter;
    engine.Init(&reporter);
    unsetenv("KINETRA_AUDIO_INPUT");
    ASSERT_TRUE(reporter.texts.empty());
    kinetra::test::LowBinsListener listener;
    engine.AddListener(&listener);
    ASSERT_EQ(engine.OpenCaptureBuffer(13), cap::kOk);
    ASSERT_TRUE(engine.StartThread());

    // What the sink plays, for two seconds (timeout ends parec).
    std::FILE* recorder = popen(
        "timeout 2 parec -d kinetra_null.monitor --raw --format=s16le --rate=44100 --channels=1",
        "r");
    ASSERT_NE(recorder, nullptr);
    std::vector<short> heard(44100 * 3);
    const std::size_t frames = std::fread(heard.data(), sizeof(short), heard.size(), recorder);
    pclose(recorder);
    EXPECT_TRUE(engine.StopThread());
    engine.RemoveListener(&listener);
    engine.Shutdown();
    cap::SetSoundFilePlayback(false, true);

    short peak = 0;
    for (std::size_t i = 0; i < frames; ++i) peak = std::max<short>(peak, std::abs(heard[i]));
    EXPECT_GT(frames, 44100u) << "parec recorded too little";
    EXPECT_GT(peak, 6000) << "the sink did not receive the file's sound";
    double loudest = 0.0;
    const int n = std::min(listener.count.load(), kinetra::test::LowBinsListener::kMax);
    for (int i = 0; i < n; ++i) loudest = std::max(loudest, listener.BandOne(i));
    EXPECT_GT(loudest, 1e6);
}

}  // namespace
