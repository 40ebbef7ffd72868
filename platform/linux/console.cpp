#include <unistd.h>

#include "platform/console_seam.h"

namespace kinetra {

long long ConsoleWriteOnce(int fd, const char* text, std::size_t len) {
    return ::write(fd, text, len);
}

}  // namespace kinetra
