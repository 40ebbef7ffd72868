// The sound-to-force pipeline's start-up and teardown: what each step leaves on the virtual force
// device and the engine, the failure results, and the order of the listeners.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "analysis/band_mapper.h"
#include "capture/capture_engine.h"
#include "capture/memory_source.h"
#include "force/device_choice.h"
#include "force/force_channel.h"
#include "force/virtual_device.h"
#include "pipeline/sound_to_force.h"

namespace {

using kinetra::pipeline::PipelineSettings;
using kinetra::pipeline::SoundToForcePipeline;
using kinetra::pipeline::StartOptions;
using kinetra::pipeline::StartResult;

class Reporter final : public kinetra::capture::CaptureErrorReporter {
public:
    void ReportFatalError(const char* text, const char*, int exitCode) override {
        texts.emplace_back(text);
        codes.push_back(exitCode);
    }
    std::vector<std::string> texts;
    std::vector<int> codes;
};

// Called after the mappers: notes which of them had already seen the block.
class Observer final : public CSpectrumListener {
public:
    explicit Observer(const SoundToForcePipeline* chain) : m_chain(chain) {}
    int OnSpectrum(const double*, const double*, std::uint32_t) override {
        ++calls;
        mappersBefore = 0;
        for (int band = 1; band <= 5; ++band) {
            const CBandMapper* m = m_chain->Mapper(band);
            if (m != nullptr && m->LastReport().lastBin != 0) ++mappersBefore;
        }
        return 1;
    }
    int calls = 0;
    int mappersBefore = 0;

private:
    const SoundToForcePipeline* m_chain;
};

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        m_source = kinetra::capture::MemorySource::Create("pipeline-test", &error);
        ASSERT_NE(m_source, nullptr) << error;
    }

    // Options for a force device text and the test's memory source.
    StartOptions Options(const char* device) {
        StartOptions options;
        kinetra::force::ForceDeviceChoice choice;
        std::string error;
        EXPECT_TRUE(kinetra::force::ParseForceDeviceChoice(device, &choice, &error)) << error;
        options.device = choice;
        options.input = m_source->Choice();
        return options;
    }

    // A pipeline fed by the test (no capture thread).
    StartResult StartPumped(SoundToForcePipeline* chain, const char* device,
                            const PipelineSettings& settings,
                            CSpectrumListener* observer = nullptr) {
        StartOptions options = Options(device);
        options.startThread = false;
        options.observer = observer;
        return chain->Start(settings, &m_reporter, options);
    }

    std::unique_ptr<kinetra::capture::MemorySource> m_source;
    Reporter m_reporter;
};

TEST_F(Pipeline, StartsFiveBandsWithTheSettingsAndTakesThemDownAgain) {
    PipelineSettings settings;
    const int levels[5] = {0, 5, 24, 50, 100};
    for (int k = 0; k < 5; ++k) settings.level[k] = levels[k];
    settings.strength = 30;       // gain 7000
    settings.disabled[2] = true;  // band 3 sees no block
    {
        SoundToForcePipeline chain;
        Observer observer(&chain);
        ASSERT_EQ(StartPumped(&chain, "virtual:Orbit 3D", settings, &observer),
                  StartResult::kRunning);
        EXPECT_TRUE(m_reporter.texts.empty());
        EXPECT_EQ(chain.ProductIndex(), 3);
        EXPECT_EQ(chain.Engine().ListenerCount(), 6u);
        EXPECT_TRUE(chain.Engine().HasBuffer());
        EXPECT_FALSE(chain.Engine().IsThreadRunning());

        // Hand-worked: e^0, e^1, e^4, e^10, e^20; Orbit 3D's row 43, 75, 90, 115, 250 Hz.
        const double thresholds[5] = {1.0, 2.718281828459045, 54.598150033144236,
                                      22026.465794806718, 485165195.4097903};
        const std::uint32_t hz[5] = {43, 75, 90, 115, 250};
        for (int band = 1; band <= 5; ++band) {
            const CBandMapper* m = chain.Mapper(band);
            ASSERT_NE(m, nullptr) << band;
            EXPECT_DOUBLE_EQ(m->Threshold(), thresholds[band - 1]) << band;
            EXPECT_EQ(m->EffectFrequency(), hz[band - 1]) << band;
        }
        const auto shown = kinetra::force::GetVirtualDeviceSnapshot();
        EXPECT_EQ(shown.effectCount, 5);
        for (int slot = 0; slot < 5; ++slot) EXPECT_EQ(shown.effects[slot].gain, 7000u) << slot;

        // One block: the bins of each band's edges (bins 44100 / 1024 Hz wide), band 3 left
        // out, then the observer.
        const std::vector<std::int16_t> block(1024, 100);
        ASSERT_EQ(m_source->Push(block.data(), 1024, 0), kinetra::capture::kOk);
        chain.PumpBlock();
        EXPECT_EQ(observer.calls, 1);
        EXPECT_EQ(observer.mappersBefore, 4);
        EXPECT_EQ(chain.Mapper(3)->LastReport().lastBin, 0u);
        const std::uint32_t first[5] = {1, 6, 12, 48, 234};
        const std::uint32_t last[5] = {5, 11, 47, 233, 512};
        for (int band : {1, 2, 4, 5}) {
            EXPECT_EQ(chain.Mapper(band)->LastReport().firstBin, first[band - 1]) << band;
            EXPECT_EQ(chain.Mapper(band)->LastReport().lastBin, last[band - 1]) << band;
        }

        EXPECT_TRUE(chain.Stop());
        for (int band = 1; band <= 5; ++band) EXPECT_EQ(chain.Mapper(band), nullptr);
        EXPECT_EQ(chain.Engine().ListenerCount(), 0u);
        EXPECT_FALSE(chain.Engine().HasDevice());
        EXPECT_EQ(CForceChannel::ChannelCount(), 0);
        EXPECT_TRUE(chain.Stop());  // a second teardown does nothing
    }
    EXPECT_EQ(kinetra::force::GetVirtualDeviceSnapshot().effectCount, 0);
}

TEST_F(Pipeline, FailuresOfTheForceDeviceAndTheCaptureInput) {
    PipelineSettings settings;
    {
        // No device: band 1 fails, nothing is kept.
        SoundToForcePipeline chain;
        EXPECT_EQ(StartPumped(&chain, "virtual,fail=open", settings), StartResult::kNoDevice);
        for (int band = 1; band <= 5; ++band) EXPECT_EQ(chain.Mapper(band), nullptr);
        EXPECT_EQ(chain.Engine().ListenerCount(), 0u);
        EXPECT_FALSE(chain.Engine().HasBuffer());
    }
    {
        // One effect only: band 2 fails; band 1 stays until the teardown.
        SoundToForcePipeline chain;
        EXPECT_EQ(StartPumped(&chain, "virtual,effects=1", settings), StartResult::kBandMissing);
        EXPECT_NE(chain.Mapper(1), nullptr);
        EXPECT_EQ(chain.Mapper(2), nullptr);
        EXPECT_EQ(chain.Engine().ListenerCount(), 1u);
        EXPECT_FALSE(chain.Engine().HasBuffer());
        EXPECT_TRUE(chain.Stop());
        EXPECT_EQ(chain.Mapper(1), nullptr);
        EXPECT_EQ(CForceChannel::ChannelCount(), 0);
    }
    {
        // Four effects: the pipeline runs without band 5.
        SoundToForcePipeline chain;
        EXPECT_EQ(StartPumped(&chain, "virtual,effects=4", settings), StartResult::kRunning);
        EXPECT_NE(chain.Mapper(4), nullptr);
        EXPECT_EQ(chain.Mapper(5), nullptr);
        EXPECT_EQ(chain.Engine().ListenerCount(), 4u);
    }
    {
        // The capture input cannot be opened: the owner is told, start-up goes on, and the
        // ring cannot be opened without a device.
        StartOptions options = Options("virtual");
        options.startThread = false;
        m_source.reset();  // nothing answers to "memory:pipeline-test" any more
        SoundToForcePipeline chain;
        EXPECT_EQ(chain.Start(settings, &m_reporter, options), StartResult::kNoCaptureBuffer);
        ASSERT_EQ(m_reporter.texts.size(), 1u);
        EXPECT_EQ(m_reporter.texts[0], "Could not initialize DirectSound.");
        EXPECT_EQ(m_reporter.codes[0], 1);
        EXPECT_NE(chain.Mapper(5), nullptr);
    }
    EXPECT_EQ(CForceChannel::ChannelCount(), 0);
}

TEST_F(Pipeline, ADeviceChoiceHoldsOnlyUntilStop) {
    SoundToForcePipeline chain;
    StartOptions options = Options("virtual:Primax FX");
    options.startThread = false;
    ASSERT_EQ(chain.Start(PipelineSettings{}, &m_reporter, options), StartResult::kRunning);
    kinetra::force::ForceDeviceChoice current;
    std::string error;
    ASSERT_TRUE(kinetra::force::CurrentForceDeviceChoice(&current, &error));
    EXPECT_EQ(current.virtualName, "Primax FX");
    chain.Stop();
    kinetra::force::ForceDeviceChoice fallback;
    ASSERT_TRUE(kinetra::force::CurrentForceDeviceChoice(&current, &error));
    ASSERT_TRUE(kinetra::force::DefaultForceDeviceChoice(&fallback, &error));
    EXPECT_EQ(current.kind, fallback.kind);
    EXPECT_EQ(current.virtualName, fallback.virtualName);
}

TEST_F(Pipeline, RunsItsCaptureThreadAndStopsItBeforeTheMappersGo) {
    SoundToForcePipeline chain;
    ASSERT_EQ(chain.Start(PipelineSettings{}, &m_reporter, Options("virtual")),
              StartResult::kRunning);
    EXPECT_TRUE(chain.Engine().IsThreadRunning());
    EXPECT_TRUE(chain.Stop());
    EXPECT_FALSE(chain.Engine().IsThreadRunning());
    EXPECT_EQ(chain.Mapper(1), nullptr);
    EXPECT_FALSE(chain.Engine().HasDevice());
}

TEST_F(Pipeline, RestartsOnAnotherDeviceAndBackAfterAFailedOne) {
    PipelineSettings settings;
    settings.level[0] = 50;  // e^10
    settings.disabled[1] = true;
    SoundToForcePipeline chain;
    ASSERT_EQ(chain.Start(settings, &m_reporter, Options("virtual:Orbit 3D")),
              StartResult::kRunning);
    EXPECT_EQ(chain.ProductIndex(), 3);

    // A device that cannot be opened: Stop ran first, nothing of the old chain is left.
    EXPECT_EQ(chain.Restart(settings, &m_reporter, Options("virtual,fail=open")),
              StartResult::kNoDevice);
    EXPECT_FALSE(chain.Engine().IsThreadRunning());
    EXPECT_EQ(chain.Engine().ListenerCount(), 0u);
    EXPECT_EQ(CForceChannel::ChannelCount(), 0);

    // Back on the first device, with the settings, the capture thread and every listener.
    ASSERT_EQ(chain.Restart(settings, &m_reporter, Options("virtual:Orbit 3D")),
              StartResult::kRunning);
    EXPECT_TRUE(chain.Engine().IsThreadRunning());
    EXPECT_EQ(chain.Engine().ListenerCount(), 5u);
    EXPECT_EQ(chain.ProductIndex(), 3);
    EXPECT_DOUBLE_EQ(chain.Mapper(1)->Threshold(), 22026.465794806718);
    const auto shown = kinetra::force::GetVirtualDeviceSnapshot();
    EXPECT_EQ(shown.effectCount, 5);
    EXPECT_TRUE(shown.effects[0].playing);
    EXPECT_FALSE(shown.effects[1].playing);  // band 2's Disable box
    EXPECT_TRUE(m_reporter.texts.empty());
    EXPECT_TRUE(chain.Stop());
    EXPECT_EQ(CForceChannel::ChannelCount(), 0);
}

TEST_F(Pipeline, HeldMappersLeaveTheEffectsToPlayBandAndComeBackAsEnabled) {
    PipelineSettings settings;
    settings.strength = 25;       // gain 7500 on every effect, playing bands included
    settings.disabled[3] = true;  // band 4
    SoundToForcePipeline chain;
    ASSERT_EQ(StartPumped(&chain, "virtual:Orbit 3D", settings), StartResult::kRunning);
    auto playing = [] {
        const auto shown = kinetra::force::GetVirtualDeviceSnapshot();
        std::vector<bool> on;
        for (int slot = 0; slot < 5; ++slot) on.push_back(shown.effects[slot].playing);
        return on;
    };
    EXPECT_EQ(playing(), (std::vector<bool>{true, true, true, false, true}));
    EXPECT_FALSE(chain.PlayBand(1, 5000));  // only while held

    chain.HoldMappers(true);
    EXPECT_TRUE(chain.MappersHeld());
    EXPECT_EQ(playing(), std::vector<bool>(5, false));
    ASSERT_TRUE(chain.PlayBand(4, 6000));  // a disabled band plays too
    auto shown = kinetra::force::GetVirtualDeviceSnapshot();
    EXPECT_EQ(playing(), (std::vector<bool>{false, false, false, true, false}));
    EXPECT_EQ(shown.effects[3].magnitude, 6000u);
    EXPECT_EQ(shown.effects[3].periodMs, 8u);  // 1000 / 115 Hz, Orbit 3D's band 4
    // 32767 × 6000 × 7500 / 10000², to the nearest level.
    EXPECT_EQ(shown.effects[3].level, 14745);
    // A block mapped meanwhile sends nothing to the effects.
    const auto updates = shown.updates;
    const std::vector<std::int16_t> block(1024, 3000);
    ASSERT_EQ(m_source->Push(block.data(), 1024, 0), kinetra::capture::kOk);
    chain.PumpBlock();
    EXPECT_EQ(kinetra::force::GetVirtualDeviceSnapshot().updates, updates);
    // Enabling and disabling while held is only remembered.
    chain.EnableBand(2, false);
    chain.EnableBand(4, true);
    EXPECT_EQ(playing(), (std::vector<bool>{false, false, false, true, false}));
    ASSERT_TRUE(chain.PlayBand(4, 0));
    EXPECT_EQ(kinetra::force::GetVirtualDeviceSnapshot().effects[3].magnitude, 0u);
    EXPECT_EQ(playing(), std::vector<bool>(5, false));

    chain.HoldMappers(false);
    EXPECT_EQ(playing(), (std::vector<bool>{true, false, true, true, true}));
    EXPECT_FALSE(chain.BandEnabled(2));
    EXPECT_TRUE(chain.BandEnabled(4));
    EXPECT_FALSE(chain.PlayBand(1, 5000));
}

}  // namespace
