// Run folders on Windows: the lock is the lock file held open without sharing, which the system
// closes with the process; a file nobody holds can be opened again.
#include "platform/os/scratch_system.h"

#include <windows.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace qx::os::scratch {

namespace fs = std::filesystem;

namespace {
// A folder without a lock file is left alone this long (see the POSIX side).
constexpr auto kUnlockedGrace = std::chrono::hours(1);

int errnoOf(DWORD code) {
    switch (code) {
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        default:
            return EIO;
    }
}
}  // namespace

bool abandoned(const fs::path& folder) {
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    HANDLE h = CreateFileW((folder / kLockName).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;  // held: its run is alive
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(folder.c_str(), GetFileExInfoStandard, &data)) return false;
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        auto ticks = [](FILETIME t) {  // in 100 ns
            return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        const ULONGLONG grace =
            std::chrono::duration_cast<std::chrono::seconds>(kUnlockedGrace).count() * 10000000ULL;
        return ticks(now) > ticks(data.ftLastWriteTime) &&
               ticks(now) - ticks(data.ftLastWriteTime) > grace;
    }
    CloseHandle(h);
    return true;
}

int makeFolder(const fs::path& folder) {
    // The temporary folder is the user's own; what is made in it inherits that.
    return CreateDirectoryW(folder.c_str(), nullptr) ? 0 : errnoOf(GetLastError());
}

int lockFolder(const fs::path& folder, std::intptr_t& lock) {
    fs::path fresh = folder / kLockNameNew;
    // Opened for deletion too, so that it can be renamed while held.
    HANDLE h = CreateFileW(fresh.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return errnoOf(GetLastError());
    lock = reinterpret_cast<std::intptr_t>(h);
    if (!MoveFileExW(fresh.c_str(), (folder / kLockName).c_str(), 0))
        return errnoOf(GetLastError());
    return 0;
}

void unlock(std::intptr_t lock) {
    CloseHandle(reinterpret_cast<HANDLE>(lock));
}

}  // namespace qx::os::scratch
