// The end-to-end benchmarks' arithmetic (time units, percentiles, pairing clicks with firing
// blocks, CPU ticks from /proc), their sound file, and their private sound server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/e2e_figures.h"
#include "bench/music_sound.h"
#include "bench/pulse_server.h"
#include "capture/audio_input.h"

namespace {

using kinetra::bench::FireEvent;
using kinetra::bench::MatchClicks;

constexpr std::int64_t kMs = 1'000'000;

TEST(E2eUnits, FramesToNanosecondsAndMilliseconds) {
    EXPECT_EQ(kinetra::bench::FramesToNs(0), 0);
    EXPECT_EQ(kinetra::bench::FramesToNs(44100), 1'000'000'000);
    // 1024 / 44100 s = 23.219954648... ms, truncated to whole nanoseconds.
    EXPECT_EQ(kinetra::bench::FramesToNs(1024), 23'219'954);
    // Ten minutes of frames do not overflow.
    EXPECT_EQ(kinetra::bench::FramesToNs(600LL * 44100), 600'000'000'000LL);
    EXPECT_DOUBLE_EQ(kinetra::bench::NsToMs(21'400'000), 21.4);
    EXPECT_DOUBLE_EQ(kinetra::bench::NsToMs(-500'000), -0.5);
}

TEST(E2eUnits, NearestRankPercentiles) {
    std::vector<double> twenty;
    for (int i = 1; i <= 20; ++i) twenty.push_back(i);
    EXPECT_EQ(kinetra::bench::NearestRank(twenty, 0.5), 10.0);   // rank ceil(10) = 10
    EXPECT_EQ(kinetra::bench::NearestRank(twenty, 0.95), 19.0);  // rank ceil(19) = 19
    EXPECT_EQ(kinetra::bench::NearestRank(twenty, 1.0), 20.0);
    EXPECT_EQ(kinetra::bench::NearestRank(twenty, 0.001), 1.0);  // rank ceil(0.02) = 1
    std::vector<double> seven = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(kinetra::bench::NearestRank(seven, 0.5), 4.0);   // rank ceil(3.5) = 4
    EXPECT_EQ(kinetra::bench::NearestRank(seven, 0.95), 7.0);  // rank ceil(6.65) = 7
    EXPECT_EQ(kinetra::bench::NearestRank({}, 0.5), 0.0);
    EXPECT_EQ(kinetra::bench::NearestRank({3.5}, 0.95), 3.5);
}

TEST(E2eMatch, EachClickTakesTheFirstFreeBlockInItsWindow) {
    const std::vector<std::int64_t> clicks = {1000 * kMs, 1500 * kMs, 2000 * kMs, 2600 * kMs};
    const std::vector<FireEvent> events = {
        {1011 * kMs, 1}, {1520 * kMs, 2}, {2590 * kMs, 1}};  // none for the click at 2000 ms
    const auto all = MatchClicks(clicks, events, 0, 30 * kMs, 250 * kMs);
    ASSERT_EQ(all.latenciesMs.size(), 3u);
    EXPECT_DOUBLE_EQ(all.latenciesMs[0], -10.0);  // sorted; a late reference shows as negative
    EXPECT_DOUBLE_EQ(all.latenciesMs[1], 11.0);
    EXPECT_DOUBLE_EQ(all.latenciesMs[2], 20.0);
    EXPECT_EQ(all.missed, 1);

    // Warm-up clicks take their block without being counted.
    const auto counted = MatchClicks(clicks, events, 1, 30 * kMs, 250 * kMs);
    ASSERT_EQ(counted.latenciesMs.size(), 2u);
    EXPECT_DOUBLE_EQ(counted.latenciesMs[0], -10.0);
    EXPECT_DOUBLE_EQ(counted.latenciesMs[1], 20.0);
    EXPECT_EQ(counted.missed, 1);
}

TEST(E2eMatch, ABlockServesOneClickAndTheWindowEdgesCount) {
    // Two clicks 20 ms apart and one block: the first click takes it, the second has none.
    const auto shared = MatchClicks({0, 20 * kMs}, {{25 * kMs, 1}}, 0, 30 * kMs, 250 * kMs);
    ASSERT_EQ(shared.latenciesMs.size(), 1u);
    EXPECT_DOUBLE_EQ(shared.latenciesMs[0], 25.0);
    EXPECT_EQ(shared.missed, 1);

    const std::int64_t c = 10'000 * kMs;
    EXPECT_EQ(MatchClicks({c}, {{c + 250 * kMs, 1}}, 0, 30 * kMs, 250 * kMs).missed, 0);
    EXPECT_EQ(MatchClicks({c}, {{c + 250 * kMs + 1, 1}}, 0, 30 * kMs, 250 * kMs).missed, 1);
    EXPECT_EQ(MatchClicks({c}, {{c - 30 * kMs, 1}}, 0, 30 * kMs, 250 * kMs).missed, 0);
    EXPECT_EQ(MatchClicks({c}, {{c - 30 * kMs - 1, 1}}, 0, 30 * kMs, 250 * kMs).missed, 1);
    // A block before the window is skipped, not taken by a later click.
    const auto skipped = MatchClicks({c, c + 400 * kMs}, {{c - 100 * kMs, 1}, {c + 410 * kMs, 1}},
                                     0, 30 * kMs, 250 * kMs);
    ASSERT_EQ(skipped.latenciesMs.size(), 1u);
    EXPECT_DOUBLE_EQ(skipped.latenciesMs[0], 10.0);
    EXPECT_EQ(skipped.missed, 1);
}

TEST(E2eMatch, InOrderDelaysShowAPathThatFallsBehind) {
    // Blocks arrive in order but later and later: 500 ms after the first click, 1000 ms after
    // the second; the third click's block has not come yet.
    const auto m = MatchClicks({0, 1000 * kMs, 2000 * kMs}, {{500 * kMs, 1}, {2000 * kMs, 1}}, 0,
                               30 * kMs, 250 * kMs);
    EXPECT_EQ(m.inOrderPairs, 2);
    EXPECT_DOUBLE_EQ(m.firstInOrderMs, 500.0);
    EXPECT_DOUBLE_EQ(m.lastInOrderMs, 1000.0);
    // Windowed matching pairs the second click's late block with the third click by chance:
    // why a route with many misses gets no latency figure.
    EXPECT_EQ(m.missed, 2);
    ASSERT_EQ(m.latenciesMs.size(), 1u);
    EXPECT_DOUBLE_EQ(m.latenciesMs[0], 0.0);
    EXPECT_EQ(MatchClicks({}, {}, 0, 30 * kMs, 250 * kMs).inOrderPairs, 0);
}

TEST(E2eCpuTicks, UserPlusSystemTimeFromAStatLine) {
    // Fields 14 (utime) and 15 (stime) are 250 and 37.
    const std::string line =
        "1234 (kinetra) S 1 1234 1234 0 -1 4194304 100 0 0 0 250 37 0 0 20 0 5 0 8000 1000000";
    EXPECT_EQ(kinetra::bench::CpuTicksOfStatLine(line), 287);
    // A command name with spaces and parentheses of its own.
    const std::string odd = "77 (a) b (c)) R 1 77 77 0 -1 0 0 0 0 0 1000 2 0 0 20 0 1 0 5 6";
    EXPECT_EQ(kinetra::bench::CpuTicksOfStatLine(odd), 1002);
    EXPECT_EQ(kinetra::bench::CommandOfStatLine(line), "kinetra");
    EXPECT_EQ(kinetra::bench::CommandOfStatLine(odd), "a) b (c)");
    EXPECT_EQ(kinetra::bench::CommandOfStatLine("no name"), "");
    EXPECT_EQ(kinetra::bench::CpuTicksOfStatLine("1234 (kinetra) S 1 2 3"), -1);
    EXPECT_EQ(kinetra::bench::CpuTicksOfStatLine("no parentheses here"), -1);
    EXPECT_EQ(kinetra::bench::CpuTicksOfStatLine("1 (x) S 1 1 1 0 -1 0 0 0 0 0 12x 3"), -1);
    std::ifstream self("/proc/self/stat");
    std::string own;
    ASSERT_TRUE(std::getline(self, own));
    EXPECT_GE(kinetra::bench::CpuTicksOfStatLine(own), 0);
}

TEST(E2eMusic, TheSoundIsDeterministicAndItsFileReadsBack) {
    const auto a = kinetra::bench::MakeMusic(2.0);
    ASSERT_EQ(a.size(), 88200u);
    EXPECT_EQ(a, kinetra::bench::MakeMusic(2.0));
    int loud = 0;
    for (std::int16_t s : a) loud += (s > 8000 || s < -8000) ? 1 : 0;
    EXPECT_GT(loud, 100);  // kicks and bass, not silence

    const std::string dir = ::testing::TempDir() + "e2e_music";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/music.wav";
    ASSERT_TRUE(kinetra::bench::WriteWav(path, a));
    EXPECT_EQ(std::filesystem::file_size(path), 44u + 2u * a.size());
    std::vector<std::int16_t> decoded;
    std::string error;
    ASSERT_TRUE(kinetra::capture::DecodeSoundFile(path, &decoded, &error)) << error;
    EXPECT_EQ(decoded, a);
    EXPECT_FALSE(kinetra::bench::WriteWav(dir + "/no/such/folder/x.wav", a));
    std::filesystem::remove_all(dir);
}

TEST(E2ePulseServer, StartsOnItsOwnSocketAndStopsCompletely) {
    ASSERT_EQ(std::system("command -v pulseaudio >/dev/null 2>&1"), 0)
        << "pulseaudio is not installed (tools/install-deps.sh test)";
    std::string dir;
    {
        kinetra::bench::PulseServer server;
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        dir = server.Directory();
        const char* address = std::getenv("PULSE_SERVER");
        ASSERT_NE(address, nullptr);
        EXPECT_EQ(std::string(address), "unix:" + dir + "/native");
        EXPECT_STREQ(std::getenv("PULSE_SOURCE"), "kinetra_bench.monitor");
        // The server answers and has the null sink.
        EXPECT_EQ(std::system("pactl list short sinks 2>/dev/null | grep -q kinetra_bench"), 0);
        server.Stop();
        EXPECT_FALSE(std::filesystem::exists(dir));
        EXPECT_NE(std::system("pactl info >/dev/null 2>&1"), 0);
        server.Stop();  // a second stop does nothing
    }
    unsetenv("PULSE_SERVER");
    unsetenv("PULSE_SINK");
    unsetenv("PULSE_SOURCE");
}

TEST(E2ePulseServer, AProgramThatIsMissingIsAClearFailure) {
    // A child that cannot be started ends at once with status 127 and is reaped.
    const pid_t pid = kinetra::bench::SpawnChild({"/nonexistent/kinetra-no-such-program"}, {}, "");
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(kinetra::bench::WaitForChild(pid, 5000));
    EXPECT_NE(kill(pid, 0), 0);
}

}  // namespace
