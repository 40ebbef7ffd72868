// The level and strength controls driven with the keyboard and the mouse: Locked mode with its
// followers, Home and End, the Disable boxes, the enabled-state rules and the Strength slider.
#include <QStyle>
#include <QStyleOptionSlider>

#include "app/test_sound.h"
#include "dialog_fixture.h"

namespace {

using kinetra::force::GetVirtualDeviceSnapshot;
using kinetra::test::DialogFixture;

class LevelControls : public DialogFixture {
protected:
    // Centre of the slider's handle, in the slider's coordinates.
    static QPoint HandleCentre(CSliderCtrl* slider) {
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = slider->orientation();
        option.minimum = slider->minimum();
        option.maximum = slider->maximum();
        option.sliderPosition = slider->sliderPosition();
        option.sliderValue = slider->value();
        option.upsideDown = !slider->invertedAppearance();  // vertical sliders draw upside down
        option.tickPosition = slider->tickPosition();
        option.tickInterval = slider->tickInterval();
        option.singleStep = slider->singleStep();
        option.pageStep = slider->pageStep();
        return slider->style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
            .center();
    }

    std::uint32_t EffectGain(int band) const {
        int seen = 0;
        for (const auto& effect : GetVirtualDeviceSnapshot().effects) {
            if (effect.created && ++seen == band) return effect.gain;
        }
        return 0xFFFFFFFFu;
    }
    bool EffectPlaying(int band) const {
        int seen = 0;
        for (const auto& effect : GetVirtualDeviceSnapshot().effects) {
            if (effect.created && ++seen == band) return effect.playing;
        }
        return false;
    }
};

TEST_F(LevelControls, ThresholdSteps) {
    // Positions 0..4 give 1, 95..99 give e^19 and 100 gives e^20.
    ASSERT_TRUE(Start());
    Click(m_dlg->LockedBox());  // Free: each slider on its own
    for (int target : {0, 4, 5, 95, 99, 100}) {
        m_dlg->LevelSlider(2)->SetPos(target);
        QTest::mouseClick(m_dlg->LevelSlider(2), Qt::LeftButton, Qt::NoModifier,
                          HandleCentre(m_dlg->LevelSlider(2)));
        ExpectThreshold(2, Pos(2));
    }
    EXPECT_EQ(Pos(2), 100);
    EXPECT_NEAR(m_dlg->Mapper(2)->Threshold(), std::exp(20.0L), std::exp(20.0) * 1e-12);
}

TEST_F(LevelControls, KeysMoveTheThumbTowardsTheirDirection) {
    ASSERT_TRUE(Start());
    Key(1, Qt::Key_Up);
    EXPECT_EQ(Pos(1), 19);
    Key(1, Qt::Key_Down, 2);
    EXPECT_EQ(Pos(1), 21);
    Key(1, Qt::Key_PageUp);
    EXPECT_EQ(Pos(1), 1);
    Key(1, Qt::Key_PageDown);
    EXPECT_EQ(Pos(1), 21);
}

TEST_F(LevelControls, LockedFollowersMoveByTheSameAmountAndStopAtTheEnds) {
    Store("threshold2", 4);
    ASSERT_TRUE(Start());
    Key(1, Qt::Key_Up, 10);  // slider 1 up by 10
    EXPECT_EQ(Pos(1), 10);
    EXPECT_EQ(m_dlg->LastLevel1(), 10);
    EXPECT_EQ(Pos(2), 0);  // stopped at the top
    for (int band = 3; band <= 5; ++band) EXPECT_EQ(Pos(band), 10);
    ExpectThreshold(1, 10);
    ExpectThreshold(2, 0);
    EXPECT_NEAR(m_dlg->Mapper(2)->Threshold(), 1.0, 0.0);
    ExpectThreshold(5, 10);

    Key(1, Qt::Key_Down, 10);  // and back down by 10
    EXPECT_EQ(Pos(1), 20);
    EXPECT_EQ(Pos(2), 10);  // not 14
    for (int band = 3; band <= 5; ++band) EXPECT_EQ(Pos(band), 20);
    ExpectThreshold(2, 10);
}

TEST_F(LevelControls, HomeAndEndMoveSliderOneButChangeNoThreshold) {
    ASSERT_TRUE(Start());
    Key(1, Qt::Key_Home);
    EXPECT_EQ(Pos(1), 0);
    EXPECT_EQ(m_dlg->LastLevel1(), 20);
    ExpectThreshold(1, 20);
    for (int band = 2; band <= 5; ++band) EXPECT_EQ(Pos(band), 20);

    // The next line event gives band 1 its threshold and moves the followers by the whole
    // distance since the last record: from 20 to 1 is -19.
    Key(1, Qt::Key_Down);
    EXPECT_EQ(Pos(1), 1);
    EXPECT_EQ(m_dlg->LastLevel1(), 1);
    ExpectThreshold(1, 1);
    for (int band = 2; band <= 5; ++band) {
        EXPECT_EQ(Pos(band), 1);
        ExpectThreshold(band, 1);
    }

    Key(1, Qt::Key_End);
    EXPECT_EQ(Pos(1), 100);
    ExpectThreshold(1, 1);
    EXPECT_EQ(Pos(3), 1);
    Key(1, Qt::Key_PageUp);  // 100 - 20 = 80; followers +79
    EXPECT_EQ(Pos(1), 80);
    EXPECT_EQ(Pos(3), 80);
    ExpectThreshold(3, 80);
}

TEST_F(LevelControls, KeyboardMovesWhileFreeCountOnceLockedAgain) {
    ASSERT_TRUE(Start());
    Click(m_dlg->LockedBox());
    ASSERT_FALSE(m_dlg->LockedBox()->isChecked());
    Key(1, Qt::Key_Down, 3);  // 23, followers untouched, nothing recorded
    EXPECT_EQ(Pos(1), 23);
    EXPECT_EQ(m_dlg->LastLevel1(), 20);
    for (int band = 2; band <= 5; ++band) EXPECT_EQ(Pos(band), 20);
    ExpectThreshold(1, 23);

    Click(m_dlg->LockedBox());
    EXPECT_EQ(m_dlg->LastLevel1(), 20);  // checking Locked records nothing
    Key(1, Qt::Key_Down);                // one step: followers move 1 + 3
    EXPECT_EQ(Pos(1), 24);
    for (int band = 2; band <= 5; ++band) {
        EXPECT_EQ(Pos(band), 24);
        ExpectThreshold(band, 24);
    }
}

TEST_F(LevelControls, DraggingSliderOneTracksAndTheReleaseRecordsIt) {
    ASSERT_TRUE(Start());
    CSliderCtrl* slider = m_dlg->LevelSlider(1);
    const QPoint from = HandleCentre(slider);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(slider, from + QPoint(0, 15));
    QTest::mouseMove(slider, from + QPoint(0, 30));
    const int dragged = Pos(1);
    EXPECT_GT(dragged, 20);
    // Thumb tracking moved the followers along the way.
    for (int band = 2; band <= 5; ++band) EXPECT_EQ(Pos(band), dragged);
    ExpectThreshold(1, dragged);
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, from + QPoint(0, 30));
    EXPECT_EQ(Pos(1), dragged);
    EXPECT_EQ(m_dlg->LastLevel1(), dragged);
    ExpectThreshold(1, dragged);
    ExpectThreshold(4, dragged);
}

TEST_F(LevelControls, ReleasingSliderOneRecordsItsPositionWithoutMovingFollowers) {
    ASSERT_TRUE(Start());
    Click(m_dlg->LockedBox());  // Free
    Key(1, Qt::Key_Down, 5);    // 25, not recorded
    Click(m_dlg->LockedBox());  // Locked again
    CSliderCtrl* slider = m_dlg->LevelSlider(1);
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, HandleCentre(slider));
    EXPECT_EQ(m_dlg->LastLevel1(), 25);
    for (int band = 2; band <= 5; ++band) EXPECT_EQ(Pos(band), 20);
    Key(1, Qt::Key_Down);  // from the new record: followers move by 1 only
    EXPECT_EQ(Pos(2), 21);
}

TEST_F(LevelControls, DisablingBandOneWhileLockedSilencesItButKeepsItDriving) {
    ASSERT_TRUE(Start());
    Click(m_dlg->DisableBox(1));
    EXPECT_TRUE(m_dlg->DisableBox(1)->isChecked());
    EXPECT_TRUE(m_dlg->LevelSlider(1)->isEnabled());
    EXPECT_FALSE(EffectPlaying(1));
    EXPECT_TRUE(EffectPlaying(2));
    Key(1, Qt::Key_Down, 2);
    for (int band = 2; band <= 5; ++band) EXPECT_EQ(Pos(band), 22);

    Click(m_dlg->DisableBox(1));  // on again
    EXPECT_TRUE(EffectPlaying(1));
    EXPECT_TRUE(m_dlg->LevelSlider(1)->isEnabled());
}

TEST_F(LevelControls, FreeSlidersMoveAloneAndRegiveEveryThreshold) {
    ASSERT_TRUE(Start());
    Click(m_dlg->LockedBox());
    Key(3, Qt::Key_PageDown);  // 40
    EXPECT_EQ(Pos(3), 40);
    ExpectThreshold(3, 40);
    for (int band : {1, 2, 4, 5}) EXPECT_EQ(Pos(band), 20);
    EXPECT_EQ(m_dlg->LastLevel1(), 20);
}

TEST_F(LevelControls, StrengthSliderGivesTheGainToEveryEffect) {
    ASSERT_TRUE(Start());
    CSliderCtrl* strength = m_dlg->StrengthSlider();
    strength->setFocus();
    QTest::keyClick(strength, Qt::Key_End);  // bottom: no gain change of its own
    EXPECT_EQ(strength->value(), 100);
    for (int band = 1; band <= 5; ++band) EXPECT_EQ(EffectGain(band), 10000u);
    QTest::keyClick(strength, Qt::Key_Up);  // line up: 99
    for (int band = 1; band <= 5; ++band) EXPECT_EQ(EffectGain(band), 100u);
    QTest::keyClick(strength, Qt::Key_Down);  // 100: gain 0, effects keep running
    for (int band = 1; band <= 5; ++band) {
        EXPECT_EQ(EffectGain(band), 0u);
        EXPECT_TRUE(EffectPlaying(band));
    }
    QTest::keyClick(strength, Qt::Key_Home);  // top, no change
    EXPECT_EQ(EffectGain(1), 0u);
    QTest::mouseClick(strength, Qt::LeftButton, Qt::NoModifier, HandleCentre(strength));
    for (int band = 1; band <= 5; ++band) EXPECT_EQ(EffectGain(band), 10000u);
    m_dlg->OnDestroy();
    EXPECT_EQ(Stored("gain"), 100);
}

TEST_F(LevelControls, HandlersRunWhileTheCaptureThreadAnalysesBlocks) {
    // The controls change thresholds, gains and enabled flags while the capture thread reads
    // them block by block (the threaded build checks that nothing races).
    std::vector<std::int16_t> sound;
    ASSERT_TRUE(kinetra::app::LoadSoundFile(kinetra::app::FindDataFile("test.wav"), &sound));
    ASSERT_TRUE(Start());
    const auto updatesBefore = GetVirtualDeviceSnapshot().updates;
    CSliderCtrl* strength = m_dlg->StrengthSlider();
    for (int i = 0; i < 40; ++i) {
        const std::size_t at = (static_cast<std::size_t>(i) * 1024) % (sound.size() - 1024);
        m_script->Append(sound.data() + at, 1024);
        Key(1, i % 2 == 0 ? Qt::Key_Down : Qt::Key_Up);
        Click(m_dlg->DisableBox(1 + i % 5));
        strength->setFocus();
        QTest::keyClick(strength, i % 3 == 0 ? Qt::Key_Down : Qt::Key_Up);
        if (i % 10 == 9) Click(m_dlg->LockedBox());
    }
    EXPECT_TRUE(kinetra::test::WaitUntil(
        [&] { return GetVirtualDeviceSnapshot().updates > updatesBefore; }));
    m_dlg->OnDestroy();
    EXPECT_FALSE(m_dlg->Capture().IsThreadRunning());
}

}  // namespace
