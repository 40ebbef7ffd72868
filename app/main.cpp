// kinetra: feel the sound your computer hears.
#include <QApplication>
#include <string>

#include "app/app_icon.h"
#include "app/vibrel_app.h"
#include "capture/audio_input.h"
#include "command_line/command_line.h"
#include "force/device_choice.h"

namespace {

CVibrelApp theApp;

// The program's choices of audio input and force device, from KINETRA_AUDIO_INPUT,
// KINETRA_AUDIO_BACKEND and KINETRA_FORCE_DEVICE. A malformed value is left to the layer that
// opens the device, which reports it at each open as it always has.
void SetChoices() {
    std::string error;
    kinetra::capture::AudioInputChoice input;
    if (kinetra::capture::DefaultAudioInputChoice(&input, &error)) theApp.SetAudioInput(input);
    kinetra::force::ForceDeviceChoice device;
    if (kinetra::force::DefaultForceDeviceChoice(&device, &error)) {
        kinetra::force::SetForceDeviceChoice(device);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const std::string help = kinetra::command_line::KinetraHelpText();
    if (kinetra::command_line::AnswerInformationOptions(argc, argv, "kinetra", &help, stdout,
                                                        &exitCode)) {
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
    SetChoices();
    return theApp.InitInstance();
}
