// kinetra-trace SOUNDFILE [options] or --input CHOICE --seconds S [options]: what Kinetra would do
// with a sound, block by block. Linux's main: the command line of tools/trace/command.h, with the
// picture drawn by QtGui and the settings read through QSettings.
#include <unistd.h>

#include <QGuiApplication>
#include <memory>
#include <utility>

#include "command_line/command_line.h"
#include "settings/qsettings_store.h"
#include "tools/trace/command.h"

// With a live input the sound-server client library keeps a few allocations of its own to the
// end; the leak checker of a sanitizer build is told so.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n";
}

int main(int argc, char** argv) {
    kinetra::trace::FrontEnd frontEnd;
    frontEnd.writePicture = &kinetra::trace::WritePlot;
    frontEnd.openSettings = []() -> std::unique_ptr<kinetra::settings::SettingsStore> {
        return std::make_unique<kinetra::settings::QSettingsStore>();
    };
    frontEnd.progressBar = isatty(2) != 0;
    kinetra::trace::Command command;
    const int exit = kinetra::trace::ParseCommandLine(argc, argv, frontEnd, &command);
    if (exit >= 0) return exit;

    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    kinetra::command_line::EnsureRuntimeDirectory();
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    return kinetra::trace::RunCommand(std::move(command), frontEnd);
}
