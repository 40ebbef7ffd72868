#include "app/vibrel_app.h"

#include <QGuiApplication>
#include <cstdio>
#include <string>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include "app/quit_signals.h"
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
        // SIGTERM, SIGINT and SIGHUP close the window as its close box would (the teardown saves
        // the settings once); the handlers before are back once the window has gone. A signal
        // that comes before the window exists waits in the pipe for the window's first loop.
        CVibrelDlg* window = nullptr;
        kinetra::app::QuitSignals quitSignals([&window](int) {
            if (window != nullptr) window->EndRun();
        });
        CVibrelDlg dlg;
        window = &dlg;
        if (m_input.has_value()) dlg.CaptureForSetup().SetAudioInput(*m_input);
#ifndef QT_NO_SESSIONMANAGER
        // Logging out asks running programs to save their data before it ends them.
        QObject::connect(qApp, &QGuiApplication::commitDataRequest, &dlg,
                         [&dlg](QSessionManager&) { dlg.CommitSettings(); });
#endif
        m_pMainWnd = &dlg;
        exitCode = dlg.DoModal();
        m_pMainWnd = nullptr;
        window = nullptr;
    }
    kinetra::app::SetAutomation(before);
    return exitCode;
}
