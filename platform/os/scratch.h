// A folder of one run's own under the system's temporary folder. A lock on a file inside it says
// that the run is alive; the kernel drops the lock however the process ends, so a run that was
// killed or crashed leaves a folder nobody holds, and the next run removes it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace qx::os {

class ScratchFolder {
  public:
    // Makes <temporary folder>/<prefix>-<number>, after removing the folders of that name that
    // no living run holds. Null, with `error` set for the user, when no folder can be made.
    static std::unique_ptr<ScratchFolder> make(const std::string& prefix, std::string& error);
    // Removes the folder and everything in it.
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    ScratchFolder() = default;
    std::filesystem::path path_;
    std::intptr_t lock_ = -1;  // a descriptor, or a handle
};

}  // namespace qx::os
