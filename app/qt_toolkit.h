// The parts of window/toolkit.h that Qt gives the main window without its controls: timers and
// the clock (QTimer, QElapsedTimer), message boxes (app/services.h), opening the help
// (FindDataFile and OpenUrl), and the menus the behaviour describes.
#pragma once

#include <QElapsedTimer>
#include <string>
#include <vector>

#include "window/menu_item.h"
#include "window/toolkit.h"

class QAction;
class QMenu;
class QWidget;

namespace kinetra::app {

class QtTimers final : public window::Timers {
public:
    // Thread (all, and the timers' callbacks): user-interface thread.
    QtTimers();
    std::unique_ptr<window::Timer> MakeTimer(bool singleShot,
                                             std::function<void()> onTimeout) override;
    std::int64_t NowMs() const override { return m_clock.elapsed(); }

private:
    QElapsedTimer m_clock;
};

// Boxes owned by owner, which must outlive this object. Thread: user-interface thread.
class QtMessageBoxes final : public window::MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner) : m_owner(owner) {}
    void ShowMessage(const std::string& text, const std::string& caption, window::MessageIcon icon,
                     const std::string& detail) override;
    bool AskText(const std::string& title, const std::string& label, std::string* text) override;
    bool AskYesNo(const std::string& title, const std::string& question) override;
    std::string AskSoundFile() override;

private:
    QWidget* m_owner;
};

// The program's data files (app/services.h's FindDataFile) opened by OpenUrl.
// Thread: user-interface thread.
// Where no browser opens, the help shows in a viewer of its own (QTextBrowser) at the topic;
// a browser is given a small page that goes on to the topic (desktop openers drop the fragment
// of a file's address).
class QtDocumentOpener final : public window::DocumentOpener {
public:
    explicit QtDocumentOpener(QWidget* owner = nullptr) : m_owner(owner) {}
    bool OpenDocument(const std::string& relativePath, const std::string& fragment) override;

private:
    QWidget* m_owner;
};
// Shows a local HTML file in the program's own help viewer at fragment (one viewer, reused).
void ShowHelpViewer(QWidget* owner, const QString& path, const QString& fragment);

// Adds items to menu: each command entry's action carries its command (MenuCommand), each
// exclusive submenu's checkable entries form one group. Thread: user-interface thread.
void AddMenuItems(QMenu* menu, const std::vector<window::MenuItem>& items);
// The command of an action AddMenuItems made; empty for any other action and for null.
std::string MenuCommand(const QAction* action);

}  // namespace kinetra::app
