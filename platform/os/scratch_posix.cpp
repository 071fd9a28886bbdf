// Run folders on POSIX systems: the lock is flock's, which the kernel drops with the process.
#include "platform/os/scratch_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace qx::os::scratch {

namespace fs = std::filesystem;

namespace {
// A folder without a lock file is left alone this long: its run may be between making the
// folder and locking it (a moment), or it is older than the lock (any age).
constexpr auto kUnlockedGrace = std::chrono::hours(1);
}  // namespace

bool abandoned(const fs::path& folder) {
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    int fd = ::open((folder / kLockName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) return false;
        auto age =
            std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(st.st_mtime);
        return age > kUnlockedGrace;
    }
    bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

int makeFolder(const fs::path& folder) {
    return ::mkdir(folder.c_str(), 0700) == 0 ? 0 : errno;
}

int lockFolder(const fs::path& folder, std::intptr_t& lock) {
    fs::path fresh = folder / kLockNameNew;
    int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    lock = fd;
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0 ||
        ::rename(fresh.c_str(), (folder / kLockName).c_str()) != 0)
        return errno;
    return 0;
}

void unlock(std::intptr_t lock) {
    ::close(static_cast<int>(lock));
}

}  // namespace qx::os::scratch
