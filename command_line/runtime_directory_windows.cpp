#include "command_line/command_line.h"

namespace kinetra::command_line {

// Windows has no XDG runtime folder to stand in for: nothing to make.
std::string EnsureRuntimeDirectory() {
    return {};
}

}  // namespace kinetra::command_line
