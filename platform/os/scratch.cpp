// Run folders held by a lock, and the removal of those whose run has ended.
#include "platform/os/scratch.h"

#include "platform/os/files.h"
#include "platform/os/paths.h"
#include "platform/os/scratch_system.h"

#include <cerrno>
#include <random>

namespace qx::os {

namespace fs = std::filesystem;

namespace {

bool isRunFolderName(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0 ||
        name[prefix.size()] != '-')
        return false;
    return name.find_first_not_of("0123456789", prefix.size() + 1) == std::string::npos;
}

void removeAbandoned(const fs::path& parent, const std::string& prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (!isRunFolderName(utf8(p.filename()), prefix) || !scratch::abandoned(p)) continue;
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
        int err = scratch::makeFolder(folder);
        if (err == 0) break;
        if (err != EEXIST || attempt == 100) {
            error = folderFailure(folder, err);
            return nullptr;
        }
    }
    std::unique_ptr<ScratchFolder> made(new ScratchFolder);
    made->path_ = folder;  // from here on the destructor removes it
    if (int err = scratch::lockFolder(folder, made->lock_)) {
        error = folderFailure(folder, err);
        return nullptr;
    }
    return made;
}

ScratchFolder::~ScratchFolder() {
    // The lock goes first: a system that refuses to delete an open file keeps nothing back.
    if (lock_ != -1) scratch::unlock(lock_);
    std::error_code ec;
    fs::remove_all(path_, ec);
}

}  // namespace qx::os
