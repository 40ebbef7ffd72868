// The tray icon: its choices (off by default, remembered, the autostart entry), the close box
// with and without "Close to tray", hiding and showing a modal window, and pausing the effects.
// The offscreen platform has no tray, so the icon is told there is one.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/tray_icon.h"
#include "dialog_fixture.h"

namespace kinetra::test {
namespace {

using kinetra::app::TrayIcon;

class TrayChoices : public ::testing::Test {
protected:
    void SetUp() override {
        ClearStoredSettings();
        QFile::remove(kinetra::app::AutostartEntryPath());
    }
    void TearDown() override { SetUp(); }

    static QString ReadAll(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll());
    }

    int pauses = 0;
    int resumes = 0;
    TrayIcon::PauseFunction Count() {
        return [this](bool paused) { ++(paused ? pauses : resumes); };
    }
};

TEST_F(TrayChoices, OffByDefaultAndRememberedAcrossRuns) {
    {
        TrayIcon tray(nullptr, Count(), false);
        EXPECT_FALSE(tray.CloseToTray());
        EXPECT_FALSE(tray.StartMinimised());
        EXPECT_FALSE(tray.StartAtLogin());
    }
    QDialog window;
    {
        TrayIcon tray(&window, Count(), true);
        EXPECT_FALSE(tray.StartsHidden());
        tray.SetCloseToTray(true);
        tray.SetStartMinimised(true);
    }
    const QString stored = ReadAll(SettingsFilePath());
    EXPECT_TRUE(stored.contains("closeToTray=1")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("startMinimised=1")) << stored.toStdString();
    TrayIcon again(&window, Count(), true);
    EXPECT_TRUE(again.CloseToTray());
    EXPECT_TRUE(again.StartsHidden());
    EXPECT_FALSE(again.StartAtLogin());
    // Without a tray the stored choices change nothing.
    TrayIcon noTray(&window, Count(), false);
    EXPECT_FALSE(noTray.StartsHidden());
}

TEST_F(TrayChoices, StartAtLoginWritesAndRemovesTheAutostartEntry) {
    const QString path = kinetra::app::AutostartEntryPath();
    EXPECT_EQ(path, ConfigHome() + "/autostart/kinetra.desktop");
    QDialog window;
    TrayIcon tray(&window, Count(), true);
    tray.SetStartAtLogin(true);
    const QString entry = ReadAll(path);
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\nType=Application\n")) << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nExec=" + QCoreApplication::applicationFilePath() + "\n"))
        << entry.toStdString();
    tray.SetStartAtLogin(false);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(ReadAll(SettingsFilePath()).contains("startAtLogin=0"));
}

TEST_F(TrayChoices, AutostartCommandIsQuotedAsDesktopEntriesWant) {
    EXPECT_TRUE(
        kinetra::app::AutostartEntryText("/usr/bin/kinetra").contains("\nExec=/usr/bin/kinetra\n"));
    EXPECT_TRUE(kinetra::app::AutostartEntryText("/opt/my \"apps\"/kinetra")
                    .contains("\nExec=\"/opt/my \\\"apps\\\"/kinetra\"\n"));
}

TEST_F(TrayChoices, PauseAndResumeAreSentOnceEach) {
    QDialog window;
    TrayIcon tray(&window, Count(), true);
    ASSERT_NE(tray.PauseAction(), nullptr);
    EXPECT_EQ(tray.PauseAction()->text(), "Pause");
    tray.PauseAction()->trigger();
    tray.SetPaused(true);
    EXPECT_EQ(pauses, 1);
    EXPECT_EQ(tray.PauseAction()->text(), "Resume");
    tray.PauseAction()->trigger();
    EXPECT_EQ(resumes, 1);
    EXPECT_FALSE(tray.Paused());
}

TEST_F(TrayChoices, CloseBoxHidesToTheTrayOnlyWhenAskedTo) {
    QDialog window;
    {
        TrayIcon tray(&window, Count(), true);
        QTimer::singleShot(0, &window, &QDialog::close);
        window.exec();
        EXPECT_FALSE(tray.HiddenToTray());  // the close box ends the window as always
        EXPECT_FALSE(tray.RunWhileHidden());
    }
    TrayIcon tray(&window, Count(), true);
    tray.SetCloseToTray(true);
    QTimer::singleShot(0, &window, &QDialog::close);
    window.exec();  // hiding ends the modal loop
    EXPECT_TRUE(tray.HiddenToTray());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(tray.ShowAction()->text(), "Show");
    // Shown again from the tray: the wait ends with "show"; Quit then closes it for good.
    QTimer::singleShot(0, &tray, [&] { tray.ShowAction()->trigger(); });
    EXPECT_TRUE(tray.RunWhileHidden());
    EXPECT_FALSE(tray.HiddenToTray());
    QTimer::singleShot(0, &tray, &TrayIcon::Quit);
    window.exec();
    EXPECT_FALSE(tray.HiddenToTray());
    EXPECT_FALSE(tray.RunWhileHidden());
}

TEST_F(TrayChoices, QuitWhileHiddenEndsTheWait) {
    QDialog window;
    TrayIcon tray(&window, Count(), true);
    tray.HideWindow();
    ASSERT_TRUE(tray.HiddenToTray());
    QTimer::singleShot(0, &tray, &TrayIcon::Quit);
    EXPECT_FALSE(tray.RunWhileHidden());
}

class TrayPause : public DialogFixture {
protected:
    static int Playing() {
        const auto snapshot = kinetra::force::GetVirtualDeviceSnapshot();
        int playing = 0;
        for (const auto& effect : snapshot.effects) playing += effect.created && effect.playing;
        return playing;
    }
};

TEST_F(TrayPause, StopsEveryEffectAndResumesThoseNotDisabled) {
    ASSERT_TRUE(Start());
    FeedOneBlock();
    Click(m_dlg->DisableBox(3));
    ASSERT_EQ(Playing(), 4);
    m_dlg->PauseEffects(true);
    EXPECT_EQ(Playing(), 0);
    // While paused, a Disable box only changes what resuming starts.
    Click(m_dlg->DisableBox(2));
    Click(m_dlg->DisableBox(3));
    EXPECT_EQ(Playing(), 0);
    m_dlg->PauseEffects(false);
    EXPECT_EQ(Playing(), 4);
    EXPECT_FALSE(kinetra::force::GetVirtualDeviceSnapshot().effects[1].playing);  // band 2
}

}  // namespace
}  // namespace kinetra::test
