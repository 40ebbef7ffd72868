// SIGTERM (what logging out sends), SIGINT and SIGHUP end the real program in order: it exits
// normally and writes the settings file, which did not exist before.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <cstring>

#include "app_test_support.h"

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
        // Under ThreadSanitizer the program, as the tests themselves (app_test_support.cpp), leaves
        // Qt's own threads (Qt is not instrumented) out of the race reports.
        env.insert("TSAN_OPTIONS",
                   (env.value("TSAN_OPTIONS") + " ignore_noninstrumented_modules=1").trimmed());
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

    QTemporaryDir m_config{QDir::tempPath() + "/kinetra-quit-signals-XXXXXX"};
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

}  // namespace
