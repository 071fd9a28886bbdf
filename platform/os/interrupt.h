// Ctrl-C in the command-line programs: the work is asked to stop instead of the process being
// killed, so that it can take back what it made.
#pragma once

namespace qx::os {

// Calls `handler` (in signal context: it may only set a flag) on the first Ctrl-C; a second
// one ends the process as usual.
void onInterrupt(void (*handler)());

}  // namespace qx::os
