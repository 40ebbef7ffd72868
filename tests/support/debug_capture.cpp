#include "support/debug_capture.h"

#include <algorithm>

#include "platform/debug_output.h"

namespace kinetra::test {

DebugCapture::DebugCapture() {
    SetDebugSink(&DebugCapture::Sink, this);
}

DebugCapture::~DebugCapture() {
    SetDebugSink(nullptr, nullptr);
}

void DebugCapture::Sink(void* context, const char* line) {
    auto* self = static_cast<DebugCapture*>(context);
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_lines.emplace_back(line);
}

std::vector<std::string> DebugCapture::Lines() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

int DebugCapture::Count(const std::string& line) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(std::count(m_lines.begin(), m_lines.end(), line));
}

void DebugCapture::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}

}  // namespace kinetra::test
