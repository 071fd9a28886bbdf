// A helper process of our own whose standard output the caller reads, with a time limit, so
// that a helper that crashes or hangs cannot take the program with it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qx::os {

class ChildProcess {
  public:
    static std::unique_ptr<ChildProcess> start(const std::filesystem::path& program,
                                               const std::vector<std::string>& args,
                                               std::string& error);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads exactly `n` bytes. False at the end of the output, on an error, or when nothing
    // arrives for `idleSeconds`.
    bool read(char* buffer, std::size_t n, int idleSeconds);
    // Waits up to `graceMs` for the process to exit, then ends it; true when it exited by
    // itself with status 0.
    bool finish(int graceMs = 20);

  private:
    ChildProcess() = default;
    // The process and the read end of its output: a pid and a descriptor, or two handles.
    std::intptr_t process_ = -1;
    std::intptr_t out_ = -1;
    bool finished_ = false;
    bool cleanExit_ = false;
};

}  // namespace qx::os
