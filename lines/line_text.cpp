// Line texts and the line operations.
#include "lines/line_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

#include "platform/jet/text.h"
#include "platform/os/encoding.h"
#include "platform/os/memory.h"

namespace qx::lines {

namespace {

const char* charsetName(Encoding e) {
    switch (e) {
        case Encoding::Utf16LE:
            return "UTF-16LE";
        case Encoding::Utf16BE:
            return "UTF-16BE";
        case Encoding::Gb18030:
            return "GB18030";
        default:
            return "UTF-8";
    }
}

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isBlank(std::string_view line) {
    return std::all_of(line.begin(), line.end(), isAsciiSpace);
}

std::string_view trimSpaces(std::string_view s) {
    std::size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

std::string withoutQuotes(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line)
        if (c != '"') out += c;
    return out;
}

// The key a value compares by: case-folded, and the line itself when folding changes nothing.
std::string_view foldInto(std::string_view value, std::string& scratch) {
    bool plain = true;
    for (char c : value) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 || (b >= 'A' && b <= 'Z')) {
            plain = false;
            break;
        }
    }
    if (plain) return value;
    scratch.clear();
    jet::appendFolded(scratch, value);
    return scratch;
}

// A line's value is the line with every double quote removed; its key is that value folded.
std::string_view keyInto(std::string_view line, std::string& scratch) {
    if (line.find('"') == std::string_view::npos) return foldInto(line, scratch);
    std::string value = withoutQuotes(line);
    std::string_view k = foldInto(value, scratch);
    if (k.data() == value.data()) scratch = std::move(value);
    return scratch;
}

// Lines of one text with their case-folded keys, compactly: spans of the text, and of a side
// buffer for the keys that folding changed.
class LineIndex {
  public:
    explicit LineIndex(std::string_view base) : base_(base) {}
    // A line of the base text, keyed by its value.
    void add(std::string_view line) {
        std::string_view k = keyInto(line, scratch_);
        auto off = static_cast<std::uint32_t>(line.data() - base_.data());
        auto len = static_cast<std::uint32_t>(line.size());
        if (k.data() == line.data())
            entries_.push_back({off, len, off, len});
        else
            addSide(off, len, k);
    }
    // A value that is no span of the base text (a line changed before it is keyed).
    void addValue(std::string_view value) { addSide(0, 0, foldInto(value, scratch_)); }
    std::string_view line(std::size_t i) const {
        return base_.substr(entries_[i].off, entries_[i].len);
    }
    std::string_view operator[](std::size_t i) const {
        const Entry& e = entries_[i];
        return (e.key & kSide) ? std::string_view(side_).substr(e.key & ~kSide, e.keyLen)
                               : base_.substr(e.key, e.keyLen);
    }
    std::size_t size() const { return entries_.size(); }
    // Reserving only claims address space: pages are used as the buffers fill.
    void reserve(std::size_t n) {
        entries_.reserve(n);
        os::adviseHugePages(entries_.data(), n * sizeof(Entry));
        side_.reserve(base_.size());
        os::adviseHugePages(side_.data(), base_.size());
    }

  private:
    void addSide(std::uint32_t off, std::uint32_t len, std::string_view key) {
        entries_.push_back({off, len, static_cast<std::uint32_t>(side_.size()) | kSide,
                            static_cast<std::uint32_t>(key.size())});
        side_.append(key);
    }
    static constexpr std::uint32_t kSide = 0x80000000u;
    struct Entry {
        std::uint32_t off, len, key, keyLen;
    };
    std::string_view base_;
    std::vector<Entry> entries_;
    std::string side_, scratch_;
};

// A set of keys by open addressing over their indexes; each slot keeps the upper half of its
// key's hash, so that most slots of other keys are passed without comparing text.
class KeySet {
  public:
    explicit KeySet(const LineIndex& keys) : keys_(keys) {
        std::size_t n = 16;
        while (n < keys.size() + keys.size() / 2) n <<= 1;
        slots_.reserve(n);
        os::adviseHugePages(slots_.data(), n * sizeof(std::uint64_t));
        slots_.assign(n, kEmpty);
    }
    // Inserts key i; false when an equal key is there already.
    bool insert(std::uint32_t i) {
        std::string_view key = keys_[i];
        std::uint64_t h = std::hash<std::string_view>{}(key);
        std::size_t at = find(key, h);
        if (slots_[at] != kEmpty) return false;
        slots_[at] = (h & kHashBits) | i;
        return true;
    }
    bool contains(std::string_view key) const {
        return slots_[find(key, std::hash<std::string_view>{}(key))] != kEmpty;
    }

  private:
    static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
    static constexpr std::uint64_t kHashBits = 0xFFFFFFFF00000000ull;
    std::size_t find(std::string_view key, std::uint64_t h) const {
        std::size_t mask = slots_.size() - 1;
        std::size_t at = static_cast<std::size_t>(h) & mask;
        for (; slots_[at] != kEmpty; at = (at + 1) & mask) {
            std::uint64_t slot = slots_[at];
            if ((slot & kHashBits) == (h & kHashBits) &&
                keys_[static_cast<std::uint32_t>(slot)] == key)
                break;
        }
        return at;
    }
    const LineIndex& keys_;
    std::vector<std::uint64_t> slots_;
};

// Calls f for every line of a text (CRLF or LF between lines, none after a final break).
template <typename F>
void forEachLine(std::string_view text, F&& f) {
    std::size_t start = 0;
    while (start < text.size()) {
        const void* hit = std::memchr(text.data() + start, '\n', text.size() - start);
        std::size_t end =
            hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data())
                : text.size();
        std::size_t stop = end > start && text[end - 1] == '\r' ? end - 1 : end;
        f(text.substr(start, stop - start));
        start = end + 1;
    }
}

void appendLine(std::string& out, std::string_view line, std::string_view eol) {
    if (line.find('"') == std::string_view::npos) {
        out.append(line);
    } else {
        for (char c : line)
            if (c != '"') out += c;
    }
    out.append(eol);
}

// The other text's values: its lines without their quotes, trimmed of spaces, blank ones
// dropped, folded.
struct ValueSet {
    explicit ValueSet(std::string_view other) : keys(other) {
        forEachLine(other, [&](std::string_view line) {
            if (line.find('"') == std::string_view::npos) {
                if (!isBlank(line)) keys.add(trimSpaces(line));
                return;
            }
            std::string value = withoutQuotes(line);
            if (!isBlank(value)) keys.addValue(trimSpaces(value));
        });
        set = std::make_unique<KeySet>(keys);
        for (std::uint32_t i = 0; i < keys.size(); ++i) set->insert(i);
    }
    LineIndex keys;
    std::unique_ptr<KeySet> set;
};

}  // namespace

LineText decodeText(std::string bytes) {
    LineText t;
    auto starts = [&](std::string_view p) { return bytes.compare(0, p.size(), p) == 0; };
    if (starts("\xEF\xBB\xBF")) {
        t.bom = true;
        bytes.erase(0, 3);
    } else if (starts("\xFF\xFE")) {
        t.bom = true;
        t.encoding = Encoding::Utf16LE;
    } else if (starts("\xFE\xFF")) {
        t.bom = true;
        t.encoding = Encoding::Utf16BE;
    } else if (!os::isValidUtf8(bytes)) {
        t.encoding = Encoding::Gb18030;
    }
    if (t.encoding == Encoding::Utf8)
        t.text = std::move(bytes);
    else
        t.text = os::toUtf8(std::string_view(bytes).substr(t.bom ? 2 : 0), charsetName(t.encoding));
    std::size_t nl = t.text.find('\n');
    t.crlf = nl != std::string::npos && nl > 0 && t.text[nl - 1] == '\r';
    return t;
}

std::string encodeLike(const LineText& like, std::string_view utf8) {
    switch (like.encoding) {
        case Encoding::Utf8:
            return (like.bom ? "\xEF\xBB\xBF" : "") + std::string(utf8);
        case Encoding::Gb18030:
            return os::fromUtf8(utf8, "GB18030");
        case Encoding::Utf16LE:
            return (like.bom ? std::string("\xFF\xFE") : std::string()) +
                   os::fromUtf8(utf8, "UTF-16LE");
        case Encoding::Utf16BE:
            return (like.bom ? std::string("\xFE\xFF") : std::string()) +
                   os::fromUtf8(utf8, "UTF-16BE");
    }
    return std::string(utf8);
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    forEachLine(text, [&](std::string_view l) { lines.push_back(l); });
    return lines;
}

namespace {

// The first line of each key in one part of a text, and the keys' order.
struct Firsts {
    explicit Firsts(std::string_view text) : keys(text) {}
    // Indexes every line of `part` (a run of whole lines of the text) and keeps the first of
    // each key.
    void index(std::string_view part) {
        keys.reserve(static_cast<std::size_t>(std::count(part.begin(), part.end(), '\n')) + 1);
        forEachLine(part, [&](std::string_view l) { keys.add(l); });
        set = std::make_unique<KeySet>(keys);
        for (std::uint32_t i = 0; i < keys.size(); ++i)
            if (set->insert(i)) order.push_back(sortable(i));
    }
    // Drops the keys an earlier part has.
    void dropKeysOf(const Firsts& earlier) {
        std::erase_if(order,
                      [&](const Sortable& s) { return earlier.set->contains(keys[s.index]); });
    }
    // Sorted by the keys' first 16 bytes as numbers, the rest compared only on a tie.
    struct Sortable {
        std::uint64_t p0, p1;
        std::uint32_t index;
    };
    Sortable sortable(std::uint32_t i) const {
        std::string_view k = keys[i];
        unsigned char b[16] = {};
        std::memcpy(b, k.data(), std::min<std::size_t>(16, k.size()));
        std::uint64_t p0 = 0, p1 = 0;
        for (int j = 0; j < 8; ++j) {
            p0 = (p0 << 8) | b[j];
            p1 = (p1 << 8) | b[8 + j];
        }
        return {p0, p1, i};
    }
    static bool before(const Sortable& a, std::string_view ka, const Sortable& b,
                       std::string_view kb) {
        if (a.p0 != b.p0) return a.p0 < b.p0;
        if (a.p1 != b.p1) return a.p1 < b.p1;
        return ka < kb;
    }
    void sort() {
        std::sort(order.begin(), order.end(), [&](const Sortable& a, const Sortable& b) {
            return before(a, keys[a.index], b, keys[b.index]);
        });
    }
    LineIndex keys;
    std::unique_ptr<KeySet> set;
    std::vector<Sortable> order;
};

}  // namespace

std::string dedupeLines(std::string_view text, std::string_view eol) {
    // Two halves at a line break, each indexed, de-duplicated and sorted on a core of its own;
    // the second half keeps the keys the first lacks, and the two orders are merged. A small
    // text is one part.
    std::size_t cut = text.size();
    if (text.size() >= (1u << 20)) {
        std::size_t nl = text.find('\n', text.size() / 2);
        if (nl != std::string_view::npos && nl + 1 < text.size()) cut = nl + 1;
    }
    Firsts first(text), second(text);
    std::thread other;
    if (cut < text.size()) other = std::thread([&] { second.index(text.substr(cut)); });
    first.index(text.substr(0, cut));
    if (other.joinable()) {
        other.join();
        other = std::thread([&] {
            second.dropKeysOf(first);
            second.sort();
        });
    }
    first.sort();
    if (other.joinable()) other.join();

    std::size_t total = 0;
    for (const Firsts* part : {&first, &second})
        for (const auto& s : part->order) total += part->keys.line(s.index).size() + eol.size();
    std::string out;
    out.reserve(total);
    os::adviseHugePages(out.data(), total);
    auto a = first.order.begin(), b = second.order.begin();
    while (a != first.order.end() || b != second.order.end()) {
        bool takeFirst = b == second.order.end() ||
                         (a != first.order.end() &&
                          Firsts::before(*a, first.keys[a->index], *b, second.keys[b->index]));
        if (takeFirst)
            appendLine(out, first.keys.line((a++)->index), eol);
        else
            appendLine(out, second.keys.line((b++)->index), eol);
    }
    return out;
}

std::string compareLines(std::string_view source, std::string_view other, bool present,
                         std::string_view eol) {
    // The other text's values are gathered while the source's lines are folded: two cores.
    std::unique_ptr<ValueSet> values;
    std::thread gather([&] { values = std::make_unique<ValueSet>(other); });
    LineIndex lines(source);
    lines.reserve(static_cast<std::size_t>(std::count(source.begin(), source.end(), '\n')) + 1);
    forEachLine(source, [&](std::string_view line) { lines.add(line); });
    gather.join();
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (values->set->contains(lines[i]) == present) appendLine(out, lines.line(i), eol);
    return out;
}

std::string mergeLines(std::string_view a, std::string_view b, std::string_view eol) {
    std::string out = compareLines(a, b, false, eol);
    forEachLine(b, [&](std::string_view line) {
        out.append(line);
        out.append(eol);
    });
    return cleanUp(stripQuotes(out));
}

std::string cleanUp(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    // A byte-order mark stays at the start; the line after it is judged on its own.
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        out.append(bytes.substr(0, 3));
        bytes.remove_prefix(3);
    }
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t nl = bytes.find('\n', start);
        std::size_t end = nl == std::string_view::npos ? bytes.size() : nl + 1;
        std::string_view whole = bytes.substr(start, end - start);
        std::size_t body = whole.size();
        if (body && whole[body - 1] == '\n') --body;
        if (body && whole[body - 1] == '\r') --body;
        std::string_view line = whole.substr(0, body);
        if (!isBlank(line)) {
            out.append(trimSpaces(line));
            out.append(whole.substr(body));
        }
        start = end;
    }
    return out;
}

std::string stripQuotes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    bool le = bytes.substr(0, 2) == "\xFF\xFE", be = bytes.substr(0, 2) == "\xFE\xFF";
    if (le || be) {
        out.append(bytes.substr(0, 2));
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            bool quote = le ? bytes[i] == '"' && bytes[i + 1] == '\0'
                            : bytes[i] == '\0' && bytes[i + 1] == '"';
            if (!quote) out.append(bytes.substr(i, 2));
        }
        if (bytes.size() % 2) out += bytes.back();
        return out;
    }
    for (char c : bytes)
        if (c != '"') out += c;
    return out;
}

}  // namespace qx::lines
