// The one system call under ConsoleWrite (console.cpp), which each system's console.cpp defines.
#pragma once

#include <cstddef>

namespace kinetra {

// One write of at most len bytes of text to fd: how many were written (perhaps fewer), or a
// negative count with errno set. Thread: any; allocates nothing.
long long ConsoleWriteOnce(int fd, const char* text, std::size_t len);

}  // namespace kinetra
