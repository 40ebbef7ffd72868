// Start-up and teardown of the main window: what a good start sets up, and each failure path
// with its message, exit code and saved settings.
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/desktop_check.h"
#include "app/dialog_units.h"
#include "app/hyperlink.h"
#include "app/vibrel_app.h"
#include "dialog_fixture.h"
#include "force/force_channel.h"
#include "platform/priority.h"
#include "support/debug_capture.h"

namespace {

using kinetra::force::GetVirtualDeviceSnapshot;
using kinetra::test::DialogFixture;

class VibrelDlgStartup : public DialogFixture {};

TEST_F(VibrelDlgStartup, FirstRunShowsDefaultsAndDrivesFiveEffects) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_FALSE(m_dlg->QuitRequested());
    EXPECT_EQ(m_dlg->windowTitle(), "Ondrel Kinetra Entertainment 0.2beta");

    for (int band = 1; band <= 5; ++band) {
        EXPECT_EQ(Pos(band), 20);
        EXPECT_EQ(m_dlg->LevelSlider(band)->minimum(), 0);
        EXPECT_EQ(m_dlg->LevelSlider(band)->maximum(), 100);
        EXPECT_FALSE(m_dlg->DisableBox(band)->isChecked());
        ExpectThreshold(band, 20);  // e^4
    }
    EXPECT_NEAR(m_dlg->Mapper(1)->Threshold(), 54.598150033144236, 1e-9);
    EXPECT_EQ(m_dlg->LastLevel1(), 20);
    EXPECT_EQ(m_dlg->StrengthSlider()->value(), 0);
    EXPECT_TRUE(m_dlg->LockedBox()->isChecked());

    // Locked layout: slider 1 enabled with ticks every 10, the followers disabled without.
    EXPECT_TRUE(m_dlg->LevelSlider(1)->isEnabled());
    EXPECT_TRUE(m_dlg->LevelSlider(1)->HasTicks());
    EXPECT_EQ(m_dlg->LevelSlider(1)->tickInterval(), 10);
    for (int band = 2; band <= 5; ++band) {
        EXPECT_FALSE(m_dlg->LevelSlider(band)->isEnabled());
        EXPECT_FALSE(m_dlg->LevelSlider(band)->HasTicks());
    }
    EXPECT_TRUE(m_dlg->StrengthSlider()->isEnabled());
    EXPECT_EQ(m_dlg->StrengthSlider()->tickInterval(), 10);

    // Five effects playing at full gain; once a block has been analysed, periods 1000 / Hz for
    // "Kinetra Virtual Mouse", which is not in the table and so takes row 0: 40, 75, 90, 115
    // and 250 Hz.
    FeedOneBlock();
    const auto device = GetVirtualDeviceSnapshot();
    EXPECT_EQ(device.effectCount, 5);
    std::vector<std::uint32_t> periods;
    for (const auto& effect : device.effects) {
        if (!effect.created) continue;
        EXPECT_TRUE(effect.playing);
        EXPECT_EQ(effect.gain, 10000u);
        periods.push_back(effect.periodMs);
    }
    EXPECT_EQ(periods, (std::vector<std::uint32_t>{25, 13, 11, 8, 4}));

    // Capture: format 13 ring of 16 blocks of 2048 bytes, five listeners, thread running.
    EXPECT_EQ(m_dlg->Capture().ListenerCount(), 5u);
    EXPECT_EQ(m_dlg->Capture().BufferBytes(), 32768u);
    EXPECT_EQ(m_dlg->Capture().Format().nSamplesPerSec, 44100u);
    EXPECT_EQ(m_dlg->Capture().Format().wBitsPerSample, 16);
    EXPECT_EQ(m_dlg->Capture().Format().nChannels, 1);
    EXPECT_TRUE(m_dlg->Capture().IsThreadRunning());

    // First run: the teardown writes the defaults.
    m_dlg->OnDestroy();
    for (int band = 1; band <= 5; ++band) {
        EXPECT_EQ(Stored(kinetra::settings::ThresholdValueName(band)), 20);
    }
    EXPECT_EQ(Stored("gain"), 100);
}

TEST_F(VibrelDlgStartup, BandOneFrequencyFollowsTheDeviceName) {
    ASSERT_TRUE(Start("virtual:Logitech iFeel MouseMan"));
    FeedOneBlock();
    const auto device = GetVirtualDeviceSnapshot();
    EXPECT_STREQ(device.productName, "Logitech iFeel MouseMan");
    ASSERT_TRUE(device.effects[0].created);
    EXPECT_EQ(device.effects[0].periodMs, 1000u / 62u);
}

TEST_F(VibrelDlgStartup, TeardownStopsTheThreadAndReleasesEverything) {
    ASSERT_TRUE(Start());
    m_dlg->OnDestroy();
    EXPECT_FALSE(m_dlg->Capture().IsThreadRunning());
    EXPECT_EQ(m_dlg->Capture().ListenerCount(), 0u);
    EXPECT_FALSE(m_dlg->Capture().HasDevice());
    for (int band = 1; band <= 5; ++band) EXPECT_EQ(m_dlg->Mapper(band), nullptr);
    EXPECT_EQ(CForceChannel::ChannelCount(), 0);
    EXPECT_EQ(GetVirtualDeviceSnapshot().connections, 0);
    m_dlg->OnDestroy();  // a second teardown finds nothing to do
}

TEST_F(VibrelDlgStartup, StrengthPositionGivesTheGainToEveryEffect) {
    Store("gain", 37);
    ASSERT_TRUE(Start());
    EXPECT_EQ(m_dlg->StrengthSlider()->value(), 63);
    for (const auto& effect : GetVirtualDeviceSnapshot().effects) {
        if (effect.created) {
            EXPECT_EQ(effect.gain, 3700u);
        }
    }
}

TEST_F(VibrelDlgStartup, NoDeviceShowsTheMessageQuitsWithOneAndStillSaves) {
    Store("threshold3", 55);
    EXPECT_FALSE(Start("virtual,fail=open"));
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Could not find an Ondrel Pulsenic device.");
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "Error - Ondrel Kinetra Entertainment");
    EXPECT_EQ(m_boxes.Boxes()[0].icon, kinetra::app::MessageIcon::Error);
    EXPECT_TRUE(m_boxes.Boxes()[0].ownedByMainWindow);
    EXPECT_TRUE(m_dlg->QuitRequested());
    EXPECT_EQ(m_dlg->QuitCode(), 1);
    EXPECT_EQ(m_dlg->Mapper(1), nullptr);
    EXPECT_FALSE(m_dlg->Capture().IsThreadRunning());
    m_dlg->OnDestroy();
    EXPECT_EQ(Stored("threshold3"), 55);
    EXPECT_EQ(Stored("threshold1"), 20);
    EXPECT_EQ(Stored("gain"), 100);
    EXPECT_EQ(CForceChannel::ChannelCount(), 0);
}

TEST_F(VibrelDlgStartup, MissingBandFiveLeavesFourBandsRunning) {
    ASSERT_TRUE(Start("virtual,effects=4"));
    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_FALSE(m_dlg->QuitRequested());
    for (int band = 1; band <= 4; ++band) EXPECT_NE(m_dlg->Mapper(band), nullptr);
    EXPECT_EQ(m_dlg->Mapper(5), nullptr);
    EXPECT_EQ(m_dlg->Capture().ListenerCount(), 4u);
    EXPECT_EQ(GetVirtualDeviceSnapshot().effectCount, 4);

    // Slider 5 and Disable box 5 still work and change nothing else.
    Click(m_dlg->LockedBox());
    EXPECT_TRUE(m_dlg->LevelSlider(5)->isEnabled());
    Key(5, Qt::Key_Down, 3);
    EXPECT_EQ(Pos(5), 23);
    m_dlg->OnReleasedLevel(5);
    Click(m_dlg->DisableBox(5));
    EXPECT_FALSE(m_dlg->LevelSlider(5)->isEnabled());
    EXPECT_EQ(GetVirtualDeviceSnapshot().effectCount, 4);
    m_dlg->OnDestroy();
    EXPECT_EQ(Stored("threshold5"), 23);
}

TEST_F(VibrelDlgStartup, AudioInputThatCannotOpenShowsOneMessageAndQuits) {
    m_script->SetOpenResult(kinetra::capture::kNoDriver);
    Start();
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Could not initialize DirectSound.");
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "Error - Ondrel Kinetra Entertainment");
    EXPECT_TRUE(m_boxes.Boxes()[0].ownedByMainWindow);
    EXPECT_TRUE(m_dlg->QuitRequested());
    EXPECT_EQ(m_dlg->QuitCode(), 1);
    EXPECT_FALSE(m_dlg->Capture().IsThreadRunning());
    m_dlg->OnDestroy();
    EXPECT_EQ(Stored("gain"), 100);
}

TEST_F(VibrelDlgStartup, CaptureBufferFailureShowsItsMessageAndQuits) {
    m_script->SetCreateResult(kinetra::capture::kFail);
    EXPECT_FALSE(Start());
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Error creating sound capture buffer.");
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "Error - Ondrel Kinetra Entertainment");
    EXPECT_EQ(m_boxes.Boxes()[0].icon, kinetra::app::MessageIcon::Error);
    EXPECT_EQ(m_dlg->QuitCode(), 1);
    for (int band = 1; band <= 5; ++band) EXPECT_NE(m_dlg->Mapper(band), nullptr);
    m_dlg->OnDestroy();
    EXPECT_EQ(CForceChannel::ChannelCount(), 0);
    EXPECT_EQ(Stored("threshold1"), 20);
}

TEST_F(VibrelDlgStartup, DesktopProgramWarningDoesNotStopStartup) {
    kinetra::app::SetWindowFinder([](const char*) { return true; });
    const bool started = Start("virtual:Primax FX");
    kinetra::app::SetWindowFinder(nullptr);
    EXPECT_TRUE(started);
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Please exit Ondrel Kinetra Desktop before proceeding.");
    EXPECT_EQ(m_boxes.Boxes()[0].icon, kinetra::app::MessageIcon::Exclamation);
    EXPECT_TRUE(m_boxes.Boxes()[0].ownedByMainWindow);
    EXPECT_FALSE(m_dlg->QuitRequested());
    EXPECT_EQ(m_dlg->Capture().ListenerCount(), 5u);
}

TEST_F(VibrelDlgStartup, DesktopProgramWithAnUnopenableDeviceGoesOnToTheDeviceCheck) {
    kinetra::app::SetWindowFinder([](const char*) { return true; });
    const bool started = Start("virtual:Primax FX,fail=open");
    kinetra::app::SetWindowFinder(nullptr);
    EXPECT_FALSE(started);
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);  // no warning, only the missing device
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Could not find an Ondrel Pulsenic device.");
}

TEST_F(VibrelDlgStartup, PriorityRefusalIsReportedAndStartupGoesOn) {
    kinetra::test::DebugCapture debug;
    kinetra::testing::SetPriorityHook([](kinetra::testing::PriorityRequest) { return false; });
    const bool started = Start();
    kinetra::testing::SetPriorityHook([](kinetra::testing::PriorityRequest) { return true; });
    EXPECT_TRUE(started);
    EXPECT_EQ(debug.Count("SetPriorityClass failed\n"), 1);
}

TEST_F(VibrelDlgStartup, ControlsSitWhereTheLayoutPutsThem) {
    ASSERT_TRUE(Start());
    const kinetra::app::DialogBaseUnits units =
        kinetra::app::BaseUnitsOf(QFontMetrics(m_dlg->font()));
    auto rectOf = [&units](int x, int y, int cx, int cy) {
        return QRect(kinetra::app::DluToPixelsX(x, units), kinetra::app::DluToPixelsY(y, units),
                     kinetra::app::DluToPixelsX(cx, units), kinetra::app::DluToPixelsY(cy, units));
    };
    // The documented 320 x 146 area, and the status's two lines in a strip below it.
    EXPECT_EQ(m_dlg->size(), QSize(kinetra::app::DluToPixelsX(320, units),
                                   kinetra::app::DluToPixelsY(146 + 21, units)));
    EXPECT_EQ(m_dlg->Status()->geometry(), rectOf(7, 145, 306, 18));
    const int levelX[5] = {95, 141, 188, 234, 280};
    const int disableX[5] = {90, 136, 182, 228, 274};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(m_dlg->GetDlgItem(1034 + k)->geometry(), rectOf(levelX[k], 22, 27, 73));
        EXPECT_EQ(m_dlg->GetDlgItem(1025 + k)->geometry(), rectOf(disableX[k], 97, 39, 10));
        EXPECT_EQ(qobject_cast<QCheckBox*>(m_dlg->GetDlgItem(1025 + k))->text(), "Disable");
    }
    EXPECT_EQ(m_dlg->GetDlgItem(1039)->geometry(), rectOf(28, 22, 28, 73));
    EXPECT_EQ(m_dlg->GetDlgItem(1041)->geometry(), rectOf(273, 13, 40, 10));
    EXPECT_EQ(m_dlg->GetDlgItem(1042)->geometry(), rectOf(205, 125, 50, 14));
    EXPECT_EQ(m_dlg->GetDlgItem(1043)->geometry(), rectOf(263, 125, 50, 14));
    EXPECT_EQ(m_dlg->GetDlgItem(1033)->geometry(), rectOf(7, 131, 64, 8));
    EXPECT_EQ(qobject_cast<QPushButton*>(m_dlg->GetDlgItem(1042))->text(), "Test");
    EXPECT_EQ(qobject_cast<QPushButton*>(m_dlg->GetDlgItem(1043))->text(), "Help");
    EXPECT_EQ(qobject_cast<QCheckBox*>(m_dlg->GetDlgItem(1041))->text(), "Locked");
    QStringList texts;
    for (QLabel* label : m_dlg->findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("Strength"));
    EXPECT_TRUE(texts.contains("Response Levels"));
    EXPECT_TRUE(texts.contains("For help optimizing your settings, please read the Help file."));
    EXPECT_FALSE(m_dlg->windowIcon().isNull());
    EXPECT_FALSE(m_dlg->OnQueryDragIcon().isNull());
}

// The application object: exit codes of a failed and of an ordinary run.
class VibrelApp : public DialogFixture {};

TEST_F(VibrelApp, FailedStartupEndsWithExitCodeOneAndSaves) {
    kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", "none");
    kinetra::test::ScopedEnv input("KINETRA_AUDIO_INPUT", "/nonexistent/nothing.wav");
    CVibrelApp app;
    EXPECT_EQ(app.InitInstance(), 1);
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_GE(m_boxes.Boxes().size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(kinetra::test::SettingsFilePath()));
    EXPECT_EQ(Stored("threshold1"), 20);
}

TEST_F(VibrelApp, ClosingTheWindowEndsWithExitCodeZero) {
    kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", "virtual");
    const QString wav = kinetra::app::FindDataFile("test.wav");
    ASSERT_FALSE(wav.isEmpty());
    kinetra::test::ScopedEnv input("KINETRA_AUDIO_INPUT", wav.toLocal8Bit().constData());
    CVibrelApp app;
    bool sawWindow = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (app.MainWindow() != nullptr && app.MainWindow()->isVisible()) {
            sawWindow = true;
            app.MainWindow()->close();
        }
    });
    closer.start(200);
    EXPECT_EQ(app.InitInstance(), 0);
    EXPECT_TRUE(sawWindow);
    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_EQ(GetVirtualDeviceSnapshot().connections, 0);
}

TEST_F(VibrelApp, AutomationClosesTheWindowAndSavesItsPicture) {
    QTemporaryDir dir;
    const QString picture = dir.filePath("window.png");
    kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", "virtual");
    const QString wav = kinetra::app::FindDataFile("test.wav");
    kinetra::test::ScopedEnv input("KINETRA_AUDIO_INPUT", wav.toLocal8Bit().constData());
    kinetra::test::ScopedEnv quit("KINETRA_QUIT_AFTER_MS", "400");
    kinetra::test::ScopedEnv shot("KINETRA_SCREENSHOT", picture.toLocal8Bit().constData());
    CVibrelApp app;
    EXPECT_EQ(app.InitInstance(), 0);
    QImage image(picture);
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 100);
    EXPECT_GT(image.height(), 100);
}

}  // namespace
