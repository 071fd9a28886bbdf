// Code page conversions.
#include "platform/os/encoding.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace qx::os {
namespace {

TEST(Encoding, RoundTripsChineseThroughGbk) {
    const std::string text = "张三 喆 ABC 123";
    bool lossless = false;
    std::string gbk = fromUtf8(text, "GBK", &lossless);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(gbk.substr(0, 4), "\xD5\xC5\xC8\xFD");
    EXPECT_EQ(toUtf8(gbk, "GB18030"), text);
}

TEST(Encoding, MarksWhatDoesNotConvert) {
    bool lossless = true;
    EXPECT_EQ(fromUtf8("a😀b", "GBK", &lossless), "a?b");
    EXPECT_FALSE(lossless);
    EXPECT_EQ(toUtf8("a\x81", "GB18030"), "a\xEF\xBF\xBD");
    EXPECT_EQ(toUtf8("caf\xE9", "CP1252"), "café");
    EXPECT_EQ(toUtf8("\xE9", "no-such-charset"), "é");
}

TEST(Encoding, RecognisesUtf8) {
    EXPECT_TRUE(isValidUtf8("plain"));
    EXPECT_TRUE(isValidUtf8("中文"));
    EXPECT_FALSE(isValidUtf8("\xD5\xC5\xC8\xFD"));
    EXPECT_FALSE(isValidUtf8("\xE4\xB8"));
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));
    // Sixteen bytes at a time against the rule read character by character, on random texts of
    // whole characters of every length, stray continuation bytes, C0/C1, F8-FF and cut ends.
    auto byRule = [](std::string_view t) {
        for (std::size_t i = 0; i < t.size();) {
            auto c = static_cast<unsigned char>(t[i]);
            std::size_t len = c < 0x80                ? 1
                              : c >= 0xC2 && c < 0xE0 ? 2
                              : c >= 0xE0 && c < 0xF0 ? 3
                              : c >= 0xF0 && c < 0xF8 ? 4
                                                      : 0;
            if (len == 0 || i + len > t.size()) return false;
            for (std::size_t k = 1; k < len; ++k)
                if ((static_cast<unsigned char>(t[i + k]) & 0xC0) != 0x80) return false;
            i += len;
        }
        return true;
    };
    const std::vector<std::string> pieces = {"a",
                                             "Z\n",
                                             "é",
                                             "张",
                                             "𠀀",
                                             "\xEF\xBF\xBF",
                                             "\x80",
                                             "\xC1\x81",
                                             "\xF8",
                                             "\xE4\xB8",
                                             "\xF4\x8F\xBF",
                                             std::string(1, '\0'),
                                             "0123456789abcdef"};
    std::uint32_t seed = 3;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    int valid = 0;
    for (int n = 0; n < 40000; ++n) {
        std::string t;
        for (int k = static_cast<int>(next() % 24); k > 0; --k) {
            // Mostly whole characters, so that valid texts of every length come up.
            static const std::size_t whole[] = {0, 1, 2, 3, 4, 5, 11, 12};
            t += pieces[next() % 100 < 90 ? whole[next() % 8] : next() % pieces.size()];
        }
        bool want = byRule(t);
        valid += want;
        ASSERT_EQ(isValidUtf8(t), want) << n;
    }
    EXPECT_GT(valid, 8000);
}

}  // namespace
}  // namespace qx::os
