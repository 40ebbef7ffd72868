// Writes the seed inputs of fuzz_sound_file into a folder: small sounds in the formats the
// program reads, and FLAC files whose headers lie about their length. Deterministic.
//   c++ -std=c++20 make_sound_seeds.cpp -lsndfile -o make_sound_seeds
//   ./make_sound_seeds tests/fuzz/corpus/sound_file
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool Write(const std::string& path, int format, int rate, int channels, int frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<float> frame(static_cast<std::size_t>(channels));
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            frame[static_cast<std::size_t>(c)] =
                0.5f * static_cast<float>(std::sin(2 * M_PI * 440.0 * (c + 1) * i / rate));
        }
        sf_writef_float(file, frame.data(), 1);
    }
    sf_close(file);
    return true;
}

// The STREAMINFO total sample count (36 bits from bit 4 of byte 21) set to total.
bool LyingFlac(const std::string& from, const std::string& to, std::uint64_t total) {
    std::ifstream in(from, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 26) return false;
    bytes[21] = static_cast<char>((bytes[21] & 0xF0) | ((total >> 32) & 0x0F));
    for (int i = 0; i < 4; ++i) bytes[22 + i] = static_cast<char>(total >> (8 * (3 - i)));
    std::ofstream(to, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sound_seeds FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = Write(dir + "/mono16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 300) &&
              Write(dir + "/stereo-float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 22050, 2, 200) &&
              Write(dir + "/u8-8k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8000, 1, 100) &&
              Write(dir + "/24bit-96k.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 96000, 3, 100) &&
              Write(dir + "/a.au", SF_FORMAT_AU | SF_FORMAT_ULAW, 11025, 1, 100) &&
              Write(dir + "/stereo.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2, 600) &&
              Write(dir + "/mono.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 1, 2000);
    ok = ok && LyingFlac(dir + "/stereo.flac", dir + "/unknown-length.flac", 0) &&
         LyingFlac(dir + "/stereo.flac", dir + "/huge-length.flac", (std::uint64_t{1} << 36) - 1);
    return ok ? 0 : 1;
}
