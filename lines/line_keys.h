// The keys the line operations compare lines by, and the sets of them. A key is a line's value
// (the line without its double quotes) case-folded. Most lines need no copy for it: where a line
// has no quote and no character whose folding leaves ASCII (Latin-1 and Latin Extended-A, Greek,
// Cyrillic, the full-width letters), folding only lowers its ASCII letters, and that is done on
// the fly, eight bytes at a time, wherever keys are hashed or compared. Other lines keep their
// folded key in a side buffer; lowering an already folded key changes nothing, so both kinds
// compare alike.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/text.h"
#include "platform/os/memory.h"

namespace qx::lines {

using os::reserveLarge;

namespace keys {

inline std::uint64_t load8(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
// The last n (< 8) bytes, zero-filled.
inline std::uint64_t loadTail(const char* p, std::size_t n) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    return w;
}

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHigh = 0x8080808080808080ull;

// The eight bytes with A-Z lowered; every other byte as it is.
inline std::uint64_t lowerAscii(std::uint64_t w) {
    std::uint64_t low7 = w & ~kHigh;
    std::uint64_t letter = (low7 + 0x3F * kOnes) & ~(low7 + 0x25 * kOnes) & ~w & kHigh;
    return w | (letter >> 2);
}

inline bool hasZeroByte(std::uint64_t w) {
    return ((w - kOnes) & ~w & kHigh) != 0;
}

// Whether lowering the ASCII letters is not the whole of a line's key: a double quote, the lead
// byte of a two-byte character (C0-DF) or EF (the full-width forms) is in it.
inline bool needsOwnKey(std::string_view s) {
    const char* p = s.data();
    std::size_t n = s.size(), i = 0;
    auto special = [](std::uint64_t w) {
        return hasZeroByte((w & (0xE0 * kOnes)) ^ (0xC0 * kOnes)) ||
               hasZeroByte(w ^ (0xEF * kOnes)) || hasZeroByte(w ^ ('"' * kOnes));
    };
    for (; i + 8 <= n; i += 8)
        if (special(load8(p + i))) return true;
    for (; i < n; ++i) {
        auto b = static_cast<unsigned char>(p[i]);
        if ((b & 0xE0) == 0xC0 || b == 0xEF || b == '"') return true;
    }
    return false;
}

inline std::uint64_t mix(std::uint64_t h) {
    h *= 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

// The hash of a key with its ASCII letters lowered.
inline std::uint64_t hash(std::string_view k) {
    const char* p = k.data();
    std::size_t n = k.size(), i = 0;
    std::uint64_t h = mix(n + 0x51ED27ull);
    for (; i + 8 <= n; i += 8) h = mix(h ^ lowerAscii(load8(p + i)));
    if (i < n) h = mix(h ^ lowerAscii(loadTail(p + i, n - i)));
    h ^= h >> 32;
    return h * 0xD6E8FEB86659FD93ull;
}

inline bool equal(std::string_view a, std::string_view b) {
    std::size_t n = a.size();
    if (n != b.size()) return false;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        if (lowerAscii(load8(a.data() + i)) != lowerAscii(load8(b.data() + i))) return false;
    return i == n ||
           lowerAscii(loadTail(a.data() + i, n - i)) == lowerAscii(loadTail(b.data() + i, n - i));
}

// Eight bytes of a key from `at` on, lowered, as a number that orders as the bytes do.
inline std::uint64_t word(std::string_view k, std::size_t at) {
    if (at >= k.size()) return 0;
    std::size_t n = std::min<std::size_t>(8, k.size() - at);
    return __builtin_bswap64(
        lowerAscii(n == 8 ? load8(k.data() + at) : loadTail(k.data() + at, n)));
}

// <0, 0, >0 as the lowered keys' bytes compare (a prefix first).
inline int compare(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
        std::uint64_t x = word(a, i), y = word(b, i);
        if (x != y) return x < y ? -1 : 1;
    }
    for (std::size_t i = n / 8 * 8; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

}  // namespace keys

// A line's value: the line with every double quote removed.
inline std::string withoutQuotes(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line)
        if (c != '"') out += c;
    return out;
}

// Lines of one text with their keys, 8 bytes a line; the lines that need a key of their own
// (see above) keep it and their place in a side list.
class LineIndex {
  public:
    explicit LineIndex(std::string_view base) : base_(base) {}
    // A line of the base text, keyed by its value.
    void add(std::string_view line) {
        auto off = static_cast<std::uint32_t>(line.data() - base_.data());
        auto len = static_cast<std::uint32_t>(line.size());
        if (!keys::needsOwnKey(line)) {
            entries_.push_back({off, len});
            return;
        }
        scratch_.clear();
        if (line.find('"') == std::string_view::npos)
            jet::appendFolded(scratch_, line);
        else
            jet::appendFolded(scratch_, withoutQuotes(line));
        addSide(off, len, scratch_);
    }
    // A value that is no span of the base text (a line changed before it is keyed).
    void addValue(std::string_view value) {
        scratch_.clear();
        jet::appendFolded(scratch_, value);
        addSide(0, 0, scratch_);
    }
    std::string_view line(std::size_t i) const {
        Entry e = entries_[i];
        if (e.len & kSide) e = side_[e.off].line;
        return base_.substr(e.off, e.len);
    }
    std::string_view operator[](std::size_t i) const {
        const Entry& e = entries_[i];
        if (!(e.len & kSide)) return base_.substr(e.off, e.len);
        const Entry& k = side_[e.off].key;
        return std::string_view(sideKeys_).substr(k.off, k.len);
    }
    // Where key i's bytes are, for a prefetch.
    const char* keyData(std::size_t i) const {
        const Entry& e = entries_[i];
        return (e.len & kSide) ? sideKeys_.data() + side_[e.off].key.off : base_.data() + e.off;
    }
    void prefetchEntry(std::size_t i) const { __builtin_prefetch(&entries_[i]); }
    std::size_t size() const { return entries_.size(); }
    // Reserving only claims address space: pages are used as the buffers fill.
    void reserve(std::size_t n) { entries_.reserve(n); }

  private:
    struct Entry {
        std::uint32_t off, len;
    };
    struct Side {
        Entry line, key;
    };
    static constexpr std::uint32_t kSide = 0x80000000u;
    void addSide(std::uint32_t off, std::uint32_t len, std::string_view key) {
        entries_.push_back({static_cast<std::uint32_t>(side_.size()), kSide});
        side_.push_back({{off, len},
                         {static_cast<std::uint32_t>(sideKeys_.size()),
                          static_cast<std::uint32_t>(key.size())}});
        sideKeys_.append(key);
    }
    std::string_view base_;
    os::LargeVector<Entry> entries_;
    os::LargeVector<Side> side_;
    std::string sideKeys_, scratch_;
};

// A set of keys by open addressing over their indexes; each slot keeps the upper half of its
// key's hash, so that most slots of other keys are passed without comparing text. Work on many
// keys goes through `insertAll` and `containsEach`, which fetch the slots some keys ahead.
class KeySet {
  public:
    // Room for about `expected` keys; the set grows as keys come.
    KeySet(const LineIndex& keys, std::size_t expected) : keys_(keys) {
        slots_.assign(sizeFor(expected), kEmpty);
    }
    // Inserts keys [from, to) of the index in order; calls first(i) for each key not there
    // before.
    template <typename F>
    void insertRange(std::size_t from, std::size_t to, F&& first) {
        if (sizeFor(held_ + (to - from)) > slots_.size()) grow(sizeFor(held_ + (to - from)));
        ahead(
            from, to, [&](std::size_t i) { return keys_[i]; },
            [&](std::size_t i, std::uint64_t h) {
                std::size_t at = find(keys_[i], h);
                if (slots_[at] != kEmpty) return;
                slots_[at] = (h & kHashBits) | i;
                ++held_;
                first(static_cast<std::uint32_t>(i));
            });
    }
    // Calls f(i, contained) for keyOf(i), i from `from` to `to`.
    template <typename K, typename F>
    void containsEach(std::size_t from, std::size_t to, K&& keyOf, F&& f) const {
        ahead(from, to, keyOf,
              [&](std::size_t i, std::uint64_t h) { f(i, slots_[find(keyOf(i), h)] != kEmpty); });
    }

  private:
    static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
    static constexpr std::uint64_t kHashBits = 0xFFFFFFFF00000000ull;
    // Works on key i three steps after its slot is fetched: a step later the slot is read and,
    // when its hash matches, the index entry of the key it holds is fetched, a step later that
    // key's bytes; the text comparison then finds them at hand.
    template <typename K, typename F>
    void ahead(std::size_t from, std::size_t to, K&& keyOf, F&& work) const {
        constexpr std::size_t kStep = 8, kRing = 4 * kStep;
        constexpr std::uint32_t kNone = ~std::uint32_t{0};
        std::uint64_t hashes[kRing];
        std::uint32_t held[kRing];
        std::size_t mask = slots_.size() - 1;
        for (std::size_t i = from; i < to + 3 * kStep; ++i) {
            if (i < to) {
                std::uint64_t h = keys::hash(keyOf(i));
                hashes[i % kRing] = h;
                __builtin_prefetch(&slots_[static_cast<std::size_t>(h) & mask]);
            }
            if (i >= from + kStep && i - kStep < to) {
                std::size_t j = i - kStep;
                std::uint64_t h = hashes[j % kRing];
                std::uint64_t slot = slots_[static_cast<std::size_t>(h) & mask];
                held[j % kRing] = kNone;
                if (slot != kEmpty && (slot & kHashBits) == (h & kHashBits)) {
                    held[j % kRing] = static_cast<std::uint32_t>(slot);
                    keys_.prefetchEntry(static_cast<std::uint32_t>(slot));
                }
            }
            if (i >= from + 2 * kStep && i - 2 * kStep < to) {
                std::uint32_t k = held[(i - 2 * kStep) % kRing];
                if (k != kNone) __builtin_prefetch(keys_.keyData(k));
            }
            if (i >= from + 3 * kStep) work(i - 3 * kStep, hashes[(i - 3 * kStep) % kRing]);
        }
    }
    // Slots for n keys, at most two thirds of them used.
    static std::size_t sizeFor(std::size_t n) {
        std::size_t size = 16;
        while (size < n + n / 2) size <<= 1;
        return size;
    }
    // Moves every key into a table of `size` slots.
    void grow(std::size_t size) {
        os::LargeVector<std::uint64_t> old(size, kEmpty);
        old.swap(slots_);
        std::size_t mask = size - 1;
        for (std::uint64_t slot : old) {
            if (slot == kEmpty) continue;
            std::size_t at =
                static_cast<std::size_t>(keys::hash(keys_[static_cast<std::uint32_t>(slot)])) &
                mask;
            while (slots_[at] != kEmpty) at = (at + 1) & mask;
            slots_[at] = slot;
        }
    }
    std::size_t find(std::string_view key, std::uint64_t h) const {
        std::size_t mask = slots_.size() - 1;
        std::size_t at = static_cast<std::size_t>(h) & mask;
        for (; slots_[at] != kEmpty; at = (at + 1) & mask) {
            std::uint64_t slot = slots_[at];
            if ((slot & kHashBits) == (h & kHashBits) &&
                keys::equal(keys_[static_cast<std::uint32_t>(slot)], key))
                break;
        }
        return at;
    }
    const LineIndex& keys_;
    os::LargeVector<std::uint64_t> slots_;
    std::size_t held_ = 0;
};

}  // namespace qx::lines
