// Sets of column values for lookups by equality as the engine compares them.
#include "platform/jet/key_sets.h"

#include <cstring>

#include "platform/jet/text.h"

namespace qx::jet {

namespace {

bool continuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

std::uint64_t mix(std::uint64_t h) {
    h *= 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

}  // namespace

std::uint64_t hashBytes(std::string_view k) {
    const char* p = k.data();
    std::size_t n = k.size(), i = 0;
    std::uint64_t h = mix(n + 0x51ED27ull);
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = mix(h ^ w);
    }
    if (i < n) {
        std::uint64_t w = 0;
        std::memcpy(&w, p + i, n - i);
        h = mix(h ^ w);
    }
    h ^= h >> 32;
    return h * 0xD6E8FEB86659FD93ull;
}

namespace {

std::string_view textOf(sqlite3_value* v) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return {t ? t : "", static_cast<std::size_t>(sqlite3_value_bytes(v))};
}

std::string_view bytesOf(sqlite3_value* v) {
    const auto* b = static_cast<const char*>(sqlite3_value_blob(v));
    return {b ? b : "", static_cast<std::size_t>(sqlite3_value_bytes(v))};
}

}  // namespace

bool foldWellFormed(std::string_view s, std::string& out) {
    out.clear();
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n;) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
            ++i;
            continue;
        }
        std::size_t len = b >= 0xC2 && b <= 0xDF   ? 2
                          : b >= 0xE0 && b <= 0xEF ? 3
                          : b >= 0xF0 && b <= 0xF4 ? 4
                                                   : 0;
        if (len == 0 || i + len > n) return false;
        for (std::size_t k = 1; k < len; ++k)
            if (!continuation(static_cast<unsigned char>(s[i + k]))) return false;
        auto b1 = static_cast<unsigned char>(s[i + 1]);
        // Overlong forms, the surrogates and code points past U+10FFFF are not UTF-8.
        if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 >= 0xA0) || (b == 0xF0 && b1 < 0x90) ||
            (b == 0xF4 && b1 >= 0x90))
            return false;
        // Characters from U+0800 to U+EFFF and above U+FFFF have no case.
        if (len == 2 || b == 0xEF) {
            std::size_t at = i;
            appendUtf8(out, foldCase(nextCodePoint(s, at)));
        } else {
            out.append(s.data() + i, len);
        }
        i += len;
    }
    return true;
}

void KeySet::add(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            return;
        case SQLITE_INTEGER:
            integers_.insert(sqlite3_value_int64(v));
            others_ += 32;
            return;
        case SQLITE_FLOAT: {
            double d = sqlite3_value_double(v);
            reals_.insert(d == 0 ? 0.0 : d);
            others_ += 32;
            return;
        }
        case SQLITE_BLOB:
            blobs_.emplace(bytesOf(v));
            others_ += 64 + static_cast<std::size_t>(sqlite3_value_bytes(v));
            return;
        default:
            break;
    }
    std::string_view text = textOf(v);
    if (!foldWellFormed(text, scratch_) || scratch_.size() >= kEmpty) {
        oddTexts_.emplace_back(text);
        others_ += 32 + text.size();
        return;
    }
    std::uint64_t h = hashBytes(scratch_);
    if (findText(scratch_, h)) return;
    if ((used_ + 1) * 10 > slots_.size() * 7) grow();
    Slot slot;
    slot.hash = h;
    slot.size = static_cast<std::uint32_t>(scratch_.size());
    if (scratch_.size() <= kInline) {
        std::memcpy(slot.bytes, scratch_.data(), scratch_.size());
    } else {
        std::uint64_t offset = keys_.size();
        std::memcpy(slot.bytes, &offset, sizeof offset);
        keys_ += scratch_;
    }
    place(slot);
    ++used_;
}

void KeySet::place(const Slot& slot) {
    std::size_t mask = slots_.size() - 1;
    std::size_t at = slot.hash & mask;
    while (tags_[at] != 0) at = (at + 1) & mask;
    tags_[at] = tagOf(slot.hash);
    slots_[at] = slot;
}

void KeySet::grow() {
    os::LargeVector<Slot> old = std::move(slots_);
    std::vector<std::uint8_t> oldTags = std::move(tags_);
    std::size_t size = old.empty() ? 4096 : old.size() * 2;
    slots_ = os::LargeVector<Slot>(size);
    tags_.assign(size, 0);
    for (std::size_t k = 0; k < old.size(); ++k)
        if (oldTags[k] != 0) place(old[k]);
}

bool KeySet::findText(std::string_view folded, std::uint64_t hash) const {
    if (slots_.empty()) return false;
    std::size_t mask = slots_.size() - 1;
    std::uint8_t tag = tagOf(hash);
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        std::uint8_t t = tags_[at];
        if (t == 0) return false;
        if (t != tag) continue;
        const Slot& s = slots_[at];
        if (s.hash == hash && s.size == folded.size() && keyOf(s) == folded) return true;
    }
}

KeySet::Found KeySet::find(sqlite3_value* v) const {
    auto yes = [](bool b) { return b ? Found::Yes : Found::No; };
    switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            return Found::No;
        case SQLITE_INTEGER: {
            // As SQLite compares an integer with a real: equal only when the real is exactly it.
            std::int64_t i = sqlite3_value_int64(v);
            if (integers_.count(i)) return Found::Yes;
            double d = static_cast<double>(i);
            return yes(reals_.count(d) && d > -9223372036854775808.0 && d < 9223372036854775808.0 &&
                       static_cast<std::int64_t>(d) == i);
        }
        case SQLITE_FLOAT: {
            double d = sqlite3_value_double(v);
            if (d == 0) d = 0.0;
            if (reals_.count(d)) return Found::Yes;
            if (!(d > -9223372036854775808.0 && d < 9223372036854775808.0)) return Found::No;
            auto i = static_cast<std::int64_t>(d);
            return yes(static_cast<double>(i) == d && integers_.count(i));
        }
        case SQLITE_BLOB:
            return yes(blobs_.count(std::string(bytesOf(v))) > 0);
        default:
            break;
    }
    std::string_view text = textOf(v);
    if (!foldWellFormed(text, scratch_)) return Found::AskEngine;
    if (scratch_.size() < kEmpty && findText(scratch_, hashBytes(scratch_))) return Found::Yes;
    for (const auto& odd : oddTexts_)
        if (compareNoCase(odd, text) == 0) return Found::Yes;
    return Found::No;
}

std::size_t KeySet::bytes() const {
    return slots_.size() * (sizeof(Slot) + 1) + keys_.capacity() + others_;
}

void KeyProbes::clear() {
    for (auto& p : probes)
        if (p->exact) sqlite3_finalize(p->exact);
    probes.clear();
}

namespace {

void keyProbe(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* all = static_cast<KeyProbes*>(sqlite3_user_data(ctx));
    std::int64_t n = sqlite3_value_int64(argv[0]);
    if (n < 1 || n > static_cast<std::int64_t>(all->probes.size()))
        return sqlite3_result_error(ctx, "jet_keyprobe: no such key set", -1);
    KeyProbes::Probe& probe = *all->probes[static_cast<std::size_t>(n - 1)];
    KeySet::Found found = probe.keys.find(argv[1]);
    if (found != KeySet::Found::AskEngine)
        return sqlite3_result_int(ctx, found == KeySet::Found::Yes ? 1 : 0);
    if (!probe.exact &&
        sqlite3_prepare_v2(all->db, probe.exactSql.c_str(), -1, &probe.exact, nullptr) != SQLITE_OK)
        return sqlite3_result_error(ctx, sqlite3_errmsg(all->db), -1);
    sqlite3_reset(probe.exact);
    sqlite3_bind_value(probe.exact, 1, argv[1]);
    int rc = sqlite3_step(probe.exact);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return sqlite3_result_error(ctx, sqlite3_errmsg(all->db), -1);
    sqlite3_result_int(ctx, rc == SQLITE_ROW ? 1 : 0);
    sqlite3_reset(probe.exact);
}

}  // namespace

int registerKeyProbe(sqlite3* db, KeyProbes* probes) {
    probes->db = db;
    return sqlite3_create_function_v2(db, "jet_keyprobe", 2, SQLITE_UTF8, probes, keyProbe, nullptr,
                                      nullptr, nullptr);
}

}  // namespace qx::jet
