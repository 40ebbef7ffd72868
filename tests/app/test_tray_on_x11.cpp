// The tray icon on a real X server with a tray (Xvfb and trayer, started by tray_on_x11.sh): the
// program's window comes up on the virtual device, its icon is embedded in the tray, and its
// menu pauses and resumes every effect. With KINETRA_TRAY_PICTURE=path it saves a picture of
// the screen with the menu open (the README's picture).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>

#include "app/tray_icon.h"
#include "app/vibrel_dlg.h"
#include "force/virtual_device.h"

namespace {

int PlayingEffects() {
    const auto snapshot = kinetra::force::GetVirtualDeviceSnapshot();
    int playing = 0;
    for (const auto& effect : snapshot.effects) playing += effect.created && effect.playing;
    return playing;
}

QAction* FindAction(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) return action;
    }
    return nullptr;
}

TEST(TrayOnX11, IconInTheTrayPausesAndResumesTheEffects) {
    ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000))
        << "the X server has no tray";
    CVibrelDlg dlg;
    ASSERT_TRUE(dlg.OnInitDialog());
    dlg.move(10, 90);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    kinetra::app::TrayIcon tray(
        &dlg, [&dlg](bool paused) { dlg.PauseEffects(paused); },
        QSystemTrayIcon::isSystemTrayAvailable());
    ASSERT_NE(tray.Icon(), nullptr);
    // Embedded: the tray gave the icon a place on the screen.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !tray.Icon()->geometry().isEmpty(); }, 10000));

    QMenu* menu = tray.Menu();
    for (const char* text :
         {"Pause", "Hide", "Close to tray", "Start minimised", "Start at login", "Quit"}) {
        EXPECT_NE(FindAction(menu, text), nullptr) << text;
    }
    ASSERT_EQ(PlayingEffects(), 5);
    FindAction(menu, "Pause")->trigger();
    EXPECT_EQ(PlayingEffects(), 0);
    FindAction(menu, "Resume")->trigger();
    EXPECT_EQ(PlayingEffects(), 5);

    const QString picture = qEnvironmentVariable("KINETRA_TRAY_PICTURE");
    if (!picture.isEmpty()) {
        // Under the tray in the upper right corner, as a click on the icon opens it.
        const QRect screenArea = QGuiApplication::primaryScreen()->geometry();
        menu->popup(QPoint(screenArea.right() - menu->sizeHint().width() - 4, 30));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        QTest::qWait(300);
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        EXPECT_TRUE(screen.save(picture, "PNG"));
        menu->hide();
    }
    dlg.OnDestroy();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
