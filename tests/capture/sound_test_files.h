// Sound files for the decoder and file-input tests: a temporary folder, libsndfile writing and a
// sine. Header-only; each test program includes it once.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

namespace kinetra::test {

// A folder under /tmp with the files handed out by File, removed with them.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/kinetra-sound-test-XXXXXX";
        m_path = mkdtemp(pattern);
    }
    ~TempDir() {
        for (const std::string& f : m_files) unlink(f.c_str());
        rmdir(m_path.c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) {
        m_files.push_back(m_path + "/" + name);
        return m_files.back();
    }

private:
    std::string m_path;
    std::vector<std::string> m_files;
};

// Writes interleaved 16-bit frames with libsndfile.
inline void WriteSound(const std::string& path, int format, int rate, int channels,
                       const std::vector<short>& interleaved) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_short(file, interleaved.data(),
                    static_cast<sf_count_t>(interleaved.size() / channels));
    sf_close(file);
}

// frames of a sine at hz, rounded to 16 bits, the same in every channel (interleaved).
inline std::vector<short> Sine(int rate, double hz, double amplitude, int frames,
                               int channels = 1) {
    std::vector<short> out;
    for (int i = 0; i < frames; ++i) {
        const short v =
            static_cast<short>(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
        for (int c = 0; c < channels; ++c) out.push_back(v);
    }
    return out;
}

}  // namespace kinetra::test
