#include <io.h>

#include <climits>

#include "platform/console_seam.h"

namespace kinetra {

// The C runtime's descriptors, so that a descriptor redirected with _dup2 is followed.
long long ConsoleWriteOnce(int fd, const char* text, std::size_t len) {
    const unsigned chunk = len > INT_MAX ? INT_MAX : static_cast<unsigned>(len);
    return ::_write(fd, text, chunk);
}

}  // namespace kinetra
