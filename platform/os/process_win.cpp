// Helper processes on Windows: CreateProcessW with the helper's output on an anonymous pipe.
#include "platform/os/process.h"

#include "platform/os/paths.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

namespace qx::os {

namespace {

HANDLE handleOf(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

// One argument as the C runtime splits a command line back into argv: quoted, with the
// backslashes before a quote (and before the closing quote) doubled.
void appendArgument(std::wstring& line, const std::wstring& arg) {
    line += L'"';
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        if (c == L'"') slashes = slashes * 2 + 1;
        line.append(slashes, L'\\');
        slashes = 0;
        line += c;
    }
    line.append(slashes * 2, L'\\');
    line += L'"';
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::filesystem::path& program,
                                                  const std::vector<std::string>& args,
                                                  std::string& error) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16)) {
        error = "无法创建管道";
        return nullptr;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    std::wstring line;
    appendArgument(line, program.wstring());
    for (const std::string& a : args) {
        line += L' ';
        appendArgument(line, wide(a));
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = writeEnd;
    si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                  CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) {
        CloseHandle(readEnd);
        error = "无法启动辅助程序“" + utf8(program) + "”";
        return nullptr;
    }
    CloseHandle(pi.hThread);
    std::unique_ptr<ChildProcess> child(new ChildProcess());
    child->process_ = reinterpret_cast<std::intptr_t>(pi.hProcess);
    child->out_ = reinterpret_cast<std::intptr_t>(readEnd);
    return child;
}

ChildProcess::~ChildProcess() {
    finish();
}

bool ChildProcess::read(char* buffer, std::size_t n, int idleSeconds) {
    // Anonymous pipes have no waiting with a time limit: look at what is there, and sleep a
    // little while nothing is.
    using Clock = std::chrono::steady_clock;
    std::size_t got = 0;
    auto lastData = Clock::now();
    DWORD pause = 0;
    while (got < n) {
        DWORD available = 0;
        if (!PeekNamedPipe(handleOf(out_), nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available == 0) {
            if (Clock::now() - lastData > std::chrono::seconds(idleSeconds)) return false;  // hung
            Sleep(pause);
            pause = pause < 8 ? pause + 1 : 8;
            continue;
        }
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - got, available));
        DWORD r = 0;
        if (!ReadFile(handleOf(out_), buffer + got, want, &r, nullptr) || r == 0) return false;
        got += r;
        lastData = Clock::now();
        pause = 0;
    }
    return true;
}

bool ChildProcess::finish(int graceMs) {
    if (finished_) return cleanExit_;
    finished_ = true;
    if (out_ != -1) CloseHandle(handleOf(out_));
    out_ = -1;
    HANDLE process = handleOf(process_);
    if (WaitForSingleObject(process, static_cast<DWORD>(graceMs)) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
        CloseHandle(process);
        return cleanExit_ = false;
    }
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    cleanExit_ = code == 0;
    return cleanExit_;
}

}  // namespace qx::os
