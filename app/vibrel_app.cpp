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
    {
        CVibrelDlg dlg;
        m_pMainWnd = &dlg;
        exitCode = dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    return exitCode;
}
