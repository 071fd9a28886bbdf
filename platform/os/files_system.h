// What the file services ask of the system they run on; one source per system answers.
#pragma once

#include <filesystem>

namespace qx::os::system {

// ".exe" where programs carry it in their names.
extern const char* const kExecutableSuffix;

// The file of the running executable.
std::filesystem::path runningExecutable();
// True when a file can be made in `dir`.
bool isWritableDirectory(const std::filesystem::path& dir);
// Where a user's working files go when the program's own folder is not for them.
std::filesystem::path userDataDirectory();
// True for a copy installed by the system's installer (its working files are then per user).
bool isInstalledCopy(const std::filesystem::path& programDir);
unsigned long processId();

}  // namespace qx::os::system
