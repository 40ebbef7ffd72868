// What the window tests share: a QApplication on the offscreen platform with a private
// configuration folder, and recorders for message boxes and opened addresses.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

#include "app/services.h"
#include "support/scoped_env.h"

namespace kinetra::test {

// Runs the event loop until condition holds or timeoutMs have passed; returns the condition.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// The private configuration folder (XDG_CONFIG_HOME) of this test process.
QString ConfigHome();
// The settings file of the program inside it.
QString SettingsFilePath();
// Deletes the program's settings (as on a first run).
void ClearStoredSettings();

struct RecordedBox {
    QString text;
    QString caption;
    kinetra::app::MessageIcon icon;
    bool ownedByMainWindow;
    QString detail;  // the reason and what to try, below text
};

// Records message boxes instead of showing them while it lives.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
    const std::vector<RecordedBox>& Boxes() const { return m_boxes; }

private:
    std::vector<RecordedBox> m_boxes;
};

// Records opened addresses instead of opening them while it lives.
class UrlRecorder {
public:
    UrlRecorder();
    ~UrlRecorder();
    UrlRecorder(const UrlRecorder&) = delete;
    UrlRecorder& operator=(const UrlRecorder&) = delete;
    const std::vector<QUrl>& Urls() const { return m_urls; }

private:
    std::vector<QUrl> m_urls;
};

}  // namespace kinetra::test
