// The standard streams of a command-line program.
#pragma once

#include <cstdio>

namespace qx::os {

// Before a program writes anything: text it prints is UTF-8 and shows as such in a console;
// standard output carries bytes as they are (a helper's records, never line breaks rewritten).
void prepareStandardStreams();
// True when `stream` is a terminal (a progress bar is for people, not for files and pipes).
bool isTerminal(std::FILE* stream);

}  // namespace qx::os
