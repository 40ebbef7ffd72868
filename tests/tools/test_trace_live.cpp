// kinetra-trace's live runs, in process on a memory source: a run keeps one row per block its
// capture thread took, in order; a run that gets no block ends at its time with a reason.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "capture/memory_source.h"
#include "tools/trace/trace.h"

namespace {

using kinetra::capture::MemorySource;

TEST(TraceLive, EveryBlockTakenIsARowInOrder) {
    std::string error;
    const auto source = MemorySource::Create("trace-live-blocks", &error);
    ASSERT_NE(source, nullptr) << error;
    // 10 silent blocks, then a 100 Hz tone of amplitude 10000 for 10 blocks.
    constexpr int kBlocks = 20;
    std::vector<std::int16_t> sound(kBlocks * 1024, 0);
    for (int j = 10 * 1024; j < kBlocks * 1024; ++j) {
        sound[j] = static_cast<std::int16_t>(
            std::lround(10000.0 * std::sin(8.0 * std::atan(1.0) * 100.0 * j / 44100.0)));
    }
    int pushed = 0;
    std::thread feeder([&] {
        for (int tries = 0; tries < 500 && !source->IsCapturing(); ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        for (int b = 0; b < kBlocks; ++b) {
            if (source->Push(&sound[b * 1024], 1024, 5000) != kinetra::capture::kOk) break;
            ++pushed;
        }
        source->WaitUntilTaken(5000);
    });
    kinetra::trace::Trace trace;
    // Time to spare: under the sanitizers, beside other tests whose capture threads run at
    // real-time priority, the start can be slow.
    const bool ran =
        kinetra::trace::RunLiveTrace("memory:trace-live-blocks", 6.0, {}, &trace, &error);
    feeder.join();
    ASSERT_TRUE(ran) << error << " (blocks pushed: " << pushed << ")";
    ASSERT_EQ(pushed, kBlocks);
    ASSERT_EQ(trace.rows.size(), static_cast<std::size_t>(kBlocks));
    for (int b = 1; b < kBlocks; ++b) EXPECT_GE(trace.rows[b].seconds, trace.rows[b - 1].seconds);
    // Silence sends nothing; the tone's first block rises fifty-fold over its running average:
    // band 1 at full strength.
    for (int b = 0; b < 10; ++b) EXPECT_EQ(trace.rows[b].band[0].magnitude, 0u) << b;
    EXPECT_EQ(trace.rows[10].band[0].magnitude, 10000u);
}

TEST(TraceLive, NoBlockEndsTheRunWithAReason) {
    std::string error;
    const auto source = MemorySource::Create("trace-live-silent", &error);
    ASSERT_NE(source, nullptr) << error;
    kinetra::trace::Trace trace;
    EXPECT_FALSE(kinetra::trace::RunLiveTrace("memory:trace-live-silent", 0.3, {}, &trace, &error));
    EXPECT_NE(error.find("no block of sound came from the input in 0.3 s"), std::string::npos)
        << error;
}

}  // namespace
