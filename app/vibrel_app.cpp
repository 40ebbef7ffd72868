#include "app/vibrel_app.h"

#include <cstdio>
#include <string>

#include "app/services.h"
#include "app/vibrel_dlg.h"

int CVibrelApp::InitInstance() {
    // A refused setting of the environment ends the program before anything starts, as a bad
    // command-line option would.
    int quitAfter = -1;
    std::string refused;
    if (!kinetra::app::ReadQuitAfterMs(&quitAfter, &refused)) {
        std::fprintf(stderr, "kinetra: %s\n", refused.c_str());
        return 2;
    }
    int exitCode = 0;
    // The run's automation holds while the window runs.
    const kinetra::app::Automation before = kinetra::app::CurrentAutomation();
    kinetra::app::SetAutomation(kinetra::app::ReadAutomation());
    {
        CVibrelDlg dlg;
        if (m_input.has_value()) dlg.CaptureForSetup().SetAudioInput(*m_input);
        m_pMainWnd = &dlg;
        exitCode = dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    kinetra::app::SetAutomation(before);
    return exitCode;
}
