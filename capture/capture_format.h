// Capture formats by index and the geometry of the capture ring, each conversion in one place.
// Every function here only computes: Thread: any; none allocates.
#pragma once

#include <cstdint>

#include "capture/capture_device.h"
#include "platform/block_format.h"

namespace kinetra::capture {

constexpr int kFormatCount = 16;        // valid format indices: 0 .. 15
constexpr int kFormat44100Mono16 = 13;  // the format the program opens
using kinetra::kBlockFrames;            // frames per block
constexpr std::uint32_t kRingBlocks = 16;

// True for 0 .. 15.
constexpr bool IsValidFormatIndex(int index) {
    return index >= 0 && index < kFormatCount;
}

// Sample rate of an index: index / 4 selects 8000, 11025, 22050 or 44100 Hz.
std::uint32_t SampleRateOfIndex(int index);
// Sample size of an index: index mod 4 of 0 and 2 is 8 bits, of 1 and 3 is 16 bits.
std::uint16_t BitsOfIndex(int index);
// Channel count of an index: index mod 4 of 0 and 1 is mono, of 2 and 3 stereo.
std::uint16_t ChannelsOfIndex(int index);

// Fills rate, size, channels, nBlockAlign and nAvgBytesPerSec for the index and leaves
// wFormatTag and cbSize as they are. The index must be valid. Thread: any.
void FillFormatForIndex(int index, WaveFormat* format);

// True when the analysis can read the format's blocks as they are: 16-bit mono PCM.
bool IsAnalysableFormat(const WaveFormat& format);

// Bytes of one block of 1024 frames.
constexpr std::uint32_t BlockBytesOf(std::uint16_t blockAlign) {
    return blockAlign * kBlockFrames;
}
// Bytes of the ring of 16 blocks.
constexpr std::uint32_t RingBytesOf(std::uint32_t blockBytes) {
    return blockBytes * kRingBlocks;
}
// Offset of notification i: the last byte of block i.
constexpr std::uint32_t NotifyOffsetOf(std::uint32_t blockBytes, std::uint32_t i) {
    return blockBytes * (i + 1) - 1;
}
// Frames in a byte count. The analysed format (two bytes a frame) takes a shift, not a division:
// the capture thread works it out for every block.
constexpr std::uint32_t FramesOfBytes(std::uint32_t bytes, std::uint16_t blockAlign) {
    if (blockAlign == 2) return bytes / 2;
    return blockAlign == 0 ? 0 : bytes / blockAlign;
}

// (offset + bytes) % ringBytes, in 32-bit arithmetic as written; without a division in the usual
// case of an offset inside the ring moved by at most the ring's length. ringBytes > 0.
// Thread: any.
constexpr std::uint32_t AdvanceInRing(std::uint32_t offset, std::uint32_t bytes,
                                      std::uint32_t ringBytes) {
    const std::uint32_t moved = offset + bytes;
    if (moved < ringBytes) return moved;
    if (offset < ringBytes && bytes <= ringBytes) return moved - ringBytes;
    return moved % ringBytes;
}

// Whole blocks' worth of bytes between the reader's next offset and the read position in a
// ring of ringBytes, the distance taken around the ring's end when the writer has wrapped.
// Inline: the pump works it out for every notification.
constexpr std::uint32_t PendingWholeBlockBytes(std::uint32_t readPosition, std::uint32_t nextOffset,
                                               std::uint32_t ringBytes, std::uint32_t blockBytes) {
    if (blockBytes == 0 || ringBytes == 0) return 0;
    std::int32_t distance = static_cast<std::int32_t>(readPosition - nextOffset);
    if (distance < 0) distance += static_cast<std::int32_t>(ringBytes);
    const auto pending = static_cast<std::uint32_t>(distance);
    // Blocks of a power of two bytes (every format's) need no division.
    if ((blockBytes & (blockBytes - 1)) == 0) return pending & ~(blockBytes - 1);
    return pending - pending % blockBytes;
}

}  // namespace kinetra::capture
