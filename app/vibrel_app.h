// The application object: shows the main window modally and ends the program when it closes.
#pragma once

#include <optional>

#include "capture/audio_input.h"

class QWidget;

class CVibrelApp {
public:
    // Shows the main window until it closes and returns the program's exit code: 0, or 1 after
    // a failed start-up. The run's automation (KINETRA_QUIT_AFTER_MS, KINETRA_SCREENSHOT) is read
    // here and holds until it returns. Needs a QApplication. Thread: user-interface thread.
    int InitInstance();

    // The audio input the main window captures from (unset: the default read from the
    // environment). Thread: user-interface thread, before InitInstance.
    void SetAudioInput(const kinetra::capture::AudioInputChoice& choice) { m_input = choice; }

    // The main window while InitInstance runs, else null.
    QWidget* MainWindow() const { return m_pMainWnd; }

private:
    QWidget* m_pMainWnd = nullptr;
    std::optional<kinetra::capture::AudioInputChoice> m_input;
};
