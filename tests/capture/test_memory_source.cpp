// The in-memory source through the real engine: every block pushed reaches the listeners, in
// order, once, whether the capture thread or the caller pumps.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_engine.h"
#include "capture/memory_source.h"
#include "capture/spectrum_listener.h"
#include "engine_fixture.h"
#include "support/debug_capture.h"
#include "support/stderr_capture.h"

namespace cap = kinetra::capture;

namespace {

constexpr std::uint32_t kFrames = 1024;
constexpr std::int32_t kWaitMs = 10000;  // a way out should the engine never take a block

// Keeps bin 0 of every spectrum: for a block of constant value v it is v * v.
class DcListener final : public CSpectrumListener {
public:
    static constexpr int kMax = 256;
    int OnSpectrum(const double* spectrum, const double*, std::uint32_t) override {
        const int n = m_count.load(std::memory_order_relaxed);
        if (n < kMax) dc[n] = spectrum[0];
        m_count.store(n + 1, std::memory_order_release);
        return 1;
    }
    int Enable(int flag) override { return flag; }
    int Count() const { return m_count.load(std::memory_order_acquire); }

    std::array<double, kMax> dc{};

private:
    std::atomic<int> m_count{0};
};

std::vector<std::int16_t> Block(std::int16_t value, std::uint32_t frames = kFrames) {
    return std::vector<std::int16_t>(frames, value);
}

// Value of block i: distinct, so that order and loss show.
std::int16_t ValueOf(int i) {
    return static_cast<std::int16_t>(100 + 37 * i);
}

class MemorySourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        CCaptureEngine::SetLagBlocksForTesting(0);
        std::string error;
        source = cap::MemorySource::Create("engine-test", &error);
        ASSERT_NE(source, nullptr) << error;
        engine = std::make_unique<CCaptureEngine>();
        engine->SetAudioInput(source->Choice());
        engine->Init(&reporter);
        ASSERT_TRUE(reporter.texts.empty());
        engine->AddListener(&listener);
        ASSERT_EQ(engine->OpenCaptureBuffer(13), cap::kOk);
    }
    void TearDown() override {
        engine->Shutdown();
        engine->RemoveListener(&listener);
        engine.reset();
        CCaptureEngine::SetLagBlocksForTesting(0);
    }

    std::unique_ptr<cap::MemorySource> source;
    std::unique_ptr<CCaptureEngine> engine;
    kinetra::test::RecordingReporter reporter;
    DcListener listener;
};

}  // namespace

TEST_F(MemorySourceTest, TheCaptureThreadGetsEveryBlockInOrder) {
    // Three times round the ring of 16 blocks, pushed as fast as the engine takes them.
    constexpr int kBlocks = 48;
    ASSERT_TRUE(source->IsCapturing());
    ASSERT_TRUE(engine->StartThread());
    for (int i = 0; i < kBlocks; ++i) {
        const auto block = Block(ValueOf(i));
        ASSERT_EQ(source->Push(block.data(), kFrames, kWaitMs), cap::kOk) << "block " << i;
    }
    ASSERT_TRUE(source->WaitUntilTaken(kWaitMs));
    ASSERT_TRUE(engine->StopThread());
    ASSERT_EQ(listener.Count(), kBlocks);
    for (int i = 0; i < kBlocks; ++i) {
        const double v = ValueOf(i);
        EXPECT_DOUBLE_EQ(listener.dc[i], v * v) << "block " << i;
    }
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 0);
}

TEST_F(MemorySourceTest, UnevenPushesRoundTheRingReachTheCaptureThreadAsWholeBlocksInOrder) {
    // Forty blocks (two and a half laps of the ring) pushed in pieces of 1000 frames: blocks
    // end inside pieces and pieces straddle the ring's end. A piece completes at most one block,
    // and Push waits until that block is taken, so the capture thread drops none.
    constexpr int kBlocks = 40;
    constexpr std::uint32_t kPiece = 1000;
    std::vector<std::int16_t> stream;
    for (int i = 0; i < kBlocks; ++i) {
        const auto block = Block(ValueOf(i));
        stream.insert(stream.end(), block.begin(), block.end());
    }
    ASSERT_TRUE(engine->StartThread());
    for (std::size_t at = 0; at < stream.size(); at += kPiece) {
        const auto count =
            static_cast<std::uint32_t>(std::min<std::size_t>(kPiece, stream.size() - at));
        ASSERT_EQ(source->Push(stream.data() + at, count, kWaitMs), cap::kOk) << "frame " << at;
    }
    ASSERT_TRUE(source->WaitUntilTaken(kWaitMs));
    ASSERT_TRUE(engine->StopThread());
    ASSERT_EQ(listener.Count(), kBlocks);
    for (int i = 0; i < kBlocks; ++i) {
        const double v = ValueOf(i);
        EXPECT_DOUBLE_EQ(listener.dc[i], v * v) << "block " << i;
    }
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 0);
}

TEST_F(MemorySourceTest, PartsOfBlocksAddUpAndTheCallerMayPump) {
    // Quarter blocks: a block is whole, and pumped, after every fourth push.
    for (int i = 0; i < 20; ++i) {
        for (int part = 0; part < 4; ++part) {
            const auto quarter = Block(ValueOf(i), kFrames / 4);
            ASSERT_EQ(source->Push(quarter.data(), kFrames / 4, 0), cap::kOk);
            engine->PumpBlock();
            EXPECT_EQ(listener.Count(), part == 3 ? i + 1 : i);
        }
    }
    for (int i = 0; i < 20; ++i) {
        const double v = ValueOf(i);
        EXPECT_DOUBLE_EQ(listener.dc[i], v * v) << "block " << i;
    }
}

TEST_F(MemorySourceTest, PushWaitsForTheReaderInsteadOfOverwriting) {
    const auto first = Block(ValueOf(0));
    const auto second = Block(ValueOf(1));
    ASSERT_EQ(source->Push(first.data(), kFrames, 0), cap::kOk);
    // The first block is not taken yet: the second is refused when the wait runs out.
    EXPECT_FALSE(source->WaitUntilTaken(0));
    EXPECT_EQ(source->Push(second.data(), kFrames, 20), cap::kFail);
    engine->PumpBlock();
    EXPECT_TRUE(source->WaitUntilTaken(0));
    ASSERT_EQ(source->Push(second.data(), kFrames, 0), cap::kOk);
    engine->PumpBlock();
    ASSERT_EQ(listener.Count(), 2);
    EXPECT_DOUBLE_EQ(listener.dc[0], double(ValueOf(0)) * ValueOf(0));
    EXPECT_DOUBLE_EQ(listener.dc[1], double(ValueOf(1)) * ValueOf(1));
}

TEST_F(MemorySourceTest, BadPushesAreRefusedAndChangeNothing) {
    const auto tooLong = Block(1, 16 * kFrames + 1);
    EXPECT_EQ(source->Push(tooLong.data(), 16 * kFrames + 1, 0), cap::kInvalidArg);
    EXPECT_EQ(source->Push(nullptr, kFrames, 0), cap::kInvalidArg);
    const auto block = Block(5);
    EXPECT_EQ(source->Push(block.data(), 0, 0), cap::kInvalidArg);
    engine->PumpBlock();
    EXPECT_EQ(listener.Count(), 0);
    // After the ring stops nothing more goes in.
    engine->Shutdown();
    EXPECT_FALSE(source->IsCapturing());
    EXPECT_EQ(source->Push(block.data(), kFrames, 0), cap::kFail);
    EXPECT_TRUE(source->WaitUntilTaken(0));
}

TEST(MemorySource, NamesAreUniqueWhileTheSourceLives) {
    std::string error;
    EXPECT_EQ(cap::MemorySource::Create("", &error), nullptr);
    EXPECT_FALSE(error.empty());
    auto first = cap::MemorySource::Create("shared name", &error);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Choice().kind, cap::AudioInputKind::kMemory);
    EXPECT_EQ(first->Choice().value, "shared name");
    error.clear();
    EXPECT_EQ(cap::MemorySource::Create("shared name", &error), nullptr);
    EXPECT_NE(error.find("shared name"), std::string::npos) << error;
    first.reset();
    EXPECT_NE(cap::MemorySource::Create("shared name", &error), nullptr);
}

TEST(MemorySource, AnUnknownNameFailsInitWithAReason) {
    kinetra::test::DebugCapture debug;
    kinetra::test::RecordingReporter reporter;
    CCaptureEngine engine;
    cap::AudioInputChoice choice;
    choice.kind = cap::AudioInputKind::kMemory;
    choice.value = "nobody";
    engine.SetAudioInput(choice);
    {
        kinetra::test::StderrCapture quiet;
        engine.Init(&reporter);
    }
    ASSERT_EQ(reporter.texts.size(), 1u);
    EXPECT_EQ(reporter.texts[0], "Could not initialize DirectSound.");
    EXPECT_EQ(debug.Count("Audio input: no memory source called \"nobody\"\n"), 1);
    engine.Shutdown();
}

TEST(MemorySource, OnlyAnalysableFormatsAreOffered) {
    std::string error;
    auto source = cap::MemorySource::Create("formats", &error);
    ASSERT_NE(source, nullptr);
    CCaptureEngine engine;
    engine.SetAudioInput(source->Choice());
    engine.Init(nullptr);
    for (int index = 0; index < 16; ++index) {
        cap::WaveFormat format{};
        format.wFormatTag = cap::kWaveFormatPcm;
        EXPECT_EQ(engine.ProbeFormat(index, &format), index == 13) << index;
    }
    engine.Shutdown();
}
