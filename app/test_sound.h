// The Test button's sound: plays a sound file through the default audio output without waiting
// for it, restarting it when asked again while it still plays. When the file cannot be played a
// short built-in sound plays instead.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "platform/block_format.h"

namespace kinetra::app {

// Format of what is queued for playing: 44100 Hz, 16-bit signed native-endian, mono.
inline constexpr int kPlaybackRate = kinetra::kSampleRate;
// Longest sound played; longer files are cut (memory stays bounded whatever the file says).
inline constexpr int kMaxPlaybackSeconds = 30;
// Largest sound file looked at.
inline constexpr std::int64_t kMaxSoundFileBytes = 64 * 1024 * 1024;

// A quarter of a second of hits in the low and middle bands, played when the file cannot be.
// Thread: any.
std::vector<std::int16_t> BuiltInSound();

// Reads a WAV file and converts it to the playback format, cutting it at kMaxPlaybackSeconds.
// False (samples untouched) when the file is missing, too large, not a WAV file SDL can read, or
// cannot be converted. Thread: user-interface thread.
bool LoadSoundFile(const QString& path, std::vector<std::int16_t>* samples);

class TestSoundPlayer {
public:
    // Takes nothing yet: the audio output is opened on the first Play.
    // Thread (all): user-interface thread.
    TestSoundPlayer();
    // Stops the sound and closes the audio output.
    ~TestSoundPlayer();
    TestSoundPlayer(const TestSoundPlayer&) = delete;
    TestSoundPlayer& operator=(const TestSoundPlayer&) = delete;

    // Drops whatever still plays and starts path from its beginning (or the built-in sound when
    // path cannot be played); returns at once. False when no audio output could be opened.
    bool Play(const QString& path);
    // Drops whatever still plays.
    void Stop();

    // Bytes still waiting to be played; 0 when nothing plays.
    std::uint32_t QueuedBytes() const;
    // Whether the last Play fell back to the built-in sound.
    bool LastWasBuiltIn() const { return m_bBuiltIn; }

private:
    bool OpenOutput();

    bool m_bAudioStarted = false;  // holds one count of SDL's audio subsystem
    std::uint32_t m_device = 0;    // SDL audio device id, 0 when not open
    bool m_bBuiltIn = false;
};

}  // namespace kinetra::app
