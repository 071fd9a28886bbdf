// The Access driver and its reader: listing, values of both versions, encryption, and damaged
// files (cut, scribbled, with chains that come back on themselves) as a clear error.
#include "platform/isam/access/access_driver.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/isam/access/jet4_writer.h"
#include "platform/isam/access/jet_format.h"
#include "platform/os/paths.h"
#include "unit/test_dir.h"
#include "unit/vector_rows.h"

namespace qx::isam::access {
namespace {

using jet::JetType;
using qx::testing::readFile;
using qx::testing::TestDir;
using qx::testing::VectorRows;
using qx::testing::writeFile;
namespace fs = std::filesystem;
namespace L = layout;

const fs::path kFixtures = fs::path(QX_SOURCE_DIR) / ".." / "shared" / "fixtures";
const fs::path kData = fs::path(QX_SOURCE_DIR) / "tests" / "data" / "access";

struct Read {
    std::vector<ColumnDef> columns;
    std::vector<std::vector<std::string>> rows;
    std::string error;
};

// A table as the import reads it: through the driver, every value in its text form.
Read readThrough(const fs::path& file, const std::string& table) {
    AccessDriver driver;
    ExternalClause db;
    db.properties.emplace_back("DATABASE", os::utf8(file));
    Read r;
    auto rows = driver.readTable(db, table, r.error);
    if (!rows) return r;
    r.columns = rows->columns();
    std::vector<Value> row;
    while (rows->next(row)) {
        std::vector<std::string> cells;
        for (std::size_t i = 0; i < row.size(); ++i)
            cells.push_back(jet::formatValue(row[i], r.columns[i].type).value_or("NULL"));
        r.rows.push_back(cells);
    }
    r.error = rows->error();
    return r;
}

// A database of our writer with one table "t": a number, a text and a memo of `memo` bytes.
std::string writtenDatabase(const TestDir& dir, std::size_t memo, std::size_t rows = 3) {
    auto file = dir / "w.mdb";
    std::string error;
    EXPECT_TRUE(writeEmptyDatabase(file, error)) << error;
    std::vector<std::vector<Value>> values;
    for (std::size_t i = 0; i < rows; ++i)
        values.push_back({Value::ofInteger(static_cast<std::int64_t>(i)),
                          Value::ofText("第" + std::to_string(i) + "行"),
                          Value::ofText(std::string(memo, static_cast<char>('a' + i % 26)))});
    VectorRows source(
        {{"n", JetType::Long, 255}, {"t", JetType::Text, 50}, {"m", JetType::Memo, 255}}, values);
    EXPECT_TRUE(addTable(file, "t", source, error)) << error;
    return readFile(file);
}

std::uint8_t* page(std::string& db, std::size_t n, std::size_t size = 4096) {
    return reinterpret_cast<std::uint8_t*>(db.data() + n * size);
}

TEST(Access, ListsUserTablesInCatalogueOrder) {
    EXPECT_EQ(
        listAccessTables(kFixtures / "nwind.mdb"),
        (std::vector<std::string>{"Order Details", "Orders", "Products", "Shippers", "Categories",
                                  "Customers", "Employees", "Suppliers", "Umsätze"}));
    EXPECT_EQ(listAccessTables(kFixtures / "DateTestDatabase.mdb"),
              (std::vector<std::string>{"DateTest"}));
    std::string error;
    EXPECT_TRUE(listAccessTables("/nonexistent.mdb", error).empty());
    EXPECT_NE(error.find("找不到 Access 文件"), std::string::npos) << error;
}

// Jet stores a date as days from 1899-12-30; the reader decodes every year Access allows.
TEST(Access, DatesOfEveryYearAccessStores) {
    auto r = readThrough(kFixtures / "DateTestDatabase.mdb", "DateTest");
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.rows.size(), 6u);
    const char* expected[][3] = {
        {"2021-12-02 00:00:00", "2021-12-02 00:00:00", "2021-12-02 00:00:00"},
        {"9999-01-01 00:00:00", "9999-01-01 00:00:00", "9999-01-01 00:00:00"},
        {"1898-01-01 00:00:00", "1899-01-01 00:00:00", "1900-01-01 00:00:00"},
        {"0632-01-01 00:00:00", "0633-01-01 00:00:00", "0634-01-01 00:00:00"},
    };
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(r.rows[i][1 + k], expected[i][k]) << i << k;
    EXPECT_EQ(r.rows[4][4], "Escaped new line \\r\\n in field");
    EXPECT_EQ(r.columns[5].type, JetType::Text);
    EXPECT_EQ(r.columns[5].size, 255);
    EXPECT_EQ(r.columns[4].type, JetType::Memo);
}

// Rows that grew and moved to another page are read in their own place (Jackcess's expectation
// for its test file: seven rows, the third and the fifth moved).
TEST(Access, MovedRowsReadInTheirPlace) {
    auto r = readThrough(kData / "jackcess_overflow.mdb", "Table1");
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.rows.size(), 7u);
    EXPECT_EQ(r.rows[2][1], "row3col3");
    EXPECT_EQ(r.rows[2][7], "row3col9");
    EXPECT_EQ(r.rows[4][1], "row5col2");
    EXPECT_EQ(r.rows[6][0], "row7col1");
}

// Jet 3 keeps texts in the database's code page: a GBK database reads as Chinese.
TEST(Access, Jet3TextInTheDatabaseCodePage) {
    TestDir dir;
    std::string db = readFile(kFixtures / "nwind.mdb");
    auto* header = page(db, 0, 2048);
    L::toggleHeaderMask(L::jet3Format(), header);
    L::put16(header + L::kCodePageAt, 936);
    L::toggleHeaderMask(L::jet3Format(), header);
    auto at = db.find("Bottom-Dollar Markets");
    ASSERT_NE(at, std::string::npos);
    db.replace(at, 4, "\xD6\xD0\xCE\xC4");  // 中文 in GBK
    writeFile(dir / "gbk.mdb", db);
    auto r = readThrough(dir / "gbk.mdb", "Customers");
    ASSERT_EQ(r.error, "");
    bool found = false;
    for (const auto& row : r.rows) found = found || row[1] == "中文om-Dollar Markets";
    EXPECT_TRUE(found);
    EXPECT_EQ(r.rows.size(), 91u);
}

// Currency is exact to the ten-thousandth; long values inline, on one page and across pages;
// a table over many pages (an extended usage map past 512 pages): all read back as written.
TEST(Access, WhatTheWriterWroteReadsBack) {
    TestDir dir;
    std::string error;
    auto file = dir / "大.mdb";
    ASSERT_TRUE(writeEmptyDatabase(file, error)) << error;
    std::vector<std::vector<Value>> rows;
    const std::size_t sizes[] = {0, 10, 64, 65, 3000, 4100, 9000};
    for (std::size_t i = 0; i < 6000; ++i) {
        std::size_t memo = sizes[i % 7];
        rows.push_back(
            {Value::ofInteger(static_cast<std::int64_t>(i)),
             Value::ofText(i % 5 ? "123456789012.3456" : "-0.0001"),
             i % 3 ? Value::ofText(std::string(memo, static_cast<char>('a' + i % 26))) : Value{},
             Value::ofText(std::to_string(i) + "号")});
    }
    VectorRows source({{"n", JetType::Long, 255},
                       {"c", JetType::Currency, 255},
                       {"m", JetType::Memo, 255},
                       {"t", JetType::Text, 20}},
                      rows);
    ASSERT_TRUE(addTable(file, "大表", source, error)) << error;
    ASSERT_GT(fs::file_size(file), 600u * 4096);
    auto r = readThrough(file, "大表");
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(r.rows[i][0], std::to_string(i));
        ASSERT_EQ(r.rows[i][1], i % 5 ? "123456789012.3456" : "-0.0001") << i;
        ASSERT_EQ(r.rows[i][2], i % 3 ? rows[i][2].text : "NULL") << i;
        ASSERT_EQ(r.rows[i][3], std::to_string(i) + "号");
    }
}

// Replication IDs and Jet 4's decimals, from bytes laid out by hand: a text column of our
// writer's (stored compressed: FF FE, then a byte per character) retyped in the definition.
TEST(Access, GuidAndDecimalBytes) {
    TestDir dir;
    std::string error;
    auto file = dir / "g.mdb";
    ASSERT_TRUE(writeEmptyDatabase(file, error)) << error;
    VectorRows source({{"g", JetType::Text, 20}}, {{Value::ofText("abcdefghijklmnop")}});
    ASSERT_TRUE(addTable(file, "t", source, error)) << error;
    const std::string written = readFile(file);
    // The column's entry follows the 63 bytes of the definition's block (no index).
    const std::size_t entry = 11 * 4096 + 63;
    ASSERT_EQ(static_cast<std::uint8_t>(written[entry]), L::kText);
    struct Case {
        std::uint8_t type;
        JetType as;
        std::string text;  // the value's text
    } cases[] = {
        // Four bytes, two, two (each little-endian), then eight as they stand.
        {L::kGuid, JetType::Text, "{6261FEFF-6463-6665-6768-696A6B6C6D6E}"},
        // A sign byte (nonzero: negative), then four little-endian words, the highest first:
        // 0x636261FE 67666564 6B6A6968 6F6E6D6C, scale 4 (the entry's byte 12).
        {L::kNumeric, JetType::Double, jet::formatDouble(-1.3210440422452866e+34)},
    };
    for (const auto& c : cases) {
        std::string db = written;
        db[entry] = static_cast<char>(c.type);
        writeFile(dir / "r.mdb", db);
        auto r = readThrough(dir / "r.mdb", "t");
        ASSERT_EQ(r.error, "");
        ASSERT_EQ(r.rows.size(), 1u);
        EXPECT_EQ(r.columns[0].type, c.as);
        EXPECT_EQ(r.rows[0][0], c.text);
    }
}

TEST(Access, EncryptionWithTheHeadersKeyIsRead) {
    TestDir dir;
    const std::string plain = writtenDatabase(dir, 5000);
    const auto want = readThrough(dir / "w.mdb", "t").rows;
    ASSERT_EQ(want.size(), 3u);
    auto withHeader = [](std::string db, std::uint32_t key, std::uint8_t version, bool encryptPages,
                         const char* password) {
        auto* h = page(db, 0);
        L::toggleHeaderMask(L::jet4Format(), h);
        L::put32(h + L::kDatabaseKeyAt, key);
        for (std::size_t k = 0; password[k]; ++k) h[L::kPasswordAt + 2 * k] ^= password[k];
        L::toggleHeaderMask(L::jet4Format(), h);
        h[L::kVersionAt] = version;
        for (std::size_t n = 1; encryptPages && n < db.size() / 4096; ++n)
            L::decryptPage(key, static_cast<std::uint32_t>(n), page(db, n), 4096);
        return db;
    };
    struct Case {
        const char* what;
        std::string bytes;
        const char* error;  // empty: read as written
    } cases[] = {
        {"pages encrypted with the header's key", withHeader(plain, 0x1234ABCD, 1, true, ""), ""},
        {"a password alone", withHeader(plain, 0, 1, false, "secret"), ""},
        {"a later version's encryption", withHeader(plain, 0x1234ABCD, 2, true, ""),
         "数据库已加密"},
        {"a key the pages do not open with", withHeader(plain, 0x1234ABCD, 1, false, ""),
         "数据库已加密"},
    };
    for (const auto& c : cases) {
        writeFile(dir / "e.mdb", c.bytes);
        auto r = readThrough(dir / "e.mdb", "t");
        if (*c.error) {
            EXPECT_NE(r.error.find(c.error), std::string::npos) << c.what << ": " << r.error;
            std::string why;
            EXPECT_TRUE(listAccessTables(dir / "e.mdb", why).empty()) << c.what;
            EXPECT_NE(why.find(c.error), std::string::npos) << c.what;
        } else {
            EXPECT_EQ(r.error, "") << c.what;
            EXPECT_EQ(r.rows, want) << c.what;
        }
    }
}

// Damage of every kind gives the program's message naming the file or the table, never a
// crash, a hang or a table read in part.
TEST(Access, DamagedFilesSaySo) {
    TestDir dir;
    const std::string good = writtenDatabase(dir, 9000, 40);
    const std::size_t tdef = 11;
    // The pages of the table: its data page (owned by the definition) and its long values.
    std::size_t data = 0, lval = 0;
    for (std::size_t n = tdef; n < good.size() / 4096; ++n) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(good.data() + n * 4096);
        if (p[0] == L::kDataPage && L::get32(p + 4) == tdef && !data) data = n;
        if (p[0] == L::kDataPage && std::memcmp(p + 4, "LVAL", 4) == 0 && !lval) lval = n;
    }
    ASSERT_TRUE(data && lval);
    auto edited = [&](auto change) {
        std::string db = good;
        change(db);
        return db;
    };
    const auto rowStart = [](std::string& db, std::size_t n, std::size_t row) {
        return L::get16(page(db, n) + 14 + 2 * row) & L::kRowOffsetMask;
    };
    struct Case {
        const char* what;
        std::string bytes;
        const char* error;
    } cases[] = {
        {"empty", "", "不是 Access 文件"},
        {"a line of text", "Standard Jet DB, said the text\n", "不是 Access 文件"},
        {"the header alone", good.substr(0, 4096), "不是 Access 文件"},
        {"cut after the definition", good.substr(0, (tdef + 1) * 4096), "表“t”：文件已损坏"},
        {"cut within the long values", good.substr(0, good.size() - 4096), "表“t”：文件已损坏"},
        {"a definition continued on itself",
         edited([&](std::string& db) { L::put32(page(db, tdef) + 4, tdef); }), "文件已损坏"},
        {"a row moved onto itself", edited([&](std::string& db) {
             auto* p = page(db, data);
             L::put16(p + 14, L::get16(p + 14) | L::kRowMoved);
             auto* row = p + rowStart(db, data, 0);
             row[0] = 0;
             row[1] = static_cast<std::uint8_t>(data);
             row[2] = static_cast<std::uint8_t>(data >> 8);
             row[3] = 0;
         }),
         "表“t”：文件已损坏"},
        {"a long-value chain back to itself", edited([&](std::string& db) {
             // Every link of a chain that points on points at itself instead.
             for (std::size_t n = lval; n < db.size() / 4096; ++n) {
                 auto* p = page(db, n);
                 if (std::memcmp(p + 4, "LVAL", 4) != 0) continue;
                 for (std::size_t r = 0; r < L::get16(p + 12); ++r) {
                     auto* row = p + rowStart(db, n, r);
                     std::uint32_t next = L::get32(row);
                     if (next && (next >> 8) < db.size() / 4096)
                         L::put32(row, L::rowPointer(static_cast<std::uint32_t>(n),
                                                     static_cast<std::uint32_t>(r)));
                 }
             }
         }),
         "表“t”：文件已损坏"},
        {"a row slot past the page",
         edited([&](std::string& db) { L::put16(page(db, data) + 14 + 2, 4095); }),
         "表“t”：文件已损坏"},
        {"a row count past the slots",
         edited([&](std::string& db) { L::put16(page(db, data) + 12, 2000); }),
         "表“t”：文件已损坏"},
        {"a usage map past the file", edited([&](std::string& db) {
             auto* map = page(db, tdef + 1);
             auto* row = map + rowStart(db, tdef + 1, 0);
             row[5 + 63] = 0x80;  // page 511
         }),
         "表“t”：文件已损坏"},
    };
    for (const auto& c : cases) {
        writeFile(dir / "d.mdb", c.bytes);
        auto r = readThrough(dir / "d.mdb", "t");
        EXPECT_NE(r.error.find(c.error), std::string::npos) << c.what << ": " << r.error;
    }
    for (const char* name : {"truncated.mdb", "notaccess.mdb"}) {
        std::string why;
        EXPECT_TRUE(listAccessTables(kData / name, why).empty()) << name;
        EXPECT_NE(why.find("已损坏"), std::string::npos) << name << ": " << why;
    }
    auto scribbled = readThrough(kData / "scribbled.mdb", "DateTest");
    EXPECT_NE(scribbled.error.find("已损坏"), std::string::npos) << scribbled.error;
}

}  // namespace
}  // namespace qx::isam::access
