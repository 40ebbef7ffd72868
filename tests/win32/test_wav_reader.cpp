// The WAV reader of the Windows build against hand-made files: each sample format, channel
// averaging and resampling give the values worked out by hand, and the refusals say what the
// Linux decoder says.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "capture/sound_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A RIFF WAVE file: tag, channels, rate, bits, then the sample data as given.
Bytes Wav(int tag, int channels, int rate, int bits, const Bytes& data) {
    Bytes out = {'R', 'I', 'F', 'F'};
    Put(&out, static_cast<std::uint32_t>(36 + data.size()), 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put(&out, 16, 4);
    Put(&out, tag, 2);
    Put(&out, channels, 2);
    Put(&out, rate, 4);
    Put(&out, rate * channels * bits / 8, 4);
    Put(&out, channels * bits / 8, 2);
    Put(&out, bits, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Put(&out, static_cast<std::uint32_t>(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes Samples(std::initializer_list<std::uint32_t> values, int bytes) {
    Bytes out;
    for (std::uint32_t v : values) Put(&out, v, bytes);
    return out;
}

std::uint32_t FloatBits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

TEST(WavReader, EachFormatDecodesToTheHandWorkedSamples) {
    struct Case {
        const char* what;
        Bytes file;
        std::vector<std::int16_t> expected;
    };
    const Case cases[] = {
        {"16-bit", Wav(1, 1, 44100, 16, Samples({0x7FFF, 0x8000, 1234}, 2)), {32767, -32768, 1234}},
        {"24-bit keeps the top 16 bits",
         Wav(1, 1, 44100, 24, Samples({0x123456, 0xFFFF00}, 3)),
         {0x1234, -1}},
        {"8-bit unsigned", Wav(1, 1, 44100, 8, Bytes{192, 64, 128}), {16384, -16384, 0}},
        {"32-bit float",
         Wav(3, 1, 44100, 32, Samples({FloatBits(0.5f), FloatBits(-2.0f)}, 4)),
         {16384, -32768}},
        {"stereo averaged",
         Wav(1, 2, 44100, 16, Samples({1000, 3000, 0xFFFF, 0xFFFD}, 2)),
         {2000, -2}},
        {"22050 Hz interpolated",
         Wav(1, 1, 22050, 16, Samples({0, 1000, 3000}, 2)),
         {0, 500, 1000, 2000, 3000}},
    };
    for (const Case& c : cases) {
        std::vector<std::int16_t> samples;
        std::string error;
        ASSERT_TRUE(kinetra::capture::DecodeSoundBytes(c.file.data(), c.file.size(), "x.wav", {},
                                                       &samples, &error))
            << c.what << ": " << error;
        EXPECT_EQ(samples, c.expected) << c.what;
    }
}

TEST(WavReader, RefusalsSayWhatIsWrong) {
    kinetra::capture::SoundLimit twoFrames;
    twoFrames.maxFrames = 2;
    struct Case {
        Bytes file;
        kinetra::capture::SoundLimit limit;
        std::string error;
    };
    const Case cases[] = {
        {Bytes{}, {}, "sound file x.wav holds no sound"},
        {Wav(1, 1, 44100, 16, {}), {}, "sound file x.wav holds no sound"},
        {Wav(1, 1, 100, 16, Samples({1}, 2)),
         {},
         "sound file x.wav has a sample rate that cannot be used (100 Hz)"},
        {Bytes{'O', 'g', 'g', 'S', 0, 0, 0, 0, 0, 0, 0, 0},
         {},
         "cannot read sound file x.wav: Format not recognised."},
        {Wav(1, 1, 44100, 16, Samples({1, 2, 3}, 2)), twoFrames,
         "sound file x.wav is longer than 20 minutes"},
    };
    for (const Case& c : cases) {
        std::vector<std::int16_t> samples = {7};
        std::string error;
        EXPECT_FALSE(kinetra::capture::DecodeSoundBytes(c.file.data(), c.file.size(), "x.wav",
                                                        c.limit, &samples, &error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(samples, std::vector<std::int16_t>{7});
    }
    // Cut instead of refused: the first frames are kept.
    twoFrames.cut = true;
    const Bytes file = Wav(1, 1, 44100, 16, Samples({1, 2, 3}, 2));
    std::vector<std::int16_t> samples;
    std::string error;
    ASSERT_TRUE(kinetra::capture::DecodeSoundBytes(file.data(), file.size(), "x.wav", twoFrames,
                                                   &samples, &error));
    EXPECT_EQ(samples, (std::vector<std::int16_t>{1, 2}));
}

}  // namespace
