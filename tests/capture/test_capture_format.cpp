// Format indices, ring geometry, the pending-block distance and the input selection.
#include <gtest/gtest.h>

#include "capture/audio_input.h"
#include "capture/capture_format.h"

namespace cap = kinetra::capture;

namespace {

TEST(CaptureFormat, IndexArithmetic) {
    struct Expected {
        int index;
        std::uint32_t rate;
        std::uint16_t bits, channels, align;
        std::uint32_t avg;
    };
    // Worked out by hand from rate = table[index / 4], size and channels from index mod 4.
    const Expected cases[] = {
        {0, 8000, 8, 1, 1, 8000},     {1, 8000, 16, 1, 2, 16000},   {2, 8000, 8, 2, 2, 16000},
        {3, 8000, 16, 2, 4, 32000},   {5, 11025, 16, 1, 2, 22050},  {6, 11025, 8, 2, 2, 22050},
        {9, 22050, 16, 1, 2, 44100},  {11, 22050, 16, 2, 4, 88200}, {12, 44100, 8, 1, 1, 44100},
        {13, 44100, 16, 1, 2, 88200}, {14, 44100, 8, 2, 2, 88200},  {15, 44100, 16, 2, 4, 176400},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(e.index);
        cap::WaveFormat f{};
        f.wFormatTag = 77;  // the caller's fields stay as they are
        f.cbSize = 5;
        cap::FillFormatForIndex(e.index, &f);
        EXPECT_EQ(f.nSamplesPerSec, e.rate);
        EXPECT_EQ(f.wBitsPerSample, e.bits);
        EXPECT_EQ(f.nChannels, e.channels);
        EXPECT_EQ(f.nBlockAlign, e.align);
        EXPECT_EQ(f.nAvgBytesPerSec, e.avg);
        EXPECT_EQ(f.wFormatTag, 77);
        EXPECT_EQ(f.cbSize, 5);
    }
    EXPECT_TRUE(cap::IsValidFormatIndex(0));
    EXPECT_TRUE(cap::IsValidFormatIndex(15));
    EXPECT_FALSE(cap::IsValidFormatIndex(-1));
    EXPECT_FALSE(cap::IsValidFormatIndex(16));
}

TEST(CaptureFormat, OnlySixteenBitMonoIsAnalysable) {
    for (int index = 0; index < cap::kFormatCount; ++index) {
        cap::WaveFormat f{};
        f.wFormatTag = cap::kWaveFormatPcm;
        cap::FillFormatForIndex(index, &f);
        const bool expected = index == 1 || index == 5 || index == 9 || index == 13;
        EXPECT_EQ(cap::IsAnalysableFormat(f), expected) << index;
    }
    cap::WaveFormat notPcm{};
    cap::FillFormatForIndex(13, &notPcm);
    EXPECT_FALSE(cap::IsAnalysableFormat(notPcm));
}

TEST(CaptureFormat, RingGeometry) {
    // Index 13: 2 bytes a frame.
    EXPECT_EQ(cap::BlockBytesOf(2), 2048u);
    EXPECT_EQ(cap::RingBytesOf(2048), 32768u);
    EXPECT_EQ(cap::NotifyOffsetOf(2048, 0), 2047u);
    EXPECT_EQ(cap::NotifyOffsetOf(2048, 1), 4095u);
    EXPECT_EQ(cap::NotifyOffsetOf(2048, 15), 32767u);
    // Index 15: 4 bytes a frame; index 0: 1 byte.
    EXPECT_EQ(cap::BlockBytesOf(4), 4096u);
    EXPECT_EQ(cap::RingBytesOf(4096), 65536u);
    EXPECT_EQ(cap::NotifyOffsetOf(4096, 0), 4095u);
    EXPECT_EQ(cap::BlockBytesOf(1), 1024u);
    EXPECT_EQ(cap::RingBytesOf(1024), 16384u);
    EXPECT_EQ(cap::FramesOfBytes(2048, 2), 1024u);
    EXPECT_EQ(cap::FramesOfBytes(1024, 2), 512u);
    EXPECT_EQ(cap::FramesOfBytes(2048, 0), 0u);
    EXPECT_EQ(cap::FramesOfBytes(2049, 2), 1024u);  // a stray byte is no frame
    EXPECT_EQ(cap::FramesOfBytes(4099, 4), 1024u);
    EXPECT_EQ(cap::FramesOfBytes(3, 4), 0u);
}

TEST(CaptureFormat, PendingWholeBlocks) {
    constexpr std::uint32_t kBlock = 2048, kRing = 32768;
    // Nothing, or less than a block ahead.
    EXPECT_EQ(cap::PendingWholeBlockBytes(4096, 4096, kRing, kBlock), 0u);
    EXPECT_EQ(cap::PendingWholeBlockBytes(4096 + 2047, 4096, kRing, kBlock), 0u);
    // Exactly one block, and one block and a part of the next.
    EXPECT_EQ(cap::PendingWholeBlockBytes(6144, 4096, kRing, kBlock), 2048u);
    EXPECT_EQ(cap::PendingWholeBlockBytes(6144 + 100, 4096, kRing, kBlock), 2048u);
    // Four blocks.
    EXPECT_EQ(cap::PendingWholeBlockBytes(8 * 2048, 4 * 2048, kRing, kBlock), 8192u);
    // The writer has wrapped: next at the last block, read at the end of the first block.
    EXPECT_EQ(cap::PendingWholeBlockBytes(2048, 30720, kRing, kBlock), 4096u);
    EXPECT_EQ(cap::PendingWholeBlockBytes(0, 30720, kRing, kBlock), 2048u);
    // Blocks that are not a power of two bytes long: 3000-byte blocks in a ring of 48000.
    EXPECT_EQ(cap::PendingWholeBlockBytes(8999, 0, 48000, 3000), 6000u);
    EXPECT_EQ(cap::PendingWholeBlockBytes(2000, 45000, 48000, 3000), 3000u);
    // A degenerate geometry yields nothing rather than a division by zero.
    EXPECT_EQ(cap::PendingWholeBlockBytes(100, 0, kRing, 0), 0u);
}

TEST(CaptureFormat, AdvanceInRingWrapsAsTheRemainderDoes) {
    constexpr std::uint32_t kRing = 16 * 2048;
    EXPECT_EQ(cap::AdvanceInRing(0, 2048, kRing), 2048u);
    EXPECT_EQ(cap::AdvanceInRing(30720, 2048, kRing), 0u);  // the last block back to the start
    EXPECT_EQ(cap::AdvanceInRing(30720, kRing, kRing), 30720u);
    EXPECT_EQ(cap::AdvanceInRing(100, 3 * kRing + 5, kRing), 105u);   // more than a ring
    EXPECT_EQ(cap::AdvanceInRing(5 * kRing + 1, 0, kRing), 1u);       // an offset past the ring
    EXPECT_EQ(cap::AdvanceInRing(0xFFFFFFF0u, 0x20u, 7), 0x10u % 7);  // 32-bit wrap, as written
    for (std::uint32_t ring : {1u, 3u, 2048u, kRing}) {
        for (std::uint32_t offset = 0; offset < 2 * ring + 3; offset += 1 + ring / 7) {
            for (std::uint32_t bytes = 0; bytes < 3 * ring + 3; bytes += 1 + ring / 5) {
                ASSERT_EQ(cap::AdvanceInRing(offset, bytes, ring), (offset + bytes) % ring)
                    << offset << " + " << bytes << " in " << ring;
            }
        }
    }
}

TEST(AudioInputSelection, ParsesEveryForm) {
    using K = cap::AudioInputKind;
    struct Case {
        const char* text;
        K kind;
        const char* value;
    };
    const Case cases[] = {
        {"", K::kDefault, ""},
        {"default", K::kDefault, ""},
        {"monitor", K::kMonitor, ""},
        {"file:/tmp/a b.wav", K::kFile, "/tmp/a b.wav"},
        {"file:relative", K::kFile, "relative"},
        {"/music/x.flac", K::kFile, "/music/x.flac"},
        {"song.OGG", K::kFile, "song.OGG"},
        {"take.wav", K::kFile, "take.wav"},
        {"sdl:Monitor of Null Output", K::kNamed, "Monitor of Null Output"},
        {"sdl:", K::kDefault, ""},
        {"Built-in Audio Analog Stereo", K::kNamed, "Built-in Audio Analog Stereo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const cap::AudioInput input = cap::ParseAudioInput(c.text);
        EXPECT_EQ(input.kind, c.kind);
        EXPECT_EQ(input.value, c.value);
    }
}

}  // namespace
