// Large buffers: backed by transparent huge pages where the system offers them on request, so
// that filling one costs a page fault per 2 MiB rather than per 4 KiB and random access into
// it (the hash tables of the line operations) misses the TLB far less.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <vector>

namespace qx::os {

// Asks for huge pages for the whole 2 MiB pages within [p, p + n). Takes effect for pages not
// yet touched: call it on a fresh allocation before filling it. Does nothing where unsupported.
void adviseHugePages(const void* p, std::size_t n);

// Room for a large text, reserved and then advised, before anything is written into it.
inline void reserveLarge(std::string& text, std::size_t n) {
    text.reserve(n);
    adviseHugePages(text.data(), text.capacity());
}

// A block of `bytes` aligned to 2 MiB and advised to huge pages, so that all of it (not only the
// whole pages inside it) can be backed by them; mapped on its own where the system allows,
// otherwise from the heap. Throws std::bad_alloc when there is no room.
void* allocateLarge(std::size_t bytes);
void freeLarge(void* p, std::size_t bytes);

// The allocator of the large working arrays: blocks of 1 MiB and more as above, smaller ones
// from the heap.
template <typename T>
struct LargeAllocator {
    using value_type = T;
    static constexpr std::size_t kLarge = std::size_t{1} << 20;
    LargeAllocator() = default;
    template <typename U>
    LargeAllocator(const LargeAllocator<U>&) {}
    T* allocate(std::size_t n) {
        std::size_t bytes = n * sizeof(T);
        if (bytes >= kLarge) return static_cast<T*>(allocateLarge(bytes));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) {
        std::size_t bytes = n * sizeof(T);
        if (bytes >= kLarge)
            freeLarge(p, bytes);
        else
            std::allocator<T>().deallocate(p, n);
    }
    template <typename U>
    bool operator==(const LargeAllocator<U>&) const {
        return true;
    }
};

template <typename T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

}  // namespace qx::os
