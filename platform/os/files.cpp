// Operating-system services for files and directories.
#include "platform/os/files.h"

#include "platform/os/memory.h"
#include "platform/os/paths.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qx::os {

namespace fs = std::filesystem;

namespace {
fs::path& installedProgram() {
    static fs::path program;
    return program;
}
}  // namespace

void actAsProgram(const fs::path& program) {
    installedProgram() = program;
}

fs::path executableDirectory() {
    if (!installedProgram().empty()) return installedProgram().parent_path();
#ifdef _WIN32
    wchar_t buf[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(std::size(buf)));
    return fs::path(std::wstring(buf, n)).parent_path();
#else
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path(ec);
    return exe.parent_path();
#endif
}

namespace {

bool isWritableDirectory(const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return false;
    fs::path probe = siblingTempPath(dir / "probe");
#ifdef _WIN32
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
#else
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
#endif
}

fs::path userDataDirectory() {
#ifdef _WIN32
    const char* base = std::getenv("LOCALAPPDATA");
    fs::path root = base ? os::pathFromUtf8(base) : fs::temp_directory_path();
    return root / "Quillex";
#else
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && *xdg) return fs::path(xdg) / "Quillex";
    if (home && *home) return fs::path(home) / ".local" / "share" / "Quillex";
    // No home: a folder of this user's own, never one that another user shares.
    return fs::temp_directory_path() / ("Quillex-" + std::to_string(::getuid()));
#endif
}

}  // namespace

fs::path helperProgram(const std::string& name) {
    fs::path exeDir = executableDirectory();
    std::error_code ec;
    if (fs::is_regular_file(exeDir / name, ec)) return exeDir / name;
    fs::path installed = exeDir.parent_path() / "libexec" / "quillex" / name;
    return fs::is_regular_file(installed, ec) ? installed : exeDir / name;
}

fs::path resolveProgramDirectory() {
    fs::path exeDir = executableDirectory();
    if (isWritableDirectory(exeDir)) return exeDir;
    fs::path data = userDataDirectory();
    std::error_code ec;
    fs::create_directories(data, ec);
    return data;
}

fs::path siblingTempPath(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
#ifdef _WIN32
    auto pid = GetCurrentProcessId();
#else
    auto pid = getpid();
#endif
    std::string name = ".";
    name += os::utf8(target.filename());
    name += ".tmp";
    name += std::to_string(pid);
    name += '_';
    name += std::to_string(stamp % 1000000007);
    name += '_';
    name += std::to_string(counter++);
    return target.parent_path() / os::pathFromUtf8(name);
}

bool replaceFile(const fs::path& source, const fs::path& target, std::string& error) {
#ifdef _WIN32
    if (!MoveFileExW(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "无法替换文件“" + os::utf8(target) + "”";
        return false;
    }
    return true;
#else
    int fd = ::open(source.c_str(), O_RDONLY);
    if (fd < 0) {
        error = "无法打开临时文件“" + os::utf8(source) + "”";
        return false;
    }
    // A full disk may show only now, when the file's delayed blocks are allocated.
    int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (err) {
        error = writeFailure(target, err);
        return false;
    }
    std::error_code ec;
    fs::rename(source, target, ec);
    if (ec) {
        error = "无法替换文件“" + os::utf8(target) + "”：" + ec.message();
        return false;
    }
    // Make the new directory entry itself durable.
    int dir = ::open(target.parent_path().empty() ? "." : target.parent_path().c_str(), O_RDONLY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
#endif
}

bool readFile(const fs::path& file, std::string& out) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) return false;
    auto size = static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0));
    // Reserved, advised, then filled: a large file's buffer comes in huge pages.
    std::string().swap(out);
    reserveLarge(out, size);
    out.resize(size);
    in.seekg(0);
    return static_cast<bool>(in.read(out.data(), static_cast<std::streamsize>(out.size())));
}

bool writeFileReplacing(const fs::path& target, std::initializer_list<std::string_view> parts,
                        std::string& error) {
    fs::path temp = siblingTempPath(target);
    int err = 0;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) err = errno ? errno : EIO;
        for (std::string_view part : parts)
            if (!err && !out.write(part.data(), static_cast<std::streamsize>(part.size())))
                err = errno ? errno : EIO;
        if (!err && !out.flush()) err = errno ? errno : EIO;
    }
    if (err) error = writeFailure(target, err);
    if (!err && replaceFile(temp, target, error)) return true;
    removeIfExists(temp);
    return false;
}

std::string writeErrorReason(int err) {
    switch (err) {
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return "磁盘已满";
        case EFBIG:
            return "文件太大";
        case EROFS:
            return "磁盘是只读的";
        case EACCES:
        case EPERM:
            return "没有写入权限";
        case EIO:
            return "磁盘读写错误";
        default:
            return "错误代码 " + std::to_string(err);
    }
}

std::string writeFailure(const fs::path& file, int err) {
    return "写入文件“" + utf8(file) + "”时出错：" + writeErrorReason(err);
}

bool removeIfExists(const fs::path& file) {
    std::error_code ec;
    fs::remove(file, ec);
    return !fs::exists(fs::symlink_status(file, ec));
}

}  // namespace qx::os
