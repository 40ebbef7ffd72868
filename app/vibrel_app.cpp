#include "app/vibrel_app.h"

#include "app/services.h"
#include "app/vibrel_dlg.h"

int CVibrelApp::InitInstance() {
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
