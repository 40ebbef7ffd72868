// kinetra.exe: feel the sound your computer hears (the Windows program).
#include <cstdio>
#include <string>

#include "capture/audio_input.h"
#include "command_line/command_line.h"
#include "force/device_choice.h"
#include "win32/main_dialog.h"
#include "win32/win32_toolkit.h"

int main(int argc, char** argv) {
    int exitCode = 0;
    const std::string help = kinetra::command_line::KinetraHelpText();
    if (kinetra::command_line::AnswerInformationOptions(argc, argv, "kinetra", &help, stdout,
                                                        &exitCode)) {
        return exitCode;
    }
    // A refused setting of the environment ends the program before anything starts.
    kinetra::win32::Automation automation;
    std::string refused;
    if (!kinetra::win32::ReadAutomation(&automation, &refused)) {
        std::fprintf(stderr, "kinetra: %s\n", refused.c_str());
        return 2;
    }
    kinetra::win32::SetAutomation(automation);

    // KINETRA_FORCE_DEVICE, KINETRA_AUDIO_INPUT and KINETRA_AUDIO_BACKEND; a malformed value is
    // left to the layer that opens the device, which reports it.
    std::string error;
    kinetra::force::ForceDeviceChoice device;
    if (kinetra::force::DefaultForceDeviceChoice(&device, &error)) {
        kinetra::force::SetForceDeviceChoice(device);
    }
    CVibrelDlg dlg;
    kinetra::capture::AudioInputChoice input;
    if (kinetra::capture::AudioInputChosenByEnvironment() &&
        kinetra::capture::DefaultAudioInputChoice(&input, &error)) {
        dlg.SetAudioInput(input);
    }
    return dlg.DoModal();
}
