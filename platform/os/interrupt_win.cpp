// Ctrl-C on Windows: the console's control handler, which runs on a thread of its own.
#include "platform/os/interrupt.h"

#include <windows.h>

#include <atomic>

namespace qx::os {

namespace {

void (*gHandler)() = nullptr;
std::atomic<bool> gInterrupted{false};

BOOL WINAPI onControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    // The next Ctrl-C ends the process, should the work not stop.
    if (gInterrupted.exchange(true)) return FALSE;
    if (gHandler) gHandler();
    return TRUE;
}

}  // namespace

void onInterrupt(void (*handler)()) {
    gHandler = handler;
    SetConsoleCtrlHandler(onControl, TRUE);
}

}  // namespace qx::os
