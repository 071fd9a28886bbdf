// UTF-8 validation and line splitting, the same on every system.
#include "platform/os/encoding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstdint>
#include <cstring>
#include <string>

namespace qx::os {

namespace {

// One run of the text, character by character; a run that ends inside a character is invalid.
bool validBytes(const char* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        // ASCII eight bytes at a time.
        std::uint64_t w;
        while (i + 8 <= n && (std::memcpy(&w, p + i, 8), (w & 0x8080808080808080ull) == 0)) i += 8;
        if (i >= n) break;
        auto c = static_cast<unsigned char>(p[i]);
        std::size_t len = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 0;
        if (len == 0 || i + len > n) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(p[i + k]) & 0xC0) != 0x80) return false;
        if (len == 2 && c < 0xC2) return false;  // overlong
        i += len;
    }
    return true;
}

#if defined(__SSE2__)
// The same rule sixteen bytes at a time: a byte is a continuation byte (80-BF) exactly when
// one of the three before it leads a character reaching it (C0-FF the next byte, E0-FF two
// bytes on, F0-FF three); C0, C1 and F8-FF are never valid. Sets `done` to where the blocks end,
// moved back to the start of a character they cut.
bool validBlocks(const char* p, std::size_t n, std::size_t& done) {
    auto atLeast = [](__m128i x, int k) {  // bytes >= k, unsigned
        __m128i v = _mm_set1_epi8(static_cast<char>(k));
        return _mm_cmpeq_epi8(_mm_max_epu8(x, v), x);
    };
    const __m128i top2 = _mm_set1_epi8(static_cast<char>(0xC0));
    const __m128i cont = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i noLow = _mm_set1_epi8(static_cast<char>(0xFE));
    __m128i prev = _mm_setzero_si128(), wrong = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i p1 = _mm_or_si128(_mm_slli_si128(b, 1), _mm_srli_si128(prev, 15));
        __m128i p2 = _mm_or_si128(_mm_slli_si128(b, 2), _mm_srli_si128(prev, 14));
        __m128i p3 = _mm_or_si128(_mm_slli_si128(b, 3), _mm_srli_si128(prev, 13));
        __m128i must =
            _mm_or_si128(_mm_or_si128(atLeast(p1, 0xC0), atLeast(p2, 0xE0)), atLeast(p3, 0xF0));
        __m128i isCont = _mm_cmpeq_epi8(_mm_and_si128(b, top2), cont);
        __m128i never =
            _mm_or_si128(atLeast(b, 0xF8), _mm_cmpeq_epi8(_mm_and_si128(b, noLow), top2));
        wrong = _mm_or_si128(wrong, _mm_or_si128(_mm_xor_si128(must, isCont), never));
        prev = b;
    }
    // A character the last block cuts is checked again whole by the caller.
    done = i;
    for (std::size_t back = 1; back <= 3 && back <= i; ++back) {
        auto c = static_cast<unsigned char>(p[i - back]);
        if (c < 0x80) break;
        if (c >= 0xC0) {
            std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            if (len > back) done = i - back;
            break;
        }
    }
    return _mm_movemask_epi8(wrong) == 0;
}
#endif

}  // namespace

bool isValidUtf8(std::string_view s) {
#if defined(__SSE2__)
    std::size_t done = 0;
    if (!validBlocks(s.data(), s.size(), done)) return false;
    return validBytes(s.data() + done, s.size() - done);
#else
    return validBytes(s.data(), s.size());
#endif
}

std::string charsetOfCodePage(unsigned codePage) {
    switch (codePage) {
        case 367:
            return "ASCII";
        case 936:
            return "GB18030";
        case 950:
            return "BIG5";
        case 932:
            return "CP932";
        case 949:
            return "CP949";
        case 10000:
            return "MACINTOSH";
        case 65001:
            return "UTF-8";
        case 32768:
            return "MACINTOSH";
        case 32769:
            return "CP1252";
        default:
            if (codePage >= 1250 && codePage <= 1258) return "CP" + std::to_string(codePage);
            if (codePage == 437 || codePage == 850 || codePage == 852 || codePage == 866 ||
                codePage == 874)
                return "CP" + std::to_string(codePage);
            return "CP1252";
    }
}

std::vector<std::string> textLines(std::string_view data) {
    if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t nl = data.find('\n', start);
        std::string l(
            data.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start));
        if (!l.empty() && l.back() == '\r') l.pop_back();
        lines.push_back(std::move(l));
        if (nl == std::string_view::npos) break;
        start = nl + 1;
    }
    return lines;
}

}  // namespace qx::os
