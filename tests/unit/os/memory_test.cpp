// The large working arrays: blocks aligned for huge pages that keep what is stored in them as
// they grow past the size where they leave the heap, and (in the sanitizer build) the bytes
// past a block off limits.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/os/memory.h"

namespace qx::os {

namespace {

constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;

bool alignedForHugePages(const void* p) {
    return (reinterpret_cast<std::uintptr_t>(p) & (kHuge - 1)) == 0;
}

}  // namespace

TEST(Memory, LargeArraysKeepTheirElementsAsTheyGrowAcrossEverySize) {
    // Grown one element at a time from the heap's sizes into mapped ones, 1 MiB and more.
    LargeVector<std::uint64_t> grown;
    for (std::uint64_t i = 0; i < 700000; ++i) {
        grown.push_back(i * 2654435761u);
        if (grown.capacity() * sizeof(std::uint64_t) >= (1u << 20)) {
            ASSERT_TRUE(alignedForHugePages(grown.data())) << grown.capacity();
        }
    }
    for (std::uint64_t i = 0; i < grown.size(); ++i) ASSERT_EQ(grown[i], i * 2654435761u);

    // Sizes around the threshold and around whole huge pages, written to their last byte.
    for (std::size_t bytes : {std::size_t{1} << 20, (std::size_t{1} << 20) - 1, kHuge - 1, kHuge,
                              kHuge + 1, 3 * kHuge + 4097}) {
        LargeVector<char> block(bytes, 'x');
        block.back() = 'y';
        EXPECT_EQ(block.size(), bytes);
        EXPECT_EQ(block[bytes / 2], 'x');
        EXPECT_EQ(block.back(), 'y');
        if (bytes >= (1u << 20)) {
            EXPECT_TRUE(alignedForHugePages(block.data())) << bytes;
        }
    }
    // A freed block's room serves the next one.
    for (int round = 0; round < 50; ++round) {
        LargeVector<int> v(600000, round);
        ASSERT_EQ(v[599999], round);
    }
}

#ifdef __SANITIZE_ADDRESS__
TEST(MemoryDeathTest, ABytePastALargeBlockIsCaught) {
    auto* p = static_cast<char*>(allocateLarge((std::size_t{1} << 20) + 5));
    p[(std::size_t{1} << 20) + 4] = 1;  // the last byte is the block's
    EXPECT_DEATH({ static_cast<volatile char*>(p)[(std::size_t{1} << 20) + 8] = 1; },
                 "use-after-poison");
    freeLarge(p, (std::size_t{1} << 20) + 5);
}
#endif

}  // namespace qx::os
