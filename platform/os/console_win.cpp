// Standard streams on Windows: binary mode (no CR added before each LF), and a console that
// shows UTF-8 output as the text it is.
#include "platform/os/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace qx::os {

void prepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
}

bool isTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

}  // namespace qx::os
