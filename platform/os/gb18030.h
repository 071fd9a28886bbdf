// GB18030's four-byte sequences for the Basic Multilingual Plane: they number, in order, the
// code points from U+0080 that the one- and two-byte part leaves out, in runs listed here (the
// first sequence number of a run and its first code point); the planes above follow linearly
// from 0x90308130. Systems without a GB18030 converter pair this with the GBK table (code page
// 936) for the two-byte part.
#pragma once

#include <cstdint>
#include <optional>

namespace qx::os::gb18030 {

// The code point of a four-byte sequence b0 b1 b2 b3 (b0, b2 in 81-FE; b1, b3 in 30-39); none
// when the sequence is unassigned.
std::optional<char32_t> decodeFour(unsigned char b0, unsigned char b1, unsigned char b2,
                                   unsigned char b3);
// The four bytes of a code point that has a four-byte sequence: those the two-byte part leaves
// out and everything above U+FFFF. False for a code point of the two-byte part or a surrogate.
bool encodeFour(char32_t c, unsigned char out[4]);

}  // namespace qx::os::gb18030
