// Captures what is written to file descriptor 2 while an instance lives.
#pragma once

#include <string>

namespace kinetra::test {

class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written so far.
    std::string Text() const;

private:
    int m_saved = -1;
    int m_file = -1;
};

}  // namespace kinetra::test
