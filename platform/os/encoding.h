// Conversions between UTF-8, the program's own text encoding, and the code pages of files
// (GB18030/GBK, Big5, the Windows and DOS code pages).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qx::os {

bool isValidUtf8(std::string_view bytes);

// Bytes in `charset` (an iconv name such as "GB18030", "CP1252") to UTF-8. Bytes that do not
// decode become U+FFFD; an unknown charset decodes as Latin-1 so that nothing is dropped.
std::string toUtf8(std::string_view bytes, const char* charset);

// UTF-8 to `charset`. A character the charset lacks becomes "?" and clears `lossless`.
std::string fromUtf8(std::string_view utf8, const char* charset, bool* lossless = nullptr);

// The charset name (as toUtf8 takes it) of a Windows code page number, as files record them
// (a workbook's CODEPAGE record, an Access database's header); CP1252 for one we do not know.
std::string charsetOfCodePage(unsigned codePage);

// The lines of a text: a UTF-8 BOM dropped, CRLF or LF between lines, no line after a final
// line break.
std::vector<std::string> textLines(std::string_view text);

}  // namespace qx::os
