// Benchmark driver for the two-table comparisons: whole operations (statement and csv export)
// on the working database in PROGDIR, and the similar-rows loop as one LIKE per value.
//
//   qx_bench_compare absent|common PROGDIR OUT.csv      on tables 1_1, 2_1 (k, a, n)
//   qx_bench_compare gen-similar PROGDIR ROWS VALUES     tables 1_1 (k, a) and 2_1 (v)
//   qx_bench_compare similar PROGDIR OUT.csv             the operation
//   qx_bench_compare similar-loop PROGDIR OUT.csv        one LIKE INSERT per value, then export
#include <cstdio>
#include <random>
#include <string>

#include "compare/comparisons.h"
#include "exchange/save_frame.h"
#include "platform/jet/connection.h"
#include "platform/jet/recordset.h"
#include "platform/ui/memory_controls.h"
#include "store/session.h"

namespace {

struct Fixture {
    explicit Fixture(const char* progdir, const std::string& out) : database(progdir) {
        open.queue("source.csv");  // not xlsx mode
        open.showOpen();
        save.queue(out);
        files.addItem("source.csv");
        files.setSelectedIndex(0);
    }
    qx::store::WorkingDatabase database;
    qx::ui::MemoryFileDialog open, save;
    qx::ui::MemoryMessageBox messages;
    qx::ui::MemoryBusyNotice busy;
    qx::ui::MemoryProgressNotice progress;
    qx::store::Session session{database, open, save, messages, busy, progress, [] {}};
    qx::ui::MemoryListBox files, results;

    int report() const {
        bool ok =
            messages.shown().size() == 1 && messages.shown()[0].find("完毕") != std::string::npos;
        if (!ok && !messages.shown().empty())
            std::fprintf(stderr, "%s\n", messages.shown()[0].c_str());
        return ok ? 0 : 1;
    }
};

int generateSimilar(const char* progdir, long rows, long values) {
    qx::store::WorkingDatabase database(progdir);
    database.deleteFiles();
    if (!database.createIfAbsent(qx::store::Flavour::Jet)) return 1;
    qx::jet::Connection c;
    if (!c.open(database.connectionString(qx::store::Flavour::Jet))) return 1;
    if (!c.execute("create table 1_1 (k varchar(255), a varchar(255))") ||
        !c.execute("create table 2_1 (v varchar(255))"))
        return 1;
    // Table one: k0号 … k(ROWS-1)号; table two: values drawn from twice that range, so that
    // about half of them are found.
    std::mt19937 rnd(7);
    std::vector<std::int64_t> numbers;
    for (long i = 0; i < rows; ++i) numbers.push_back(i);
    if (!c.createRowOrder("qx_n", numbers)) return 1;
    if (!c.execute(
            "insert into 1_1 select 'k' & [qx_n].r & '号', 'a' & ([qx_n].r Mod 100) from qx_n"))
        return 1;
    c.execute("drop table qx_n");
    std::vector<std::int64_t> picks;
    for (long i = 0; i < values; ++i)
        picks.push_back(static_cast<std::int64_t>(rnd() % (rows * 2)));
    if (!c.createRowOrder("qx_v", picks)) return 1;
    if (!c.execute("insert into 2_1 select 'k' & [qx_v].r & '号' from qx_v order by [qx_v].seq"))
        return 1;
    c.execute("drop table qx_v");
    return 0;
}

int similarLoop(const char* progdir, const std::string& out) {
    qx::store::WorkingDatabase database(progdir);
    qx::jet::Connection c;
    if (!c.open(database.connectionString(qx::store::Flavour::Jet))) return 1;
    std::vector<std::string> values;
    {
        qx::jet::Recordset rs;
        if (!rs.open(c, "2_1")) return 1;
        for (; !rs.eof(); rs.moveNext())
            if (auto v = rs.value(0)) values.push_back(*v);
    }
    const std::string r = "表一和表二的相似数";
    c.execute("DROP TABLE " + r);
    if (!c.execute("select [1_1].k,[1_1].a into " + r + " from 1_1 where ( 1<>1 )")) return 1;
    for (const auto& v : values)
        c.execute("insert into " + r + " select [1_1].k,[1_1].a from 1_1 where ([1_1].k like '%" +
                  v + "%' )");
    return c.execute(qx::exchange::exportStatement(qx::exchange::kCompareStyle, "csv", out, r)).ok
               ? 0
               : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: qx_bench_compare absent|common|similar|similar-loop PROGDIR "
                     "OUT.csv | gen-similar PROGDIR ROWS VALUES\n");
        return 2;
    }
    std::string op = argv[1];
    if (op == "gen-similar")
        return argc == 5 ? generateSimilar(argv[2], std::atol(argv[3]), std::atol(argv[4])) : 2;
    if (op == "similar-loop") return similarLoop(argv[2], argv[3]);
    Fixture f(argv[2], argv[3]);
    if (op == "absent") {
        for (const char* c : {"2_1.k", "2_1.a", "2_1.n"}) f.results.addItem(c);
        qx::compare::prepareComparison(f.session, "1_1.k", "2_1.k");
        qx::compare::absentRows(f.session, true, f.results, "1_1.k", "2_1.k", f.files);
    } else if (op == "common") {
        for (const char* c : {"1_1.a", "2_1.n"}) f.results.addItem(c);
        qx::compare::prepareComparison(f.session, "1_1.k", "2_1.k");
        qx::compare::commonRows(f.session, f.results, "1_1.k", "2_1.k", f.files);
    } else if (op == "similar") {
        for (const char* c : {"1_1.k", "1_1.a"}) f.results.addItem(c);
        qx::compare::similarRows(f.session, f.results, "1_1.k", "2_1.v", f.files);
    } else {
        return 2;
    }
    return f.report();
}
