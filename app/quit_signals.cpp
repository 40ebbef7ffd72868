#include "app/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kinetra::app {

namespace {

// The pipe's writing end for the handler (-1: none). A lock-free atomic is safe in a handler.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void WriteSignalNumber(int signal) {
    const int saved = errno;
    const int fd = g_writeEnd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        // A full pipe already holds a signal for the reader; this one may be dropped.
        [[maybe_unused]] const ssize_t written = write(fd, &number, 1);
    }
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal)) {
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "kinetra: no pipe for SIGTERM, SIGINT and SIGHUP (%s)\n",
                     std::strerror(errno));
        m_pipe[0] = m_pipe[1] = -1;
        return;
    }
    g_writeEnd.store(m_pipe[1], std::memory_order_relaxed);
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::ReadSignals);
    struct sigaction action = {};
    action.sa_handler = WriteSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &m_previous[i]);
    m_installed = true;
}

QuitSignals::~QuitSignals() {
    if (m_installed) {
        for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    g_writeEnd.store(-1, std::memory_order_relaxed);
    delete m_notifier;
    for (int& fd : m_pipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

void QuitSignals::ReadSignals() {
    unsigned char numbers[16];
    for (;;) {
        const ssize_t count = read(m_pipe[0], numbers, sizeof numbers);
        if (count <= 0) break;
        for (ssize_t i = 0; i < count; ++i) {
            if (m_onSignal) m_onSignal(numbers[i]);
        }
    }
}

}  // namespace kinetra::app
