// Text files as lines: the encoding detected (BOM, UTF-8, else GB18030), the lines split at
// CRLF or LF, and the line operations (de-duplicate, compare with another list, merge, clean-up,
// quote removal) on them. Values compare without regard to case.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::lines {

enum class Encoding { Utf8, Utf16LE, Utf16BE, Gb18030 };

// A file's text as UTF-8, with how the file was written.
struct LineText {
    Encoding encoding = Encoding::Utf8;
    bool bom = false;
    bool crlf = false;  // the first line break is CRLF
    std::string text;   // UTF-8, without the BOM
};

LineText decodeText(std::string bytes);
// UTF-8 text in the encoding (and with the BOM) of `like`.
std::string encodeLike(const LineText& like, std::string_view utf8);

// The lines of a text: CRLF or LF between them, no line after a final line break.
std::vector<std::string_view> splitLines(std::string_view text);

// A line's value is the line with every double quote removed; values compare without regard
// to case. Result texts are in UTF-8, one value a line, every line ended by `eol`.
std::string dedupeLines(std::string_view text, std::string_view eol);
// The same for bytes taken for UTF-8 unless they prove otherwise, which is found while they
// are indexed: nothing then, and they are to be decoded as another encoding.
std::optional<std::string> dedupeIfUtf8(std::string_view bytes, std::string_view eol);
// Whether bytes start with the byte-order mark of UTF-8 or UTF-16.
bool hasByteOrderMark(std::string_view bytes);
// Whether a text's first line break is CRLF.
bool firstBreakIsCrlf(std::string_view text);
// The source's values that are (`present`) or are not among the other text's values (its lines'
// values trimmed of spaces, blank ones dropped).
std::string compareLines(std::string_view source, std::string_view other, bool present,
                         std::string_view eol);
// A's values not in B, then all of B's, cleaned up.
std::string mergeLines(std::string_view a, std::string_view b, std::string_view eol);

// In place: blank lines dropped, U+0020 trimmed at both ends of each line, everything else
// (line breaks of kept lines, a final line break or its absence) kept. `bytes` in any
// ASCII-compatible encoding.
std::string cleanUp(std::string_view bytes);
// Every double quote removed; UTF-16 files by their 16-bit units.
std::string stripQuotes(std::string_view bytes);

}  // namespace qx::lines
