// Code page conversions on Windows. The system converts one character at a time into tables
// made once per code page, so that large texts convert without a system call per character and
// a character that does not convert is replaced, not the whole text refused. GB18030 is code
// page 936 for its one- and two-byte part and its four-byte sequences by their ranges (Windows
// has code page 54936, Wine has no table for it); UTF-16 is converted here.
#include "platform/os/encoding.h"

#include "platform/os/gb18030.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>

namespace qx::os {

namespace {

constexpr char16_t kNone = 0xFFFF;
constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The next character of UTF-8 text at `i`, moving `i` past it; none for bytes that do not form
// a character (then `i` moves past the whole of what the lead byte announced, or one byte).
bool nextUtf8(std::string_view s, std::size_t& i, char32_t& c) {
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t len = b < 0x80         ? 1
                      : (b >> 5) == 6  ? 2
                      : (b >> 4) == 14 ? 3
                      : (b >> 3) == 30 ? 4
                                       : 0;
    if (len == 0) {
        ++i;
        return false;
    }
    if (i + len > s.size()) {
        i = s.size();
        return false;
    }
    if (!isValidUtf8(s.substr(i, len))) {
        ++i;
        return false;
    }
    c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k < len; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += len;
    return true;
}

// One code page's characters: what each byte or byte pair decodes to, and back.
struct CodePage {
    explicit CodePage(UINT cp);
    std::array<bool, 256> lead{};
    std::array<char16_t, 256> single{};
    std::vector<char16_t> pairs;     // lead * 256 + trail
    std::vector<std::uint16_t> out;  // per UTF-16 unit: the byte, or lead << 8 | trail; 0: none
};

CodePage::CodePage(UINT cp) : pairs(65536, kNone), out(65536, 0) {
    for (int b = 0; b < 256; ++b) {
        single[b] = kNone;
        if (b > 0 && IsDBCSLeadByteEx(cp, static_cast<BYTE>(b))) {
            lead[b] = true;
            continue;
        }
        char in = static_cast<char>(b);
        wchar_t w[2];
        if (MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, &in, 1, w, 2) == 1) single[b] = w[0];
    }
    for (int b = 255; b >= 0; --b)
        if (single[b] != kNone && (b == 0 || single[b] != 0))
            out[single[b]] = static_cast<std::uint16_t>(b);
    for (int l = 0x81; l < 256; ++l) {
        if (!lead[l]) continue;
        for (int t = 0x30; t < 256; ++t) {
            char in[2] = {static_cast<char>(l), static_cast<char>(t)};
            wchar_t w[2];
            if (MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, in, 2, w, 2) != 1) continue;
            pairs[l * 256 + t] = w[0];
            if (out[w[0]] == 0 && w[0] != 0) out[w[0]] = static_cast<std::uint16_t>(l << 8 | t);
        }
    }
}

const CodePage* codePage(UINT cp) {
    static std::mutex mutex;
    static std::map<UINT, std::unique_ptr<CodePage>> made;
    std::lock_guard<std::mutex> lock(mutex);
    auto& slot = made[cp];
    if (!slot) slot = std::make_unique<CodePage>(cp);
    return slot.get();
}

enum class Kind { Utf8, Utf16Le, Utf16Be, Gb18030, CodePageTable, Unknown };

struct Charset {
    Kind kind;
    UINT cp = 0;
};

Charset charsetNamed(const char* name) {
    std::string n(name);
    for (char& ch : n) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (n == "UTF-8" || n == "UTF8") return {Kind::Utf8};
    if (n == "UTF-16LE") return {Kind::Utf16Le};
    if (n == "UTF-16BE" || n == "UTF-16") return {Kind::Utf16Be};
    if (n == "GB18030") return {Kind::Gb18030, 936};
    UINT cp = 0;
    if (n == "GBK" || n == "GB2312" || n == "EUC-CN")
        cp = 936;
    else if (n == "BIG5")
        cp = 950;
    else if (n == "SHIFT_JIS" || n == "SJIS")
        cp = 932;
    else if (n == "EUC-KR" || n == "UHC")
        cp = 949;
    else if (n == "ISO-8859-1" || n == "LATIN1")
        cp = 28591;
    else if (n.rfind("CP", 0) == 0 && n.size() > 2 &&
             n.find_first_not_of("0123456789", 2) == std::string::npos)
        cp = static_cast<UINT>(std::stoul(n.substr(2)));
    else if (n.rfind("WINDOWS-", 0) == 0 && n.size() > 8 &&
             n.find_first_not_of("0123456789", 8) == std::string::npos)
        cp = static_cast<UINT>(std::stoul(n.substr(8)));
    if (cp != 0 && IsValidCodePage(cp)) return {Kind::CodePageTable, cp};
    return {Kind::Unknown};
}

// A unit of a code page's table: never a surrogate in the code pages tables are kept in.
void appendUnit(std::string& out, char16_t u) {
    if (u >= 0xD800 && u <= 0xDFFF)
        appendUtf8(out, kReplacement);
    else
        appendUtf8(out, u);
}

std::string decodeTable(std::string_view bytes, const CodePage& page, bool gb18030) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        if (gb18030 && i + 3 < n) {
            auto b1 = static_cast<unsigned char>(bytes[i + 1]);
            if (b1 >= 0x30 && b1 <= 0x39) {
                auto c = gb18030::decodeFour(b, b1, static_cast<unsigned char>(bytes[i + 2]),
                                             static_cast<unsigned char>(bytes[i + 3]));
                appendUtf8(out, c ? *c : kReplacement);
                i += c ? 4 : 1;
                continue;
            }
        }
        if (page.lead[b]) {
            char16_t u =
                i + 1 < n ? page.pairs[b * 256 + static_cast<unsigned char>(bytes[i + 1])] : kNone;
            if (u == kNone) {
                appendUtf8(out, kReplacement);
                ++i;
            } else {
                appendUnit(out, u);
                i += 2;
            }
            continue;
        }
        // In GB18030 the bytes 80 and FF stand for nothing (code page 936 makes 80 the euro).
        char16_t u = gb18030 && (b == 0x80 || b == 0xFF) ? kNone : page.single[b];
        if (u == kNone)
            appendUtf8(out, kReplacement);
        else
            appendUnit(out, u);
        ++i;
    }
    return out;
}

std::string decodeUtf16(std::string_view bytes, bool little) {
    std::string out;
    std::size_t n = bytes.size() / 2;
    auto unit = [&](std::size_t k) {
        auto a = static_cast<unsigned char>(bytes[2 * k]),
             b = static_cast<unsigned char>(bytes[2 * k + 1]);
        return static_cast<char32_t>(little ? (b << 8 | a) : (a << 8 | b));
    };
    for (std::size_t k = 0; k < n; ++k) {
        char32_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n && unit(k + 1) >= 0xDC00 &&
            unit(k + 1) <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
            ++k;
        } else {
            appendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
        }
    }
    if (bytes.size() % 2) appendUtf8(out, kReplacement);
    return out;
}

}  // namespace

std::string toUtf8(std::string_view bytes, const char* charsetName) {
    Charset cs = charsetNamed(charsetName);
    switch (cs.kind) {
        case Kind::Utf8: {
            if (isValidUtf8(bytes)) return std::string(bytes);
            std::string out;
            for (std::size_t i = 0; i < bytes.size();) {
                char32_t c;
                appendUtf8(out, nextUtf8(bytes, i, c) ? c : kReplacement);
            }
            return out;
        }
        case Kind::Utf16Le:
        case Kind::Utf16Be:
            return decodeUtf16(bytes, cs.kind == Kind::Utf16Le);
        case Kind::Gb18030:
        case Kind::CodePageTable:
            return decodeTable(bytes, *codePage(cs.cp), cs.kind == Kind::Gb18030);
        case Kind::Unknown:
            break;
    }
    // An unknown charset reads as Latin-1, so that nothing is dropped.
    std::string out;
    for (char ch : bytes) appendUtf8(out, static_cast<unsigned char>(ch));
    return out;
}

std::string fromUtf8(std::string_view utf8, const char* charsetName, bool* lossless) {
    if (lossless) *lossless = true;
    Charset cs = charsetNamed(charsetName);
    if (cs.kind == Kind::Unknown || cs.kind == Kind::Utf8) return std::string(utf8);
    const CodePage* page = cs.cp ? codePage(cs.cp) : nullptr;
    bool clean = true;
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c;
        if (!nextUtf8(utf8, i, c)) {
            clean = false;
            out += '?';
            continue;
        }
        if (cs.kind == Kind::Utf16Le || cs.kind == Kind::Utf16Be) {
            char16_t units[2];
            int count = 1;
            if (c >= 0x10000) {
                units[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                units[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
                count = 2;
            } else {
                units[0] = static_cast<char16_t>(c);
            }
            for (int k = 0; k < count; ++k) {
                char hi = static_cast<char>(units[k] >> 8), lo = static_cast<char>(units[k] & 0xFF);
                out += cs.kind == Kind::Utf16Le ? lo : hi;
                out += cs.kind == Kind::Utf16Le ? hi : lo;
            }
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        std::uint16_t code = c < 0x10000 ? page->out[c] : 0;
        // GB18030 has no single byte 80: the euro is A2E3 there.
        if (cs.kind == Kind::Gb18030 && code == 0x80) code = 0xA2E3;
        if (code > 0xFF) {
            out += static_cast<char>(code >> 8);
            out += static_cast<char>(code & 0xFF);
        } else if (code != 0) {
            out += static_cast<char>(code);
        } else if (unsigned char four[4];
                   cs.kind == Kind::Gb18030 && gb18030::encodeFour(c, four)) {
            out.append(reinterpret_cast<const char*>(four), 4);
        } else {
            clean = false;
            out += '?';
        }
    }
    if (lossless) *lossless = clean;
    return out;
}

}  // namespace qx::os
