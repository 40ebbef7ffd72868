// The guest clients' notes: each is sent to the driver, which records it between the device
// requests it caused, and waits (at most 10 s) for the driver's confirmation. Without the
// driver's socket (KINETRA_VM_NOTE_FD unset) notes go to standard output.
#pragma once

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kinetra::vm {

// The driver's socket, or -1. Thread: the client's main thread sets it before the first note.
inline int g_noteFd = -1;

// Picks up the driver's socket from KINETRA_VM_NOTE_FD.
inline void OpenNotes() {
    if (const char* fd = std::getenv("KINETRA_VM_NOTE_FD")) g_noteFd = std::atoi(fd);
}

// Sends one note and waits until the driver has recorded it; ends the client when it cannot.
inline void Note(const char* format, ...) {
    char text[400];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (g_noteFd < 0) {
        std::printf("client: %s\n", text);
        std::fflush(stdout);
        return;
    }
    if (send(g_noteFd, text, std::strlen(text), MSG_NOSIGNAL) < 0) {
        std::fprintf(stderr, "%s: send: %s\n", program_invocation_short_name, std::strerror(errno));
        std::exit(1);
    }
    pollfd pfd{g_noteFd, POLLIN, 0};
    char answer[8];
    if (poll(&pfd, 1, 10000) != 1 || recv(g_noteFd, answer, sizeof answer, 0) <= 0) {
        std::fprintf(stderr, "%s: the driver did not confirm a note\n",
                     program_invocation_short_name);
        std::exit(1);
    }
}

}  // namespace kinetra::vm
