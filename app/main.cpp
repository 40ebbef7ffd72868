// kinetra: feel the sound your computer hears.
#include <QApplication>

#include "app/app_icon.h"
#include "app/command_line.h"
#include "app/vibrel_app.h"

namespace {

CVibrelApp theApp;

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const std::string help = kinetra::app::KinetraHelpText();
    if (kinetra::app::AnswerInformationOptions(argc, argv, "kinetra", &help, stdout, &exitCode)) {
        return exitCode;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kinetra Entertainment"));
    QApplication::setOrganizationName(QStringLiteral("Ondrel Corporation"));
    QApplication::setApplicationVersion(QStringLiteral("0.2.0.0"));
    // No application display name: Qt would append it to every window title, and the titles
    // are complete as they stand.
    QApplication::setDesktopFileName(QStringLiteral("kinetra"));
    QApplication::setWindowIcon(kinetra::app::MakeAppIcon());
    return theApp.InitInstance();
}
