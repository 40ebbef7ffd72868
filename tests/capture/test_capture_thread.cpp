// The capture thread: start and stop protocol, wake-ups, the way out when audio stops, and a
// failing wait. (Settings changed on another thread while blocks flow: test_capture_pipeline.)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "engine_fixture.h"
#include "platform/debug_output.h"
#include "support/debug_capture.h"
#include "support/wait_for.h"
#include "test_listener.h"

namespace cap = kinetra::capture;
using kinetra::test::CountingListener;
using kinetra::test::DebugCapture;
using kinetra::test::EngineTest;
using kinetra::test::WaitFor;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char kCalled[] = "WOOHOO!!! RunCapture called!\n";
constexpr const char kExiting[] = "WOOHOO!!! RunCapture exiting!\n";

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class CaptureThreadTest : public EngineTest {
protected:
    // Writes one block of a 1000-amplitude sine at bin 3 and raises its notification.
    void AppendBlock() {
        std::int16_t block[1024];
        for (int j = 0; j < 1024; ++j) {
            block[j] = static_cast<std::int16_t>(
                std::lround(1000.0 * std::sin(2 * M_PI * 3 * j / 1024.0)));
        }
        ASSERT_TRUE(script->Append(block, 1024));
    }
    // Appends blocks one at a time until listener has seen count more of them.
    void Flow(CountingListener& listener, int count) {
        const int target = listener.calls.load() + count;
        for (int i = 0; i < count; ++i) {
            const int before = listener.calls.load();
            AppendBlock();
            ASSERT_TRUE(WaitFor([&] { return listener.calls.load() > before; }));
        }
        EXPECT_EQ(listener.calls.load(), target);
    }
};

// The capture thread's first act is to ask for its priority: holding it there lets a test act
// before the thread reaches the run mutex.
std::atomic<bool> g_holdThread{false};
std::atomic<bool> g_threadHeld{false};
bool HoldingHook(kinetra::testing::PriorityRequest request) {
    if (request == kinetra::testing::PriorityRequest::kThreadTimeCritical) {
        g_threadHeld = true;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (g_holdThread && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

TEST_F(CaptureThreadTest, StopWithoutAThreadReturnsAtOnceEvenTwice) {
    Open();
    const auto start = Clock::now();
    EXPECT_TRUE(engine->StopThread());
    EXPECT_TRUE(engine->StopThread());
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_FALSE(engine->IsThreadRunning());
}

TEST_F(CaptureThreadTest, BlocksFlowToListenersAndStopWakesTheThread) {
    Open();
    DebugCapture debug;
    CountingListener listener;
    engine->AddListener(&listener);
    ASSERT_TRUE(engine->StartThread());
    EXPECT_FALSE(engine->StartThread());  // one capture thread at a time
    Flow(listener, 40);
    // A^2 / 4 for A = 1000, give or take the rounding of the samples.
    EXPECT_NEAR(listener.spectrumCopy[3], 250000.0, 250.0);

    // No more audio arrives; stopping still returns promptly.
    const auto start = Clock::now();
    EXPECT_TRUE(engine->StopThread());
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_FALSE(engine->IsThreadRunning());
    EXPECT_EQ(debug.Count(kCalled), 1);
    EXPECT_EQ(debug.Count(kExiting), 1);

    // A stopped engine starts again.
    ASSERT_TRUE(engine->StartThread());
    Flow(listener, 5);
    EXPECT_TRUE(engine->StopThread());
    EXPECT_EQ(debug.Count(kExiting), 2);
    engine->RemoveListener(&listener);
}

TEST_F(CaptureThreadTest, StopRightAfterStartWinsTheMutex) {
    Open();
    DebugCapture debug;
    g_holdThread = true;
    g_threadHeld = false;
    kinetra::testing::SetPriorityHook(&HoldingHook);
    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(WaitFor([] { return g_threadHeld.load(); }));
    EXPECT_TRUE(engine->StopThread());  // takes the free mutex and returns at once
    g_holdThread = false;
    AppendBlock();
    // Shutdown joins the thread, which gives up after its wait for the mutex.
    engine->Shutdown();
    EXPECT_EQ(debug.Count(kCalled), 1);
    EXPECT_EQ(debug.Count(kExiting), 0);
    EXPECT_EQ(script->LockCount(), 0);
}

TEST_F(CaptureThreadTest, ShutdownEndsTheThreadBeforeStoppingTheRing) {
    Open();
    struct Probe {
        std::shared_ptr<cap::ScriptedCapture> script;
        std::atomic<int> stopsAtExit{-1};
    } probe{script};
    kinetra::SetDebugSink(
        [](void* context, const char* line) {
            auto* p = static_cast<Probe*>(context);
            if (std::string(line) == kExiting) p->stopsAtExit = p->script->StopCount();
        },
        &probe);
    CountingListener listener;
    engine->AddListener(&listener);
    ASSERT_TRUE(engine->StartThread());
    Flow(listener, 3);
    const auto start = Clock::now();
    engine->Shutdown();
    EXPECT_LT(SecondsSince(start), 2.0);
    kinetra::SetDebugSink(nullptr, nullptr);
    EXPECT_EQ(probe.stopsAtExit.load(), 0);
    EXPECT_EQ(script->StopCount(), 1);
}

TEST_F(CaptureThreadTest, FailingWaitBacksOffAndStillStops) {
    Open();
    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(WaitFor([&] { return engine->IsPumping(); }));
    engine->NotifyEvent()->SetFailWaitsForTesting(true);
    const std::uint64_t before = engine->NotifyEvent()->WaitCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::uint64_t during = engine->NotifyEvent()->WaitCount() - before;
    // A loop without a pause would retry millions of times; with it, about 300 / 20.
    EXPECT_LT(during, 100u);
    const auto start = Clock::now();
    EXPECT_TRUE(engine->StopThread());
    EXPECT_LT(SecondsSince(start), 2.0);
}

TEST_F(CaptureThreadTest, DestroyingARunningEngineStopsIt) {
    Open();
    DebugCapture debug;
    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(WaitFor([&] { return engine->IsPumping(); }));
    engine.reset();  // the owner forgot StopThread and Shutdown
    EXPECT_EQ(debug.Count(kExiting), 1);
    EXPECT_EQ(script->DevicesReleased(), 1);
    // TearDown expects an engine.
    engine = std::make_unique<CCaptureEngine>();
}

}  // namespace
