// kinetra-trace: its table against the analysis classes run by hand on a known sound, the slider
// moves it imitates, and clear refusals of bad files and options.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/band_mapper.h"
#include "analysis/spectrum_frame.h"
#include "tools/trace/trace.h"

namespace {

// A 16-bit mono PCM WAV file, written by hand.
void WriteWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate = 44100) {
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    const std::uint32_t bytes = static_cast<std::uint32_t>(samples.size() * 2);
    f.write("RIFF", 4);
    u32(36 + bytes);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(static_cast<std::uint32_t>(rate));
    u32(static_cast<std::uint32_t>(rate * 2));
    u16(2);
    u16(16);
    f.write("data", 4);
    u32(bytes);
    f.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kinetra-trace-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
    }
    void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    // 60 silent blocks, then a 100 Hz tone of amplitude 10000 for 20 blocks from a block
    // boundary, then 20 silent blocks, and half a block that makes no block of its own.
    std::string KnownSound() {
        std::vector<std::int16_t> s(100 * 1024 + 512, 0);
        const double twoPi = 8.0 * std::atan(1.0);
        for (int j = 60 * 1024; j < 80 * 1024; ++j) {
            s[j] = static_cast<std::int16_t>(
                std::lround(10000.0 * std::sin(twoPi * 100.0 * j / 44100.0)));
        }
        const std::string path = m_dir + "/known.wav";
        WriteWav(path, s);
        m_samples = s;
        return path;
    }

    // Runs the program; returns its exit code and fills out/err.
    int Run(const std::string& args, std::string* err = nullptr) {
        const std::string errPath = m_dir + "/stderr.txt";
        const std::string cmd = "cd '" + m_dir + "' && '" KINETRA_TRACE_PROGRAM "' " + args +
                                " > '" + m_dir + "/stdout.txt' 2> '" + errPath + "'";
        const int status = std::system(cmd.c_str());
        if (err != nullptr) {
            std::ifstream f(errPath);
            std::stringstream text;
            text << f.rdbuf();
            *err = text.str();
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string m_dir;
    std::vector<std::int16_t> m_samples;
};

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
    std::ifstream f(path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(f, line)) {
        std::vector<std::string> cells;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, ',')) cells.push_back(cell);
        if (!line.empty() && line.back() == ',') cells.push_back("");
        rows.push_back(cells);
    }
    return rows;
}

TEST_F(TraceTest, TableMatchesTheAnalysisRunByHand) {
    const std::string sound = KnownSound();
    ASSERT_EQ(Run("'" + sound + "' --csv out.csv --png out.png --disable 4"), 0);
    const auto rows = ReadCsv(m_dir + "/out.csv");
    ASSERT_EQ(rows.size(), 1u + 100u) << "a header and one row per whole block";
    ASSERT_EQ(rows[0].size(), 1u + 5u * 6u + 1u);
    EXPECT_EQ(rows[0].back(), "mode=classic");
    EXPECT_EQ(rows[1].back(), "classic");
    EXPECT_EQ(rows[0][0], "time_s");
    EXPECT_EQ(rows[0][1], "band1_highest");

    // The same blocks through the frame, the running average and five mappers, by hand.
    const std::uint32_t low[5] = {0, 220, 484, 2030, 10040};
    const std::uint32_t high[5] = {177, 440, 2000, 10000, 23000};
    const std::uint32_t hz[5] = {40, 75, 90, 115, 250};  // the virtual mouse's row of the table
    CSpectrumFrame frame;
    std::vector<double> average(SPECTRUM_BINS, 0.0);
    std::vector<std::unique_ptr<CBandMapper>> mappers;
    for (int b = 0; b < 5; ++b) {
        mappers.push_back(std::make_unique<CBandMapper>(SPECTRUM_BINS));
        mappers[b]->SetBand(low[b], high[b]);
        mappers[b]->SetThreshold(20);
        mappers[b]->SetFullReport(true);
    }
    for (int block = 0; block < 100; ++block) {
        const double* s = frame.Transform(&m_samples[block * 1024], 1024);
        for (std::uint32_t k = 0; k < SPECTRUM_BINS; ++k) average[k] += (s[k] - average[k]) * 0.02;
        const auto& row = rows[block + 1];
        EXPECT_NEAR(std::stod(row[0]), (block + 1) * 1024 / 44100.0, 1e-6);
        for (int b = 0; b < 5; ++b) {
            const std::size_t c = 1 + 6 * b;
            if (b == 3) {
                for (int i = 0; i < 6; ++i) EXPECT_EQ(row[c + i], "") << "disabled band";
                continue;
            }
            mappers[b]->OnSpectrum(s, average.data(), SPECTRUM_BINS * 8);
            const auto& r = mappers[b]->LastReport();
            ASSERT_EQ(std::stod(row[c]), r.highestLevel) << block << " band " << b + 1;
            ASSERT_EQ(std::stod(row[c + 1]), r.avgLevel);
            ASSERT_EQ(std::stod(row[c + 2]), r.peakLevel);
            ASSERT_EQ(std::stoul(row[c + 3]), mappers[b]->Scale());
            ASSERT_EQ(std::stoul(row[c + 4]), r.mag);
            ASSERT_EQ(std::stoul(row[c + 5]), 1000 / hz[b]);
        }
    }
    // And by hand: silence sends nothing; the tone's first block rises fifty-fold over an average
    // of 0.02 times itself, so band 1 sends full strength.
    for (int block = 0; block < 60; ++block) EXPECT_EQ(rows[block + 1][5], "0");
    EXPECT_EQ(rows[61][5], "10000");
    EXPECT_NEAR(std::stod(rows[61][3]), 50.0, 1e-9);
    std::ifstream png(m_dir + "/out.png", std::ios::binary);
    char magic[8] = {};
    png.read(magic, 8);
    EXPECT_EQ(std::string(magic + 1, 3), "PNG");
}

// A rumble device: two more columns before the mode, each motor the largest level of its bands (by
// hand: 65535 * magnitude / 10000 at full strength, nearest; 40, 75, 90 Hz below 100 Hz drive the
// low motor, 115 and 250 Hz the high one).
TEST_F(TraceTest, RumbleDeviceAddsTheTwoMotors) {
    const std::string sound = KnownSound();
    ASSERT_EQ(
        Run("'" + sound + "' --csv r.csv --png r.png --force-device 'virtual:Pad,kind=rumble'"), 0);
    const auto rows = ReadCsv(m_dir + "/r.csv");
    ASSERT_EQ(rows.size(), 1u + 100u);
    ASSERT_EQ(rows[0].size(), 1u + 5u * 6u + 2u + 1u);  // and the mode, last
    EXPECT_EQ(rows[0][31], "low_motor");
    EXPECT_EQ(rows[0][32], "high_motor");
    int moving = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        long low = 0, high = 0;
        for (int b = 0; b < 5; ++b) {
            const long level = std::lround(65535.0 * std::stod(rows[i][5 + 6 * b]) / 10000.0);
            long& motor = b < 3 ? low : high;
            motor = std::max(motor, level);
        }
        ASSERT_EQ(std::stol(rows[i][31]), low) << "block " << i;
        ASSERT_EQ(std::stol(rows[i][32]), high) << "block " << i;
        moving += low + high > 0 ? 1 : 0;
    }
    EXPECT_GT(moving, 0);
}

TEST_F(TraceTest, SummaryAndTimeRange) {
    const std::string sound = KnownSound();
    ASSERT_EQ(Run("'" + sound + "' --start 1.393 --end 2.0 --png p.png --csv c.csv"), 0);
    // 1.393 s is sample 61431 (block 59.99...); 2.0 s is sample 88200: 26 whole blocks.
    EXPECT_EQ(ReadCsv(m_dir + "/c.csv").size(), 27u);
    std::ifstream out(m_dir + "/stdout.txt");
    std::stringstream text;
    text << out.rdbuf();
    EXPECT_NE(text.str().find("26 blocks"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("0-177"), std::string::npos);
}

TEST_F(TraceTest, HitsModeIsNamedInTheTable) {
    const std::string sound = KnownSound();
    ASSERT_EQ(Run("'" + sound + "' --mode hits --end 1.0 --png h.png --csv h.csv"), 0);
    const auto rows = ReadCsv(m_dir + "/h.csv");
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0].back(), "mode=hits");
    EXPECT_EQ(rows[1].back(), "hits");
}

TEST_F(TraceTest, BadFilesAreRefusedClearly) {
    std::string err;
    EXPECT_EQ(Run("'" + m_dir + "/missing.wav'", &err), 1);
    EXPECT_NE(err.find("cannot trace"), std::string::npos) << err;
    EXPECT_NE(err.find("missing.wav"), std::string::npos) << err;

    std::ofstream(m_dir + "/text.wav") << "this is not a sound\n";
    EXPECT_EQ(Run("'" + m_dir + "/text.wav'", &err), 1);
    EXPECT_NE(err.find("text.wav"), std::string::npos) << err;

    WriteWav(m_dir + "/short.wav", std::vector<std::int16_t>(1000, 0));
    EXPECT_EQ(Run("'" + m_dir + "/short.wav'", &err), 1);
    EXPECT_NE(err.find("less than one block"), std::string::npos) << err;

    const std::string sound = KnownSound();
    EXPECT_EQ(Run("'" + sound + "' --csv /nonexistent-dir/x.csv", &err), 1);
    EXPECT_NE(err.find("/nonexistent-dir/x.csv"), std::string::npos) << err;
}

TEST_F(TraceTest, BadOptionsAreRefusedClearly) {
    const std::string sound = "'" + KnownSound() + "'";
    const struct {
        std::string args, says;
    } cases[] = {
        {"", "usage"},
        {sound + " --level1 abc", "--level1 needs a position"},
        {sound + " --level1 101", "--level1 needs a position"},
        {sound + " --level3 10", "needs --free"},
        {sound + " --levels 1,2,3", "five positions"},
        {sound + " --strength -1", "--strength"},
        {sound + " --disable 7", "--disable"},
        {sound + " --start 2 --end 1", "--end must come after --start"},
        {sound + " --bogus", "unknown option --bogus"},
        {sound + " --mode loud", "--mode takes classic or hits"},
        {sound + " --force-device virtual,kind=pad", "--force-device needs a device"},
        {sound + " " + sound, "only one sound file"},
        {"--input monitor", "--input and --seconds go together"},
        {sound + " --input monitor --seconds 1", "a sound file or --input, not both"},
        {"--input monitor --seconds 1 --end 2", "--start and --end are for sound files"},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(Run(c.args, &err), 2) << c.args;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.args << ": " << err;
    }
}

TEST_F(TraceTest, SavedSettingsAtTheEdgesOf32BitsAreRead) {
    const std::string sound = "'" + KnownSound() + "'";
    const std::string folder = m_dir + "/config/Ondrel Corporation";
    ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
    // 100 - gain does not fit in 32 bits for a gain of -2147483548 or lower: the Strength
    // position is formed as the window forms it (the sanitizer build fails on an overflow).
    for (const char* gain : {"-2147483548", "-2147483648", "2147483647"}) {
        std::ofstream(folder + "/Kinetra Entertainment.conf") << "[General]\ngain=" << gain << "\n";
        setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
        const int status = Run(sound + " --settings --csv s.csv --png s.png --quiet");
        unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(status, 0) << gain;
        EXPECT_EQ(ReadCsv(m_dir + "/s.csv").size(), 101u) << gain;
    }
}

TEST(TraceSliders, LockedSlidersFollowSliderOne) {
    kinetra::trace::Settings s;
    s.level[2] = 4;
    EXPECT_EQ(kinetra::trace::MoveLevelSlider(&s, 1, 10), "");  // down 10: follower at 4 stops at 0
    EXPECT_EQ(s.level[0], 10);
    EXPECT_EQ(s.level[1], 10);
    EXPECT_EQ(s.level[2], 0);
    EXPECT_EQ(kinetra::trace::MoveLevelSlider(&s, 1, 20), "");  // up 10: that follower goes to 10
    EXPECT_EQ(s.level[2], 10);
    EXPECT_NE(kinetra::trace::MoveLevelSlider(&s, 3, 50), "");
    s.locked = false;
    EXPECT_EQ(kinetra::trace::MoveLevelSlider(&s, 3, 50), "");
    EXPECT_EQ(kinetra::trace::MoveLevelSlider(&s, 1, 30), "");
    EXPECT_EQ(s.level[2], 50);
    EXPECT_EQ(s.level[1], 20);
}

}  // namespace
