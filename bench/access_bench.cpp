// Benchmark driver for the Access writer: a table of ROWS rows × 5 columns saved as .mdb (the
// empty database, then SELECT * INTO [;DATABASE=…]) and as .csv through the Text driver, from
// the same working database in the same run. Prints both times and the ratio.
//
//   qx_bench_access DIR [ROWS]
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/isam/access/jet4_writer.h"
#include "platform/jet/connection.h"
#include "platform/os/paths.h"

namespace fs = std::filesystem;

namespace {

double seconds(const std::function<bool()>& f, bool& ok) {
    auto start = std::chrono::steady_clock::now();
    ok = f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    fs::path dir = argv[1];
    long rows = argc > 2 ? std::atol(argv[2]) : 1000000;
    fs::path db = dir / "work.db";
    fs::remove(db);
    if (!qx::jet::createEmptyDatabase(db)) return 1;
    qx::jet::Connection c;
    if (!c.openFile(db)) return 1;
    std::vector<std::int64_t> numbers;
    for (long i = 1; i <= rows; ++i) numbers.push_back(i);
    if (!c.createRowOrder("qx_seq", numbers) ||
        !c.execute("create table 结果 (编号 long, 名称 varchar(50), 金额 double, 日期 datetime, "
                   "备注 varchar(255))") ||
        !c.execute("insert into 结果 select [qx_seq].r, '客户' & [qx_seq].r, [qx_seq].r / 8, "
                   "CDate(43831 + ([qx_seq].r Mod 1000)), 'note ' & ([qx_seq].r Mod 97) from "
                   "qx_seq order by [qx_seq].seq"))
        return 1;
    std::string mdb = qx::os::utf8(dir / "out.mdb"), csv = qx::os::utf8(dir / "out.csv");
    bool okCsv = false, okMdb = false;
    double tCsv = seconds(
        [&] {
            return c
                .execute("SELECT * INTO [Text;DATABASE=" + qx::os::utf8(dir) +
                         "/].out.csv FROM 结果")
                .ok;
        },
        okCsv);
    double tMdb = seconds(
        [&] {
            std::string error;
            return qx::isam::access::writeEmptyDatabase(dir / "out.mdb", error) &&
                   c.execute("SELECT * INTO [;DATABASE=" + mdb + "].结果 FROM 结果").ok;
        },
        okMdb);
    if (!okCsv || !okMdb) return 1;
    std::printf("rows × 5 columns: %ld\ncsv %.3fs, mdb %.3fs, ratio %.2f (%.1f MB)\n", rows, tCsv,
                tMdb, tMdb / tCsv, static_cast<double>(fs::file_size(dir / "out.mdb")) / 1e6);
    return 0;
}
