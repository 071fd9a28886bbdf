// Run folders held by a lock, and the removal of those whose run has ended.
#include "platform/os/scratch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>

#include "platform/os/files.h"
#include "platform/os/paths.h"

namespace qx::os {

namespace fs = std::filesystem;

namespace {

// The file whose lock keeps a folder. It appears only once locked: it is locked under another
// name and then renamed, so a run that finds it and gets its lock knows its owner has ended.
constexpr const char* kLockName = ".run";
constexpr const char* kLockNameNew = ".run-new";
// A folder without a lock file is left alone this long: its run may be between making the
// folder and locking it (a moment), or it is older than the lock (any age).
constexpr auto kUnlockedGrace = std::chrono::hours(1);

bool isRunFolderName(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0 ||
        name[prefix.size()] != '-')
        return false;
    return name.find_first_not_of("0123456789", prefix.size() + 1) == std::string::npos;
}

// True when `folder` is one of our run folders whose run has ended.
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

void removeAbandoned(const fs::path& parent, const std::string& prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (!isRunFolderName(p.filename().string(), prefix) || !abandoned(p)) continue;
        std::error_code ignored;
        fs::remove_all(p, ignored);
    }
}

std::string folderFailure(const fs::path& folder, int err) {
    return "无法建立临时工作文件夹“" + utf8(folder) + "”：" + writeErrorReason(err);
}

}  // namespace

std::unique_ptr<ScratchFolder> ScratchFolder::make(const std::string& prefix, std::string& error) {
    std::error_code ec;
    fs::path parent = fs::temp_directory_path(ec);
    if (ec) {
        error = "找不到临时文件夹：" + ec.message();
        return nullptr;
    }
    removeAbandoned(parent, prefix);
    std::random_device rd;
    fs::path folder;
    for (int attempt = 0;; ++attempt) {
        folder = parent / (prefix + "-" + std::to_string(rd()));
        if (::mkdir(folder.c_str(), 0700) == 0) break;
        if (errno != EEXIST || attempt == 100) {
            error = folderFailure(folder, errno);
            return nullptr;
        }
    }
    std::unique_ptr<ScratchFolder> made(new ScratchFolder);
    made->path_ = folder;  // from here on the destructor removes it
    fs::path fresh = folder / kLockNameNew;
    made->lock_ = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (made->lock_ < 0 || ::flock(made->lock_, LOCK_EX) != 0 ||
        ::rename(fresh.c_str(), (folder / kLockName).c_str()) != 0) {
        error = folderFailure(folder, errno);
        return nullptr;
    }
    return made;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
    if (lock_ >= 0) ::close(lock_);
}

}  // namespace qx::os
