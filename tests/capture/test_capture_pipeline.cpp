// The whole per-block path with the real band mappers on the virtual force device: silence
// leaves every effect at rest, a bass burst drives band 1's effect to full, and the user's
// settings may change on another thread while blocks flow.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "analysis/band_mapper.h"
#include "engine_fixture.h"
#include "force/virtual_device.h"
#include "support/scoped_env.h"

namespace cap = kinetra::capture;
namespace force = kinetra::force;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kLowHz[5] = {0, 220, 484, 2030, 10040};
constexpr std::uint32_t kHighHz[5] = {177, 440, 2000, 10000, 23000};
// Distinct effect frequencies so that each band's effect is known by its period (1000 / Hz).
constexpr std::uint32_t kEffectHz[5] = {10, 20, 25, 40, 50};

class PipelineTest : public kinetra::test::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Open();
        for (int k = 0; k < 5; ++k) {
            m_mapper[k] = new CBandMapper(SPECTRUM_BINS);
            ASSERT_EQ(m_mapper[k]->AttachEffect(), 1) << "band " << k + 1;
            m_mapper[k]->SetBand(kLowHz[k], kHighHz[k]);
            m_mapper[k]->SetEffectFrequency(kEffectHz[k]);
            m_mapper[k]->SetThreshold(20);  // e^4
            engine->AddListener(m_mapper[k]);
        }
        for (CBandMapper* m : m_mapper) m->SetGain(10000);
        Silence(m_silence);
        for (int j = 0; j < 1024; ++j) {
            m_tone[j] = static_cast<std::int16_t>(
                std::lround(10000.0 * std::sin(2 * M_PI * 100.0 * j / 44100.0)));
        }
    }
    void TearDown() override {
        engine->StopThread();
        for (CBandMapper*& m : m_mapper) {
            if (m == nullptr) continue;
            engine->RemoveListener(m);
            delete m;
            m = nullptr;
        }
        EngineTest::TearDown();
    }

    static void Silence(std::int16_t* block) {
        for (int j = 0; j < 1024; ++j) block[j] = 0;
    }
    // The virtual device's effect of band k (1-based), found by its period.
    static const force::VirtualEffectSnapshot* EffectOfBand(const force::VirtualDeviceSnapshot& s,
                                                            int band) {
        for (const force::VirtualEffectSnapshot& e : s.effects) {
            if (e.created && e.periodMs == 1000 / kEffectHz[band - 1]) return &e;
        }
        return nullptr;
    }

    // Set before SetUp opens anything and restored after TearDown.
    kinetra::test::ScopedEnv m_device{"KINETRA_FORCE_DEVICE", "virtual"};
    CBandMapper* m_mapper[5] = {};
    std::int16_t m_silence[1024];
    std::int16_t m_tone[1024];
};

TEST_F(PipelineTest, SilenceRestsAndABassBurstDrivesBandOne) {
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(script->Append(m_silence, 1024));
        engine->PumpBlock();
    }
    force::VirtualDeviceSnapshot s = force::GetVirtualDeviceSnapshot();
    for (int band = 1; band <= 5; ++band) {
        const force::VirtualEffectSnapshot* e = EffectOfBand(s, band);
        ASSERT_NE(e, nullptr) << "band " << band;
        EXPECT_EQ(e->magnitude, 0u) << "band " << band;
        EXPECT_TRUE(e->playing) << "band " << band;
        EXPECT_EQ(m_mapper[band - 1]->Scale(), 50u);
    }

    // After silence the average is zero, so the first loud block rises 50-fold over it (the
    // average holds 0.02 of it): 50 * 50 * 50 is far past saturation; band 1 sends full.
    ASSERT_TRUE(script->Append(m_tone, 1024));
    engine->PumpBlock();
    EXPECT_EQ(m_mapper[0]->LastReport().mag, 10000u);
    EXPECT_DOUBLE_EQ(m_mapper[0]->LastReport().peakLevel, 50.0);
    s = force::GetVirtualDeviceSnapshot();
    EXPECT_EQ(EffectOfBand(s, 1)->magnitude, 10000u);
    EXPECT_EQ(EffectOfBand(s, 5)->magnitude, 0u);  // nothing near the top of the spectrum
}

TEST_F(PipelineTest, SettingsChangeOnAnotherThreadWhileBlocksFlow) {
    ASSERT_TRUE(engine->StartThread());
    const std::uint64_t updatesBefore = force::GetVirtualDeviceSnapshot().updates;
    std::atomic<bool> done{false};
    std::thread ui([&] {
        for (std::uint32_t i = 0; !done; ++i) {
            CBandMapper* m = m_mapper[i % 5];
            m->SetThreshold(i % 101);
            m->Enable(i % 7 != 0);
            m->SetGain((i * 997) % 10001);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        for (CBandMapper* m : m_mapper) m->Enable(1);
    });
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    for (int i = 0; i < 300 && Clock::now() < deadline; ++i) {
        ASSERT_TRUE(script->Append(i % 20 < 10 ? m_silence : m_tone, 1024));
        // Give the capture thread time for the block (a fraction of a block's real duration).
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    done = true;
    ui.join();
    EXPECT_TRUE(engine->StopThread());
    EXPECT_GT(force::GetVirtualDeviceSnapshot().updates, updatesBefore);
}

}  // namespace
