#include "app/qt_toolkit.h"

#include <QAction>
#include <QActionGroup>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/services.h"

namespace kinetra::app {

namespace {

// The property that holds an action's command.
constexpr const char kCommandProperty[] = "kinetraCommand";

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

class QtTimer final : public window::Timer {
public:
    QtTimer(bool singleShot, std::function<void()> onTimeout) {
        m_timer.setSingleShot(singleShot);
        // Coarse: Qt moves each tick by up to 5 % of the interval onto shared boundaries, so the
        // meters' and the status line's ticks come in one wake-up of the window's thread.
        m_timer.setTimerType(Qt::CoarseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(onTimeout));
    }
    void Start(int ms) override { m_timer.start(ms); }
    void Stop() override { m_timer.stop(); }
    bool Active() const override { return m_timer.isActive(); }
    int IntervalMs() const override { return m_timer.interval(); }

private:
    QTimer m_timer;
};

}  // namespace

QtTimers::QtTimers() {
    m_clock.start();
}

std::unique_ptr<window::Timer> QtTimers::MakeTimer(bool singleShot,
                                                   std::function<void()> onTimeout) {
    return std::make_unique<QtTimer>(singleShot, std::move(onTimeout));
}

void QtMessageBoxes::ShowMessage(const std::string& text, const std::string& caption,
                                 window::MessageIcon icon, const std::string& detail) {
    ShowMessageBox(
        m_owner, Text(text), Text(caption),
        icon == window::MessageIcon::kError ? MessageIcon::Error : MessageIcon::Exclamation,
        Text(detail));
}

bool QtMessageBoxes::AskText(const std::string& title, const std::string& label,
                             std::string* text) {
    QString answer = Text(*text);
    if (!app::AskText(m_owner, Text(title), Text(label), &answer)) return false;
    *text = answer.toStdString();
    return true;
}

std::string QtMessageBoxes::AskSoundFile() {
    return QFileDialog::getOpenFileName(
               m_owner, QStringLiteral("Sound file"), QString(),
               QStringLiteral("Sound files (*.wav *.flac *.ogg *.oga);;All files (*)"))
        .toStdString();
}

bool QtDocumentOpener::OpenDocument(const std::string& relativePath, const std::string& fragment) {
    const QString path = FindDataFile(Text(relativePath));
    if (path.isEmpty()) return false;
    QUrl url = QUrl::fromLocalFile(path);
    if (!fragment.empty()) url.setFragment(Text(fragment));
    QUrl opened = url;
    if (!fragment.empty()) {
        // A page of our own that goes on to the topic: openers pass a file without its fragment.
        static QTemporaryDir directory;
        QFile page(directory.filePath(QStringLiteral("kinetra-help.html")));
        if (directory.isValid() && page.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            const QString target = url.toString(QUrl::FullyEncoded);
            page.write(QStringLiteral("<!DOCTYPE html><meta charset=\"utf-8\"><meta "
                                      "http-equiv=\"refresh\" content=\"0; url=%1\"><script>"
                                      "location.replace(\"%1\")</script><a href=\"%1\">Help</a>")
                           .arg(target)
                           .toUtf8());
            page.close();
            opened = QUrl::fromLocalFile(page.fileName());
        }
    }
    if (!OpenUrl(opened)) ShowHelpViewer(m_owner, path, Text(fragment));
    return true;
}

void ShowHelpViewer(QWidget* owner, const QString& path, const QString& fragment) {
    static QPointer<QDialog> viewer;
    if (viewer == nullptr) {
        viewer = new QDialog(owner, Qt::Window);
        viewer->setObjectName(QStringLiteral("helpViewer"));
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->setWindowTitle(QStringLiteral("Kinetra Help"));
        viewer->resize(640, 520);
        auto* layout = new QVBoxLayout(viewer);
        auto* browser = new QTextBrowser(viewer);
        browser->setObjectName(QStringLiteral("helpBrowser"));
        browser->setOpenExternalLinks(true);
        layout->addWidget(browser);
    }
    auto* browser = viewer->findChild<QTextBrowser*>(QStringLiteral("helpBrowser"));
    QUrl url = QUrl::fromLocalFile(path);
    if (!fragment.isEmpty()) url.setFragment(fragment);
    browser->setSource(url);
    if (!fragment.isEmpty()) browser->scrollToAnchor(fragment);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

bool QtMessageBoxes::AskYesNo(const std::string& title, const std::string& question) {
    return QMessageBox::question(m_owner, Text(title), Text(question)) == QMessageBox::Yes;
}

void AddMenuItems(QMenu* menu, const std::vector<window::MenuItem>& items) {
    using Kind = window::MenuItem::Kind;
    for (const window::MenuItem& item : items) {
        if (item.kind == Kind::kSeparator) {
            menu->addSeparator();
            continue;
        }
        if (item.kind == Kind::kSubmenu) {
            QMenu* submenu = menu->addMenu(Text(item.text));
            submenu->setObjectName(Text(item.objectName));
            AddMenuItems(submenu, item.items);
            if (item.exclusive) {
                auto* group = new QActionGroup(submenu);
                for (QAction* action : submenu->actions()) {
                    if (action->isCheckable()) group->addAction(action);
                }
            }
            continue;
        }
        QAction* action = menu->addAction(Text(item.text));
        if (!item.objectName.empty()) action->setObjectName(Text(item.objectName));
        if (!item.command.empty()) action->setProperty(kCommandProperty, Text(item.command));
        action->setCheckable(item.checkable);
        action->setChecked(item.checked);
        action->setEnabled(item.enabled);
        if (!item.iconName.empty()) {
            const QIcon icon = QIcon::fromTheme(Text(item.iconName));
            if (!icon.isNull()) action->setIcon(icon);
        }
    }
}

std::string MenuCommand(const QAction* action) {
    if (action == nullptr) return {};
    const QVariant command = action->property(kCommandProperty);
    return command.isValid() ? command.toString().toStdString() : std::string();
}

}  // namespace kinetra::app
