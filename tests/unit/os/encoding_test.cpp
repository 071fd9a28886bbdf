// Code page conversions.
#include "platform/os/encoding.h"

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
    // A large text is checked in two halves: a fault at any place near the cut, or a character
    // cut in two by it, is still found.
    std::string big;
    while (big.size() < (5u << 20)) big += "张三 ab中文, 12345678\n";
    EXPECT_TRUE(isValidUtf8(big));
    for (std::size_t at = big.size() / 2 - 24; at < big.size() / 2 + 40; ++at) {
        std::string bad = big;
        bad[at] = '\xFF';
        ASSERT_FALSE(isValidUtf8(bad)) << at;
        bad = big;
        bad.erase(at, 1);  // a character loses a byte, or an ASCII byte goes
        ASSERT_EQ(isValidUtf8(bad), static_cast<unsigned char>(big[at]) < 0x80) << at;
    }
}

}  // namespace
}  // namespace qx::os
