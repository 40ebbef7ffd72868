#include "app_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cstdlib>
#include <memory>

#include "app/vibrel_dlg.h"
#include "platform/priority.h"
#include "settings/qsettings_store.h"

// Qt is not built with ThreadSanitizer: its own worker threads (font and image work) allocate and
// copy inside Qt, where TSan cannot see Qt's atomics and would report races between two Qt
// frames. Interceptors called from such modules are left out; every access made by our code,
// the threads we start included, is still checked.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
#endif

namespace kinetra::test {

namespace {

// Made before any test runs: the offscreen platform, a private configuration folder, no sound
// card needed, and no change of this process's priority.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        m_config = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/kinetra-app-test-XXXXXX");
        ASSERT_TRUE(m_config->isValid());
        setenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit().constData(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
            setenv("XDG_RUNTIME_DIR", m_config->path().toLocal8Bit().constData(), 1);
        }
        kinetra::testing::SetPriorityHook([](kinetra::testing::PriorityRequest) { return true; });
        static int argc = 1;
        static char name[] = "kinetra-test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        kinetra::testing::SetPriorityHook(nullptr);
        m_app.reset();
        m_config.reset();
    }
    QString Path() const { return m_config ? m_config->path() : QString(); }

private:
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<QApplication> m_app;
};

QtEnvironment* const g_environment =
    static_cast<QtEnvironment*>(::testing::AddGlobalTestEnvironment(new QtEnvironment));

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

QString ConfigHome() {
    return g_environment->Path();
}

QString SettingsFilePath() {
    return ConfigHome() + "/Ondrel Corporation/Kinetra Entertainment.conf";
}

void ClearStoredSettings() {
    const std::unique_ptr<QSettings> key = kinetra::settings::OpenSettingsKey();
    key->clear();
    key->sync();
    QFile::remove(SettingsFilePath());
}

MessageBoxRecorder::MessageBoxRecorder() {
    kinetra::app::SetMessageBoxFunction(
        [this](QWidget* owner, const QString& text, const QString& caption,
               kinetra::app::MessageIcon icon, const QString& detail) {
            m_boxes.push_back(
                {text, caption, icon, qobject_cast<CVibrelDlg*>(owner) != nullptr, detail});
        });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    kinetra::app::SetMessageBoxFunction(nullptr);
}

UrlRecorder::UrlRecorder() {
    kinetra::app::SetUrlOpener([this](const QUrl& url) {
        m_urls.push_back(url);
        return true;
    });
}

UrlRecorder::~UrlRecorder() {
    kinetra::app::SetUrlOpener(nullptr);
}

}  // namespace kinetra::test
