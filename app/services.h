// What the windows ask of the desktop: message boxes, opening addresses, finding the program's
// data files. Each can be replaced, so that tests record the calls instead of showing or opening
// anything.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "window/toolkit.h"

class QUrl;
class QWidget;

namespace kinetra::app {

// Caption of every error and warning box.
using window::kErrorCaption;

enum class MessageIcon { Error, Exclamation };

// detail: the reason and what to try, shown below text (empty: none).
using MessageBoxFunction =
    std::function<void(QWidget* owner, const QString& text, const QString& caption,
                       MessageIcon icon, const QString& detail)>;
// Asks for a line of text: true with *text the answer, false when the user cancelled. *text
// holds the proposed answer on entry.
using TextAsker =
    std::function<bool(QWidget* owner, const QString& title, const QString& label, QString* text)>;
using UrlOpener = std::function<bool(const QUrl& url)>;

// An unattended run (demonstrations, pictures): the main window closes itself after
// quitAfterMs, as if the user had closed it, and every message box closes after the same time;
// screenshot names a PNG the main window saves of itself.
struct Automation {
    bool quit = false;
    int quitAfterMs = 0;
    QString screenshot;
    bool minimised = false;  // the window is minimised once shown (KINETRA_MINIMISED=1)
};
// KINETRA_QUIT_AFTER_MS, KINETRA_SCREENSHOT and KINETRA_MINIMISED, the only place that reads
// them. Thread: any.
Automation ReadAutomation();
// The run's automation (none until set). Set by the application object before the main window
// starts. Thread: user-interface thread.
void SetAutomation(const Automation& automation);
const Automation& CurrentAutomation();

// Shows a modal message box owned by owner and returns when the user has dismissed it (or, in
// an unattended run, after the run's time). text is the box's first line; detail (when not
// empty) follows below it. The box is centred on owner when owner is shown, else on the screen.
// Thread: user-interface thread.
void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon,
                    const QString& detail = QString());
// Replaces what ShowMessageBox does; an empty function restores the real box.
// Thread: user-interface thread.
void SetMessageBoxFunction(MessageBoxFunction function);

// Asks for a line of text in a modal box (QInputDialog) owned by owner; see TextAsker.
// Thread: user-interface thread.
bool AskText(QWidget* owner, const QString& title, const QString& label, QString* text);
// Replaces what AskText does; an empty function restores the real box.
// Thread: user-interface thread.
void SetTextAsker(TextAsker asker);

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

// KINETRA_QUIT_AFTER_MS, the milliseconds after which an unattended run closes its window: true
// with *ms the value (0 to 2147483647), or -1 when the variable is unset; false with *error the
// line that says why the value is refused, e.g. "KINETRA_QUIT_AFTER_MS: \"1e3\" is not a whole
// number from 0 to 2147483647" (set but empty is refused too). Thread: any.
bool ReadQuitAfterMs(int* ms, std::string* error);

}  // namespace kinetra::app
