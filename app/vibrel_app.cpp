#include "app/vibrel_app.h"

#include "app/vibrel_dlg.h"

int CVibrelApp::InitInstance() {
    int exitCode = 0;
    {
        CVibrelDlg dlg;
        if (m_input.has_value()) dlg.CaptureForSetup().SetAudioInput(*m_input);
        m_pMainWnd = &dlg;
        exitCode = dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    return exitCode;
}
