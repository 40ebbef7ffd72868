#include "support/stderr_capture.h"

#include <io.h>

#include <cstdio>
#include <cstdlib>

namespace kinetra::test {

// Descriptor 2 goes to a temporary file (the C runtime's, removed when closed).
StderrCapture::StderrCapture() {
    std::fflush(stderr);
    std::FILE* file = std::tmpfile();
    if (file == nullptr) std::abort();
    m_file = _dup(_fileno(file));
    std::fclose(file);
    m_saved = _dup(2);
    _dup2(m_file, 2);
}

StderrCapture::~StderrCapture() {
    std::fflush(stderr);
    _dup2(m_saved, 2);
    _close(m_saved);
    _close(m_file);
}

// Reads from the start and puts the shared position back at the end for the writers.
std::string StderrCapture::Text() const {
    std::fflush(stderr);
    std::string text;
    char buffer[4096];
    _lseeki64(m_file, 0, SEEK_SET);
    for (;;) {
        const int got = _read(m_file, buffer, sizeof buffer);
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    _lseeki64(m_file, 0, SEEK_END);
    return text;
}

}  // namespace kinetra::test
