// File services on Windows: wide-character calls throughout, paths UTF-8 inside the program.
#include "platform/os/files.h"
#include "platform/os/files_system.h"
#include "platform/os/paths.h"

#include <windows.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace qx::os {

namespace fs = std::filesystem;

const char* const system::kExecutableSuffix = ".exe";

namespace {

// The errno of a failed system call, for the messages that name write failures.
int errnoOf(DWORD code) {
    switch (code) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_FILE_TOO_LARGE:
            return EFBIG;
        default:
            return EIO;
    }
}

std::wstring environment(const wchar_t* name) {
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return {};
    std::wstring value(n, L'\0');
    n = GetEnvironmentVariableW(name, value.data(), n);
    value.resize(n);
    return value;
}

}  // namespace

fs::path system::runningExecutable() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size()) return fs::path(std::wstring(buf.data(), n));
        buf.resize(buf.size() * 2);
    }
}

bool system::isWritableDirectory(const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return false;
    fs::path probe = siblingTempPath(dir / "probe");
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

fs::path system::userDataDirectory() {
    std::wstring base = environment(L"LOCALAPPDATA");
    fs::path root = base.empty() ? fs::temp_directory_path() : fs::path(base);
    return root / "Quillex";
}

// The installer puts its uninstaller beside the program; a portable copy has none.
bool system::isInstalledCopy(const fs::path& programDir) {
    std::error_code ec;
    return fs::is_regular_file(programDir / "uninstall.exe", ec);
}

unsigned long system::processId() {
    return GetCurrentProcessId();
}

bool isDiskFull(int systemError) {
    return systemError == ERROR_DISK_FULL || systemError == ERROR_HANDLE_DISK_FULL ||
           systemError == ENOSPC;
}

bool replaceFile(const fs::path& source, const fs::path& target, std::string& error) {
    // A full disk may show only now, when the file's data is written out.
    HANDLE h = CreateFileW(source.c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = "无法打开临时文件“" + os::utf8(source) + "”";
        return false;
    }
    bool flushed = FlushFileBuffers(h);
    DWORD flushError = GetLastError();
    CloseHandle(h);
    if (!flushed) {
        error = writeFailure(target, errnoOf(flushError));
        return false;
    }
    // A virus scanner or an indexer may hold the target for a moment; a program that has it
    // open (a workbook open in a spreadsheet program) holds it until it is closed.
    DWORD code = 0;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (MoveFileExW(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        code = GetLastError();
        if (code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED &&
            code != ERROR_LOCK_VIOLATION)
            break;
        Sleep(100);
    }
    std::error_code ec;
    bool held = (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
                 code == ERROR_ACCESS_DENIED) &&
                fs::exists(target, ec);
    if (held)
        error = "无法替换文件“" + os::utf8(target) + "”：它正被另一个程序打开，请关闭后再试";
    else
        error = writeFailure(target, errnoOf(code));
    return false;
}

}  // namespace qx::os
