#include "platform/console.h"

#include <io.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace kinetra {

// The C runtime's descriptors, so that a descriptor redirected with _dup2 is followed.
void ConsoleWrite(int fd, const char* text, std::size_t len) {
    while (len > 0) {
        const unsigned chunk = len > INT_MAX ? INT_MAX : static_cast<unsigned>(len);
        const int written = ::_write(fd, text, chunk);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text += written;
        len -= static_cast<std::size_t>(written);
    }
}

void ConsoleWrite(int fd, const char* text) {
    ConsoleWrite(fd, text, std::strlen(text));
}

}  // namespace kinetra
