// A statement's GROUP BY of one text column of one table, with Count(*) and Jet's Sum of one
// column: the groups gathered in one pass over a hash of the column's values with their case
// folded, then put in the order SQLite's sorter gives them, instead of sorting every row. Each
// group shows the text of its first row, as SQLite's sort does while the rows fit in its memory
// (past that it merges runs of rows, and which of the texts that differ in case alone it keeps
// depends on how many cores share the work). Whatever this way does not cover as SQLite does (a
// value that is not text, a text that is not well-formed UTF-8, an amount that is not a number,
// more groups than the budget) leaves the statement to SQLite.
#include <algorithm>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/jet/engine_sqlite.h"
#include "platform/jet/key_sets.h"
#include "platform/jet/sums.h"
#include "platform/jet/text.h"
#include "platform/os/memory.h"
#include "platform/work/progress.h"

namespace qx::jet {

namespace {

// The memory the groups may take, and what a row may need of it at most (a group of its own:
// the group, two slots of the table, its key and its text).
constexpr std::size_t kGroupBudget = std::size_t{256} << 20;
constexpr std::size_t kBytesPerRow = 80;

// SELECT "k", count(*) AS "n" FROM "t" GROUP BY "k", or with jet_sum("v") AS "s" before the
// count: the statements of the merges of identical rows, as the translator writes them.
struct GroupShape {
    std::string key, table, summed;  // SQLite's quoted names
};

class Reader {
  public:
    explicit Reader(std::string_view s) : s_(s) {}
    bool word(std::string_view w) {
        if (s_.substr(at_, w.size()) != w) return false;
        at_ += w.size();
        return true;
    }
    // A double-quoted name ("" inside for a quote), quotes included.
    std::optional<std::string> quoted() {
        if (at_ >= s_.size() || s_[at_] != '"') return std::nullopt;
        std::size_t i = at_ + 1;
        for (; i < s_.size(); ++i) {
            if (s_[i] != '"') continue;
            if (i + 1 < s_.size() && s_[i + 1] == '"') {
                ++i;
                continue;
            }
            std::string q(s_.substr(at_, i + 1 - at_));
            at_ = i + 1;
            return q;
        }
        return std::nullopt;
    }
    bool atEnd() const { return at_ == s_.size(); }

  private:
    std::string_view s_;
    std::size_t at_ = 0;
};

std::optional<GroupShape> groupShape(std::string_view sql) {
    Reader r(sql);
    GroupShape g;
    if (!r.word("SELECT ")) return std::nullopt;
    auto key = r.quoted();
    if (!key || !r.word(", ")) return std::nullopt;
    if (r.word("jet_sum(")) {
        auto summed = r.quoted();
        if (!summed || !r.word(") AS ") || !r.quoted() || !r.word(", ")) return std::nullopt;
        g.summed = *summed;
    }
    if (!r.word("count(*) AS ") || !r.quoted() || !r.word(" FROM ")) return std::nullopt;
    auto table = r.quoted();
    if (!table || !r.word(" GROUP BY ")) return std::nullopt;
    auto by = r.quoted();
    if (!by || !r.atEnd() || !equalsNoCaseAscii(*by, *key)) return std::nullopt;
    g.key = *key;
    g.table = *table;
    return g;
}

// A stored amount as jet_sum takes it: nothing for Null; false for a value it would read as
// text (which SQLite's own way then answers, with its error where there is one).
struct Amount {
    enum class Kind : std::uint8_t { None, Integer, Real } kind = Kind::None;
    std::int64_t integer = 0;
    double real = 0;
    bool read(sqlite3_value* v) {
        switch (sqlite3_value_type(v)) {
            case SQLITE_NULL:
                kind = Kind::None;
                return true;
            case SQLITE_INTEGER:
                kind = Kind::Integer;
                integer = sqlite3_value_int64(v);
                return true;
            case SQLITE_FLOAT:
                kind = Kind::Real;
                real = sqlite3_value_double(v);
                return true;
            default:
                return false;
        }
    }
    void addTo(SumState& s) const {
        if (kind == Kind::None) return;
        if (kind == Kind::Integer)
            addInteger(s, integer);
        else
            addFraction(s, real);
        ++s.count;
    }
};

void bindSum(sqlite3_stmt* stmt, int index, const SumState& s) {
    bool whole;
    std::int64_t wholeValue;
    std::optional<double> t = total(s, whole, wholeValue);
    if (!t)
        sqlite3_bind_null(stmt, index);
    else if (whole)
        sqlite3_bind_int64(stmt, index, wholeValue);
    else
        sqlite3_bind_double(stmt, index, *t);
}

// Texts kept for the whole statement, in blocks that never move.
class Arena {
  public:
    const char* keep(std::string_view a, std::string_view b) {
        std::size_t n = a.size() + b.size();
        if (blocks_.empty() || used_ + n > blocks_.back().size) {
            std::size_t size = std::max(kBlock, n);
            blocks_.push_back({static_cast<char*>(os::allocateLarge(size)), size});
            used_ = 0;
            bytes_ += size;
        }
        char* at = blocks_.back().data + used_;
        if (!a.empty()) std::memcpy(at, a.data(), a.size());
        if (!b.empty()) std::memcpy(at + a.size(), b.data(), b.size());
        used_ += n;
        return at;
    }
    std::size_t bytes() const { return bytes_; }
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() {
        for (auto& b : blocks_) os::freeLarge(b.data, b.size);
    }

  private:
    static constexpr std::size_t kBlock = std::size_t{4} << 20;
    struct Block {
        char* data;
        std::size_t size;
    };
    std::vector<Block> blocks_;
    std::size_t used_ = 0, bytes_ = 0;
};

// Whether two keys are the same bytes; short keys (most are) without a call.
inline bool sameBytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    std::size_t n = a.size(), i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) return false;
    }
    for (; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// The groups met so far, found by their folded key. Memory that is new to the process costs
// more than the work done in it: the table is made once for the rows there are, on huge pages,
// and the keys are looked up some rows at a time, the memory they need asked for ahead.
class Groups {
  public:
    struct Group {
        const char* folded;  // the folded key, then the first row's text where it differs
        std::uint32_t foldedSize, shownSize;
        std::uint32_t count;  // no more than the rows the budget allows
        std::string_view key() const { return {folded, foldedSize}; }
        std::string_view shown() const {
            return shownSize == kSame ? key() : std::string_view(folded + foldedSize, shownSize);
        }
    };
    static constexpr std::uint32_t kSame = 0xFFFFFFFFu;
    static_assert(sizeof(Group) == 24);

    explicit Groups(std::size_t rows) {
        std::size_t slots = 1024;
        while (slots < rows && slots < (std::size_t{1} << 26)) slots *= 2;
        slots_.assign(slots, 0);
        groups_.reserve(std::min<std::size_t>(rows, std::size_t{1} << 24));
    }

    // The rows of a batch: each one's text and folded key (valid until the batch is taken).
    struct Pending {
        std::string_view text, folded;
        std::uint64_t hash;
    };
    static constexpr std::size_t kBatch = 32;
    // Finds or makes the group of each pending row, in their order; `at(i, group)` for each.
    template <typename At>
    void take(Pending* rows, std::size_t n, At at) {
        for (std::size_t i = 0; i < n; ++i) {
            rows[i].hash = hashBytes(rows[i].folded);
            __builtin_prefetch(&slots_[rows[i].hash & (slots_.size() - 1)]);
        }
        for (std::size_t i = 0; i < n; ++i) {
            std::uint64_t s = slots_[rows[i].hash & (slots_.size() - 1)];
            if (s != 0) __builtin_prefetch(&groups_[static_cast<std::uint32_t>(s) - 1]);
        }
        for (std::size_t i = 0; i < n; ++i) at(i, find(rows[i]));
    }
    Group& operator[](std::uint32_t i) { return groups_[i]; }
    std::size_t size() const { return groups_.size(); }
    std::size_t bytes() const {
        return arena_.bytes() + groups_.size() * sizeof(Group) +
               slots_.size() * sizeof(std::uint64_t);
    }

    // The groups in the order of their folded keys (the order of compareNoCase).
    std::vector<std::uint32_t> sorted() const {
        struct Entry {
            std::uint64_t first;   // the key's first eight bytes, big-endian
            std::uint32_t second;  // and the four after them
            std::uint32_t group;
        };
        os::LargeVector<Entry> entries(groups_.size());
        for (std::uint32_t i = 0; i < groups_.size(); ++i) {
            std::string_view k = groups_[i].key();
            unsigned char b[12] = {};
            std::memcpy(b, k.data(), std::min<std::size_t>(12, k.size()));
            std::uint64_t x = 0;
            std::uint32_t y = 0;
            for (int j = 0; j < 8; ++j) x = x << 8 | b[j];
            for (int j = 8; j < 12; ++j) y = y << 8 | b[j];
            entries[i] = {x, y, i};
        }
        // Most keys are told apart by their first twelve bytes; the rest by the whole key.
        auto less = [this](const Entry& a, const Entry& b) {
            if (a.first != b.first) return a.first < b.first;
            if (a.second != b.second) return a.second < b.second;
            return groups_[a.group].key() < groups_[b.group].key();
        };
        // Both halves at once, then merged into the order.
        auto middle = entries.begin();
        if (entries.size() >= 65536) {
            middle += static_cast<std::ptrdiff_t>(entries.size() / 2);
            std::thread other([&] { std::sort(middle, entries.end(), less); });
            std::sort(entries.begin(), middle, less);
            other.join();
        } else {
            std::sort(entries.begin(), entries.end(), less);
        }
        std::vector<std::uint32_t> order;
        order.reserve(entries.size());
        auto a = entries.begin(), b = middle;
        while (a != middle || b != entries.end()) {
            bool fromB = a == middle || (b != entries.end() && less(*b, *a));
            order.push_back((fromB ? b++ : a++)->group);
        }
        return order;
    }

  private:
    std::uint32_t find(const Pending& row) {
        if ((groups_.size() + 1) * 2 > slots_.size()) grow();
        const std::size_t mask = slots_.size() - 1;
        const std::uint64_t h = row.hash, tag = h >> 32 << 32;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            std::uint64_t s = slots_[i];
            if (s == 0) {
                slots_[i] = tag | (groups_.size() + 1);
                Group g{nullptr, static_cast<std::uint32_t>(row.folded.size()), kSame, 0};
                bool same = row.text == row.folded;
                g.folded = arena_.keep(row.folded, same ? std::string_view() : row.text);
                if (!same) g.shownSize = static_cast<std::uint32_t>(row.text.size());
                groups_.push_back(g);
                return static_cast<std::uint32_t>(groups_.size() - 1);
            }
            if ((s >> 32 << 32) != tag) continue;
            auto g = static_cast<std::uint32_t>(s) - 1;
            if (sameBytes(groups_[g].key(), row.folded)) return g;
        }
    }
    void grow() {
        os::LargeVector<std::uint64_t> slots(slots_.size() * 2, 0);
        std::size_t mask = slots.size() - 1;
        for (std::uint32_t s = 0; s < groups_.size(); ++s) {
            std::uint64_t h = hashBytes(groups_[s].key());
            std::size_t i = h & mask;
            while (slots[i] != 0) i = (i + 1) & mask;
            slots[i] = (h >> 32 << 32) | (s + 1);
        }
        slots_.swap(slots);
    }

    Arena arena_;
    os::LargeVector<Group> groups_;
    // A group's index + 1 under the high half of its hash (looked at before the group itself,
    // which is mostly in another cache line); 0 for an empty slot.
    os::LargeVector<std::uint64_t> slots_;
};

// Rows of the scan, some thousands at a time: each one's text and folded key, copied out of
// SQLite's rows, and its amount.
struct Batch {
    static constexpr std::size_t kRows = 4096;
    struct Row {
        std::uint32_t at, textSize, foldedSize;
        Amount amount;
    };
    std::string bytes;
    std::vector<Row> rows;
    void add(std::string_view text, std::string_view folded, const Amount& amount) {
        rows.push_back({static_cast<std::uint32_t>(bytes.size()),
                        static_cast<std::uint32_t>(text.size()),
                        static_cast<std::uint32_t>(folded.size()), amount});
        bytes += text;
        bytes += folded;
    }
    void clear() {
        bytes.clear();
        rows.clear();
    }
};

// The groups and their sums, filled from batches in the order of the rows.
struct Grouping {
    Groups groups;
    std::vector<SumState> sums;
    bool summing;
    Grouping(std::size_t rows, bool summing) : groups(rows), summing(summing) {}
    std::size_t bytes() const { return groups.bytes() + sums.size() * sizeof(SumState); }
    // False when there was no memory for the groups.
    bool take(const Batch& batch) {
        try {
            takeRows(batch);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

  private:
    void takeRows(const Batch& batch) {
        Groups::Pending pending[Groups::kBatch];
        for (std::size_t first = 0; first < batch.rows.size(); first += Groups::kBatch) {
            std::size_t n = std::min(Groups::kBatch, batch.rows.size() - first);
            for (std::size_t i = 0; i < n; ++i) {
                const Batch::Row& r = batch.rows[first + i];
                pending[i].text = {batch.bytes.data() + r.at, r.textSize};
                pending[i].folded = {batch.bytes.data() + r.at + r.textSize, r.foldedSize};
            }
            groups.take(pending, n, [&](std::size_t i, std::uint32_t g) {
                ++groups[g].count;
                if (summing) {
                    if (g == sums.size()) sums.emplace_back();
                    batch.rows[first + i].amount.addTo(sums[g]);
                }
            });
        }
    }
};

}  // namespace

Outcome Connection::insertGrouped(const std::string& sql, const std::string& target, bool& done) {
    done = false;
    std::optional<GroupShape> shape = groupShape(sql);
    if (!shape || !textKeyColumn(shape->key, shape->table)) return {true, {}};
    const bool summing = !shape->summed.empty();
    std::int64_t rows;
    {
        InternalScope scope(*this);
        rows = highestRowid(db_, shape->table);
    }
    // As many groups as rows, at worst: past the budget the statement is SQLite's, whose memory
    // stays the same whatever the rows.
    if (rows < 0 || static_cast<std::size_t>(rows) * kBytesPerRow > kGroupBudget) return {true, {}};

    useMemoryMap(false);  // one pass over the table
    Grouping grouping(static_cast<std::size_t>(rows), summing);
    std::int64_t nulls = 0;
    SumState nullSum{};
    {
        InternalScope scope(*this);
        Statement scan;
        std::string columns = shape->key + (summing ? ", " + shape->summed : std::string());
        if (sqlite3_prepare_v2(db_, ("SELECT " + columns + " FROM " + shape->table).c_str(), -1,
                               scan.out(), nullptr) != SQLITE_OK)
            return {true, {}};
        Batch batch;
        std::string folded;
        std::int64_t read = 0;
        int rc;
        while ((rc = sqlite3_step(scan.get())) == SQLITE_ROW) {
            if (++read % 4096 == 0) {
                if (work::cancelRequested()) return {false, work::kCancelled};
                if (grouping.bytes() > kGroupBudget) return {true, {}};
            }
            Amount amount;
            if (summing && !amount.read(sqlite3_column_value(scan.get(), 1))) return {true, {}};
            sqlite3_value* key = sqlite3_column_value(scan.get(), 0);
            switch (sqlite3_value_type(key)) {
                case SQLITE_NULL:
                    ++nulls;
                    amount.addTo(nullSum);
                    continue;
                case SQLITE_TEXT:
                    break;
                default:
                    return {true, {}};
            }
            std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(key)),
                                  static_cast<std::size_t>(sqlite3_value_bytes(key)));
            if (!foldWellFormed(text, folded)) return {true, {}};
            batch.add(text, folded, amount);
            if (batch.rows.size() == Batch::kRows) {
                if (!grouping.take(batch)) return {true, {}};
                batch.clear();
            }
        }
        if (rc != SQLITE_DONE) return engineError();
        if (!grouping.take(batch) || grouping.bytes() > kGroupBudget) return {true, {}};
    }
    Groups& groups = grouping.groups;
    std::vector<SumState>& sums = grouping.sums;
    // The groups in SQLite's order: Null first, then the texts by compareNoCase.
    std::vector<std::uint32_t> order = groups.sorted();
    // The groups go in several to a step of the engine's statement, as a read's rows do; the
    // Null group and those past the last full step one at a time.
    const std::size_t columns = summing ? 3 : 2;
    Statement many, one;
    if (sqlite3_prepare_v2(db_, insertRowsSql(target, columns, kRowsPerInsert).c_str(), -1,
                           many.out(), nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db_, insertRowsSql(target, columns, 1).c_str(), -1, one.out(),
                           nullptr) != SQLITE_OK)
        return engineError();
    auto bind = [&](sqlite3_stmt* stmt, std::size_t row, const std::string_view* shown,
                    const SumState* sum, std::int64_t count) {
        const int at = static_cast<int>(row * columns);
        if (shown)
            sqlite3_bind_text(stmt, at + 1, shown->data(), static_cast<int>(shown->size()),
                              SQLITE_STATIC);
        else
            sqlite3_bind_null(stmt, at + 1);
        if (sum) bindSum(stmt, at + 2, *sum);
        sqlite3_bind_int64(stmt, at + static_cast<int>(columns), count);
    };
    if (nulls > 0) {
        bind(one.get(), 0, nullptr, summing ? &nullSum : nullptr, nulls);
        if (!stepOnce(one.get())) return engineError();
    }
    // The groups are asked for some rows ahead, their texts (found in the groups asked for
    // before) fewer rows ahead.
    constexpr std::size_t kAhead = 8;
    const std::size_t inFullSteps = order.size() / kRowsPerInsert * kRowsPerInsert;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i % 4096 == 4095 && work::cancelRequested()) return {false, work::kCancelled};
        if (i + 2 * kAhead < order.size()) __builtin_prefetch(&groups[order[i + 2 * kAhead]]);
        if (i + kAhead < order.size()) __builtin_prefetch(groups[order[i + kAhead]].folded);
        const Groups::Group& g = groups[order[i]];
        const std::string_view shown = g.shown();
        const SumState* sum = summing ? &sums[order[i]] : nullptr;
        if (i < inFullSteps) {
            bind(many.get(), i % kRowsPerInsert, &shown, sum, g.count);
            if (i % kRowsPerInsert == kRowsPerInsert - 1 && !stepOnce(many.get()))
                return engineError();
        } else {
            bind(one.get(), 0, &shown, sum, g.count);
            if (!stepOnce(one.get())) return engineError();
        }
    }
    done = true;
    return {true, {}};
}

}  // namespace qx::jet
