// Operating-system services for files and directories.
#include "platform/os/files.h"

#include "platform/os/files_system.h"
#include "platform/os/memory.h"
#include "platform/os/paths.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <system_error>

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
    return system::runningExecutable().parent_path();
}

fs::path helperProgram(const std::string& name) {
    fs::path exeDir = executableDirectory();
    std::error_code ec;
    fs::path file = os::pathFromUtf8(name + system::kExecutableSuffix);
    if (fs::is_regular_file(exeDir / file, ec)) return exeDir / file;
    fs::path installed = exeDir.parent_path() / "libexec" / "quillex" / file;
    return fs::is_regular_file(installed, ec) ? installed : exeDir / file;
}

fs::path resolveProgramDirectory() {
    fs::path exeDir = executableDirectory();
    // An installed copy keeps its working files per user even where its folder can be written
    // (run as administrator); a portable copy keeps them beside itself.
    if (!system::isInstalledCopy(exeDir) && system::isWritableDirectory(exeDir)) return exeDir;
    fs::path data = system::userDataDirectory();
    std::error_code ec;
    fs::create_directories(data, ec);
    return data;
}

fs::path siblingTempPath(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    auto pid = system::processId();
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
