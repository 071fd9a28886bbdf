// File services on POSIX systems.
#include "platform/os/files.h"
#include "platform/os/files_system.h"
#include "platform/os/paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace qx::os {

namespace fs = std::filesystem;

const char* const system::kExecutableSuffix = "";

fs::path system::runningExecutable() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path(ec) / "quillex";
    return exe;
}

bool system::isWritableDirectory(const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return false;
    fs::path probe = siblingTempPath(dir / "probe");
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

fs::path system::userDataDirectory() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && *xdg) return fs::path(xdg) / "Quillex";
    if (home && *home) return fs::path(home) / ".local" / "share" / "Quillex";
    // No home: a folder of this user's own, never one that another user shares.
    return fs::temp_directory_path() / ("Quillex-" + std::to_string(::getuid()));
}

// A package installs the program where users cannot write; a folder they can write is theirs.
bool system::isInstalledCopy(const fs::path&) {
    return false;
}

unsigned long system::processId() {
    return static_cast<unsigned long>(::getpid());
}

bool isDiskFull(int systemError) {
    return systemError == ENOSPC || systemError == EDQUOT;
}

bool replaceFile(const fs::path& source, const fs::path& target, std::string& error) {
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
}

}  // namespace qx::os
