// The two-table comparisons.
#include "compare/comparisons.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <unordered_map>

#include "compare/substring_search.h"
#include "exchange/columns.h"
#include "exchange/save_frame.h"
#include "exchange/source_kinds.h"
#include "platform/jet/recordset.h"
#include "platform/jet/text.h"
#include "platform/work/progress.h"

namespace qx::compare {

using exchange::columnPart;
using exchange::tablePart;

namespace {

// Walks the result columns, each selected in turn; at the first from `forbidden` the message
// is shown and true returned, that entry left selected.
bool namesForbiddenTable(const store::Session& session, ui::ListBox& results,
                         const std::string& forbidden, const char* message) {
    for (int i = 0; i < results.count(); ++i) {
        results.setSelectedIndex(i);
        if (tablePart(results.item(i)) == forbidden) {
            session.messages.show(message);
            return true;
        }
    }
    return false;
}

// A text as a Jet string literal's inside: quotes doubled.
std::string quoteInner(const std::string& value) {
    std::string out;
    for (char c : value) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

}  // namespace

std::string buildSelectList(const ui::ListBox& references) {
    std::string out;
    for (int i = 0; i < references.count(); ++i) {
        if (i) out += ",";
        out += "[" + tablePart(references.item(i)) + "]." + columnPart(references.item(i));
    }
    return out;
}

void dropResultTable(const store::Session& session, const std::string& table,
                     const ui::ListBox& files) {
    store::Flavour flavour =
        store::flavourForExtension(exchange::extensionOf(files.selectedText()));
    for (const auto& name : session.database.listTables(flavour)) {
        if (name != table) continue;
        jet::Connection connection;
        if (connection.open(session.database.connectionString(flavour)))
            connection.execute("DROP TABLE " + table);
        return;
    }
}

void prepareComparison(const store::Session& session, const std::string& ref1,
                       const std::string& ref2) {
    if (ref1.empty() || ref2.empty()) {
        session.messages.show(kNoCompareColumns);
        return;
    }
    jet::Connection connection;
    if (!connection.open(session.connectionString())) return;
    // An index that exists already (the same comparison again) is refused quietly.
    connection.execute("create index idx1 on " + tablePart(ref1) + "(" + columnPart(ref1) + ")");
    connection.execute("create index idx2 on " + tablePart(ref2) + "(" + columnPart(ref2) + ")");
}

void runComparison(const store::Session& session, Comparison which, ui::ListBox& results,
                   const ui::Grid& compare, const ui::ListBox& files) {
    if (results.count() == 0) {
        session.messages.show(kNoResultColumns);
        return;
    }
    prepareComparison(session, compare.text(1, 0), compare.text(1, 1));
    std::string ref1 = compare.text(1, 0), ref2 = compare.text(1, 1);
    switch (which) {
        case Comparison::TwoWithoutOne:
            return absentRows(session, true, results, ref1, ref2, files);
        case Comparison::OneWithoutTwo:
            return absentRows(session, false, results, ref1, ref2, files);
        case Comparison::Common:
            return commonRows(session, results, ref1, ref2, files);
        case Comparison::Similar:
            return similarRows(session, results, ref1, ref2, files);
    }
}

void absentRows(const store::Session& session, bool tableTwoKept, ui::ListBox& results,
                const std::string& ref1, const std::string& ref2, const ui::ListBox& files) {
    if (ref1.empty() || ref2.empty()) return;
    const std::string r = tableTwoKept ? "表二中不含表一数" : "表一中不含表二数";
    dropResultTable(session, r, files);
    const std::string& outer = tableTwoKept ? ref2 : ref1;
    const std::string& inner = tableTwoKept ? ref1 : ref2;
    std::string to = tablePart(outer), co = columnPart(outer);
    std::string ti = tablePart(inner), ci = columnPart(inner);
    if (namesForbiddenTable(session, results, ti,
                            tableTwoKept ? kNoColumnsOfTableOne : kNoColumnsOfTableTwo))
        return;
    auto target = exchange::chooseSaveTarget(session);
    if (!target) return;
    exchange::SaveRun run(session, *target);
    run.build("select " + buildSelectList(results) + " into " + r + " from " + to + " where ([" +
              to + "]." + co + " not in ( select [" + ti + "]." + ci + " from " + ti + " where ([" +
              ti + "]." + ci + "=[" + to + "]." + co + ")))");
    run.finish(r, exchange::kCompareStyle, kCompared);
}

void commonRows(const store::Session& session, const ui::ListBox& results, const std::string& ref1,
                const std::string& ref2, const ui::ListBox& files) {
    if (ref1.empty() || ref2.empty()) return;
    const std::string r = "表一表二共有数";
    dropResultTable(session, r, files);
    auto target = exchange::chooseSaveTarget(session);
    if (!target) return;
    exchange::SaveRun run(session, *target);
    std::string t1 = tablePart(ref1), c1 = columnPart(ref1);
    std::string t2 = tablePart(ref2), c2 = columnPart(ref2);
    run.build("select " + buildSelectList(results) + " into " + r + " from " + t1 + "," + t2 +
              " where ([" + t1 + "]." + c1 + "=[" + t2 + "]." + c2 + ")");
    run.finish(r, exchange::kCommonStyle, kCompared);
}

namespace {

bool hasWildcard(std::string_view v) {
    return v.find_first_of("%_#[") != std::string_view::npos;
}

// The progress window in whole percents of the work done. The work comes in phases whose size
// is known when each starts: a new phase takes the rest of the bar from where the bar stands.
class WorkProgress {
  public:
    explicit WorkProgress(ui::ProgressNotice& notice) : notice_(notice) {}
    void startPhase(double units) {
        base_ = fraction_;
        total_ = units;
        done_ = 0;
    }
    void advance(double units) {
        done_ += units;
        double part = total_ > 0 ? std::min(done_ / total_, 1.0) : 1.0;
        fraction_ = base_ + (1.0 - base_) * part;
        long now = std::lround(fraction_ * 100.0);
        if (now == shown_) return;
        shown_ = now;
        notice_.setPercent(static_cast<int>(now));
    }

  private:
    ui::ProgressNotice& notice_;
    double base_ = 0, total_ = 0, done_ = 0, fraction_ = 0;
    long shown_ = 0;
};

// A name by which SQLite reaches a table's row numbers that no column of the table takes.
std::optional<std::string> rowidName(const std::vector<jet::Field>& fields) {
    for (const char* name : {"_rowid_", "rowid", "oid"}) {
        bool taken = false;
        for (const auto& f : fields) taken = taken || jet::compareNoCase(f.name, name) == 0;
        if (!taken) return std::string(name);
    }
    return std::nullopt;
}

// Table one's rows whose compare value contains each plain value, found in one pass over
// table one in stored order; nullopt when the table does not allow it (the compare column is
// not text, or a column takes the name of the row numbers).
struct Matches {
    std::vector<std::int64_t> rowids;                 // table one's rows with a value, in order
    std::vector<std::vector<std::uint32_t>> byValue;  // per plain value: indexes into rowids
    std::vector<std::uint32_t> valueOf;               // per table-two row: its plain value
};

std::optional<Matches> findMatches(jet::Connection& connection, const std::string& t1,
                                   const std::string& c1,
                                   const std::vector<std::optional<std::string>>& values,
                                   WorkProgress& progress) {
    auto fields = connection.tableFields(t1);
    if (!fields) return std::nullopt;
    bool textColumn = false;
    for (const auto& f : *fields) {
        if (jet::compareNoCase(f.name, "_rowid_") == 0) return std::nullopt;
        if (jet::compareNoCase(f.name, c1) == 0)
            textColumn = f.type == jet::JetType::Text || f.type == jet::JetType::Memo;
    }
    if (!textColumn) return std::nullopt;

    Matches m;
    std::vector<std::string> patterns;
    std::unordered_map<std::string, std::uint32_t> ids;
    m.valueOf.assign(values.size(), 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i] || hasWildcard(*values[i]) || values[i]->empty()) continue;
        auto [it, added] =
            ids.emplace(jet::toLower(*values[i]), static_cast<std::uint32_t>(patterns.size()));
        if (added) patterns.push_back(it->first);
        m.valueOf[i] = it->second;
    }
    m.byValue.resize(patterns.size());
    SubstringSearch search(patterns);
    jet::Recordset rs;
    // In stored order, as a scan of the table gives it: without the order, SQLite would read
    // the compare column's index (idx1) and bring the rows in key order.
    if (!rs.open(connection, "select [" + t1 + "]._rowid_, [" + t1 + "]." + c1 + " from " + t1 +
                                 " order by [" + t1 + "]._rowid_"))
        return std::nullopt;
    std::vector<std::uint32_t> found;
    std::string folded;
    for (; !rs.eof(); rs.moveNext()) {
        progress.advance(1);
        auto value = rs.value(1);
        if (!value) continue;  // Null contains nothing
        auto index = static_cast<std::uint32_t>(m.rowids.size());
        m.rowids.push_back(std::stoll(rs.value(0).value_or("0")));
        folded.clear();
        jet::appendFolded(folded, *value);
        search.find(folded, found);
        for (std::uint32_t p : found) m.byValue[p].push_back(index);
    }
    for (auto& list : m.byValue) std::sort(list.begin(), list.end());
    return m;
}

// The rows of the result in the order one LIKE per table-two value gives them: runs of table
// one's row numbers found in the one pass, and the values that go through LIKE themselves.
struct Segment {
    std::size_t begin = 0, end = 0;   // a run of `rows`
    std::optional<std::string> like;  // or a value for LIKE
};

std::int64_t rowCount(jet::Connection& connection, const std::string& table) {
    jet::Recordset rs;
    if (!rs.open(connection, "select count(*) from " + table) || rs.eof()) return 0;
    return std::stoll(rs.value(0).value_or("0"));
}

}  // namespace

void similarRows(const store::Session& session, ui::ListBox& results, const std::string& ref1,
                 const std::string& ref2, const ui::ListBox& files) {
    if (ref1.empty() || ref2.empty()) return;
    const std::string r = "表一和表二的相似数";
    dropResultTable(session, r, files);
    std::string t1 = tablePart(ref1), c1 = columnPart(ref1);
    std::string t2 = tablePart(ref2), c2 = columnPart(ref2);
    if (namesForbiddenTable(session, results, t2, kNoColumnsOfTableTwo)) return;
    auto target = exchange::chooseSaveTarget(session);
    if (!target) return;
    exchange::SaveRun run(session, *target);
    std::string select = buildSelectList(results);

    // Table two's compare values, read once from its first record to its last.
    std::vector<std::optional<std::string>> values;
    if (!run.failed()) {
        jet::Recordset rs;
        jet::Outcome opened = rs.open(run.connection(), t2);
        if (!opened) run.fail(opened.message);
        int field = opened ? rs.fieldIndex(c2) : -1;
        if (opened && field < 0) run.fail("表“" + t2 + "”中没有列“" + c2 + "”");
        for (; field >= 0 && !rs.eof(); rs.moveNext()) values.push_back(rs.value(field));
    }
    run.build("select " + select + " into " + r + " from " + t1 + " where ( 1<>1 )");
    // Table one's rows in stored order for LIKE too, whatever index the select list could use.
    std::optional<std::string> rowid;
    if (auto fields = run.failed() ? std::nullopt : run.connection().tableFields(t1))
        rowid = rowidName(*fields);
    auto likeInsert = [&](const std::string& v) {
        // The value stands in a literal with its quotes doubled: a quote is part of the value.
        run.build("insert into " + r + " select " + select + " from " + t1 + " where ([" + t1 +
                  "]." + c1 + " like '%" + quoteInner(v) + "%' )" +
                  (rowid ? " order by [" + t1 + "]." + *rowid : std::string()));
    };

    run.pauseBusy();
    session.progress.show();
    // The whole loop is one long step: its statements run one after another away from the
    // window's thread, which meanwhile draws the progress window.
    work::runLong([&] {
        // The work in units of rows: the pass over table one (one per row read), a whole scan of
        // table one per value that goes through LIKE, and one per row inserted from the pass. The
        // rows to insert are known after the pass; until then they count as many as table one's.
        WorkProgress progress(session.progress);
        auto rows1 = static_cast<double>(run.failed() ? 0 : rowCount(run.connection(), t1));
        std::optional<Matches> matches;
        if (!run.failed()) {
            double wild = 0;
            bool plain = false;
            for (const auto& v : values) {
                wild += v && hasWildcard(*v) ? 1 : 0;
                plain = plain || (v && !hasWildcard(*v));
            }
            progress.startPhase(rows1 * (wild + (plain ? 2 : 0)));
            if (plain) matches = findMatches(run.connection(), t1, c1, values, progress);
        }

        // The rows come as one LIKE per value of table two would give them: table two's order, and
        // table one's order within a value. Plain values take their rows from the pass; values with
        // wildcards (and every value, when the pass was not possible) go through LIKE. A Null value
        // contributes no rows.
        std::vector<std::int64_t> rows;
        std::vector<Segment> segments;
        double likes = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const auto& v = values[i];
            if (!v) continue;
            if (!matches || hasWildcard(*v)) {
                segments.push_back({0, 0, *v});
                ++likes;
                continue;
            }
            std::size_t from = rows.size();
            if (v->empty()) {
                rows.insert(rows.end(), matches->rowids.begin(), matches->rowids.end());
            } else {
                for (std::uint32_t k : matches->byValue[matches->valueOf[i]])
                    rows.push_back(matches->rowids[k]);
            }
            if (!segments.empty() && !segments.back().like)
                segments.back().end = rows.size();
            else
                segments.push_back({from, rows.size(), std::nullopt});
        }
        matches.reset();
        progress.startPhase(likes * rows1 + static_cast<double>(rows.size()));

        const std::string order = "qx_相似行顺序";
        constexpr std::size_t kChunk = 1 << 16;
        for (const Segment& seg : segments) {
            if (run.failed()) break;
            if (seg.like) {
                likeInsert(*seg.like);
                progress.advance(rows1);
                continue;
            }
            for (std::size_t at = seg.begin; at < seg.end && !run.failed(); at += kChunk) {
                std::size_t n = std::min(kChunk, seg.end - at);
                jet::Outcome made = run.connection().createRowOrder(
                    order, std::span<const std::int64_t>(rows.data() + at, n));
                if (!made) run.fail(made.message);
                run.build("insert into " + r + " select " + select + " from " + t1 + ", " + order +
                          " where [" + t1 + "]._rowid_ = [" + order + "].r order by [" + order +
                          "].seq");
                run.connection().execute("drop table " + order);
                progress.advance(static_cast<double>(n));
            }
        }
        if (!run.failed()) progress.advance(0);
    });
    session.progress.close();
    run.resumeBusy();
    run.finish(r, exchange::kCompareStyle, kSimilarDone);
}

}  // namespace qx::compare
