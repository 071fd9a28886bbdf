// Huge-page advice on Linux; elsewhere nothing.
#include "platform/os/memory.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace qx::os {

void adviseHugePages(const void* p, std::size_t n) {
#ifdef __linux__
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    auto at = reinterpret_cast<std::uintptr_t>(p);
    std::uintptr_t begin = (at + kHuge - 1) & ~(kHuge - 1);
    std::uintptr_t end = (at + n) & ~(kHuge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

}  // namespace qx::os
