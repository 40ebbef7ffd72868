// An engine on a scripted capture source, with helpers to write blocks and watch priorities.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/capture_engine.h"
#include "platform/priority.h"
#include "support/scripted_capture.h"

namespace kinetra::test {

// Records what the engine asks its owner to show.
class RecordingReporter final : public capture::CaptureErrorReporter {
public:
    void ReportFatalError(const char* text, const char* caption, int exitCode) override {
        texts.emplace_back(text);
        captions.emplace_back(caption);
        exitCodes.push_back(exitCode);
        if (engine != nullptr) {
            // What was still held when the user was told.
            heldDevice = engine->HasDevice();
            heldAverage = engine->Average() != nullptr;
            heldFrame = engine->HasSpectrumFrame();
            heldEvent = engine->NotifyEvent() != nullptr;
        }
    }
    std::vector<std::string> texts;
    std::vector<std::string> captions;
    std::vector<int> exitCodes;
    bool heldDevice = true, heldAverage = true, heldFrame = true, heldEvent = true;
    const CCaptureEngine* engine = nullptr;  // looked at when a report arrives
};

// Priority requests are recorded instead of reaching the system.
struct PriorityRecorder {
    static inline std::vector<kinetra::testing::PriorityRequest> requests;
    static inline bool result = true;
    static bool Hook(kinetra::testing::PriorityRequest request) {
        requests.push_back(request);
        return result;
    }
};

class EngineTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t kBlock = 2048;
    static constexpr std::uint32_t kRing = 32768;

    void SetUp() override {
        PriorityRecorder::requests.clear();
        PriorityRecorder::result = true;
        kinetra::testing::SetPriorityHook(&PriorityRecorder::Hook);
        CCaptureEngine::SetLagBlocksForTesting(0);
        script = capture::ScriptedCapture::Create();
        std::shared_ptr<capture::ScriptedCapture> s = script;
        engine = std::make_unique<CCaptureEngine>();
        engine->SetDeviceOpener(
            [s](const std::string& id, std::unique_ptr<capture::ICaptureDevice>* d) {
                return s->Open(id, d);
            });
        engine->SetDeviceEnumerator([] {
            return std::vector<capture::CaptureDeviceInfo>{{"", "default"}};
        });
        reporter.engine = engine.get();
    }

    void TearDown() override {
        engine->Shutdown();
        engine.reset();
        kinetra::testing::SetPriorityHook(nullptr);
        CCaptureEngine::SetLagBlocksForTesting(0);
    }

    // Init and a 44100 Hz 16-bit mono ring.
    void Open() {
        engine->Init(&reporter);
        ASSERT_TRUE(reporter.texts.empty());
        ASSERT_EQ(engine->OpenCaptureBuffer(13), capture::kOk);
    }

    // Fills ring block index with 1024 samples of value.
    void FillBlock(std::uint32_t index, std::int16_t value) {
        std::vector<std::int16_t> samples(1024, value);
        ASSERT_TRUE(script->WriteBytes(index * kBlock, samples.data(), kBlock));
    }

    std::shared_ptr<capture::ScriptedCapture> script;
    std::unique_ptr<CCaptureEngine> engine;
    RecordingReporter reporter;
};

}  // namespace kinetra::test
