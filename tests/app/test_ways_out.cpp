// Every way out saves the settings once: SIGTERM, SIGINT and SIGHUP to the real program (which
// writes a settings file that did not exist), a signal while a box is open over the window, and
// logging out (the session's commit request) before the window closes.
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>

#include "app/about_dlg.h"
#include "app/vibrel_app.h"
#include "dialog_fixture.h"

namespace kinetra::test {
namespace {

// The program as built, with the virtual device, the bundled sound as its input, the offscreen
// platform and a configuration folder of its own; debug lines on, so that the first block's
// line says the window is up.
class ProgramRun {
public:
    ProgramRun() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KINETRA_FORCE_DEVICE", "virtual");
        env.insert("KINETRA_AUDIO_INPUT", KINETRA_TEST_SOUND);
        env.insert("KINETRA_DEBUG", "1");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("XDG_CONFIG_HOME", m_config.path());
        env.insert("XDG_RUNTIME_DIR", m_config.path());
        env.remove("KINETRA_QUIT_AFTER_MS");
        env.remove("KINETRA_SCREENSHOT");
        m_process.setProcessEnvironment(env);
        m_process.setProgram(KINETRA_PROGRAM);
    }
    ~ProgramRun() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Starts it and waits (at most 20 s) until it maps its first block.
    bool StartAndWaitForTheFirstBlock() {
        m_process.start();
        if (!m_process.waitForStarted(10000)) return false;
        QByteArray said;
        QDeadlineTimer deadline(20000);
        while (!said.contains("mag = ")) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) return false;
            m_process.waitForReadyRead(200);
            said += m_process.readAllStandardError();
        }
        return true;
    }

    QString SettingsPath() const {
        return m_config.path() + "/Ondrel Corporation/Kinetra Entertainment.conf";
    }

    QTemporaryDir m_config{QDir::tempPath() + "/kinetra-ways-out-XXXXXX"};
    QProcess m_process;
};

TEST(QuitSignals, EachEndsTheRealProgramInOrderAndItSavesItsSettings) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ProgramRun run;
        ASSERT_TRUE(run.m_config.isValid());
        ASSERT_FALSE(QFile::exists(run.SettingsPath()));
        ASSERT_TRUE(run.StartAndWaitForTheFirstBlock()) << strsignal(signal);
        ASSERT_EQ(kill(static_cast<pid_t>(run.m_process.processId()), signal), 0);
        ASSERT_TRUE(run.m_process.waitForFinished(20000)) << strsignal(signal);
        EXPECT_EQ(run.m_process.exitStatus(), QProcess::NormalExit) << strsignal(signal);
        EXPECT_EQ(run.m_process.exitCode(), 0) << strsignal(signal);
        // The six values and the mode, at a first run's values.
        QSettings stored(run.SettingsPath(), QSettings::IniFormat);
        for (const char* name :
             {"threshold1", "threshold2", "threshold3", "threshold4", "threshold5"}) {
            EXPECT_EQ(stored.value(name).toString(), "20") << name << " " << strsignal(signal);
        }
        EXPECT_EQ(stored.value("gain").toString(), "100") << strsignal(signal);
        EXPECT_EQ(stored.value("mode").toString(), "0") << strsignal(signal);
    }
}

class WaysOut : public DialogFixture {};

TEST_F(WaysOut, ASignalWhileABoxIsOpenClosesBoxAndWindowAndRestoresTheHandler) {
    struct sigaction before = {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &before), 0);
    kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", "virtual");
    kinetra::test::ScopedEnv input("KINETRA_AUDIO_INPUT", KINETRA_TEST_SOUND);
    CVibrelApp app;
    bool sawAbout = false;
    bool askedForAbout = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* window = qobject_cast<CVibrelDlg*>(app.MainWindow());
        if (window == nullptr || !window->isVisible()) return;
        if (!askedForAbout) {
            askedForAbout = true;
            window->ApplyPreset({{1, 2, 3, 4, 5}, 6});
            QMetaObject::invokeMethod(
                window, [window] { window->OnSysCommand(IDM_ABOUTBOX); }, Qt::QueuedConnection);
        } else if (!sawAbout && qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            sawAbout = true;
            raise(SIGTERM);  // through the program's handler, as from outside
        }
    });
    driver.start(50);
    EXPECT_EQ(app.InitInstance(), 0);
    driver.stop();
    EXPECT_TRUE(sawAbout);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(Stored("threshold5"), 5);
    EXPECT_EQ(Stored("gain"), 94);
    struct sigaction after = {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
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
