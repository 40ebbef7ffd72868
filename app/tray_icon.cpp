#include "app/tray_icon.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>
#include <QSystemTrayIcon>
#include <QWidget>

#include "app/app_icon.h"
#include "platform/debug_output.h"

namespace kinetra::app {

namespace {

// A path as a desktop entry's Exec line wants it: quoted when it holds anything but plain
// characters, with ", `, $ and \ escaped.
QString QuoteExecArgument(const QString& path) {
    bool plain = !path.isEmpty();
    for (const QChar c : path) {
        if (!(c.isLetterOrNumber() || c == '/' || c == '.' || c == '-' || c == '_')) plain = false;
    }
    if (plain) return path;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

QString AutostartEntryPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config)) {
        config = QDir::homePath() + QStringLiteral("/.config");
    }
    return config + QStringLiteral("/autostart/kinetra.desktop");
}

QString AutostartEntryText(const QString& program) {
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Ondrel Kinetra Entertainment\n"
               "Comment=Feel the sound your computer hears on a force-feedback device\n"
               "Exec=%1\n"
               "Icon=kinetra\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n")
        .arg(QuoteExecArgument(program));
}

TrayIcon::TrayIcon(QWidget* window, PauseFunction pause, bool trayAvailable)
    : m_window(window), m_pause(std::move(pause)), m_available(trayAvailable) {
    if (!m_available) return;

    m_menu = new QMenu();
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_pauseAction = m_menu->addAction(QString());
    connect(m_pauseAction, &QAction::triggered, this, [this] { SetPaused(!m_paused); });
    m_showAction = m_menu->addAction(QString());
    connect(m_showAction, &QAction::triggered, this, [this] {
        if (m_hidden) {
            ShowWindow();
        } else {
            HideWindow();
        }
    });
    m_menu->addSeparator();
    auto addChoice = [this](const char* text, bool on, void (TrayIcon::*set)(bool)) {
        QAction* action = m_menu->addAction(QString::fromLatin1(text));
        action->setCheckable(true);
        action->setChecked(on);
        connect(action, &QAction::toggled, this,
                [this, set](bool checked) { (this->*set)(checked); });
    };
    addChoice("Close to tray", CloseToTray(), &TrayIcon::SetCloseToTray);
    addChoice("Start minimised", StartMinimised(), &TrayIcon::SetStartMinimised);
    addChoice("Start at login", StartAtLogin(), &TrayIcon::SetStartAtLogin);
    m_menu->addSeparator();
    connect(m_menu->addAction(QStringLiteral("Quit")), &QAction::triggered, this, &TrayIcon::Quit);

    m_icon = new QSystemTrayIcon(MakeAppIcon(), this);
    m_icon->setToolTip(QStringLiteral("Ondrel Kinetra Entertainment"));
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r != QSystemTrayIcon::Trigger) return;
        if (m_hidden) {
            ShowWindow();
        } else {
            HideWindow();
        }
    });
    UpdateTexts();
    m_icon->show();
    m_window->installEventFilter(this);
}

TrayIcon::~TrayIcon() {
    if (m_available) m_window->removeEventFilter(this);
    delete m_menu;
}

void TrayIcon::UpdateTexts() {
    if (m_pauseAction != nullptr) {
        m_pauseAction->setText(m_paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    }
    if (m_showAction != nullptr) {
        m_showAction->setText(m_hidden ? QStringLiteral("Show") : QStringLiteral("Hide"));
    }
}

void TrayIcon::SetCloseToTray(bool on) {
    m_settings.SetCloseToTray(on);
}

void TrayIcon::SetStartMinimised(bool on) {
    m_settings.SetStartMinimised(on);
}

void TrayIcon::SetStartAtLogin(bool on) {
    m_settings.SetStartAtLogin(on);
    const QString path = AutostartEntryPath();
    if (on) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile file(path);
        const QByteArray text =
            AutostartEntryText(QCoreApplication::applicationFilePath()).toUtf8();
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
            DebugOutput("TRAY: could not write the autostart entry\n");
        }
    } else if (QFile::exists(path) && !QFile::remove(path)) {
        DebugOutput("TRAY: could not remove the autostart entry\n");
    }
}

void TrayIcon::SetPaused(bool paused) {
    if (paused == m_paused) return;
    m_paused = paused;
    if (m_pause) m_pause(paused);
    UpdateTexts();
}

void TrayIcon::HideWindow() {
    if (!m_available || m_hidden) return;
    m_hidden = true;
    UpdateTexts();
    m_window->hide();
}

void TrayIcon::ShowWindow() {
    if (!m_hidden) return;
    m_showAgain = true;
    if (m_waitLoop != nullptr) static_cast<QEventLoop*>(m_waitLoop)->quit();
}

void TrayIcon::Quit() {
    m_quitting = true;
    if (m_hidden) {
        m_showAgain = false;
        if (m_waitLoop != nullptr) static_cast<QEventLoop*>(m_waitLoop)->quit();
        return;
    }
    m_window->close();
}

bool TrayIcon::RunWhileHidden() {
    if (!m_hidden || m_quitting) {
        m_hidden = false;
        return false;
    }
    m_showAgain = false;
    QEventLoop loop;
    m_waitLoop = &loop;
    loop.exec();
    m_waitLoop = nullptr;
    m_hidden = false;
    UpdateTexts();
    return m_showAgain && !m_quitting;
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && event->type() == QEvent::Close && CloseToTray() && !m_quitting &&
        m_available) {
        event->ignore();
        HideWindow();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kinetra::app
