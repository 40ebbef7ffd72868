// The shape of the audio the whole program works on: one sample rate, one block length, one
// spectrum length. Every layer takes these from here.
#pragma once

#include <cstdint>

namespace kinetra {

// Frames per second of every capture and of every decoded sound file.
inline constexpr std::uint32_t kSampleRate = 44100;
// Frames in one capture block, the length the spectrum is computed over.
inline constexpr std::uint32_t kBlockFrames = 1024;
// Power bins of one block's spectrum: 0 .. kBlockFrames / 2.
inline constexpr std::uint32_t kSpectrumBins = kBlockFrames / 2 + 1;

static_assert(kSpectrumBins == 513);

}  // namespace kinetra
