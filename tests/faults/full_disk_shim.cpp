// A disk that fills up, for the fault tests: loaded with LD_PRELOAD, it lets the writes to files
// whose path contains $QX_FULL_PATH take $QX_FULL_AFTER bytes in all, and then fails them as a
// full disk does (a short write, then ENOSPC; fsync fails too once the disk is full, and so does
// making a folder there). Other
// files, and the process without those variables, write as usual. A change of the variables
// within the process (a test that sets them) starts a fresh count.
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

std::mutex& lock() {
    static std::mutex m;
    return m;
}

struct Budget {
    std::string settings;  // the variables the count was started for
    long long left = 0;
};

Budget& budget() {
    static Budget b;
    return b;
}

// True when `fd` is a file the full disk applies to.
bool limited(int fd) {
    const char* part = std::getenv("QX_FULL_PATH");
    if (!part || !*part || fd < 0) return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX + 1];
    ssize_t n = readlink(link, target, PATH_MAX);
    if (n <= 0) return false;
    target[n] = '\0';
    return std::strstr(target, part) != nullptr;
}

// How many of `wanted` bytes the disk still takes (0: it is full), charged to the budget.
long long take(long long wanted) {
    const char* after = std::getenv("QX_FULL_AFTER");
    std::string settings = std::string(std::getenv("QX_FULL_PATH")) + "|" + (after ? after : "");
    std::lock_guard<std::mutex> guard(lock());
    Budget& b = budget();
    if (b.settings != settings) {
        b.settings = settings;
        b.left = after ? std::atoll(after) : 0;
    }
    long long granted = wanted < b.left ? wanted : b.left;
    b.left -= granted;
    return granted;
}

bool full() {
    std::lock_guard<std::mutex> guard(lock());
    return budget().left <= 0 && !budget().settings.empty();
}

}  // namespace

extern "C" {

// Lets a test see that the shim is in the process.
int qx_full_disk_shim_loaded() {
    return 1;
}

}  // extern "C"

namespace {
// A plain write of `size` bytes through `real` (write, pwrite, pwrite64 with their offset): what
// fits of it, or ENOSPC.
template <typename Real, typename... Offset>
ssize_t limitedWrite(Real real, int fd, const void* data, size_t size, Offset... at) {
    if (!limited(fd) || size == 0) return real(fd, data, size, at...);
    long long granted = take(static_cast<long long>(size));
    if (granted == 0) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, data, static_cast<size_t>(granted), at...);
}
}  // namespace

extern "C" {

ssize_t write(int fd, const void* data, size_t size) {
    static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    return limitedWrite(real, fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t at) {
    static auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return limitedWrite(real, fd, data, size, at);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t at) {
    static auto real = next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    return limitedWrite(real, fd, data, size, at);
}

// Vectored writes take what fits of the first buffers: as a short write does.
ssize_t writev(int fd, const struct iovec* parts, int count) {
    static auto real = next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    if (!limited(fd)) return real(fd, parts, count);
    long long total = 0;
    for (int i = 0; i < count; ++i) total += static_cast<long long>(parts[i].iov_len);
    if (total == 0) return real(fd, parts, count);
    long long granted = take(total);
    if (granted == 0) {
        errno = ENOSPC;
        return -1;
    }
    if (granted == total) return real(fd, parts, count);
    static auto plain = next<ssize_t (*)(int, const void*, size_t)>("write");
    ssize_t done = 0;
    for (int i = 0; i < count && granted > 0; ++i) {
        size_t piece = parts[i].iov_len < static_cast<size_t>(granted)
                           ? parts[i].iov_len
                           : static_cast<size_t>(granted);
        ssize_t n = plain(fd, parts[i].iov_base, piece);
        if (n < 0) return done ? done : n;
        done += n;
        granted -= n;
    }
    return done;
}

// stdio writes below the interposed calls (inside the C library), so its entry is taken here.
size_t fwrite(const void* data, size_t size, size_t count, FILE* file) {
    static auto real = next<size_t (*)(const void*, size_t, size_t, FILE*)>("fwrite");
    if (size == 0 || count == 0 || !limited(fileno(file))) return real(data, size, count, file);
    long long wanted = static_cast<long long>(size * count);
    long long granted = take(wanted);
    size_t whole = static_cast<size_t>(granted) / size;
    size_t done = whole ? real(data, size, whole, file) : 0;
    if (granted < wanted) errno = ENOSPC;
    return done;
}

int fsync(int fd) {
    static auto real = next<int (*)(int)>("fsync");
    if (limited(fd) && full()) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd);
}

int fdatasync(int fd) {
    static auto real = next<int (*)(int)>("fdatasync");
    if (limited(fd) && full()) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd);
}

// A folder takes room too: none is made under $QX_FULL_PATH once the disk is full.
int mkdir(const char* path, mode_t mode) {
    static auto real = next<int (*)(const char*, mode_t)>("mkdir");
    const char* part = std::getenv("QX_FULL_PATH");
    if (part && *part && std::strstr(path, part) && take(0) == 0 && full()) {
        errno = ENOSPC;
        return -1;
    }
    return real(path, mode);
}

}  // extern "C"
