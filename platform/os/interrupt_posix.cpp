// Ctrl-C on POSIX systems: SIGINT.
#include "platform/os/interrupt.h"

#include <signal.h>

namespace qx::os {

namespace {

void (*gHandler)() = nullptr;

void onSigint(int) {
    // The next Ctrl-C ends the process, should the work not stop.
    signal(SIGINT, SIG_DFL);
    if (gHandler) gHandler();
}

}  // namespace

void onInterrupt(void (*handler)()) {
    gHandler = handler;
    struct sigaction action {};
    action.sa_handler = onSigint;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace qx::os
