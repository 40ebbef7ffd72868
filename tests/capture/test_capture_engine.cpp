// The capture engine's set-up, teardown and block pump, driven step by step through a scripted
// capture source (no capture thread).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "analysis/spectrum_frame_testing.h"
#include "engine_fixture.h"
#include "platform/cache_lines.h"
#include "support/debug_capture.h"
#include "support/wait_for.h"
#include "test_listener.h"

namespace cap = kinetra::capture;
using kinetra::test::CountingListener;
using kinetra::test::DebugCapture;
using kinetra::test::EngineTest;
using kinetra::test::PriorityRecorder;
using Request = kinetra::testing::PriorityRequest;

namespace {

// ---------------------------------------------------------------------------------------------
// Set-up and teardown

TEST_F(EngineTest, InitAndOpenBuildTheRingForFormat13) {
    Open();
    EXPECT_TRUE(engine->HasDevice());
    EXPECT_TRUE(engine->HasSpectrumFrame());
    ASSERT_NE(engine->Average(), nullptr);
    for (std::uint32_t k = 0; k < SPECTRUM_BINS; ++k) ASSERT_EQ(engine->Average()[k], 0.0);

    const cap::WaveFormat& f = engine->Format();
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.nBlockAlign, 2);
    EXPECT_EQ(f.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(engine->BlockBytes(), 2048u);
    EXPECT_EQ(engine->BufferBytes(), 32768u);
    EXPECT_EQ(engine->NextOffset(), 0u);

    // One second of trial buffer, then the ring of 16 blocks.
    EXPECT_EQ(script->CreatedSizes(), (std::vector<std::uint32_t>{88200, 32768}));
    EXPECT_EQ(script->BuffersReleased(), 1);
    EXPECT_EQ(script->CurrentRingBytes(), 32768u);
    EXPECT_TRUE(script->CurrentStarted());
    EXPECT_TRUE(script->CurrentLooping());

    const std::vector<cap::PositionNotify> installed = script->Notifications();
    ASSERT_EQ(installed.size(), 16u);
    for (std::uint32_t i = 0; i < 16; ++i) {
        EXPECT_EQ(installed[i].dwOffset, 2047 + 2048 * i);
        EXPECT_EQ(installed[i].hEventNotify, engine->NotifyEvent());
        EXPECT_EQ(engine->NotifyTable()[i].dwOffset, 2047 + 2048 * i);
    }
    EXPECT_EQ(installed[15].dwOffset, 32767u);
}

TEST_F(EngineTest, EnumerationsFirstReportChoosesTheDevice) {
    engine->SetDeviceEnumerator([] {
        return std::vector<cap::CaptureDeviceInfo>{{"dev-A", "A"}, {"dev-B", "B"}};
    });
    engine->Init(&reporter);
    EXPECT_EQ(script->LastOpenedId(), "dev-A");
    EXPECT_EQ(engine->DeviceGuid(), "dev-A");
    engine->Shutdown();

    // The default device comes first and without an id: later reports are never seen.
    CCaptureEngine other;
    std::shared_ptr<cap::ScriptedCapture> s = script;
    other.SetDeviceOpener([s](const std::string& id, std::unique_ptr<cap::ICaptureDevice>* d) {
        return s->Open(id, d);
    });
    other.SetDeviceEnumerator([] {
        return std::vector<cap::CaptureDeviceInfo>{{"", "default"}, {"dev-B", "B"}};
    });
    other.Init(nullptr);
    EXPECT_EQ(script->LastOpenedId(), "");
    other.Shutdown();
}

TEST_F(EngineTest, FailedOpenReleasesFirstThenReportsAndLaterCallsTouchNothing) {
    script->SetOpenResult(cap::kNoDriver);
    engine->Init(&reporter);
    ASSERT_EQ(reporter.texts.size(), 1u);
    EXPECT_EQ(reporter.texts[0], "Could not initialize DirectSound.");
    EXPECT_EQ(reporter.captions[0], "Error - Ondrel Kinetra Entertainment");
    EXPECT_EQ(reporter.exitCodes[0], 1);
    // Everything was released before the user was told.
    EXPECT_FALSE(reporter.heldDevice);
    EXPECT_FALSE(reporter.heldAverage);
    EXPECT_FALSE(reporter.heldFrame);
    EXPECT_FALSE(reporter.heldEvent);

    // The owner goes on as if nothing happened: no device is used, nothing crashes.
    EXPECT_EQ(engine->OpenCaptureBuffer(13), cap::kFail);
    cap::WaveFormat f{};
    EXPECT_FALSE(engine->ProbeFormat(13, &f));
    EXPECT_EQ(f.nSamplesPerSec, 44100u);  // the format is still described
    EXPECT_EQ(engine->SetupNotifications(), cap::kFail);
    engine->PumpBlock();
    EXPECT_TRUE(engine->StopThread());
    engine->Shutdown();
    EXPECT_TRUE(script->CreatedSizes().empty());
    EXPECT_EQ(script->DevicesMade(), 0);
    EXPECT_EQ(reporter.texts.size(), 1u);
}

TEST_F(EngineTest, InitWithoutOwnerStillShutsDown) {
    script->SetOpenResult(cap::kFail);
    engine->Init(nullptr);
    EXPECT_FALSE(engine->HasDevice());
    EXPECT_EQ(engine->Average(), nullptr);
}

TEST_F(EngineTest, OpenCaptureBufferTwiceReplacesTheRing) {
    Open();
    FillBlock(0, 1);
    script->SetReadPosition(2048);
    engine->PumpBlock();
    EXPECT_EQ(engine->NextOffset(), 2048u);

    ASSERT_EQ(engine->OpenCaptureBuffer(5), cap::kOk);  // 11025 Hz 16-bit mono
    EXPECT_EQ(engine->Format().nSamplesPerSec, 11025u);
    EXPECT_EQ(engine->NextOffset(), 0u);
    EXPECT_EQ(script->BuffersCreated(), 4);
    EXPECT_EQ(script->BuffersReleased(), 3);  // both trials and the first ring
    EXPECT_EQ(script->CreatedSizes(), (std::vector<std::uint32_t>{88200, 32768, 22050, 32768}));
    EXPECT_TRUE(script->CurrentStarted());
    EXPECT_EQ(script->Notifications().size(), 16u);
}

TEST_F(EngineTest, FormatsTheAnalysisCannotReadAreRefusedWithoutChange) {
    Open();
    const std::vector<std::uint32_t> before = script->CreatedSizes();
    for (int index : {0, 2, 3, 4, 6, 7, 8, 10, 11, 12, 14, 15}) {
        EXPECT_EQ(engine->OpenCaptureBuffer(index), cap::kBadFormat) << index;
    }
    EXPECT_EQ(engine->OpenCaptureBuffer(-1), cap::kInvalidArg);
    EXPECT_EQ(engine->OpenCaptureBuffer(16), cap::kInvalidArg);
    EXPECT_EQ(script->CreatedSizes(), before);
    EXPECT_TRUE(engine->HasBuffer());
    EXPECT_TRUE(script->CurrentStarted());
    EXPECT_EQ(engine->Format().nSamplesPerSec, 44100u);
}

TEST_F(EngineTest, ProbeFormatAsksForOneSecond) {
    engine->Init(&reporter);
    cap::WaveFormat f{};
    f.wFormatTag = 1;
    EXPECT_TRUE(engine->ProbeFormat(15, &f));
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(script->CreatedSizes().back(), 176400u);
    EXPECT_EQ(script->BuffersReleased(), script->BuffersCreated());  // released at once

    script->SetCreateResult(cap::kBadFormat);
    EXPECT_FALSE(engine->ProbeFormat(13, &f));
    script->SetCreateResult(cap::kOk);

    cap::WaveFormat untouched{};
    EXPECT_FALSE(engine->ProbeFormat(16, &untouched));
    EXPECT_EQ(untouched.nSamplesPerSec, 0u);

    // The trial's verdict is not used: only the real ring decides.
    script->SetCreateFailsForBytes(88200);
    EXPECT_EQ(engine->OpenCaptureBuffer(13), cap::kOk);
}

TEST_F(EngineTest, RingFailuresReturnTheirResult) {
    engine->Init(&reporter);
    script->SetCreateFailsForBytes(32768);
    EXPECT_EQ(engine->OpenCaptureBuffer(13), cap::kFail);
    EXPECT_FALSE(engine->HasBuffer());
    script->SetCreateFailsForBytes(0);

    script->SetNotifyResult(cap::kInvalidArg);
    EXPECT_EQ(engine->OpenCaptureBuffer(13), cap::kInvalidArg);
    EXPECT_TRUE(engine->HasBuffer());  // kept until Shutdown
    EXPECT_FALSE(script->CurrentStarted());
    script->SetNotifyResult(cap::kOk);

    script->SetStartResult(static_cast<cap::Result>(0x88780032));
    EXPECT_EQ(engine->OpenCaptureBuffer(13), static_cast<cap::Result>(0x88780032));
    script->SetStartResult(cap::kOk);
    EXPECT_EQ(engine->OpenCaptureBuffer(13), cap::kOk);
}

TEST_F(EngineTest, SetupNotificationsWithoutRingFails) {
    engine->Init(&reporter);
    EXPECT_EQ(engine->SetupNotifications(), cap::kFail);
}

TEST_F(EngineTest, ShutdownTwiceReleasesNothingTwice) {
    Open();
    engine->Shutdown();
    EXPECT_EQ(script->DevicesReleased(), 1);
    EXPECT_EQ(script->BuffersReleased(), script->BuffersCreated());
    EXPECT_EQ(script->StopCount(), 1);
    EXPECT_FALSE(engine->HasDevice());
    EXPECT_FALSE(engine->HasBuffer());
    EXPECT_EQ(engine->NotifyEvent(), nullptr);
    EXPECT_EQ(engine->Average(), nullptr);
    EXPECT_FALSE(engine->HasSpectrumFrame());

    engine->Shutdown();
    EXPECT_EQ(script->DevicesReleased(), 1);
    EXPECT_EQ(script->StopCount(), 1);
    EXPECT_EQ(script->BuffersReleased(), script->BuffersCreated());
}

TEST_F(EngineTest, IncompleteSpectrumFrameConsumesBlocksWithoutAnalysis) {
    static int allocations;
    allocations = 0;
    kinetra::analysis::testing::SetFrameAllocator([](std::size_t bytes) -> void* {
        return ++allocations == 2 ? nullptr : kinetra::AllocateCacheLines(bytes);
    });
    DebugCapture debug;
    engine->Init(&reporter);
    kinetra::analysis::testing::SetFrameAllocator(nullptr);
    EXPECT_EQ(debug.Count("Bad malloc!\n"), 1);
    EXPECT_FALSE(engine->HasSpectrumFrame());
    EXPECT_TRUE(reporter.texts.empty());
    ASSERT_EQ(engine->OpenCaptureBuffer(13), cap::kOk);

    CountingListener listener;
    engine->AddListener(&listener);
    FillBlock(0, 5);
    script->SetReadPosition(2048);
    engine->PumpBlock();
    EXPECT_EQ(listener.calls, 0);
    EXPECT_EQ(engine->NextOffset(), 2048u);
    EXPECT_EQ(script->UnlockCount(), 1);
    EXPECT_EQ(engine->Average()[0], 0.0);
    engine->RemoveListener(&listener);
}

TEST_F(EngineTest, ADroppedSpectrumFrameLeavesThePumpTakingBlocksWithoutAnalysis) {
    Open();
    CountingListener listener;
    engine->AddListener(&listener);
    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(kinetra::test::WaitFor([&] { return engine->IsPumping(); }));
    engine->DropSpectrumFrameForTesting();  // refused while the capture thread runs
    EXPECT_TRUE(engine->HasSpectrumFrame());
    ASSERT_TRUE(engine->StopThread());
    engine->DropSpectrumFrameForTesting();
    EXPECT_FALSE(engine->HasSpectrumFrame());

    FillBlock(0, 5);
    FillBlock(1, 6);
    script->SetReadPosition(2 * 2048);  // two blocks: one dropped, one taken
    engine->PumpBlock();
    EXPECT_EQ(listener.calls, 0);
    EXPECT_EQ(script->LastLockOffset(), 2048u);
    EXPECT_EQ(script->UnlockCount(), 1);
    EXPECT_EQ(engine->NextOffset(), 2u * 2048);
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 1);
    EXPECT_EQ(engine->Average()[0], 0.0);
    engine->RemoveListener(&listener);
}

// ---------------------------------------------------------------------------------------------
// The block pump

TEST_F(EngineTest, PumpWithoutRingDoesNothing) {
    engine->Init(&reporter);
    engine->PumpBlock();
    EXPECT_EQ(script->PositionCalls(), 0);
}

TEST_F(EngineTest, LessThanOneWholeBlockPendingTouchesNothing) {
    Open();
    CountingListener listener;
    engine->AddListener(&listener);
    CCaptureEngine::SetLagBlocksForTesting(5);
    for (std::uint32_t read : {0u, 1u, 2047u}) {
        script->SetReadPosition(read);
        engine->PumpBlock();
    }
    EXPECT_EQ(script->LockCount(), 0);
    EXPECT_EQ(listener.calls, 0);
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 5);
    EXPECT_EQ(engine->NextOffset(), 0u);
    for (std::uint32_t k = 0; k < SPECTRUM_BINS; ++k) ASSERT_EQ(engine->Average()[k], 0.0);
    engine->RemoveListener(&listener);
}

TEST_F(EngineTest, ExactlyOneBlockIsProcessedAndEasesTheLag) {
    Open();
    CountingListener listener;
    engine->AddListener(&listener);
    CCaptureEngine::SetLagBlocksForTesting(3);
    FillBlock(0, 1);
    script->SetReadPosition(2048);
    engine->PumpBlock();
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(script->LastLockOffset(), 0u);
    EXPECT_EQ(script->LastLockBytes(), 2048u);
    EXPECT_EQ(script->UnlockCount(), 1);
    EXPECT_EQ(engine->NextOffset(), 2048u);
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 2);

    // One block and a part of the next: the whole block only.
    FillBlock(1, 1);
    script->SetReadPosition(4096 + 1000);
    engine->PumpBlock();
    EXPECT_EQ(listener.calls, 2);
    EXPECT_EQ(script->LastLockOffset(), 2048u);
    EXPECT_EQ(engine->NextOffset(), 4096u);
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 1);

    // The counter does not go below zero.
    CCaptureEngine::SetLagBlocksForTesting(0);
    script->SetReadPosition(6144);
    engine->PumpBlock();
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 0);
    engine->RemoveListener(&listener);
}

TEST_F(EngineTest, FourPendingBlocksDropTheThreeOldest) {
    Open();
    CountingListener listener;
    engine->AddListener(&listener);
    FillBlock(0, 100);
    FillBlock(1, 100);
    FillBlock(2, 100);
    FillBlock(3, 2);  // only this one is analysed: bin 0 = 2^2
    script->SetReadPosition(4 * 2048);
    engine->PumpBlock();
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 3);
    EXPECT_EQ(script->LockCount(), 1);
    EXPECT_EQ(script->LastLockOffset(), 3u * 2048);
    EXPECT_EQ(engine->NextOffset(), 4u * 2048);
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(listener.spectrumCopy[0], 4.0);
    engine->RemoveListener(&listener);
}

TEST_F(EngineTest, WrapAroundTakesTheDistanceAroundTheRing) {
    Open();
    // Bring the next offset to the start of the last block: 15 blocks pending, 14 dropped.
    script->SetReadPosition(15 * 2048);
    engine->PumpBlock();
    ASSERT_EQ(engine->NextOffset(), 30720u);
    ASSERT_EQ(CCaptureEngine::LagBlocks(), 14);
    CCaptureEngine::SetLagBlocksForTesting(0);

    CountingListener listener;
    engine->AddListener(&listener);
    FillBlock(15, 100);
    FillBlock(0, 3);
    script->SetReadPosition(2048);  // the writer wrapped: two blocks pending
    engine->PumpBlock();
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 1);
    EXPECT_EQ(script->LastLockOffset(), 0u);
    EXPECT_EQ(engine->NextOffset(), 2048u);
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(listener.spectrumCopy[0], 9.0);
    engine->RemoveListener(&listener);
}

TEST_F(EngineTest, LagPastOneHundredRaisesThePriorityClassOnce) {
    Open();
    DebugCapture debug;
    CCaptureEngine::SetLagBlocksForTesting(100);
    script->SetReadPosition(2 * 2048);  // one block dropped: 101
    engine->PumpBlock();
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 0);
    EXPECT_EQ(debug.Lines(),
              (std::vector<std::string>{"Increasing priority class to REALTIME.\n"}));
    EXPECT_EQ(PriorityRecorder::requests, (std::vector<Request>{Request::kProcessRealtime}));

    // Refused: the line follows, the counter stays reset, the block is still processed.
    debug.Clear();
    PriorityRecorder::result = false;
    CountingListener listener;
    engine->AddListener(&listener);
    CCaptureEngine::SetLagBlocksForTesting(100);
    script->SetReadPosition(4 * 2048);
    engine->PumpBlock();
    EXPECT_EQ(debug.Lines(), (std::vector<std::string>{"Increasing priority class to REALTIME.\n",
                                                       "SetPriorityClass failed\n"}));
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 0);
    EXPECT_EQ(listener.calls, 1);

    // At 100 with one block on time: 99, nothing raised.
    debug.Clear();
    CCaptureEngine::SetLagBlocksForTesting(100);
    script->SetReadPosition(5 * 2048);
    engine->PumpBlock();
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 99);
    EXPECT_TRUE(debug.Lines().empty());
    EXPECT_EQ(PriorityRecorder::requests.size(), 2u);
    engine->RemoveListener(&listener);
}

TEST_F(EngineTest, FailedOrImpossiblePositionIsIgnored) {
    Open();
    CCaptureEngine::SetLagBlocksForTesting(7);
    script->SetReadPosition(4 * 2048);
    script->SetPositionResult(cap::kFail);
    engine->PumpBlock();
    // A backend reporting a position outside the ring is not trusted either.
    script->SetPositionResult(cap::kOk);
    script->SetReadPosition(40000);
    DebugCapture debug;
    engine->PumpBlock();
    EXPECT_EQ(debug.Count("CAPTURE: read position outside the ring, notification ignored\n"), 1);
    EXPECT_EQ(script->LockCount(), 0);
    EXPECT_EQ(engine->NextOffset(), 0u);
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 7);
}

TEST_F(EngineTest, FailedLockLeavesTheBlockPending) {
    Open();
    CountingListener listener;
    engine->AddListener(&listener);
    FillBlock(1, 1);
    script->SetReadPosition(2 * 2048);
    script->SetLockResult(cap::kFail);
    engine->PumpBlock();
    EXPECT_EQ(engine->NextOffset(), 2048u);  // the older block was dropped before the lock
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 1);
    EXPECT_EQ(listener.calls, 0);
    EXPECT_EQ(script->UnlockCount(), 0);

    // Next notification: the same block is pending again and now read.
    script->SetLockResult(cap::kOk);
    engine->PumpBlock();
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(script->LastLockOffset(), 2048u);
    EXPECT_EQ(engine->NextOffset(), 4096u);
    EXPECT_EQ(CCaptureEngine::LagBlocks(), 0);
    engine->RemoveListener(&listener);
}

TEST_F(EngineTest, WrongSizeBlockIsConsumedWithoutAnalysis) {
    Open();
    CountingListener listener;
    engine->AddListener(&listener);
    DebugCapture debug;
    FillBlock(0, 1);
    script->SetReadPosition(2048);
    script->SetLockLengthOverride(1024);
    engine->PumpBlock();
    EXPECT_EQ(debug.Count("(FFT) Bad input!\n"), 1);
    EXPECT_EQ(listener.calls, 0);
    EXPECT_EQ(engine->Average()[0], 0.0);
    EXPECT_EQ(engine->NextOffset(), 1024u);  // advanced by what was lent
    EXPECT_EQ(script->UnlockCount(), 1);
    engine->RemoveListener(&listener);
}

TEST_F(EngineTest, RunningAverageAndWhatListenersSee) {
    Open();
    CountingListener listener;
    engine->AddListener(&listener);

    // Constant 1: X[0] = 1024, power 1024^2 / 2^20 = 1 in bin 0 and 0 elsewhere.
    FillBlock(0, 1);
    script->SetReadPosition(2048);
    engine->PumpBlock();
    ASSERT_EQ(listener.calls, 1);
    EXPECT_EQ(listener.lastByteLength, 4104u);
    EXPECT_EQ(listener.lastAverage, engine->Average());
    // Both arrays start on a cache line, so that the per-block vector loops never store across
    // a 32-byte boundary.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(listener.lastAverage) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(listener.lastSpectrum) % 64, 0u);
    EXPECT_EQ(listener.spectrumCopy[0], 1.0);
    // The first average is exactly 0.02 times the spectrum.
    EXPECT_EQ(listener.averageCopy[0], 0.02);
    for (std::uint32_t k = 1; k < SPECTRUM_BINS; ++k) ASSERT_EQ(listener.averageCopy[k], 0.0);
    const double* firstSpectrum = listener.lastSpectrum;

    // Constant 2: power 4 in bin 0. Average = 0.02 + (4 - 0.02) * 0.02 = 0.0996.
    FillBlock(1, 2);
    script->SetReadPosition(4096);
    engine->PumpBlock();
    ASSERT_EQ(listener.calls, 2);
    EXPECT_EQ(listener.lastSpectrum, firstSpectrum);  // the frame's own array, reused
    EXPECT_NEAR(listener.averageCopy[0], 0.0996L, 1e-16);

    // No listeners: the average still moves. 0.0996 + (0 - 0.0996) * 0.02 = 0.097608.
    engine->RemoveListener(&listener);
    FillBlock(2, 0);
    script->SetReadPosition(6144);
    engine->PumpBlock();
    EXPECT_NEAR(engine->Average()[0], 0.097608L, 1e-16);
    EXPECT_EQ(listener.calls, 2);
}

TEST_F(EngineTest, ListenersAreCalledInOrderOfRegistration) {
    Open();
    std::vector<char> order;
    CountingListener a, b;
    a.tag = 'A';
    b.tag = 'B';
    a.order = &order;
    b.order = &order;
    engine->AddListener(&a);
    engine->AddListener(&b);
    engine->AddListener(&a);  // no duplicate check: called twice
    EXPECT_EQ(engine->ListenerCount(), 3u);
    for (std::uint32_t block = 1; block <= 2; ++block) {
        script->SetReadPosition(block * 2048);
        engine->PumpBlock();
    }
    EXPECT_EQ(std::string(order.begin(), order.end()), "ABAABA");
    EXPECT_EQ(a.lastSpectrum, b.lastSpectrum);
    EXPECT_EQ(a.lastAverage, b.lastAverage);

    // The first equal entry goes; an unknown pointer changes nothing.
    EXPECT_TRUE(engine->RemoveListener(&a));
    order.clear();
    script->SetReadPosition(3 * 2048);
    engine->PumpBlock();
    EXPECT_EQ(std::string(order.begin(), order.end()), "BA");
    CountingListener stranger;
    EXPECT_FALSE(engine->RemoveListener(&stranger));
    EXPECT_EQ(engine->ListenerCount(), 2u);
    engine->RemoveListener(&a);
    engine->RemoveListener(&b);
}

}  // namespace
