// Paths and UTF-8 text: every path the program shows or builds statements from is UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qx::os {

inline std::string utf8(const std::filesystem::path& p) {
    std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

inline std::string genericUtf8(const std::filesystem::path& p) {
    std::u8string s = p.generic_u8string();
    return std::string(s.begin(), s.end());
}

inline std::filesystem::path pathFromUtf8(std::string_view s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

}  // namespace qx::os
