// What run folders ask of the system they run on; one source per system answers.
#pragma once

#include <cstdint>
#include <filesystem>

namespace qx::os::scratch {

// The file whose lock keeps a folder. It appears only once locked: it is locked under another
// name and then renamed, so a run that finds it and gets its lock knows its owner has ended.
constexpr const char* kLockName = ".run";
constexpr const char* kLockNameNew = ".run-new";

// True when `folder` is a run folder of this user's whose run has ended.
bool abandoned(const std::filesystem::path& folder);
// Makes the folder, for this user only; 0 or the errno of the failure (EEXIST when it exists).
int makeFolder(const std::filesystem::path& folder);
// Makes and locks the lock file in `folder`; 0 or an errno. `lock` is set even on failure when
// something was opened, for `unlock`.
int lockFolder(const std::filesystem::path& folder, std::intptr_t& lock);
void unlock(std::intptr_t lock);

}  // namespace qx::os::scratch
