// Operating-system services: the program directory and files replaced in one step.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace qx::os {

// The directory of the running executable.
std::filesystem::path executableDirectory();
// From now on the process finds its program directory and helpers as `program` would (a test
// running an installed copy's scenario).
void actAsProgram(const std::filesystem::path& program);

// A helper program of ours: beside the executable (the build tree), else in the libexec folder
// of an installation (<prefix>/libexec/quillex beside <prefix>/bin).
std::filesystem::path helperProgram(const std::string& name);

// Where the program keeps its working files: the executable's directory when it can be written,
// otherwise the per-user data directory (created when missing). Decided once at start.
std::filesystem::path resolveProgramDirectory();

// A fresh name in the same directory as `target`, for writing a file that then replaces it.
std::filesystem::path siblingTempPath(const std::filesystem::path& target);

// Flushes `source` to disk and moves it over `target` in one step: readers see the old file or
// the new one, never a mix. On failure `target` is untouched and `error` says why.
bool replaceFile(const std::filesystem::path& source, const std::filesystem::path& target,
                 std::string& error);

// The whole of a file; false when it cannot be opened or read.
bool readFile(const std::filesystem::path& file, std::string& out);
// Writes `parts` one after the other into a file beside `target` and moves it over the target
// in one step; on failure the target is untouched, nothing is left behind and `error` says why.
bool writeFileReplacing(const std::filesystem::path& target,
                        std::initializer_list<std::string_view> parts, std::string& error);

// Why writing failed, for a message: "磁盘已满" for a full disk or quota, otherwise the system's
// reason in a few words; `err` is the errno of the failed call.
std::string writeErrorReason(int err);
// "写入文件“<file>”时出错：<reason>".
std::string writeFailure(const std::filesystem::path& file, int err);

// True when `systemError` (an errno, or the system's own error code where it has one, as the
// engine reports them) says the disk or the user's quota is full.
bool isDiskFull(int systemError);

// Removes a file if it exists; true when it is gone afterwards.
bool removeIfExists(const std::filesystem::path& file);

}  // namespace qx::os
