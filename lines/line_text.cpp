// Line texts and the line operations.
#include "lines/line_text.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "lines/line_keys.h"
#include "platform/jet/text.h"
#include "platform/os/encoding.h"

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

// About how many lines a text has, from the lines of its first 256 KiB.
std::size_t lineEstimate(std::string_view text) {
    std::string_view head = text.substr(0, 256 << 10);
    auto breaks = static_cast<std::size_t>(std::count(head.begin(), head.end(), '\n')) + 1;
    return head.size() == text.size() ? breaks : breaks * (text.size() / head.size() + 1);
}

// Keys are hashed into their set a chunk of lines at a time, while the lines' bytes are at hand.
constexpr std::size_t kChunk = 4096;

// Every line of `text` into the index by add(line) and its keys into the set; first(i) for each
// key the set did not have. With `utf8`, the text is also checked to be UTF-8 a chunk at a time,
// while its bytes are at hand; *utf8 is false when it is not (the keys are then of no use).
template <typename Add, typename F>
void keyLines(std::string_view text, LineIndex& keys, KeySet& set, Add&& add, F&& first,
              bool* utf8 = nullptr) {
    std::size_t done = keys.size(), checked = 0;
    auto check = [&](std::size_t to) {
        if (utf8 && *utf8) *utf8 = os::isValidUtf8(text.substr(checked, to - checked));
        checked = to;
    };
    forEachLine(text, [&](std::string_view l) {
        if (utf8 && !*utf8) return;
        add(l);
        if (keys.size() - done == kChunk) {
            // Chunks end after a line break: a valid text's characters all start there.
            auto end = static_cast<std::size_t>(l.data() + l.size() - text.data());
            check(std::min(text.size(), end + (end < text.size() && text[end] == '\r' ? 2 : 1)));
            set.insertRange(done, keys.size(), first);
            done = keys.size();
        }
    });
    check(text.size());
    if (!utf8 || *utf8) set.insertRange(done, keys.size(), first);
}

// The other text's values: its lines without their quotes, trimmed of spaces, blank ones
// dropped, folded.
struct ValueSet {
    explicit ValueSet(std::string_view other) : keys(other) {
        std::size_t expected = lineEstimate(other);
        keys.reserve(expected);
        set = std::make_unique<KeySet>(keys, expected);
        auto add = [&](std::string_view line) {
            if (line.find('"') == std::string_view::npos) {
                if (!isBlank(line)) keys.add(trimSpaces(line));
            } else {
                std::string value = withoutQuotes(line);
                if (!isBlank(value)) keys.addValue(trimSpaces(value));
            }
        };
        keyLines(other, keys, *set, add, [](std::uint32_t) {});
    }
    LineIndex keys;
    std::unique_ptr<KeySet> set;
};

}  // namespace

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF", kUtf16LEMark = "\xFF\xFE",
                           kUtf16BEMark = "\xFE\xFF";

}  // namespace

bool hasByteOrderMark(std::string_view bytes) {
    return bytes.starts_with(kUtf8Mark) || bytes.starts_with(kUtf16LEMark) ||
           bytes.starts_with(kUtf16BEMark);
}

LineText decodeText(std::string bytes) {
    LineText t;
    auto starts = [&](std::string_view p) { return std::string_view(bytes).starts_with(p); };
    if (starts(kUtf8Mark)) {
        t.bom = true;
        bytes.erase(0, 3);
    } else if (starts(kUtf16LEMark)) {
        t.bom = true;
        t.encoding = Encoding::Utf16LE;
    } else if (starts(kUtf16BEMark)) {
        t.bom = true;
        t.encoding = Encoding::Utf16BE;
    } else if (!os::isValidUtf8(bytes)) {
        t.encoding = Encoding::Gb18030;
    }
    if (t.encoding == Encoding::Utf8)
        t.text = std::move(bytes);
    else
        t.text = os::toUtf8(std::string_view(bytes).substr(t.bom ? 2 : 0), charsetName(t.encoding));
    t.crlf = firstBreakIsCrlf(t.text);
    return t;
}

bool firstBreakIsCrlf(std::string_view text) {
    std::size_t nl = text.find('\n');
    return nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r';
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
    void index(std::string_view part, bool checkUtf8) {
        std::size_t expected = lineEstimate(part);
        keys.reserve(expected);
        order.reserve(expected);
        set = std::make_unique<KeySet>(keys, expected);
        keyLines(
            part, keys, *set, [&](std::string_view l) { keys.add(l); },
            [&](std::uint32_t i) { order.push_back(sortable(i)); }, checkUtf8 ? &utf8 : nullptr);
    }
    bool utf8 = true;
    // Drops the keys an earlier part has.
    void dropKeysOf(const Firsts& earlier) {
        std::size_t kept = 0;
        earlier.set->containsEach(
            0, order.size(), [&](std::size_t k) { return keys[order[k].index]; },
            [&](std::size_t k, bool there) {
                if (!there) order[kept++] = order[k];
            });
        order.resize(kept);
    }
    // Sorted by the keys' first 16 bytes as numbers, the rest compared only on a tie.
    struct Sortable {
        std::uint64_t p0, p1;
        std::uint32_t index;
        std::uint32_t size;  // of the line, for the result's room
    };
    Sortable sortable(std::uint32_t i) const {
        std::string_view k = keys[i];
        return {keys::word(k, 0), keys::word(k, 8), i,
                static_cast<std::uint32_t>(keys.line(i).size())};
    }
    static int compare(const Sortable& a, std::string_view ka, const Sortable& b,
                       std::string_view kb) {
        if (a.p0 != b.p0) return a.p0 < b.p0 ? -1 : 1;
        if (a.p1 != b.p1) return a.p1 < b.p1 ? -1 : 1;
        return keys::compare(ka, kb);
    }
    // By the prefix's bytes one at a time, most significant first; runs of few keys, and keys
    // whose 16 bytes tie, by comparison.
    void sort() {
        os::LargeVector<Sortable> scratch(order.size());
        radixSort(order.data(), scratch.data(), order.size(), 0);
    }
    void radixSort(Sortable* a, Sortable* scratch, std::size_t n, int digit) const {
        auto less = [&](const Sortable& x, const Sortable& y) {
            return compare(x, keys[x.index], y, keys[y.index]) < 0;
        };
        for (; digit < 16; ++digit) {
            if (n < 96) break;
            auto byteOf = [digit](const Sortable& x) {
                std::uint64_t w = digit < 8 ? x.p0 : x.p1;
                return static_cast<unsigned>(w >> (56 - 8 * (digit & 7))) & 0xFF;
            };
            std::size_t count[256] = {};
            for (std::size_t i = 0; i < n; ++i) ++count[byteOf(a[i])];
            if (count[byteOf(a[0])] == n) continue;  // one byte for all: the next decides
            std::size_t start[256], at = 0;
            for (int b = 0; b < 256; ++b) {
                start[b] = at;
                at += count[b];
            }
            std::size_t fill[256];
            std::copy(std::begin(start), std::end(start), std::begin(fill));
            for (std::size_t i = 0; i < n; ++i) scratch[fill[byteOf(a[i])]++] = a[i];
            std::copy(scratch, scratch + n, a);
            for (int b = 0; b < 256; ++b)
                if (count[b] > 1) radixSort(a + start[b], scratch + start[b], count[b], digit + 1);
            return;
        }
        std::sort(a, a + n, less);
    }
    LineIndex keys;
    std::unique_ptr<KeySet> set;
    os::LargeVector<Sortable> order;
};

// Copies lines to `out`, each followed by `eol`, their quotes dropped; fetches each line's
// bytes some lines ahead. Returns the end of what it wrote.
char* copyLines(const os::LargeVector<std::string_view>& lines, std::size_t from, std::size_t to,
                std::string_view eol, char* out) {
    constexpr std::size_t kAhead = 16;
    for (std::size_t k = from; k < to; ++k) {
        if (k + kAhead < to) __builtin_prefetch(lines[k + kAhead].data());
        std::string_view l = lines[k];
        if (l.find('"') == std::string_view::npos) {
            std::memcpy(out, l.data(), l.size());
            out += l.size();
        } else {
            for (char c : l)
                if (c != '"') *out++ = c;
        }
        std::memcpy(out, eol.data(), eol.size());
        out += eol.size();
    }
    return out;
}

std::optional<std::string> dedupe(std::string_view text, std::string_view eol, bool checkUtf8) {
    // Two halves at a line break, each indexed and de-duplicated on a core of its own; the
    // second half keeps the keys the first lacks; both are sorted, still on two cores, and
    // merged. A small text is one part.
    std::size_t cut = text.size();
    if (text.size() >= (1u << 20)) {
        std::size_t nl = text.find('\n', text.size() / 2);
        if (nl != std::string_view::npos && nl + 1 < text.size()) cut = nl + 1;
    }
    Firsts first(text), second(text);
    std::thread other;
    if (cut < text.size()) other = std::thread([&] { second.index(text.substr(cut), checkUtf8); });
    first.index(text.substr(0, cut), checkUtf8);
    if (other.joinable()) other.join();
    if (!first.utf8 || !second.utf8) return std::nullopt;
    if (cut < text.size()) {
        other = std::thread([&] {
            second.dropKeysOf(first);
            second.sort();
        });
    }
    first.sort();
    if (other.joinable()) other.join();

    // The merged order is cut where its first half ends; each core merges and copies one half,
    // the first half's room known from the lines' sizes. A line's quotes are dropped as it is
    // copied, so the first half may come out shorter, and the second is then moved up to it.
    const auto& one = first.order;
    const auto& two = second.order;
    auto before = [&](std::size_t i, std::size_t j) {
        return Firsts::compare(one[i], first.keys[one[i].index], two[j],
                               second.keys[two[j].index]) < 0;
    };
    std::size_t total = one.size() + two.size(), half = total < 10000 ? total : total / 2;
    // The first `half` of the merged order holds one[0, cutOne) and two[0, half - cutOne).
    std::size_t lo = half > two.size() ? half - two.size() : 0, hi = std::min(half, one.size());
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (before(mid, half - mid - 1))
            lo = mid + 1;
        else
            hi = mid;
    }
    std::size_t cutOne = lo, cutTwo = half - lo;
    auto room = [&](const os::LargeVector<Firsts::Sortable>& order, std::size_t from,
                    std::size_t to) {
        std::size_t n = 0;
        for (std::size_t k = from; k < to; ++k) n += order[k].size + eol.size();
        return n;
    };
    std::size_t head = room(one, 0, cutOne) + room(two, 0, cutTwo);
    std::size_t whole = head + room(one, cutOne, one.size()) + room(two, cutTwo, two.size());
    auto merge = [&](std::size_t i, std::size_t iEnd, std::size_t j, std::size_t jEnd) {
        os::LargeVector<std::string_view> lines;
        lines.reserve((iEnd - i) + (jEnd - j));
        while (i < iEnd || j < jEnd) {
            if (j == jEnd || (i < iEnd && before(i, j)))
                lines.push_back(first.keys.line(one[i++].index));
            else
                lines.push_back(second.keys.line(two[j++].index));
        }
        return lines;
    };
    std::string out;
    std::atomic<bool> roomMade = false;
    std::size_t tailEnd = head;
    std::thread tail;
    if (half < total)
        tail = std::thread([&] {
            os::LargeVector<std::string_view> lines = merge(cutOne, one.size(), cutTwo, two.size());
            roomMade.wait(false);
            tailEnd = static_cast<std::size_t>(
                copyLines(lines, 0, lines.size(), eol, out.data() + head) - out.data());
        });
    reserveLarge(out, whole);
    out.resize(whole);
    roomMade = true;
    roomMade.notify_all();
    os::LargeVector<std::string_view> lines = merge(0, cutOne, 0, cutTwo);
    std::size_t headEnd =
        static_cast<std::size_t>(copyLines(lines, 0, lines.size(), eol, out.data()) - out.data());
    if (tail.joinable()) tail.join();
    if (headEnd < head) out.erase(headEnd, head - headEnd);
    out.resize(headEnd + (tailEnd - head));
    return out;
}

}  // namespace

std::string dedupeLines(std::string_view text, std::string_view eol) {
    return *dedupe(text, eol, false);
}

std::optional<std::string> dedupeIfUtf8(std::string_view text, std::string_view eol) {
    return dedupe(text, eol, true);
}

std::string compareLines(std::string_view source, std::string_view other, bool present,
                         std::string_view eol) {
    // The other text's values are gathered while the source's lines are indexed: two cores.
    std::unique_ptr<ValueSet> values;
    std::thread gather([&] { values = std::make_unique<ValueSet>(other); });
    LineIndex lines(source);
    lines.reserve(lineEstimate(source));
    forEachLine(source, [&](std::string_view line) { lines.add(line); });
    gather.join();
    // The lines looked up by both cores, each writing the result of its half.
    const KeySet& set = *values->set;
    // Room for the lines from `from` to the end, which the first half's result gets too.
    auto room = [&](std::size_t from) {
        return static_cast<std::size_t>(source.end() - lines.line(from).begin()) +
               (lines.size() - from) * eol.size();
    };
    auto pick = [&](std::size_t from, std::size_t to, std::string& out) {
        reserveLarge(out, room(from));
        set.containsEach(
            from, to, [&](std::size_t i) { return lines[i]; },
            [&](std::size_t i, bool there) {
                if (there == present) appendLine(out, lines.line(i), eol);
            });
    };
    std::string out, tail;
    if (lines.size() == 0) return out;
    std::size_t half = lines.size() < 10000 ? lines.size() : lines.size() / 2;
    std::thread second;
    if (half < lines.size()) second = std::thread([&] { pick(half, lines.size(), tail); });
    pick(0, half, out);
    if (second.joinable()) second.join();
    out.append(tail);
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
