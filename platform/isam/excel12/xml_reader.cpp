// Streaming XML for workbook parts.
#include "platform/isam/excel12/xml_reader.h"

#include <array>
#include <cstring>

#include "platform/jet/text.h"
#include "platform/os/encoding.h"

namespace qx::isam::excel12 {

namespace {

// What one construct may hold before the document is taken for damaged: a text longer than
// this without markup, or a tag this long.
constexpr std::size_t kMaxPending = std::size_t{64} << 20;

// What a byte is to the scanner, as bits.
enum : unsigned char {
    kSpace = 1,        // a blank between names and attributes
    kNameEnd = 2,      // what ends a name: blanks, '/', '>', '='
    kNotName = 4,      // ASCII that no name holds
    kHigh = 8,         // beyond ASCII: checked as UTF-8
    kAttrChange = 16,  // what an attribute value does not pass on as it is: '&', tab, line ends
    kTextChange = 32,  // what text does not pass on as it is: '&', carriage return
    kLess = 64,        // '<'
    kColon = 128,      // ':', which makes a name a qualified one
};

constexpr std::array<unsigned char, 256> kClass = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) {
        bool name = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == ':' || c == '.' || c == '-';
        unsigned char k = c >= 0x80 ? kHigh : name ? 0 : kNotName;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') k |= kSpace | kNameEnd;
        if (c == '/' || c == '>' || c == '=') k |= kNameEnd;
        if (c == '&' || c == '\t' || c == '\r' || c == '\n') k |= kAttrChange;
        if (c == '&' || c == '\r') k |= kTextChange;
        if (c == '<') k |= kLess;
        if (c == ':') k |= kColon;
        t[static_cast<std::size_t>(c)] = k;
    }
    return t;
}();

unsigned char classOf(char c) {
    return kClass[static_cast<unsigned char>(c)];
}

bool isSpace(char c) {
    return classOf(c) & kSpace;
}

// The classes of all of `s`'s bytes together.
unsigned classesIn(std::string_view s) {
    unsigned f = 0;
    for (char c : s) f |= classOf(c);
    return f;
}

// An element's or attribute's name: ASCII letters, digits and "_:.-" (not a digit, "." or "-"
// first), and characters beyond ASCII as UTF-8. `f` holds the classes of its bytes.
bool validName(std::string_view name, unsigned f) {
    if (name.empty()) return false;
    auto c0 = static_cast<unsigned char>(name[0]);
    if ((c0 >= '0' && c0 <= '9') || c0 == '.' || c0 == '-') return false;
    if (f & kNotName) return false;
    return !(f & kHigh) || os::isValidUtf8(name);
}

// Copies `size` bytes; a short copy moves 16 at once when `readable` bytes may be read at
// `from` (the bytes past `size` written at `to` are overwritten by what comes next).
inline void copyBytes(char* to, const char* from, std::size_t size, std::size_t readable) {
    if (size <= 16 && readable >= 16)
        std::memcpy(to, from, 16);
    else
        std::memcpy(to, from, size);
}

bool startsWith(std::string_view s, std::size_t at, std::string_view p) {
    return s.size() - at >= p.size() && s.compare(at, p.size(), p) == 0;
}

// The code point of a character reference's digits, or 0 when it names no XML character.
char32_t characterReference(std::string_view digits) {
    bool hex = !digits.empty() && digits[0] == 'x';
    if (hex) digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 8) return 0;
    char32_t v = 0;
    for (char c : digits) {
        int d = c >= '0' && c <= '9'          ? c - '0'
                : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
        if (d < 0) return 0;
        v = v * (hex ? 16 : 10) + static_cast<char32_t>(d);
    }
    bool allowed = v == 0x9 || v == 0xA || v == 0xD || (v >= 0x20 && v <= 0xD7FF) ||
                   (v >= 0xE000 && v <= 0xFFFD) || (v >= 0x10000 && v <= 0x10FFFF);
    return allowed ? v : 0;
}

}  // namespace

std::string_view XmlReader::localName(std::string_view q) {
    std::size_t colon = q.rfind(':');
    return colon == std::string_view::npos ? q : q.substr(colon + 1);
}

const char* XmlReader::attribute(Attributes attrs, std::string_view name) {
    for (int i = 0; attrs[i]; i += 2) {
        // Names are a few characters: one pass finds the end and the last colon together.
        const char* local = attrs[i];
        const char* p = attrs[i];
        for (; *p; ++p)
            if (*p == ':') local = p + 1;
        if (std::string_view(local, static_cast<std::size_t>(p - local)) == name)
            return attrs[i + 1];
    }
    return nullptr;
}

bool XmlReader::fail(const char* why) {
    if (error_.empty()) error_ = std::string("工作簿已损坏：XML 格式错误（") + why + "）";
    return false;
}

bool XmlReader::feed(const char* data, std::size_t size, bool last, std::string& error) {
    std::string_view in(data, size);
    if (error_.empty() && !bomChecked_) {
        // The first bytes wait until there are enough of them to tell a byte-order mark.
        buffer_.append(in);
        in = {};
        if (buffer_.size() >= 3 || last) {
            bomChecked_ = true;
            if (startsWith(buffer_, 0, "\xEF\xBB\xBF")) buffer_.erase(0, 3);
            buffer_.erase(0, parse(buffer_, last));
        }
    } else if (error_.empty()) {
        // A construct the bytes before left unfinished is completed in the buffer with as few
        // of the new bytes as it takes; the rest is parsed where it lies, without a copy.
        std::size_t grow = 256;
        while (!buffer_.empty() && !in.empty() && error_.empty()) {
            std::size_t held = buffer_.size();
            std::size_t take = std::min(in.size(), std::max(grow, held));
            buffer_.append(in.substr(0, take));
            std::size_t took = parse(buffer_, last && take == in.size());
            if (took >= held) {
                in.remove_prefix(took - held);
                buffer_.clear();
                break;
            }
            buffer_.erase(0, took);
            in.remove_prefix(take);
            grow *= 2;
        }
        if (!buffer_.empty() && in.empty() && last && error_.empty())
            buffer_.erase(0, parse(buffer_, true));
        if (buffer_.empty() && !in.empty() && error_.empty())
            buffer_.assign(in.substr(parse(in, last)));
    }
    if (last && error_.empty() && (!rootSeen_ || !starts_.empty())) fail("文档不完整");
    if (!error_.empty()) {
        error = error_;
        return false;
    }
    return true;
}

std::size_t XmlReader::parse(std::string_view window, bool last) {
    in_ = window;
    std::size_t done = 0;
    while (error_.empty() && done < in_.size()) {
        // Elements first, without the detour through markup: they are nearly all there is.
        std::size_t next;
        char after = done + 1 < in_.size() ? in_[done + 1] : '\0';
        if (in_[done] != '<')
            next = text(done, last);
        else if (after == '/')
            next = endTag(done);
        else if (after != '\0' && after != '!' && after != '?')
            next = startTag(done);
        else
            next = markup(done, last);
        if (next == kMore) {
            if (last) fail("文档不完整");
            if (in_.size() - done > kMaxPending) fail("内容过长");
            break;
        }
        if (next == kFailed) break;
        done = next;
    }
    return done;
}

std::size_t XmlReader::text(std::size_t at, bool last) {
    std::string_view b = in_;
    std::size_t end = b.find('<', at);
    if (end == std::string_view::npos) {
        if (!last) {
            // Pass on what cannot change with the next bytes: not a reference that may go on,
            // nor a carriage return whose line feed may follow, nor part of a character.
            std::size_t cut = b.size();
            std::size_t amp = b.rfind('&');
            if (amp != std::string_view::npos && amp >= at &&
                b.find(';', amp) == std::string_view::npos)
                cut = amp;
            if (cut > at && b[cut - 1] == '\r') --cut;
            std::size_t lead = cut;
            while (lead > at && (static_cast<unsigned char>(b[lead - 1]) & 0xC0) == 0x80) --lead;
            if (lead > at) {
                auto c = static_cast<unsigned char>(b[lead - 1]);
                std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                if (cut - (lead - 1) < need) cut = lead - 1;
            }
            if (cut - at < 4096) return kMore;
            end = cut;
        } else {
            end = b.size();
        }
    }
    std::string_view raw = b.substr(at, end - at);
    if (starts_.empty()) {
        for (char c : raw)
            if (!isSpace(c)) return fail("根元素之外有文字"), kFailed;
        return end;
    }
    unsigned f = classesIn(raw);
    if ((f & kHigh) && !os::isValidUtf8(raw)) return fail("不是 UTF-8 文字"), kFailed;
    if (!(f & kTextChange)) {
        if (onText) onText(raw);
        return end;
    }
    if (!decode(raw, false, scratch_)) return kFailed;
    if (onText && !scratch_.empty()) onText(scratch_);
    return end;
}

// `raw` is valid UTF-8. What it decodes to is never longer than it: a reference is longer than
// the character it stands for, a line end of two bytes becomes one.
bool XmlReader::decode(std::string_view raw, bool attribute, std::string& out) {
    const unsigned change = attribute ? kAttrChange : kTextChange;
    out.resize(raw.size());
    char* o = out.data();
    std::size_t i = 0;
    while (i < raw.size()) {
        std::size_t j = i;
        while (j < raw.size() && !(classOf(raw[j]) & change)) ++j;
        std::memcpy(o, raw.data() + i, j - i);
        o += j - i;
        if (j == raw.size()) break;
        char c = raw[j];
        if (c == '&') {
            std::size_t semi = raw.find(';', j);
            if (semi == std::string_view::npos || semi - j > 12) return fail("未结束的实体引用");
            std::string_view name = raw.substr(j + 1, semi - j - 1);
            if (!name.empty() && name[0] == '#') {
                char32_t cp = characterReference(name.substr(1));
                if (!cp) return fail("无效的字符引用");
                o = jet::writeUtf8(o, cp);
            } else if (name == "lt") {
                *o++ = '<';
            } else if (name == "gt") {
                *o++ = '>';
            } else if (name == "amp") {
                *o++ = '&';
            } else if (name == "quot") {
                *o++ = '"';
            } else if (name == "apos") {
                *o++ = '\'';
            } else {
                return fail("未定义的实体");
            }
            i = semi + 1;
        } else if (c == '\r') {
            // A line end is one line feed; in an attribute every blank is a space.
            if (j + 1 < raw.size() && raw[j + 1] == '\n') ++j;
            *o++ = attribute ? ' ' : '\n';
            i = j + 1;
        } else {  // a tab or line feed in an attribute
            *o++ = ' ';
            i = j + 1;
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return true;
}

std::size_t XmlReader::markup(std::size_t at, bool last) {
    std::string_view b = in_;
    auto upTo = [&](std::string_view close) {
        std::size_t p = b.find(close, at + 2);
        return p == std::string_view::npos ? kMore : p + close.size();
    };
    if (b.size() - at < 2) return last ? (fail("文档不完整"), kFailed) : kMore;
    // Elements first: they are nearly all there is.
    if (b[at + 1] == '/') return endTag(at);
    if (b[at + 1] != '!' && b[at + 1] != '?') return startTag(at);
    if (b.size() - at < 9 && !last) return kMore;
    if (b[at + 1] == '?') return upTo("?>");
    if (startsWith(b, at, "<!--")) return upTo("-->");
    if (startsWith(b, at, "<![CDATA[")) {
        std::size_t close = b.find("]]>", at + 9);
        if (close == std::string_view::npos) return kMore;
        if (starts_.empty()) return fail("根元素之外有文字"), kFailed;
        std::string_view raw = b.substr(at + 9, close - at - 9);
        if (!os::isValidUtf8(raw)) return fail("不是 UTF-8 文字"), kFailed;
        scratch_.clear();
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\r') {
                if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
                scratch_ += '\n';
            } else {
                scratch_ += raw[i];
            }
        }
        if (onText && !scratch_.empty()) onText(scratch_);
        return close + 3;
    }
    if (startsWith(b, at, "<!DOCTYPE")) {
        error_ = "工作簿中含有文档类型声明（DOCTYPE），拒绝读取";
        return kFailed;
    }
    return fail("无法识别的标记"), kFailed;
}

std::size_t XmlReader::startTag(std::size_t at) {
    const char* b = in_.data();
    const std::size_t n = in_.size();
    std::size_t i = at + 1;
    unsigned f = 0;
    for (unsigned c; i < n && !((c = classOf(b[i])) & kNameEnd); ++i) f |= c;
    if (i >= n) return kMore;
    std::string_view name(b + at + 1, i - at - 1);
    if (!validName(name, f)) return fail("元素名无效"), kFailed;
    // Names and values, each with a '\0' after it, take no more room than the tag they are
    // written in (a reference decodes to fewer bytes than it is written with); 16 bytes more
    // for the short copies.
    if (attrBytes_.size() < n - at + 16) attrBytes_.resize(n - at + 16);
    char* out = attrBytes_.data();
    std::size_t count = 0;  // attributes so far, in attrs_ as name, value
    bool empty = false;
    for (;;) {
        while (i < n && isSpace(b[i])) ++i;
        if (i >= n) return kMore;
        if (b[i] == '>') {
            ++i;
            break;
        }
        if (b[i] == '/') {
            if (i + 1 >= n) return kMore;
            if (b[i + 1] != '>') return fail("标记不完整"), kFailed;
            empty = true;
            i += 2;
            break;
        }
        std::size_t nameAt = i;
        unsigned g = 0;
        for (unsigned c; i < n && !((c = classOf(b[i])) & kNameEnd); ++i) g |= c;
        std::string_view attr(b + nameAt, i - nameAt);
        while (i < n && isSpace(b[i])) ++i;
        if (i >= n) return kMore;
        if (!validName(attr, g) || b[i] != '=') return fail("属性名无效或缺少值"), kFailed;
        ++i;
        while (i < n && isSpace(b[i])) ++i;
        if (i >= n) return kMore;
        char quote = b[i];
        if (quote != '"' && quote != '\'') return fail("属性值缺少引号"), kFailed;
        // Values are short: one pass finds the closing quote and what the value holds.
        std::size_t close = i + 1;
        unsigned v = 0;
        while (close < n && b[close] != quote) v |= classOf(b[close++]);
        if (close >= n) return kMore;
        std::string_view raw(b + i + 1, close - i - 1);
        if (v & kLess) return fail("属性值中有“<”"), kFailed;
        if ((v & kHigh) && !os::isValidUtf8(raw)) return fail("不是 UTF-8 文字"), kFailed;
        if (attrs_.size() < 2 * count + 3) attrs_.resize(2 * count + 16);
        if (attrSizes_.size() <= count) attrSizes_.resize(count + 8);
        attrs_[2 * count] = out;
        attrSizes_[count] = attr.size();
        copyBytes(out, attr.data(), attr.size(), n - nameAt);
        out += attr.size();
        *out++ = '\0';
        attrs_[2 * count + 1] = out;
        if (v & kAttrChange) {
            if (!decode(raw, true, scratch_)) return kFailed;
            std::memcpy(out, scratch_.data(), scratch_.size());
            out += scratch_.size();
        } else {
            copyBytes(out, raw.data(), raw.size(), n - i - 1);
            out += raw.size();
        }
        *out++ = '\0';
        ++count;
        i = close + 1;
    }
    if (rootClosed_ || (starts_.empty() && rootSeen_)) return fail("多个根元素"), kFailed;
    // Names are compared by their size and end bytes first, and in full only when those agree.
    for (std::size_t k = 0; k < count; ++k)
        for (std::size_t m = k + 1; m < count; ++m)
            if (attrSizes_[k] == attrSizes_[m] && attrs_[2 * k][0] == attrs_[2 * m][0] &&
                attrs_[2 * k][attrSizes_[k] - 1] == attrs_[2 * m][attrSizes_[k] - 1] &&
                std::memcmp(attrs_[2 * k], attrs_[2 * m], attrSizes_[k]) == 0)
                return fail("属性重复"), kFailed;
    rootSeen_ = true;
    if (attrs_.empty()) attrs_.resize(16);
    attrs_[2 * count] = nullptr;
    std::string_view local = (f & kColon) ? localName(name) : name;
    if (onStart) onStart(local, attrs_.data());
    if (empty) {
        if (onEnd) onEnd(local);
        if (starts_.empty()) rootClosed_ = true;
    } else {
        starts_.push_back(open_.size());
        open_.append(name);
    }
    return i;
}

std::size_t XmlReader::endTag(std::size_t at) {
    const char* b = in_.data();
    const std::size_t n = in_.size();
    std::size_t i = at + 2;
    unsigned f = 0;
    for (unsigned c; i < n && !((c = classOf(b[i])) & kNameEnd); ++i) f |= c;
    std::string_view name(b + at + 2, i - at - 2);
    while (i < n && isSpace(b[i])) ++i;
    if (i >= n) return kMore;
    if (b[i] != '>') return fail("结束标记不完整"), kFailed;
    if (starts_.empty()) return fail("多余的结束标记"), kFailed;
    // The open element's name; names are short, compared byte by byte.
    std::size_t openAt = starts_.back();
    if (open_.size() - openAt != name.size()) return fail("标记不配对"), kFailed;
    for (std::size_t k = 0; k < name.size(); ++k)
        if (open_[openAt + k] != name[k]) return fail("标记不配对"), kFailed;
    open_.resize(openAt);
    starts_.pop_back();
    if (onEnd) onEnd((f & kColon) ? localName(name) : name);
    if (starts_.empty()) rootClosed_ = true;
    return i + 1;
}

}  // namespace qx::isam::excel12
