// Little-endian fields and blank-padded texts of dBASE files, for the reader and the writer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qx::isam::dbase::bytes {

inline std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t be32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}
inline void put32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        s[at + static_cast<std::size_t>(k)] = static_cast<char>(v >> (8 * k));
}
inline void put16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
inline std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}
inline std::string_view trimBoth(std::string_view s) {
    s = trimRight(s);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return s;
}

inline constexpr const char* kDamaged = "dBASE 文件已损坏或不是 dBASE 文件：";

}  // namespace qx::isam::dbase::bytes
