// Writes Access files through the engine as the save step does (the empty database, then
// SELECT * INTO [;DATABASE=…].R) and the values each must read back as, one text line per row:
// cells joined by "|", numbers in their shortest form, dates as YYYY-MM-DD HH:MM:SS, Yes/No as
// 1/0, binary as hex, Null as "NULL".
//
//   qx_mdb_sample OUTDIR     writes empty.mdb, types.mdb, large.mdb, their .expected, and
//                            .ours: what our own reader gives back
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/isam/access/jet4_writer.h"
#include "platform/jet/connection.h"
#include "platform/jet/recordset.h"
#include "platform/os/paths.h"

namespace fs = std::filesystem;
using qx::jet::Connection;

namespace {

bool run(Connection& c, const std::string& sql) {
    auto o = c.execute(sql);
    if (!o) std::fprintf(stderr, "%s\n  %s\n", sql.c_str(), o.message.c_str());
    return o.ok;
}

std::string hex(const std::string& s) {
    static const char* d = "0123456789abcdef";
    std::string out;
    for (unsigned char ch : s) {
        out += d[ch >> 4];
        out += d[ch & 15];
    }
    return out;
}

// The expected lines of a table, from the working database.
bool expect(Connection& c, const std::string& table, const fs::path& file) {
    qx::jet::Recordset rs;
    if (!rs.open(c, table)) return false;
    std::ofstream out(file, std::ios::binary);
    for (; !rs.eof(); rs.moveNext()) {
        std::string line;
        for (int i = 0; i < rs.fieldCount(); ++i) {
            if (i) line += "|";
            auto v = rs.value(i);
            auto type = rs.field(i).type;
            if (!v && type == qx::jet::JetType::Bit)
                line += "0";  // a Yes/No field holds no Null
            else if (!v)
                line += "NULL";
            else if (type == qx::jet::JetType::Bit)
                line += (*v == "True" || *v == "-1" || *v == "1" || *v == "TRUE") ? "1" : "0";
            else if (type == qx::jet::JetType::Binary)
                line += hex(*v);
            else
                line += *v;
        }
        out << line << "\n";
    }
    return static_cast<bool>(out);
}

bool save(Connection& c, const fs::path& dir, const std::string& name, const std::string& table) {
    fs::path file = dir / (name + ".mdb");
    std::string error;
    if (!qx::isam::access::writeEmptyDatabase(file, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    // Read back with our own Access reader as well: NAME.ours beside NAME.expected.
    return run(c, "SELECT * INTO [;DATABASE=" + qx::os::utf8(file) + "]." + table + " FROM " +
                      table) &&
           expect(c, table, dir / (name + ".expected")) &&
           run(c, "SELECT * INTO 读回" + name + " FROM [;DATABASE=" + qx::os::utf8(file) + "]." +
                      table) &&
           expect(c, "读回" + name, dir / (name + ".ours"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    fs::path dir = argv[1];
    fs::path db = dir / "work.db";
    fs::remove(db);
    if (!qx::jet::createEmptyDatabase(db)) return 1;
    Connection c;
    if (!c.openFile(db)) return 1;
    bool ok =
        run(c, "create table 空表 (名称 varchar(10), 数 long)") &&
        run(c,
            "create table 类型 (文本 varchar(255), 短文本 varchar(5), 备注 memo, 字节 byte, "
            "整数 short, 长整数 long, 单精度 single, 双精度 double, 货币 currency, 日期 datetime, "
            "是否 bit, 二进制 longbinary)") &&
        run(c,
            "insert into 类型 values ('张三，中文 text', 'abcde', '短的备注', 0, -32768, "
            "-2147483648, 1.5, 3.141592653589793, 900000000000000.1234, #2021-03-15 10:20:30#, "
            "True, Null)") &&
        run(c,
            "insert into 类型 values ('Ascii only', '', 'x', 255, 32767, 2147483647, -0.25, "
            "-1E+300, -12.3456, #1899-12-30#, False, Null)") &&
        run(c,
            "insert into 类型 values (Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, "
            "Null, Null)") &&
        run(c,
            "insert into 类型 values ('𠀀 beyond the BMP', 'Ü', Replace(Space(9000), ' ', '长'), "
            "7, 1, 2, 3, "
            "4, 5, #1753-01-01 23:59:59#, True, Null)") &&
        run(c,
            "insert into 类型 values (Replace(Space(255), ' ', 'a'), 'ab', Replace(Space(3000), ' "
            "', 'a'), 1, 1, 1, 1, 1, 1, "
            "#9999-12-31#, False, Null)") &&
        run(c,
            "create table 大表 (编号 long, 名称 varchar(50), 金额 double, 日期 datetime, 备注 "
            "memo)") &&
        run(c, "create table qx_n (n long)");
    if (!ok) return 1;
    // 100,000 rows from a numbers table.
    std::vector<std::int64_t> numbers;
    for (std::int64_t i = 1; i <= 100000; ++i) numbers.push_back(i);
    if (!c.createRowOrder("qx_seq", numbers)) return 1;
    ok = run(c,
             "insert into 大表 select [qx_seq].r, '客户' & [qx_seq].r, [qx_seq].r / 8, "
             "CDate(43831 + ([qx_seq].r Mod 1000)), IIf([qx_seq].r Mod 10 = 0, Replace(Space(300), "
             "' ', "
             "'备'), Null) from qx_seq order by [qx_seq].seq") &&
         save(c, dir, "empty", "空表") && save(c, dir, "types", "类型") &&
         save(c, dir, "large", "大表");
    return ok ? 0 : 1;
}
