// SIGTERM (what logging out of the desktop sends), SIGINT and SIGHUP end the program in order
// instead of at once: the handler only writes the signal's number into a pipe (all it may safely
// do), and a socket notifier on the user-interface thread reads it and calls the program's
// function, which closes the main window so that its ordinary teardown runs (the settings saved
// once). One instance at a time; it restores the handlers it replaced when it goes.
#pragma once

#include <QObject>
#include <csignal>
#include <functional>

class QSocketNotifier;

namespace kinetra::app {

class QuitSignals : public QObject {
    Q_OBJECT

public:
    // The signals handled, in this order.
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
    static constexpr int kSignalCount = 3;

    // Installs the handlers; onSignal(signal) runs on the user-interface thread's event loop for
    // each signal received (a signal that comes while no event loop runs waits for the next).
    // Without a pipe (no file descriptors left) it installs nothing and says so on standard
    // error. Thread (all operations): user-interface thread.
    explicit QuitSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    // Restores the handlers that were in place before and closes the pipe; a signal not yet
    // read is dropped.
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    bool Installed() const { return m_installed; }

private:
    void ReadSignals();

    std::function<void(int)> m_onSignal;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previous[kSignalCount] = {};
    bool m_installed = false;
};

}  // namespace kinetra::app
