#include "support/stderr_capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kinetra::test {

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    char path[] = "/tmp/kinetra-stderr-XXXXXX";
    m_file = mkstemp(path);
    if (m_file < 0) std::abort();
    unlink(path);
    m_saved = dup(2);
    dup2(m_file, 2);
}

StderrCapture::~StderrCapture() {
    std::fflush(stderr);
    dup2(m_saved, 2);
    close(m_saved);
    close(m_file);
}

std::string StderrCapture::Text() const {
    std::fflush(stderr);
    std::string text;
    char buffer[4096];
    for (off_t offset = 0;;) {
        const ssize_t got = pread(m_file, buffer, sizeof buffer, offset);
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
    return text;
}

}  // namespace kinetra::test
