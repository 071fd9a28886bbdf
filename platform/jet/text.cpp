// Text rules of the Jet dialect.
#include "platform/jet/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qx::jet {

std::string asciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool equalsNoCaseAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && asciiUpper(a) == asciiUpper(b);
}

char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
    if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) {
        ++i;
        return 0xDC00 + b0;  // a lone byte keeps its identity
    }
    char32_t cp = b0 & (0x3F >> (len - 1));
    for (int k = 1; k < len; ++k) {
        auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xDC00 + b0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += static_cast<std::size_t>(len);
    return cp;
}

char* writeUtf8(char* out, char32_t cp) {
    if (cp >= 0xDC80 && cp <= 0xDCFF) {
        *out++ = static_cast<char>(cp - 0xDC00);
    } else if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp) {
    char bytes[4];
    out.append(bytes, static_cast<std::size_t>(writeUtf8(bytes, cp) - bytes));
}

std::size_t codePointCount(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size();) {
        nextCodePoint(s, i);
        ++n;
    }
    return n;
}

// Case pairs of the scripts office data mixes with Chinese: Latin, Greek, Cyrillic, full width.
char32_t foldCase(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
        if (c == 0x178) return 0xFF;
        return (c & 1) ? c : c + 1;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
    return c;
}

char32_t upperCase(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
        return (c & 1) ? c - 1 : c;
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return c - 32;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
    return c;
}

std::string toUpper(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) appendUtf8(out, upperCase(nextCodePoint(s, i)));
    return out;
}

std::u16string toUtf16(std::string_view utf8, std::size_t maxUnits) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size() && out.size() < maxUnits;) {
        char32_t cp = nextCodePoint(utf8, i);
        if (cp >= 0xDC80 && cp <= 0xDCFF) cp = 0xFFFD;
        if (cp >= 0x10000) {
            if (out.size() + 2 > maxUnits) break;
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string toLower(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    appendFolded(out, s);
    return out;
}

void appendFolded(std::string& out, std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
            ++i;
        } else {
            appendUtf8(out, foldCase(nextCodePoint(s, i)));
        }
    }
}

int compareNoCase(std::string_view a, std::string_view b) {
    // The bytes both begin with are passed eight at a time, up to the first that differs.
    std::size_t i = 0;
    const std::size_t common = std::min(a.size(), b.size());
    while (i + 8 <= common) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            i += static_cast<std::size_t>(__builtin_ctzll(x ^ y)) / 8;  // little-endian
            break;
        }
        i += 8;
    }
    std::size_t j = i;
    while (i < a.size() && j < b.size()) {
        auto ca = static_cast<unsigned char>(a[i]);
        auto cb = static_cast<unsigned char>(b[j]);
        if (ca == cb) {  // equal bytes keep both sides at the same place in their code points
            ++i;
            ++j;
            continue;
        }
        if (ca < 0x80 && cb < 0x80) {
            if (ca >= 'A' && ca <= 'Z') ca += 32;
            if (cb >= 'A' && cb <= 'Z') cb += 32;
            if (ca != cb) return ca < cb ? -1 : 1;
            ++i;
            ++j;
            continue;
        }
        // A difference inside a multi-byte character: go back to where it starts on both sides.
        while (i > 0 && j > 0 && (static_cast<unsigned char>(a[i]) & 0xC0) == 0x80 &&
               (static_cast<unsigned char>(b[j]) & 0xC0) == 0x80) {
            --i;
            --j;
        }
        // Characters from U+0800 to U+EFFF and above U+FFFF (Chinese among them) have no case:
        // their bytes order them as their code points do, and the first differing byte decides.
        auto caseless = [](unsigned char lead) {
            return (lead >= 0xE0 && lead <= 0xEE) || (lead >= 0xF0 && lead <= 0xF4);
        };
        if (caseless(static_cast<unsigned char>(a[i])) &&
            caseless(static_cast<unsigned char>(b[j])))
            return ca < cb ? -1 : 1;
        char32_t x = foldCase(nextCodePoint(a, i));
        char32_t y = foldCase(nextCodePoint(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

bool LikePattern::Element::matches(char32_t c) const {
    switch (kind) {
        case Literal:
            return foldCase(c) == ch;
        case AnyOne:
            return true;
        case Digit:
            return c >= '0' && c <= '9';
        case Set: {
            char32_t f = foldCase(c);
            bool in = false;
            for (auto [lo, hi] : ranges)
                if (f >= lo && f <= hi) in = true;
            return in != negated;
        }
        case AnyRun:
            return true;
    }
    return false;
}

LikePattern::LikePattern(std::string_view p) {
    for (std::size_t i = 0; i < p.size();) {
        char32_t c = nextCodePoint(p, i);
        if (c == '%') {
            if (elements_.empty() || elements_.back().kind != Element::AnyRun)
                elements_.push_back(Element{Element::AnyRun, 0, false, {}});
        } else if (c == '_') {
            elements_.push_back(Element{Element::AnyOne, 0, false, {}});
        } else if (c == '#') {
            elements_.push_back(Element{Element::Digit, 0, false, {}});
        } else if (c == '[') {
            std::size_t close = p.find(']', i);
            if (close == std::string_view::npos) {  // an unclosed bracket is literal
                elements_.push_back(Element{Element::Literal, '[', false, {}});
                continue;
            }
            Element e{Element::Set, 0, false, {}};
            std::string_view body = p.substr(i, close - i);
            std::size_t k = 0;
            if (!body.empty() && body[0] == '!' && body.size() > 1) {
                e.negated = true;
                k = 1;
            }
            std::vector<char32_t> cps;
            while (k < body.size()) cps.push_back(nextCodePoint(body, k));
            i = close + 1;
            if (cps.empty()) continue;  // [] stands for the empty string
            for (std::size_t m = 0; m < cps.size(); ++m) {
                if (m + 2 < cps.size() && cps[m + 1] == '-') {
                    e.ranges.emplace_back(foldCase(cps[m]), foldCase(cps[m + 2]));
                    m += 2;
                } else {
                    e.ranges.emplace_back(foldCase(cps[m]), foldCase(cps[m]));
                }
            }
            elements_.push_back(std::move(e));
        } else {
            elements_.push_back(Element{Element::Literal, foldCase(c), false, {}});
        }
    }
    if (elements_.size() >= 2 && elements_.front().kind == Element::AnyRun &&
        elements_.back().kind == Element::AnyRun) {
        containsOnly_ = true;
        for (std::size_t k = 1; k + 1 < elements_.size(); ++k) {
            if (elements_[k].kind != Element::Literal) {
                containsOnly_ = false;
                break;
            }
            appendUtf8(folded_, elements_[k].ch);
        }
    }
}

bool LikePattern::matches(std::string_view text) const {
    if (containsOnly_) {
        if (folded_.empty()) return true;
        bool ascii = true;
        for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        if (ascii) {
            std::string lowered = asciiLower(text);
            return lowered.find(folded_) != std::string::npos;
        }
        return toLower(text).find(folded_) != std::string::npos;
    }
    const auto& pat = elements_;
    std::size_t p = 0, s = 0;
    std::size_t starP = std::string_view::npos, starS = 0;
    while (s < text.size()) {
        std::size_t after = s;
        char32_t c = nextCodePoint(text, after);
        if (p < pat.size() && pat[p].kind == Element::AnyRun) {
            starP = p++;
            starS = s;
        } else if (p < pat.size() && pat[p].matches(c)) {
            ++p;
            s = after;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            nextCodePoint(text, starS);
            s = starS;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p].kind == Element::AnyRun) ++p;
    return p == pat.size();
}

bool likeMatch(std::string_view pattern, std::string_view text) {
    return LikePattern(pattern).matches(text);
}

}  // namespace qx::jet
