// Every way out saves the settings once: a signal while a box is open over the window, and
// logging out (the session's commit request) before the window closes. (The real program's
// signals are in test_quit_signals.cpp: a process of its own, so that Qt's child-process
// handling does not meet the threads of the windows here.)
#include <signal.h>

#include <QFile>
#include <QTimer>

#include "app/about_dlg.h"
#include "app/vibrel_app.h"
#include "dialog_fixture.h"

namespace kinetra::test {
namespace {

class WaysOut : public DialogFixture {};

TEST_F(WaysOut, ASignalWhileABoxIsOpenClosesBoxAndWindowAndRestoresTheHandler) {
    struct sigaction before = {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &before), 0);
    kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", "virtual");
    kinetra::test::ScopedEnv input("KINETRA_AUDIO_INPUT", KINETRA_TEST_SOUND);
    ASSERT_FALSE(QFile::exists(SettingsFilePath()));
    CVibrelApp app;
    bool sawAbout = false;
    bool askedForAbout = false;
    bool timedOut = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* window = qobject_cast<CVibrelDlg*>(app.MainWindow());
        if (window == nullptr || !window->isVisible()) return;
        if (!askedForAbout) {
            askedForAbout = true;
            QMetaObject::invokeMethod(
                window, [window] { window->OnSysCommand(IDM_ABOUTBOX); }, Qt::QueuedConnection);
        } else if (!sawAbout && qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            sawAbout = true;
#if defined(__SANITIZE_THREAD__)
            // ThreadSanitizer runs a signal's handler only at a point of its own, which it may
            // not reach while Qt (not instrumented) waits for events; the test of the real
            // program above sends real signals.
            window->EndRun();
#else
            raise(SIGTERM);  // through the program's handler, as from outside
#endif
        }
    });
    driver.start(50);
    // Should the window not close, the test ends it all the same, and fails.
    QTimer::singleShot(30000, [&] {
        if (auto* window = qobject_cast<CVibrelDlg*>(app.MainWindow())) {
            timedOut = true;
            window->EndRun();
        }
    });
    EXPECT_EQ(app.InitInstance(), 0);
    driver.stop();
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(sawAbout);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // Saved on the way out: the file did not exist before.
    EXPECT_EQ(Stored("threshold5"), 20);
    EXPECT_EQ(Stored("gain"), 100);
    struct sigaction after = {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// A quit signal that comes while a failed start-up's box is open ends the run, but as the failure
// it is: exit code 1, not the 0 of a window closed by hand.
TEST_F(WaysOut, ASignalDuringAStartupErrorBoxKeepsTheFailureCode) {
    CVibrelDlg* window = nullptr;
    int boxes = 0;
    kinetra::app::SetMessageBoxFunction(
        [&](QWidget*, const QString&, const QString&, kinetra::app::MessageIcon, const QString&) {
            ++boxes;
            window->EndRun();
        });
    kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", "none");
    CVibrelDlg dlg;
    window = &dlg;
    EXPECT_FALSE(dlg.OnInitDialog());
    kinetra::app::SetMessageBoxFunction({});
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(dlg.QuitRequested());
    EXPECT_EQ(dlg.QuitCode(), 1);
    dlg.OnDestroy();
}

TEST_F(WaysOut, LoggingOutSavesAndTheTeardownSavesOnlyWhatChangedSince) {
    ASSERT_TRUE(Start());
    m_dlg->ApplyPreset({{11, 12, 13, 14, 15}, 16});
    m_dlg->CommitSettings();
    EXPECT_EQ(Stored("threshold1"), 11);
    EXPECT_EQ(Stored("gain"), 84);
    // Nothing changed since: the teardown leaves the file as the commit wrote it (a value
    // written in between by hand stays).
    Store("threshold2", 77);
    m_dlg->OnDestroy();
    EXPECT_EQ(Stored("threshold2"), 77);

    // A change after the commit is saved by the teardown.
    m_dlg.reset();
    ClearStoredSettings();
    ASSERT_TRUE(Start());
    m_dlg->CommitSettings();
    m_dlg->ApplyPreset({{21, 22, 23, 24, 25}, 26});
    m_dlg->OnDestroy();
    EXPECT_EQ(Stored("threshold2"), 22);
    EXPECT_EQ(Stored("gain"), 74);
}

}  // namespace
}  // namespace kinetra::test
