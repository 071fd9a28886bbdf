// Helper processes on POSIX systems.
#include "platform/os/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace qx::os {

std::unique_ptr<ChildProcess> ChildProcess::start(const std::filesystem::path& program,
                                                  const std::vector<std::string>& args,
                                                  std::string& error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = "无法创建管道";
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::string path = program.string();
    std::vector<char*> argv;
    argv.push_back(path.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        error = "无法启动辅助程序“" + path + "”";
        return nullptr;
    }
    std::unique_ptr<ChildProcess> child(new ChildProcess());
    child->process_ = pid;
    child->out_ = fds[0];
    return child;
}

ChildProcess::~ChildProcess() {
    finish();
}

bool ChildProcess::read(char* buffer, std::size_t n, int idleSeconds) {
    std::size_t got = 0;
    while (got < n) {
        pollfd p{static_cast<int>(out_), POLLIN, 0};
        int ready = ::poll(&p, 1, idleSeconds * 1000);
        if (ready == 0) return false;  // hung
        if (ready < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        ssize_t r = ::read(static_cast<int>(out_), buffer + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<std::size_t>(r);
    }
    return true;
}

bool ChildProcess::finish(int graceMs) {
    if (finished_) return cleanExit_;
    finished_ = true;
    if (out_ >= 0) ::close(static_cast<int>(out_));
    out_ = -1;
    int status = 0;
    pid_t pid = static_cast<pid_t>(process_);
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    for (int waited = 0; done == 0 && waited < graceMs; waited += 5) {
        ::usleep(5000);
        done = ::waitpid(pid, &status, WNOHANG);
    }
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return cleanExit_ = false;
    }
    cleanExit_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return cleanExit_;
}

}  // namespace qx::os
