// Standard streams on POSIX systems: bytes already, and the terminal takes UTF-8.
#include "platform/os/console.h"

#include <unistd.h>

namespace qx::os {

void prepareStandardStreams() {}

bool isTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

}  // namespace qx::os
