// Jet's aggregates on SQLite: Sum and Avg over the values Jet adds (numbers, currency, Yes/No,
// and dates by their day serials), First, Last and StDev.
#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/jet/functions.h"
#include "platform/jet/sums.h"

namespace qx::jet {

namespace {

// SQLite's aggregate memory is aligned for 8 bytes only: the state sits at the next multiple
// of its own alignment within it.
SumState* sumState(sqlite3_context* ctx, bool create) {
    void* p = sqlite3_aggregate_context(ctx, create ? sizeof(SumState) + alignof(SumState) : 0);
    if (!p) return nullptr;
    auto at = reinterpret_cast<std::uintptr_t>(p);
    at = (at + alignof(SumState) - 1) / alignof(SumState) * alignof(SumState);
    return reinterpret_cast<SumState*>(at);
}

// The number a stored value adds as: dates by their serial; Null gives nothing.
void sumStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* s = sumState(ctx, true);
    if (!s) return sqlite3_result_error_nomem(ctx);
    if (s->failed) return;
    sqlite3_value* v = argv[0];
    switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            return;
        case SQLITE_INTEGER: {
            addInteger(*s, sqlite3_value_int64(v));
            break;
        }
        case SQLITE_FLOAT:
            addFraction(*s, sqlite3_value_double(v));
            break;
        case SQLITE_TEXT: {
            auto n = numberOf(valueFromSqlite(v));
            if (!n) {
                s->failed = true;
                return sqlite3_result_error(ctx, "类型不匹配：值不是数字或日期", -1);
            }
            addFraction(*s, *n);
            break;
        }
        default:
            s->failed = true;
            return sqlite3_result_error(ctx, "类型不匹配：值不是数字或日期", -1);
    }
    ++s->count;
}

// The group's total and how it was reached; false (Null given) when nothing was added.
struct Total {
    const SumState* state = nullptr;
    double value = 0;
    bool whole = false;
    std::int64_t wholeValue = 0;
};
bool finalTotal(sqlite3_context* ctx, Total& t) {
    t.state = sumState(ctx, false);
    std::optional<double> v;
    if (t.state && !t.state->failed) v = total(*t.state, t.whole, t.wholeValue);
    if (!v) sqlite3_result_null(ctx);
    t.value = v.value_or(0);
    return v.has_value();
}

void sumFinal(sqlite3_context* ctx) {
    Total t;
    if (!finalTotal(ctx, t)) return;
    if (t.whole) return sqlite3_result_int64(ctx, t.wholeValue);
    sqlite3_result_double(ctx, t.value);
}

void avgFinal(sqlite3_context* ctx) {
    Total t;
    if (!finalTotal(ctx, t)) return;
    const SumState& s = *t.state;
    long double exact =
        t.whole ? static_cast<long double>(t.wholeValue)
        : !s.inexact && std::fabs(t.value) < kSumExactLimit / kSumScale
            ? static_cast<long double>(static_cast<std::int64_t>(s.scaled)) / 10000.0L
            : static_cast<long double>(t.value);
    sqlite3_result_double(ctx, static_cast<double>(exact / static_cast<long double>(s.count)));
}

// First and Last keep the first and the last value of the group, Null included.
template <bool Last>
void aggFirstStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto** slot =
        static_cast<sqlite3_value**>(sqlite3_aggregate_context(ctx, sizeof(sqlite3_value*) + 1));
    if (!slot) return sqlite3_result_error_nomem(ctx);
    bool& seen = *reinterpret_cast<bool*>(reinterpret_cast<char*>(slot) + sizeof(sqlite3_value*));
    if (seen && !Last) return;
    if (*slot) sqlite3_value_free(*slot);
    *slot = sqlite3_value_dup(argv[0]);
    seen = true;
}

void aggFirstFinal(sqlite3_context* ctx) {
    auto** slot = static_cast<sqlite3_value**>(sqlite3_aggregate_context(ctx, 0));
    if (!slot || !*slot) return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, *slot);
    sqlite3_value_free(*slot);
    *slot = nullptr;
}

struct StdevState {
    double n, mean, m2;
};

void aggStdevStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* s = static_cast<StdevState*>(sqlite3_aggregate_context(ctx, sizeof(StdevState)));
    if (!s) return sqlite3_result_error_nomem(ctx);
    auto d = numberOf(valueFromSqlite(argv[0]));
    if (!d || sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
    s->n += 1;
    double delta = *d - s->mean;
    s->mean += delta / s->n;
    s->m2 += delta * (*d - s->mean);
}

void aggStdevFinal(sqlite3_context* ctx) {
    auto* s = static_cast<StdevState*>(sqlite3_aggregate_context(ctx, 0));
    if (!s || s->n < 2) return sqlite3_result_null(ctx);
    sqlite3_result_double(ctx, std::sqrt(s->m2 / (s->n - 1)));
}

}  // namespace

int registerJetAggregates(sqlite3* db) {
    struct Aggregate {
        const char* name;
        void (*step)(sqlite3_context*, int, sqlite3_value**);
        void (*final)(sqlite3_context*);
    };
    static const Aggregate kAggregates[] = {
        {"jet_sum", sumStep, sumFinal},
        {"jet_avg", sumStep, avgFinal},
        {"jet_first", aggFirstStep<false>, aggFirstFinal},
        {"jet_last", aggFirstStep<true>, aggFirstFinal},
        {"jet_stdev", aggStdevStep, aggStdevFinal},
    };
    for (const auto& a : kAggregates) {
        int rc = sqlite3_create_function_v2(db, a.name, 1, SQLITE_UTF8, nullptr, nullptr, a.step,
                                            a.final, nullptr);
        if (rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}

}  // namespace qx::jet
