#include "app/services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <limits>

#include "platform/parse_int.h"

namespace kinetra::app {

namespace {

MessageBoxFunction& MessageBoxOverride() {
    static MessageBoxFunction function;
    return function;
}

TextAsker& TextAskerOverride() {
    static TextAsker asker;
    return asker;
}

UrlOpener& UrlOpenerOverride() {
    static UrlOpener opener;
    return opener;
}

Automation& TheAutomation() {
    static Automation automation;
    return automation;
}

QStringList& DataDirectoriesOverride() {
    static QStringList directories;
    return directories;
}

// A message box centred on its parent window, or on the screen without one, once it has its
// final size (QMessageBox sizes itself when shown, after Qt has placed it with its first size).
class CentredMessageBox : public QMessageBox {
public:
    CentredMessageBox(Icon icon, const QString& caption, const QString& text, QWidget* parent)
        : QMessageBox(icon, caption, text, QMessageBox::Ok, parent) {}

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);  // sizes the box
        QRect area;
        if (parentWidget() != nullptr) {
            area = parentWidget()->window()->frameGeometry();
        } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
            area = screen->availableGeometry();
        }
        if (area.isEmpty()) return;
        QRect placed = geometry();
        placed.moveCenter(area.center());
        move(placed.topLeft());
    }
};

}  // namespace

Automation ReadAutomation() {
    Automation automation;
    // A refused value is reported by InitInstance before anything starts; here it means none.
    int quitAfter = -1;
    std::string refused;
    automation.quit = ReadQuitAfterMs(&quitAfter, &refused) && quitAfter >= 0;
    automation.quitAfterMs = automation.quit ? quitAfter : 0;
    automation.screenshot = qEnvironmentVariable("KINETRA_SCREENSHOT");
    automation.minimised = qEnvironmentVariable("KINETRA_MINIMISED") == QLatin1String("1");
    return automation;
}

void SetAutomation(const Automation& automation) {
    TheAutomation() = automation;
}

const Automation& CurrentAutomation() {
    return TheAutomation();
}

void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon,
                    const QString& detail) {
    if (MessageBoxOverride()) {
        MessageBoxOverride()(owner, text, caption, icon, detail);
        return;
    }
    // A window that is not shown yet has no place on the screen (a box centred on it lands in
    // the corner), so the box then has no parent and is centred on the screen.
    const bool ownerShown = owner != nullptr && owner->isVisible();
    CentredMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Warning,
                          caption, text, ownerShown ? owner : nullptr);
    if (!detail.isEmpty()) box.setInformativeText(detail);
    box.setTextFormat(Qt::PlainText);  // the reason may hold '<' and '&'
    if (!ownerShown) box.setWindowModality(Qt::ApplicationModal);
    // An unattended run must end by itself, also when a box comes up before the window does:
    // the box closes after the same time.
    const Automation& automation = CurrentAutomation();
    if (automation.quit) {
        QTimer::singleShot(std::max(0, automation.quitAfterMs), Qt::PreciseTimer, &box,
                           &QMessageBox::accept);
    }
    box.exec();
}

bool ReadQuitAfterMs(int* ms, std::string* error) {
    const char* text = std::getenv("KINETRA_QUIT_AFTER_MS");
    if (text == nullptr) {
        *ms = -1;
        return true;
    }
    std::int32_t value = 0;
    std::string problem;
    if (!kinetra::ParseInt32(text, 0, std::numeric_limits<std::int32_t>::max(), &value, &problem)) {
        *error = "KINETRA_QUIT_AFTER_MS: " + problem;
        return false;
    }
    *ms = value;
    return true;
}

void SetMessageBoxFunction(MessageBoxFunction function) {
    MessageBoxOverride() = std::move(function);
}

bool AskText(QWidget* owner, const QString& title, const QString& label, QString* text) {
    if (TextAskerOverride()) return TextAskerOverride()(owner, title, label, text);
    bool ok = false;
    const QString answer =
        QInputDialog::getText(owner, title, label, QLineEdit::Normal, *text, &ok);
    if (ok) *text = answer;
    return ok;
}

void SetTextAsker(TextAsker asker) {
    TextAskerOverride() = std::move(asker);
}

bool OpenUrl(const QUrl& url) {
    if (UrlOpenerOverride()) return UrlOpenerOverride()(url);
    return QDesktopServices::openUrl(url);
}

void SetUrlOpener(UrlOpener opener) {
    UrlOpenerOverride() = std::move(opener);
}

QStringList DataDirectories() {
    if (!DataDirectoriesOverride().isEmpty()) return DataDirectoriesOverride();
    QStringList directories;
    const QString fromEnvironment = qEnvironmentVariable("KINETRA_DATA_DIR");
    if (!fromEnvironment.isEmpty()) directories << fromEnvironment;
    if (QCoreApplication::instance() != nullptr) {
        const QDir exeDir(QCoreApplication::applicationDirPath());
        directories << exeDir.filePath(QStringLiteral("data"))
                    << QDir::cleanPath(exeDir.filePath(QStringLiteral("../share/kinetra")));
    }
#ifdef KINETRA_BUILD_DATA_DIR
    directories << QStringLiteral(KINETRA_BUILD_DATA_DIR);
#endif
    return directories;
}

void SetDataDirectories(const QStringList& directories) {
    DataDirectoriesOverride() = directories;
}

QString FindDataFile(const QString& relativePath) {
    for (const QString& directory : DataDirectories()) {
        const QFileInfo candidate(QDir(directory).filePath(relativePath));
        if (candidate.isFile()) return candidate.absoluteFilePath();
    }
    return {};
}

}  // namespace kinetra::app
