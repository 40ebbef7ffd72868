// The ring every live backend captures into: which notifications a write raises (given in any
// order, across the ring's end, installed mid-ring), what the write reports back, and a producer
// racing the capture thread's pump round the ring many times.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "capture/backends/ring_capture_buffer.h"
#include "capture/capture_engine.h"
#include "capture/spectrum_listener.h"
#include "engine_fixture.h"
#include "platform/auto_reset_event.h"
#include "support/debug_capture.h"
#include "support/wait_for.h"

namespace cap = kinetra::capture;
using kinetra::AutoResetEvent;
using kinetra::test::PriorityRecorder;

namespace {

// A ring whose producer is the test.
class TestRing final : public cap::RingCaptureBuffer {
public:
    explicit TestRing(std::uint32_t bytes) : RingCaptureBuffer(bytes) {}
    cap::Result Start(bool) override {
        m_running.store(true);
        return cap::kOk;
    }
    cap::Result Stop() override {
        m_running.store(false);
        return cap::kOk;
    }
    using RingCaptureBuffer::Produce;
    using RingCaptureBuffer::RingStart;
};

std::vector<std::uint8_t> Bytes(std::uint32_t count, std::uint8_t first) {
    std::vector<std::uint8_t> bytes(count);
    for (std::uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

// True once, when the event was raised since the last look.
bool Raised(AutoResetEvent& event) {
    return event.Wait(0) == AutoResetEvent::WaitResult::kSignalled;
}

}  // namespace

TEST(RingCaptureBuffer, NotificationsGivenInAnyOrderAreRaisedOnceEachWhenWrittenPast) {
    TestRing ring(1000);
    AutoResetEvent first, second, third, last;
    // Out of order, and two at the same offset.
    const cap::PositionNotify positions[] = {
        {799, &last}, {99, &first}, {499, &third}, {499, &second}};
    ASSERT_EQ(ring.SetNotificationPositions(4, positions), cap::kOk);
    ASSERT_EQ(ring.Start(true), cap::kOk);

    auto data = Bytes(50, 0);
    EXPECT_EQ(ring.Produce(data.data(), 50), 0u);  // bytes 0 .. 49: none
    EXPECT_FALSE(first.IsSignalled());

    data = Bytes(100, 50);
    EXPECT_EQ(ring.Produce(data.data(), 100), 50u);  // 50 .. 149: 99 is the 50th byte
    EXPECT_TRUE(Raised(first));
    EXPECT_FALSE(second.IsSignalled() || third.IsSignalled() || last.IsSignalled());

    data = Bytes(400, 150);
    EXPECT_EQ(ring.Produce(data.data(), 400), 350u);  // 150 .. 549: both at 499
    EXPECT_TRUE(Raised(second));
    EXPECT_TRUE(Raised(third));
    EXPECT_FALSE(first.IsSignalled() || last.IsSignalled());

    // 550 .. 999 and on round the end to 49: only 799.
    data = Bytes(500, 30);
    EXPECT_EQ(ring.Produce(data.data(), 500), 250u);
    EXPECT_TRUE(Raised(last));
    EXPECT_FALSE(first.IsSignalled() || second.IsSignalled() || third.IsSignalled());
    std::uint32_t capture = 0, read = 0;
    ASSERT_EQ(ring.GetCurrentPosition(&capture, &read), cap::kOk);
    EXPECT_EQ(read, 50u);
    // The bytes lie where they were written, the end of the write at the ring's start.
    void* region1 = nullptr;
    void* region2 = nullptr;
    std::uint32_t bytes1 = 0, bytes2 = 0;
    ASSERT_EQ(ring.Lock(550, 500, &region1, &bytes1, &region2, &bytes2), cap::kOk);
    ASSERT_EQ(bytes1, 450u);
    ASSERT_EQ(bytes2, 50u);
    EXPECT_EQ(std::memcmp(region1, data.data(), 450), 0);
    EXPECT_EQ(std::memcmp(region2, data.data() + 450, 50), 0);
    ring.Unlock(region1, bytes1, region2, bytes2);

    // A whole lap from 50: every notification once; the last raised is 799, the 750th byte.
    data = Bytes(1000, 7);
    EXPECT_EQ(ring.Produce(data.data(), 1000), 750u);
    EXPECT_TRUE(Raised(first));
    EXPECT_TRUE(Raised(second));
    EXPECT_TRUE(Raised(third));
    EXPECT_TRUE(Raised(last));
}

TEST(RingCaptureBuffer, AWriteAcrossTheEndRaisesBothSidesAndCountsAcrossIt) {
    TestRing ring(1000);
    // On a cache line, whatever its length: blocks are read with 256-bit loads.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(ring.RingStart()) % 64, 0u);
    AutoResetEvent nearStart, nearEnd;
    const cap::PositionNotify positions[] = {{9, &nearStart}, {995, &nearEnd}};
    ASSERT_EQ(ring.SetNotificationPositions(2, positions), cap::kOk);
    ASSERT_EQ(ring.Start(true), cap::kOk);

    auto data = Bytes(990, 0);
    EXPECT_EQ(ring.Produce(data.data(), 990), 10u);
    EXPECT_TRUE(Raised(nearStart));
    EXPECT_FALSE(nearEnd.IsSignalled());

    // 990 .. 999, then 0 .. 9: 995 is the 6th byte, 9 the 20th.
    data = Bytes(20, 0);
    EXPECT_EQ(ring.Produce(data.data(), 20), 20u);
    EXPECT_TRUE(Raised(nearEnd));
    EXPECT_TRUE(Raised(nearStart));

    // More than the ring in one write, 10 .. 999, 0 .. 999 and 0 .. 9: each offset passed is
    // raised; the last one passed is 9, the write's last byte.
    data = Bytes(2000, 1);
    EXPECT_EQ(ring.Produce(data.data(), 2000), 2000u);
    EXPECT_TRUE(Raised(nearEnd));
    EXPECT_TRUE(Raised(nearStart));
}

TEST(RingCaptureBuffer, NotificationsInstalledMidRingStartFromTheWritePosition) {
    TestRing ring(1000);
    ASSERT_EQ(ring.Start(true), cap::kOk);
    auto data = Bytes(600, 0);
    EXPECT_EQ(ring.Produce(data.data(), 600), 0u);  // no notifications yet
    ASSERT_EQ(ring.Stop(), cap::kOk);

    AutoResetEvent early, late;
    const cap::PositionNotify positions[] = {{100, &early}, {700, &late}};
    ASSERT_EQ(ring.SetNotificationPositions(2, positions), cap::kOk);
    ASSERT_EQ(ring.Start(true), cap::kOk);
    // Installing them while the ring runs is refused and changes nothing.
    const cap::PositionNotify other[] = {{650, &early}};
    EXPECT_EQ(ring.SetNotificationPositions(1, other), cap::kFail);

    data = Bytes(200, 0);
    EXPECT_EQ(ring.Produce(data.data(), 200), 101u);  // 600 .. 799: 700 only
    EXPECT_TRUE(Raised(late));
    EXPECT_FALSE(early.IsSignalled());
    data = Bytes(400, 0);
    EXPECT_EQ(ring.Produce(data.data(), 400), 301u);  // 800 .. 999, 0 .. 199: 100
    EXPECT_TRUE(Raised(early));
    EXPECT_FALSE(late.IsSignalled());
}

TEST(RingCaptureBuffer, BadNotificationTablesAreRefused) {
    TestRing ring(1000);
    AutoResetEvent event;
    const cap::PositionNotify outside[] = {{10, &event}, {1000, &event}};
    EXPECT_EQ(ring.SetNotificationPositions(2, outside), cap::kInvalidArg);
    std::vector<cap::PositionNotify> tooMany(65, cap::PositionNotify{1, &event});
    EXPECT_EQ(ring.SetNotificationPositions(65, tooMany.data()), cap::kInvalidArg);
    EXPECT_EQ(ring.SetNotificationPositions(1, nullptr), cap::kInvalidArg);
    // Nothing was installed: a lap raises nothing.
    ASSERT_EQ(ring.Start(true), cap::kOk);
    const auto data = Bytes(1000, 0);
    EXPECT_EQ(ring.Produce(data.data(), 1000), 0u);
    EXPECT_FALSE(event.IsSignalled());
}

// ---------------------------------------------------------------------------------------------
// A producer racing the capture thread

namespace {

constexpr std::uint32_t kBlockBytes = 2048;
constexpr int kStreamBlocks = 600;  // some 37 laps of the ring

// Block i of the stream is 1024 samples of this value.
std::int16_t ValueOfBlock(int i) {
    return static_cast<std::int16_t>(40 + i);
}

// Notes which block of the stream each analysed spectrum came from (bin 0 of a constant block
// of v is v * v) and whether the block was whole (bin 1 of a constant block is zero).
// Allocates nothing.
class BlockIndexListener final : public CSpectrumListener {
public:
    int OnSpectrum(const double* spectrum, const double*, std::uint32_t) override {
        const int n = m_count.load(std::memory_order_relaxed);
        const double value = std::sqrt(spectrum[0]);
        const int index = static_cast<int>(std::lround(value)) - ValueOfBlock(0);
        if (n < kStreamBlocks) {
            indices[n] = index;
            whole[n] = spectrum[1] < 1e-6 && std::fabs(value - std::lround(value)) < 1e-6;
        }
        m_last.store(index, std::memory_order_release);
        m_count.store(n + 1, std::memory_order_release);
        return 1;
    }
    int Enable(int flag) override { return flag; }
    int Count() const { return m_count.load(std::memory_order_acquire); }
    int Last() const { return m_last.load(std::memory_order_acquire); }

    std::array<int, kStreamBlocks> indices{};
    std::array<bool, kStreamBlocks> whole{};

private:
    std::atomic<int> m_count{0};
    std::atomic<int> m_last{-1};
};

// Opens rings the test writes into; remembers the last one made.
class TestRingDevice final : public cap::ICaptureDevice {
public:
    explicit TestRingDevice(TestRing** made) : m_made(made) {}
    cap::Result CreateCaptureBuffer(const cap::WaveFormat&, std::uint32_t bytes,
                                    std::unique_ptr<cap::ICaptureBuffer>* buffer) override {
        auto ring = std::make_unique<TestRing>(bytes);
        *m_made = ring.get();
        *buffer = std::move(ring);
        return cap::kOk;
    }

private:
    TestRing** m_made;
};

class RingRaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        PriorityRecorder::requests.clear();
        PriorityRecorder::result = true;
        kinetra::testing::SetPriorityHook(&PriorityRecorder::Hook);
        engine.SetDeviceOpener([this](const std::string&, std::unique_ptr<cap::ICaptureDevice>* d) {
            *d = std::make_unique<TestRingDevice>(&ring);
            return cap::kOk;
        });
        engine.SetDeviceEnumerator([] {
            return std::vector<cap::CaptureDeviceInfo>{{"", "test ring"}};
        });
        engine.Init(&reporter);
        ASSERT_TRUE(reporter.texts.empty());
        engine.AddListener(&listener);
        ASSERT_EQ(engine.OpenCaptureBuffer(13), cap::kOk);
        ASSERT_NE(ring, nullptr);
    }
    void TearDown() override {
        engine.Shutdown();
        engine.RemoveListener(&listener);
        kinetra::testing::SetPriorityHook(nullptr);
        CCaptureEngine::SetLagBlocksForTesting(0);
    }

    CCaptureEngine engine;
    TestRing* ring = nullptr;
    kinetra::test::RecordingReporter reporter;
    BlockIndexListener listener;
};

}  // namespace

TEST_F(RingRaceTest,
       AProducerRacingThePumpRoundTheRingDeliversWholeBlocksInOrderWithTheLagCounted) {
    // The producer writes bursts of one to six blocks in pieces of any length, so notifications
    // fall inside pieces and pieces straddle the ring's end, then waits until the last block
    // of the burst has been analysed (the newest whole block always is; the pump drops older
    // pending ones). It never gets more than six blocks ahead, so no block is overwritten while
    // the pump may read it.
    kinetra::test::DebugCapture debug;
    CCaptureEngine::SetLagBlocksForTesting(CCaptureEngine::kLagLimit);
    std::vector<std::uint8_t> stream(static_cast<std::size_t>(kStreamBlocks) * kBlockBytes);
    for (int i = 0; i < kStreamBlocks; ++i) {
        const std::int16_t value = ValueOfBlock(i);
        for (std::uint32_t j = 0; j < kBlockBytes / 2; ++j) {
            std::memcpy(&stream[i * kBlockBytes + j * 2], &value, 2);
        }
    }
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> burstOf(1, 6);
    std::uniform_int_distribution<std::uint32_t> pieceOf(1, 3000);
    std::size_t written = 0;
    int blocks = 0;
    bool stalled = false;
    while (blocks < kStreamBlocks && !stalled) {
        // The first burst is pumped here, before the capture thread starts: six blocks
        // pending, five dropped, and the lag passes its limit.
        const int burst = blocks == 0 ? 6 : std::min(burstOf(rng), kStreamBlocks - blocks);
        const std::size_t end = static_cast<std::size_t>(blocks + burst) * kBlockBytes;
        while (written < end) {
            const auto piece =
                static_cast<std::uint32_t>(std::min<std::size_t>(pieceOf(rng), end - written));
            ring->Produce(stream.data() + written, piece);
            written += piece;
        }
        blocks += burst;
        if (!engine.IsThreadRunning()) {
            engine.PumpBlock();
            ASSERT_TRUE(engine.StartThread());
        }
        stalled = !kinetra::test::WaitFor([&] { return listener.Last() == blocks - 1; });
    }
    ASSERT_TRUE(engine.StopThread());
    ASSERT_FALSE(stalled) << "block " << blocks - 1 << " never reached the listener";

    // Replay the pump's lag arithmetic from the blocks that were analysed: the pump that
    // analysed block j dropped every block after the one analysed before it.
    const int count = listener.Count();
    ASSERT_GT(count, 0);
    ASSERT_LE(count, kStreamBlocks);
    int lag = CCaptureEngine::kLagLimit;
    int raises = 0;
    int previous = -1;
    for (int n = 0; n < count; ++n) {
        const int index = listener.indices[n];
        ASSERT_TRUE(listener.whole[n]) << "analysis " << n << " saw a torn block";
        ASSERT_GT(index, previous) << "analysis " << n << " went back in the stream";
        const int dropped = index - previous - 1;
        if (dropped == 0 && lag > 0) --lag;
        lag += dropped;
        if (lag > CCaptureEngine::kLagLimit) {
            lag = 0;
            ++raises;
        }
        previous = index;
    }
    EXPECT_EQ(previous, kStreamBlocks - 1);
    EXPECT_GE(raises, 1);
    EXPECT_EQ(CCaptureEngine::LagBlocks(), lag);
    EXPECT_EQ(debug.Count("Increasing priority class to REALTIME.\n"), raises);
    int realtimeRequests = 0;
    for (const auto request : PriorityRecorder::requests) {
        if (request == kinetra::testing::PriorityRequest::kProcessRealtime) ++realtimeRequests;
    }
    EXPECT_EQ(realtimeRequests, raises);
}
