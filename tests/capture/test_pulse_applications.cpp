// Hearing one application: which of the server's streams a choice hears, the SDL route's
// refusal, and, on the private PulseAudio (fixture "pulse"), two players into one output heard
// apart through kinetra-trace --input app:NAME while the chosen one restarts its stream.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/audio_applications.h"
#include "capture/audio_sources.h"
#include "capture/capture_device.h"
#include "capture/capture_format.h"
#include "sound_test_files.h"
#include "support/scoped_env.h"
#include "support/stderr_capture.h"

namespace cap = kinetra::capture;

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n";
}

namespace {

// Bursts of a sine centred on FFT bin `bin` under a raised-cosine envelope, 0.3 s every 0.5 s
// after 0.25 s of silence, 2 s in all. A block at any offset holds whole periods, and the slow
// envelope keeps the rest of the spectrum well under the threshold. The silence at the start
// is what the capture may miss while it finds a new stream.
std::vector<short> Bursts(int bin) {
    const double hz = bin * 44100.0 / 1024;
    std::vector<short> out(88200, 0);
    for (int start = 11025; start + 13230 <= 88200; start += 22050) {
        for (int i = 0; i < 13230; ++i) {
            const double envelope = 0.5 - 0.5 * std::cos(2 * M_PI * i / 13230);
            out[start + i] = static_cast<short>(
                std::lround(4000 * envelope * std::sin(2 * M_PI * hz * (start + i) / 44100)));
        }
    }
    return out;
}

// A player that plays file over and over, each time a new stream of application name, until it
// is destroyed.
class LoopingPlayer {
public:
    LoopingPlayer(const std::string& name, const std::string& file) {
        const std::string loop = "while paplay --client-name='" + name +
                                 "' --property=application.name='" + name + "' '" + file +
                                 "'; do :; done";
        m_pid = fork();
        if (m_pid == 0) {
            setpgid(0, 0);
            execl("/bin/sh", "sh", "-c", loop.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~LoopingPlayer() {
        if (m_pid <= 0) return;
        kill(-m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
};

// Blocks traced, and per band the blocks that fired: all of them, and those after `after` s.
struct Firing {
    int blocks = 0;
    int fired[5] = {};
    int firedAfter[5] = {};
};

Firing ReadTrace(const std::string& csv, double after) {
    Firing firing;
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
        if (cells.size() < 31) continue;
        ++firing.blocks;
        for (int b = 0; b < 5; ++b) {
            if (std::stoul(cells[6 * b + 5]) == 0) continue;  // bandN_magnitude
            ++firing.fired[b];
            if (std::stod(cells[0]) > after) ++firing.firedAfter[b];
        }
    }
    return firing;
}

}  // namespace

TEST(ApplicationStream, TheNameChoosesTheBinaryBreaksTiesThenPlayingCurrentNewest) {
    const cap::AudioApplicationInfo streams[] = {
        {"Game", "game-a", "", 10, 0, false}, {"Game", "game-b", "", 11, 0, false},
        {"Player", "mpv", "", 12, 0, true},   {"Player", "mpv", "", 13, 0, false},
        {"Chat", "game-a", "", 14, 0, false},
    };
    struct Case {
        const char* input;
        std::uint32_t current;
        int chosen;
    };
    const Case cases[] = {
        {"app:Game|game-a", cap::kNoSinkInput, 0},  // the binary beats the newer stream
        {"app:Game", cap::kNoSinkInput, 1},         // the newest
        {"app:Game", 10, 0},                        // the one heard stays
        {"app:Game|game-c", cap::kNoSinkInput, 1},  // a binary only breaks ties
        {"app:Player", 12, 3},                      // playing beats paused, even the one heard
        {"app:mpv", cap::kNoSinkInput, 3},          // no application of that name: its binary
        {"app:game-a|x", cap::kNoSinkInput, -1},    // ... but not when a binary was given
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(cap::FindApplicationStream(cap::ParseAudioInput(c.input), streams, c.current),
                  c.chosen);
    }
}

TEST(ApplicationStream, TheSdlRouteSaysWhyItCannot) {
    kinetra::test::StderrCapture quiet;
    cap::AudioInputChoice choice;
    std::string error;
    ASSERT_TRUE(cap::ParseAudioInputChoice("app:Game", "sdl", &choice, &error));
    std::unique_ptr<cap::ICaptureDevice> device;
    EXPECT_EQ(cap::OpenCaptureDevice("", choice, &device), cap::kNoDriver);
    EXPECT_NE(cap::LastAudioInputProblem().find("SDL"), std::string::npos)
        << cap::LastAudioInputProblem();
}

TEST(ApplicationStream, EachOfTwoPlayersIsHeardAloneAcrossItsRestarts) {
    kinetra::test::TempDir dir;
    const std::string bass = dir.File("bass.wav");
    const std::string treble = dir.File("treble.wav");
    kinetra::test::WriteSound(bass, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, Bursts(2));
    kinetra::test::WriteSound(treble, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, Bursts(116));
    LoopingPlayer bassPlayer("Kinetra Bass", bass);
    LoopingPlayer treblePlayer("Kinetra Treble", treble);
    sleep(1);
    struct Case {
        const char* name;
        int band;   // the band its bursts fire (1 or 4)
        int other;  // the other player's band
    };
    for (const Case c : {Case{"Kinetra Bass", 0, 3}, Case{"Kinetra Treble", 3, 0}}) {
        SCOPED_TRACE(c.name);
        const std::string csv = dir.File(std::string(c.name).substr(8) + ".csv");
        const std::string png = dir.File(std::string(c.name).substr(8) + ".png");
        const std::string command = std::string("'") + KINETRA_TRACE_PROGRAM +
                                    "' --quiet --input 'app:" + c.name + "' --seconds 4 --csv '" +
                                    csv + "' --png '" + png + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const Firing firing = ReadTrace(csv, 2.2);
        ASSERT_GT(firing.blocks, 150);
        const double own = 100.0 * firing.fired[c.band] / firing.blocks;
        const double other = 100.0 * firing.fired[c.other] / firing.blocks;
        std::printf("%s: band %d fired in %.1f%% of %d blocks, band %d in %.1f%%\n", c.name,
                    c.band + 1, own, firing.blocks, c.other + 1, other);
        EXPECT_GE(own, 10.0);
        EXPECT_LE(other, 2.0);
        // Each stream lasts 2 s: what fires after 2.2 s comes from a stream started meanwhile.
        EXPECT_GE(firing.firedAfter[c.band], 3);
    }

    // The listing names both players; a choice of an application that plays nothing opens and
    // says it waits.
    const cap::AudioApplicationList list = cap::ListAudioApplications(3000);
    ASSERT_TRUE(list.serverAnswered);
    EXPECT_EQ(list.unsupported, "");
    std::vector<std::string> names;
    for (const cap::AudioApplicationInfo& app : list.applications) names.push_back(app.name);
    EXPECT_NE(std::find(names.begin(), names.end(), "Kinetra Bass"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Kinetra Treble"), names.end());
    std::unique_ptr<cap::ICaptureDevice> device;
    ASSERT_EQ(cap::OpenCaptureDevice("", cap::ParseAudioInput("app:Kinetra Nobody"), &device),
              cap::kOk);
    cap::WaveFormat format{};
    format.wFormatTag = cap::kWaveFormatPcm;
    cap::FillFormatForIndex(13, &format);
    std::unique_ptr<cap::ICaptureBuffer> buffer;
    ASSERT_EQ(device->CreateCaptureBuffer(format, 32768, &buffer), cap::kOk);
    EXPECT_EQ(cap::CurrentCaptureSourceDescription(), "Kinetra Nobody (waiting for sound)");
}
