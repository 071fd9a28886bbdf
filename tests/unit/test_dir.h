// A temporary directory for one test, removed afterwards.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qx::testing {

class TestDir {
  public:
    TestDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("qx_unit_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TestDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const {
        return path_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
    }

  private:
    std::filesystem::path path_;
};

// An environment variable set for the tests of one process.
inline void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}
inline void unsetEnvironment(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}

// Dates a folder's last change `ago` back (a folder's time cannot be set through the standard
// library on Windows).
inline void ageFolder(const std::filesystem::path& p, std::chrono::hours ago) {
#ifdef _WIN32
    HANDLE h = CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= static_cast<ULONGLONG>(ago.count()) * 3600ULL * 10000000ULL;
    FILETIME then{t.LowPart, t.HighPart};
    SetFileTime(h, nullptr, nullptr, &then);
    CloseHandle(h);
#else
    std::filesystem::last_write_time(p, std::filesystem::file_time_type::clock::now() - ago);
#endif
}

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace qx::testing
