// Huge-page advice and 2 MiB-aligned blocks: mapped on Linux, from the heap elsewhere.
#include "platform/os/memory.h"

#include <cstdint>
#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif
#ifdef _WIN32
#include <malloc.h>
#endif

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/asan_interface.h>
#define QX_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define QX_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define QX_POISON(p, n) ((void)(p), (void)(n))
#define QX_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

#ifdef __linux__
#define QX_MAPPED_BLOCKS 1
#endif

namespace qx::os {

namespace {
constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;

#ifdef QX_MAPPED_BLOCKS
std::size_t roundedUp(std::size_t bytes) {
    return (bytes + kHuge - 1) & ~(kHuge - 1);
}
#endif
}  // namespace

void adviseHugePages(const void* p, std::size_t n) {
#ifdef __linux__
    auto at = reinterpret_cast<std::uintptr_t>(p);
    std::uintptr_t begin = (at + kHuge - 1) & ~(kHuge - 1);
    std::uintptr_t end = (at + n) & ~(kHuge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

void* allocateLarge(std::size_t bytes) {
#ifdef QX_MAPPED_BLOCKS
    // Mapped with 2 MiB to spare, then trimmed to the aligned block.
    std::size_t size = roundedUp(bytes);
    void* mapped =
        ::mmap(nullptr, size + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    auto at = reinterpret_cast<std::uintptr_t>(mapped);
    std::uintptr_t begin = (at + kHuge - 1) & ~(kHuge - 1);
    if (begin > at) ::munmap(mapped, begin - at);
    if (std::uintptr_t tail = at + size + kHuge - (begin + size))
        ::munmap(reinterpret_cast<void*>(begin + size), tail);
    ::madvise(reinterpret_cast<void*>(begin), size, MADV_HUGEPAGE);
    // Under AddressSanitizer what lies past the block is off limits, as past a heap block.
    std::size_t end = (bytes + 7) & ~std::size_t{7};
    if (end < size) QX_POISON(reinterpret_cast<char*>(begin) + end, size - end);
    return reinterpret_cast<void*>(begin);
#elif defined(_WIN32)
    void* p = _aligned_malloc(bytes, kHuge);
    if (!p) throw std::bad_alloc();
    return p;
#else
    void* p = std::aligned_alloc(kHuge, (bytes + kHuge - 1) & ~(kHuge - 1));
    if (!p) throw std::bad_alloc();
    return p;
#endif
}

void freeLarge(void* p, std::size_t bytes) {
#ifdef QX_MAPPED_BLOCKS
    QX_UNPOISON(p, roundedUp(bytes));
    ::munmap(p, roundedUp(bytes));
#elif defined(_WIN32)
    (void)bytes;
    _aligned_free(p);
#else
    (void)bytes;
    std::free(p);
#endif
}

}  // namespace qx::os
