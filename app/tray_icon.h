// The notification-area icon, where the desktop offers a tray: Pause/Resume of all effects,
// Show/Hide of the main window, Quit, and three choices, all off by default and kept with the
// other settings ("closeToTray", "startMinimised", "startAtLogin", 0 or 1): the close box hides
// the window instead of ending the program; the program starts with its window hidden; an XDG
// autostart entry starts the program at login. Without a tray nothing changes: the close box
// ends the program and the window shows at start.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "settings/qsettings_store.h"
#include "window/tray_settings.h"

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace kinetra::app {

// The autostart entry's path: $XDG_CONFIG_HOME/autostart/kinetra.desktop (default
// ~/.config/autostart). Thread: any.
QString AutostartEntryPath();
// The autostart entry that starts program (an absolute path). Thread: any.
QString AutostartEntryText(const QString& program);

class TrayIcon : public QObject {
    Q_OBJECT

public:
    // Pauses (true) or resumes (false) every effect. Thread: user-interface thread.
    using PauseFunction = std::function<void(bool paused)>;

    // Reads the three choices, and shows the icon when trayAvailable (callers pass
    // QSystemTrayIcon::isSystemTrayAvailable(); tests pass true). Watches window's close
    // events. window must outlive the tray icon. Thread (all operations): user-interface
    // thread.
    TrayIcon(QWidget* window, PauseFunction pause, bool trayAvailable);
    ~TrayIcon() override;

    bool Available() const { return m_available; }
    bool Paused() const { return m_paused; }
    bool CloseToTray() const { return m_settings.CloseToTray(); }
    bool StartMinimised() const { return m_settings.StartMinimised(); }
    bool StartAtLogin() const { return m_settings.StartAtLogin(); }
    // True while the tray holds the window hidden (it was hidden from the tray or by the close
    // box with "Close to tray"), until the user shows it again or quits.
    bool HiddenToTray() const { return m_hidden; }
    // Whether the window should start hidden: a tray and "Start minimised".
    bool StartsHidden() const { return m_available && StartMinimised(); }

    // Each choice changes at once and is written to the settings; "Start at login" writes or
    // removes the autostart entry as well.
    void SetCloseToTray(bool on);
    void SetStartMinimised(bool on);
    void SetStartAtLogin(bool on);
    void SetPaused(bool paused);

    // Hides the window (a modal window's loop ends; see RunWhileHidden).
    void HideWindow();
    // Ends a hidden wait with "show again".
    void ShowWindow();
    // Ends the program's run: a hidden wait ends with "quit", a shown window is closed for good.
    void Quit();

    // While the window is hidden to the tray, runs an event loop until the user shows the window
    // again (returns true: the caller shows it) or quits (false). Returns false at once when the
    // window is not hidden to the tray.
    bool RunWhileHidden();

    // The icon (null without a tray) and its menu.
    QSystemTrayIcon* Icon() const { return m_icon; }
    QMenu* Menu() const { return m_menu; }
    QAction* PauseAction() const { return m_pauseAction; }
    QAction* ShowAction() const { return m_showAction; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateTexts();

    QWidget* m_window;
    PauseFunction m_pause;
    bool m_available;
    bool m_paused = false;
    bool m_hidden = false;
    bool m_quitting = false;
    settings::QSettingsStore m_store;
    window::TraySettings m_settings{m_store};
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_pauseAction = nullptr;
    QAction* m_showAction = nullptr;
    QObject* m_waitLoop = nullptr;  // the QEventLoop of RunWhileHidden while it runs
    bool m_showAgain = false;
};

}  // namespace kinetra::app
