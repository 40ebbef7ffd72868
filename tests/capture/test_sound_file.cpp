// Sound files that lie or never end: headers claiming lengths, channels and rates they do not
// hold, files of unknown length, FIFOs with and without a writer, a file cut after its headers,
// and the 20-minute limit counted in decoded sound.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "capture/sound_file.h"
#include "sound_test_files.h"

namespace cap = kinetra::capture;

namespace {

using kinetra::test::Sine;
using kinetra::test::TempDir;
using kinetra::test::WriteSound;

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// frames of a 1 kHz sine at amplitude 8000 in every channel, written by libsndfile.
Bytes MakeSound(const std::string& path, int format, int rate, int channels, int frames) {
    WriteSound(path, format, rate, channels, Sine(rate, 1000.0, 8000, frames, channels));
    return ReadAll(path);
}

// A FLAC file's STREAMINFO holds the total sample count in 36 bits from bit 4 of byte 21
// ("fLaC", a 4-byte block header, then 10 bytes of block and frame sizes, 20 bits of rate,
// 3 of channels, 5 of sample size).
void SetFlacTotalSamples(Bytes* flac, std::uint64_t total) {
    ASSERT_GE(flac->size(), 42u);
    ASSERT_EQ(std::string(flac->begin(), flac->begin() + 4), "fLaC");
    (*flac)[21] = static_cast<std::uint8_t>(((*flac)[21] & 0xF0) | ((total >> 32) & 0x0F));
    for (int i = 0; i < 4; ++i) {
        (*flac)[22 + i] = static_cast<std::uint8_t>(total >> (8 * (3 - i)));
    }
}

bool Decode(const std::string& path, std::vector<std::int16_t>* samples, std::string* error) {
    return cap::DecodeSoundFile(path, samples, error);
}

TEST(LyingSoundFiles, ClaimedLengthsAreNotBelievedAndTheDecodedSoundIsKept) {
    TempDir dir;
    struct Case {
        const char* name;
        int rate;
        int channels;
        int frames;
        std::uint64_t claimed;
    };
    // 2^36 - 1 frames is what 36 bits can claim (and a 14 GB allocation at 8 channels); 0 means
    // "unknown", as a FLAC written through a pipe says.
    const Case cases[] = {{"huge-mono.flac", 44100, 1, 44100, (std::uint64_t{1} << 36) - 1},
                          {"huge-8ch.flac", 384000, 8, 96000, 460800000},
                          {"unknown.flac", 44100, 2, 22050, 0},
                          {"unknown-48k.flac", 48000, 1, 48000, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        Bytes flac =
            MakeSound(path, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, c.rate, c.channels, c.frames);
        SetFlacTotalSamples(&flac, c.claimed);
        WriteAll(path, flac);
        std::vector<std::int16_t> samples;
        std::string error;
        ASSERT_TRUE(Decode(path, &samples, &error)) << error;
        // What was written, at 44100 Hz.
        const double expected = static_cast<double>(c.frames) * 44100.0 / c.rate;
        EXPECT_NEAR(static_cast<double>(samples.size()), expected, 64.0);
    }
}

TEST(LyingSoundFiles, ARateThatCannotBeResampledIsRefusedBeforeDecoding) {
    TempDir dir;
    const std::string path = dir.File("fast.wav");
    Bytes wav = MakeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 4410);
    // The canonical header's sample rate (bytes 24..27, little-endian): 2147483647 Hz.
    ASSERT_GE(wav.size(), 44u);
    wav[24] = 0xFF;
    wav[25] = 0xFF;
    wav[26] = 0xFF;
    wav[27] = 0x7F;
    WriteAll(path, wav);
    std::vector<std::int16_t> samples;
    std::string error;
    EXPECT_FALSE(Decode(path, &samples, &error));
    EXPECT_NE(error.find("sample rate that cannot be used (2147483647 Hz)"), std::string::npos)
        << error;
}

TEST(LyingSoundFiles, ACutFileSaysWhatIsWrongWithoutContradictingItself) {
    TempDir dir;
    const std::string path = dir.File("cut.flac");
    Bytes flac = MakeSound(path, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 1, 44100);
    // Everything after the metadata blocks goes: headers and no sound.
    std::size_t end = 4;
    for (bool last = false; !last && end + 4 <= flac.size();) {
        last = (flac[end] & 0x80) != 0;
        end += 4 + ((std::size_t{flac[end + 1]} << 16) | (std::size_t{flac[end + 2]} << 8) |
                    flac[end + 3]);
    }
    ASSERT_LT(end, flac.size());
    flac.resize(end);
    WriteAll(path, flac);
    std::vector<std::int16_t> samples{1, 2};
    std::string error;
    EXPECT_FALSE(Decode(path, &samples, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_EQ(error.find("No Error"), std::string::npos) << error;
    EXPECT_EQ(samples, (std::vector<std::int16_t>{1, 2}));  // untouched
}

TEST(LyingSoundFiles, TheLimitCountsDecodedSoundAtTheOutputRate) {
    TempDir dir;
    // 20 minutes and 2 seconds.
    const std::string longer = dir.File("longer.wav");
    {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(longer.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        std::vector<short> second(44100, 1000);
        for (int s = 0; s < 20 * 60 + 2; ++s) sf_writef_short(file, second.data(), 44100);
        sf_close(file);
    }
    std::vector<std::int16_t> samples;
    std::string error;
    EXPECT_FALSE(Decode(longer, &samples, &error));
    EXPECT_NE(error.find("longer than 20 minutes"), std::string::npos) << error;
    EXPECT_TRUE(samples.empty());

    // A limit of the caller's: refused past it, or cut there.
    const std::string second = dir.File("second.wav");
    MakeSound(second, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 2, 22050);
    cap::SoundLimit limit;
    limit.maxFrames = 30000;
    EXPECT_FALSE(cap::DecodeSoundFile(second, limit, &samples, &error));
    limit.cut = true;
    ASSERT_TRUE(cap::DecodeSoundFile(second, limit, &samples, &error)) << error;
    EXPECT_EQ(samples.size(), 30000u);
    limit.maxFrames = 50000;
    limit.cut = false;
    ASSERT_TRUE(cap::DecodeSoundFile(second, limit, &samples, &error)) << error;
    EXPECT_NEAR(static_cast<double>(samples.size()), 44100.0, 64.0);
}

TEST(SoundStreams, AFifoIsReadToItsEndAndOneWithoutAWriterGivesUp) {
    TempDir dir;
    const std::string fifo = dir.File("sound.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    // Nobody writes: a clear error after the wait, not a hang in open().
    std::vector<std::int16_t> samples;
    std::string error;
    EXPECT_FALSE(Decode(fifo, &samples, &error));
    EXPECT_NE(error.find(fifo), std::string::npos) << error;
    EXPECT_NE(error.find("nothing arrived within 5 s"), std::string::npos) << error;

    // A FLAC of unknown length arrives in small pieces, as from an encoder.
    Bytes flac =
        MakeSound(dir.File("piped.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 1, 3 * 44100);
    SetFlacTotalSamples(&flac, 0);
    std::thread writer([&] {
        const int fd = open(fifo.c_str(), O_WRONLY);
        if (fd < 0) return;
        for (std::size_t at = 0; at < flac.size();) {
            const std::size_t n = std::min<std::size_t>(1000, flac.size() - at);
            const ssize_t put = write(fd, flac.data() + at, n);
            if (put <= 0) break;
            at += static_cast<std::size_t>(put);
        }
        close(fd);
    });
    const bool decoded = Decode(fifo, &samples, &error);
    writer.join();
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(samples.size(), 3u * 44100u);
}

TEST(SoundStreams, BytesInMemoryDecodeAsTheFileDoes) {
    TempDir dir;
    const std::string path = dir.File("a.ogg");
    const Bytes ogg = MakeSound(path, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 2, 22050);
    std::vector<std::int16_t> fromFile, fromBytes;
    std::string error;
    ASSERT_TRUE(Decode(path, &fromFile, &error)) << error;
    ASSERT_TRUE(cap::DecodeSoundBytes(ogg.data(), ogg.size(), "a.ogg", cap::SoundLimit{},
                                      &fromBytes, &error))
        << error;
    EXPECT_EQ(fromFile, fromBytes);
    EXPECT_FALSE(
        cap::DecodeSoundBytes(ogg.data(), 0, "empty", cap::SoundLimit{}, &fromBytes, &error));
    EXPECT_NE(error.find("holds no sound"), std::string::npos) << error;
}

}  // namespace
