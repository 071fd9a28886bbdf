// The two-table comparisons.
#include "compare/comparisons.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_map>

#include "compare/substring_search.h"
#include "exchange/columns.h"
#include "exchange/save_frame.h"
#include "exchange/source_kinds.h"
#include "platform/jet/recordset.h"
#include "platform/jet/text.h"

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

// Table one's rows whose compare value contains each plain value, found in one pass over
// table one; nullopt when the table does not allow it (the compare column is not text, or a
// column takes the name of the row numbers).
struct Matches {
    std::vector<std::int64_t> rowids;                 // table one's rows with a value, in order
    std::vector<std::vector<std::uint32_t>> byValue;  // per plain value: indexes into rowids
    std::vector<std::uint32_t> valueOf;               // per table-two row: its plain value
};

std::optional<Matches> findMatches(jet::Connection& connection, const std::string& t1,
                                   const std::string& c1,
                                   const std::vector<std::optional<std::string>>& values) {
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
    if (!rs.open(connection, "select [" + t1 + "]._rowid_, [" + t1 + "]." + c1 + " from " + t1))
        return std::nullopt;
    std::vector<std::uint32_t> found;
    std::string folded;
    for (; !rs.eof(); rs.moveNext()) {
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
    auto likeInsert = [&](const std::string& v) {
        // The value stands in a literal with its quotes doubled: a quote is part of the value.
        run.build("insert into " + r + " select " + select + " from " + t1 + " where ([" + t1 +
                  "]." + c1 + " like '%" + quoteInner(v) + "%' )");
    };

    // The rows come as one LIKE per value of table two would give them: table two's order, and
    // table one's order within a value. Plain values are matched in one pass over table one;
    // values with wildcards go through LIKE.
    std::optional<Matches> matches;
    if (!run.failed()) matches = findMatches(run.connection(), t1, c1, values);
    const std::string order = "qx_相似行顺序";
    std::vector<std::int64_t> pending;
    auto flush = [&] {
        if (pending.empty() || run.failed()) return;
        jet::Outcome made = run.connection().createRowOrder(order, pending);
        if (!made) run.fail(made.message);
        run.build("insert into " + r + " select " + select + " from " + t1 + ", " + order +
                  " where [" + t1 + "]._rowid_ = [" + order + "].r order by [" + order + "].seq");
        run.connection().execute("drop table " + order);
        pending.clear();
    };

    run.pauseBusy();
    session.progress.show();
    std::size_t n = values.size();
    for (std::size_t i = 1; i <= n && !run.failed(); ++i) {
        // A Null value contributes no rows.
        if (const auto& v = values[i - 1]) {
            if (!matches || hasWildcard(*v)) {
                flush();
                likeInsert(*v);
            } else if (v->empty()) {
                pending.insert(pending.end(), matches->rowids.begin(), matches->rowids.end());
            } else {
                for (std::uint32_t k : matches->byValue[matches->valueOf[i - 1]])
                    pending.push_back(matches->rowids[k]);
            }
        }
        long now = std::lround(static_cast<double>(i) / static_cast<double>(n) * 100.0);
        long before = std::lround(static_cast<double>(i - 1) / static_cast<double>(n) * 100.0);
        if (now != before) session.progress.setPercent(static_cast<int>(now));
    }
    flush();
    session.progress.close();
    run.resumeBusy();
    run.finish(r, exchange::kCompareStyle, kSimilarDone);
}

}  // namespace qx::compare
