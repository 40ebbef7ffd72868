// What the windows ask of the desktop: message boxes, opening addresses, finding the program's
// data files. Each can be replaced, so that tests record the calls instead of showing or opening
// anything.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QUrl;
class QWidget;

namespace kinetra::app {

// Caption of every error and warning box.
inline constexpr const char* kErrorCaption = "Error - Ondrel Kinetra Entertainment";

enum class MessageIcon { Error, Exclamation };

using MessageBoxFunction = std::function<void(QWidget* owner, const QString& text,
                                              const QString& caption, MessageIcon icon)>;
using UrlOpener = std::function<bool(const QUrl& url)>;

// An unattended run (demonstrations, pictures): the main window closes itself after
// quitAfterMs, as if the user had closed it, and every message box closes after the same time;
// screenshot names a PNG the main window saves of itself.
struct Automation {
    bool quit = false;
    int quitAfterMs = 0;
    QString screenshot;
};
// KINETRA_QUIT_AFTER_MS and KINETRA_SCREENSHOT, the only place that reads them. Thread: any.
Automation ReadAutomation();
// The run's automation (none until set). Set by the application object before the main window
// starts. Thread: user-interface thread.
void SetAutomation(const Automation& automation);
const Automation& CurrentAutomation();

// Shows a modal message box owned by owner and returns when the user has dismissed it (or, in
// an unattended run, after the run's time). Thread: user-interface thread.
void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon);
// Replaces what ShowMessageBox does; an empty function restores the real box.
// Thread: user-interface thread.
void SetMessageBoxFunction(MessageBoxFunction function);

// Opens the address with the desktop's handler (QDesktopServices) and returns whether it did.
// Thread: user-interface thread.
bool OpenUrl(const QUrl& url);
// Replaces what OpenUrl does; an empty function restores the real opener.
// Thread: user-interface thread.
void SetUrlOpener(UrlOpener opener);

// The folders searched for the program's data files, in order: $KINETRA_DATA_DIR when set, the
// build tree's data folder beside the executable, the installed ../share/kinetra, and the build
// tree's folder fixed at compile time. Thread: user-interface thread.
QStringList DataDirectories();
// Replaces the searched folders (tests); an empty list restores the defaults.
// Thread: user-interface thread.
void SetDataDirectories(const QStringList& directories);
// Full path of the first existing relativePath under DataDirectories(), or an empty string.
// Thread: user-interface thread.
QString FindDataFile(const QString& relativePath);

}  // namespace kinetra::app
