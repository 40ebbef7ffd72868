// kinetra: feel the sound your computer hears.
#include <QApplication>

#include "app/app_icon.h"
#include "app/vibrel_app.h"

namespace {

CVibrelApp theApp;

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kinetra Entertainment"));
    QApplication::setOrganizationName(QStringLiteral("Ondrel Corporation"));
    QApplication::setApplicationVersion(QStringLiteral("0.2.0.0"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ondrel Kinetra Entertainment"));
    QApplication::setDesktopFileName(QStringLiteral("kinetra"));
    QApplication::setWindowIcon(kinetra::app::MakeAppIcon());
    return theApp.InitInstance();
}
