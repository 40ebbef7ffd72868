#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "command_line/command_line.h"

namespace kinetra::command_line {

namespace {

// The folder EnsureRuntimeDirectory made, removed with whatever libraries put there at exit.
std::string& OwnRuntimeDirectory() {
    static std::string path;
    return path;
}

void RemoveOwnRuntimeDirectory() {
    if (OwnRuntimeDirectory().empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(OwnRuntimeDirectory(), ignored);
}

}  // namespace

std::string EnsureRuntimeDirectory() {
    const char* current = std::getenv("XDG_RUNTIME_DIR");
    if (current != nullptr && current[0] != '\0') return {};
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
    pattern += "/kinetra-runtime-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return {};  // mkdtemp makes it with mode 0700
    if (::setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1) != 0) {
        ::rmdir(pattern.c_str());
        return {};
    }
    const bool first = OwnRuntimeDirectory().empty();
    RemoveOwnRuntimeDirectory();
    OwnRuntimeDirectory() = pattern;
    if (first) std::atexit(RemoveOwnRuntimeDirectory);
    return pattern;
}

}  // namespace kinetra::command_line
