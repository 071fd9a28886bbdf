// The values of one column held for lookups by equality as the engine compares them: texts
// without regard to case (the JETCI collation), numbers by value, binary values by their bytes.
// A statement's x [NOT] IN (SELECT y FROM t WHERE y = x) is answered from such a set of t's y,
// built in one pass, instead of a search of t (or of an index on y) for every row.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/os/memory.h"

namespace qx::jet {

// `s` with its case folded as compareNoCase folds it, into `out`: two well-formed texts compare
// equal exactly when their folded forms are the same bytes. False (and `out` unspecified) when
// `s` is not well-formed UTF-8.
bool foldWellFormed(std::string_view s, std::string& out);

// A hash of a key's bytes, spread over all 64 bits.
std::uint64_t hashBytes(std::string_view k);

class KeySet {
  public:
    enum class Found { No, Yes, AskEngine };

    void add(sqlite3_value* v);
    // Whether a value equal to `v` was added. AskEngine for a text that is not well-formed
    // UTF-8: only the collation itself can tell what equals it.
    Found find(sqlite3_value* v) const;
    // The memory the set takes, roughly.
    std::size_t bytes() const;

  private:
    // A key of up to 20 bytes is held in its slot, a longer one in keys_ (its offset in the
    // slot): a lookup mostly reads one cache line. The slots are backed by huge pages, so that
    // a lookup seldom misses the TLB as well.
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t size = kEmpty;
        char bytes[20];  // the key, or its offset in keys_
    };
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    static constexpr std::size_t kInline = 20;
    static_assert(sizeof(Slot) == 32);
    bool findText(std::string_view folded, std::uint64_t hash) const;
    void grow();
    std::string_view keyOf(const Slot& s) const {
        if (s.size <= kInline) return {s.bytes, s.size};
        std::uint64_t offset;
        std::memcpy(&offset, s.bytes, sizeof offset);
        return {keys_.data() + offset, s.size};
    }

    // A byte of each slot's hash (0 for an empty slot), looked at before the slot itself: the
    // tags of a million slots stay in the processor's cache, so that a key that is not in the
    // set mostly costs no read of memory at all.
    static std::uint8_t tagOf(std::uint64_t hash) {
        auto t = static_cast<std::uint8_t>(hash >> 56);
        return t ? t : 1;
    }
    void place(const Slot& slot);
    std::vector<std::uint8_t> tags_;
    os::LargeVector<Slot> slots_;
    std::size_t used_ = 0;
    std::string keys_;
    std::vector<std::string> oddTexts_;  // not well-formed, or too long for a slot
    std::unordered_set<std::int64_t> integers_;
    std::unordered_set<double> reals_;
    std::unordered_set<std::string> blobs_;
    std::size_t others_ = 0;  // the memory of what is not in slots_ or keys_
    mutable std::string scratch_;
};

// The key sets of the statement being run, which the SQL function jet_keyprobe(N, x) looks x up
// in: 1 when the N-th set holds a value equal to x, else 0 (0 for Null).
struct KeyProbes {
    struct Probe {
        KeySet keys;
        std::string exactSql;  // SELECT 1 FROM t WHERE y = ?1: the engine's own answer
        sqlite3_stmt* exact = nullptr;
    };
    sqlite3* db = nullptr;
    std::vector<std::unique_ptr<Probe>> probes;
    void clear();
    ~KeyProbes() { clear(); }
};

// Registers jet_keyprobe on `db` over `probes`.
int registerKeyProbe(sqlite3* db, KeyProbes* probes);

}  // namespace qx::jet
