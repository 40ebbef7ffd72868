// The application object: shows the main window modally and ends the program when it closes.
#pragma once

class QWidget;

class CVibrelApp {
public:
    // Shows the main window until it closes and returns the program's exit code: 0, 1 after a
    // failed start-up, or 2 (with a line on standard error, and no window) when
    // KINETRA_QUIT_AFTER_MS is refused. Needs a QApplication. Thread: user-interface thread.
    int InitInstance();

    // The main window while InitInstance runs, else null.
    QWidget* MainWindow() const { return m_pMainWnd; }

private:
    QWidget* m_pMainWnd = nullptr;
};
