#include "platform/console.h"

#include <cerrno>
#include <cstring>

#include "platform/console_seam.h"

namespace kinetra {

void ConsoleWrite(int fd, const char* text, std::size_t len) {
    while (len > 0) {
        const long long written = ConsoleWriteOnce(fd, text, len);
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
