// Raw console writes, for the few places that report straight to a file descriptor.
#pragma once

#include <cstddef>

namespace kinetra {

// Writes len bytes of text to file descriptor fd (write(2); _write on Windows), retrying after
// interruptions and partial writes. Errors are ignored. Thread: any; allocates nothing.
void ConsoleWrite(int fd, const char* text, std::size_t len);

// The same for a zero-terminated text.
void ConsoleWrite(int fd, const char* text);

}  // namespace kinetra
