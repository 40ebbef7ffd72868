#include "app/vibrel_app.h"

#include "app/vibrel_dlg.h"

int CVibrelApp::InitInstance() {
    int exitCode = 0;
    {
        CVibrelDlg dlg;
        m_pMainWnd = &dlg;
        exitCode = dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    return exitCode;
}
