// Collects the lines written through DebugOutput while an instance lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace kinetra::test {

class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const;
    // Number of captured lines equal to line.
    int Count(const std::string& line) const;
    void Clear();

private:
    static void Sink(void* context, const char* line);
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

}  // namespace kinetra::test
