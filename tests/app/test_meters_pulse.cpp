// The window's meters against a real sound server: the program listens to what the fixture's
// null sink plays (KINETRA_AUDIO_INPUT=monitor) on the virtual force device. In the sink's
// silence the window stands still with "no signal" meters; a tone burst into the sink moves
// band 1's meter past its threshold, lights it and the Strength slider, and the window stands
// still again once the burst is over.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QTest>
#include <atomic>
#include <thread>

#include "analysis/band_mapper.h"
#include "app/status_line.h"
#include "app/vibrel_dlg.h"
#include "app_test_support.h"
#include "capture/pulse_env.h"
#include "window/meters.h"

namespace {

using kinetra::app::SliderMeter;
using Look = SliderMeter::Look;
using kinetra::test::WaitUntil;

class MetersOnASoundServer : public ::testing::Test {
protected:
    void SetUp() override {
        kinetra::test::ClearStoredSettings();
        m_dlg = std::make_unique<CVibrelDlg>();
        ASSERT_TRUE(m_dlg->OnInitDialog());
        m_dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg.get()));
    }
    void TearDown() override {
        if (m_dlg) m_dlg->OnDestroy();
        m_dlg.reset();
        kinetra::test::ClearStoredSettings();
    }

    QImage Picture() const { return m_dlg->grab().toImage(); }
    const SliderMeter& Meter(int band) const { return m_dlg->LevelSlider(band)->Meter(); }
    bool AllMeters(Look look) const {
        for (int band = 1; band <= CVibrelDlg::kBands; ++band) {
            if (Meter(band).look != look) return false;
        }
        return m_dlg->StrengthSlider()->Meter().look == look;
    }
    // The window stands still: two pictures 400 ms apart are the same.
    void ExpectStill() {
        const QImage before = Picture();
        QTest::qWait(400);
        EXPECT_EQ(Picture(), before);
    }

    kinetra::test::ScopedEnv m_device{"KINETRA_FORCE_DEVICE", "virtual"};
    kinetra::test::MessageBoxRecorder m_boxes;
    std::unique_ptr<CVibrelDlg> m_dlg;
};

TEST_F(MetersOnASoundServer, MetersMoveWithABurstAndStandStillInSilence) {
    // Silence: blocks arrive, every meter shows no signal, nothing moves.
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->Mapper(1)->Live().blocks > 20; }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return AllMeters(Look::kNoSignal); }));
    EXPECT_FALSE(m_dlg->Meters()->Signal());
    ExpectStill();
    const QImage silent = Picture();

    // A 100 Hz burst (band 1) of 2 s, played from a thread of its own while the window runs.
    std::atomic<bool> played{false};
    std::thread player([&] {
        played = kinetra::test::PlayIntoSink(kinetra::test::Tone(100.0, 12000.0, 2 * 44100));
    });
    bool moved = false;
    bool pastThreshold = false;
    bool lit = false;
    bool strengthLit = false;
    bool listening = false;
    WaitUntil(
        [&] {
            const SliderMeter& meter = Meter(1);
            pastThreshold = pastThreshold || (meter.look == Look::kLive && meter.to > meter.mark);
            lit = lit || meter.lit;
            strengthLit = strengthLit || m_dlg->StrengthSlider()->Meter().lit;
            listening = listening || m_dlg->Status()->HintText() == QStringLiteral("listening");
            moved = moved || Picture() != silent;
            return moved && pastThreshold && lit && strengthLit && listening;
        },
        10000);
    player.join();
    ASSERT_TRUE(played) << "pacat could not play into the fixture's sink";
    EXPECT_TRUE(moved);
    EXPECT_TRUE(pastThreshold);
    EXPECT_TRUE(lit);
    EXPECT_TRUE(strengthLit);
    EXPECT_TRUE(listening);

    // Silence again: the meters go back to no signal and the window stands still.
    EXPECT_TRUE(WaitUntil([&] { return AllMeters(Look::kNoSignal); }, 5000));
    ExpectStill();
    EXPECT_EQ(m_dlg->Status()->HintText(), QStringLiteral("listening"));  // under 10 s
}

TEST_F(MetersOnASoundServer, ADisabledBandIsHatchedWhileTheOthersListen) {
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->Mapper(1)->Live().blocks > 5; }, 10000));
    QTest::mouseClick(m_dlg->DisableBox(2), Qt::LeftButton, Qt::NoModifier,
                      m_dlg->DisableBox(2)->rect().center());
    ASSERT_TRUE(m_dlg->DisableBox(2)->isChecked());
    EXPECT_TRUE(WaitUntil([&] { return Meter(2).look == Look::kBandOff; }));
    EXPECT_EQ(Meter(1).look, Look::kNoSignal);
}

}  // namespace
