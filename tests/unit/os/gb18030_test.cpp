// GB18030's four-byte sequences as the Windows side decodes them, against the C library's
// converter on this system.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/os/encoding.h"
#include "platform/os/gb18030.h"

namespace qx::os {

namespace {
std::string utf8Of(char32_t c) {
    std::string out;
    if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
    return out;
}
}  // namespace

TEST(Gb18030, FourByteSequencesRoundTripAndAgreeWithTheConverter) {
    int sequences = 0, differ = 0;
    for (char32_t c = 0x80; c <= 0x10FFFF; c += (c < 0x10000 ? 1 : 4099)) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        unsigned char b[4];
        if (!gb18030::encodeFour(c, b)) continue;
        ++sequences;
        auto back = gb18030::decodeFour(b[0], b[1], b[2], b[3]);
        ASSERT_TRUE(back.has_value()) << std::hex << static_cast<std::uint32_t>(c);
        ASSERT_EQ(static_cast<std::uint32_t>(*back), static_cast<std::uint32_t>(c));
        std::string bytes(reinterpret_cast<const char*>(b), 4);
        if (toUtf8(bytes, "GB18030") != utf8Of(c)) ++differ;
    }
    // Every BMP code point outside the two-byte part, and the planes above.
    EXPECT_GT(sequences, 39000);
    // The 2005 edition moved a handful of characters between the parts; nothing else differs.
    EXPECT_LE(differ, 40);
    EXPECT_FALSE(gb18030::decodeFour(0x84, 0x31, 0xA5, 0x30).has_value());  // past U+FFFF's
    EXPECT_FALSE(gb18030::decodeFour(0x81, 0x29, 0x81, 0x30).has_value());  // not a sequence
    unsigned char b[4];
    EXPECT_FALSE(gb18030::encodeFour(0x4E00, b));  // 一 is two bytes
    ASSERT_TRUE(gb18030::encodeFour(0x10000, b));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b), 4), "\x90\x30\x81\x30");
}

}  // namespace qx::os
