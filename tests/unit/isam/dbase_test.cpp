// dBASE code pages and what the reader refuses.
#include <gtest/gtest.h>

#include "platform/isam/dbase/dbase_file.h"
#include "unit/test_dir.h"

namespace qx::isam::dbase {
namespace {

using qx::testing::TestDir;
using qx::testing::writeFile;

TEST(Dbase, CodePagesFromTheLanguageDriverByteAndCpgFiles) {
    EXPECT_EQ(charsetOfLanguageDriver(0x4D), "GB18030");
    EXPECT_EQ(charsetOfLanguageDriver(0x57), "CP1252");
    EXPECT_EQ(charsetOfLanguageDriver(0x00), "");
    EXPECT_EQ(charsetOfCpg("UTF-8\r\n"), "UTF-8");
    EXPECT_EQ(charsetOfCpg(" 936 "), "GB18030");
    EXPECT_EQ(charsetOfCpg("gbk"), "GB18030");
    EXPECT_EQ(charsetOfCpg("1251"), "CP1251");
    EXPECT_EQ(charsetOfCpg(""), "");
}

// A one-field table (C, width 4) with the given language-driver byte and record bytes.
std::string table(unsigned char ldid, const std::string& record) {
    std::string h(32, '\0');
    h[0] = 0x03;
    h[4] = 1;
    h[8] = 65;
    h[10] = 5;
    h[29] = static_cast<char>(ldid);
    std::string field(32, '\0');
    field.replace(0, 4, "NAME");
    field[11] = 'C';
    field[16] = 4;
    return h + field + "\x0D" + " " + record + "\x1A";
}

TEST(Dbase, DecodesByCodePageOrByContent) {
    TestDir dir;
    struct Case {
        unsigned char ldid;
        const char* cpg;
        std::string record;
        const char* text;
    } cases[] = {
        {0x4D, nullptr, "\xD5\xC5\xC8\xFD", "张三"},
        {0x00, nullptr, "\xD5\xC5\xC8\xFD", "张三"},  // not UTF-8: GB18030
        {0x00, nullptr, "\xC3\xA9t ", "ét"},          // valid UTF-8
        {0x57, nullptr, "caf\xE9", "café"},
        {0x4D, "UTF-8", "\xC3\xA9t ", "ét"},  // the .cpg wins
    };
    for (const auto& c : cases) {
        writeFile(dir / "t.dbf", table(c.ldid, c.record));
        std::filesystem::remove(dir / "t.cpg");
        if (c.cpg) writeFile(dir / "t.cpg", c.cpg);
        std::string error;
        auto reader = DbfReader::open(dir / "t.dbf", error);
        ASSERT_TRUE(reader) << error;
        std::vector<jet::Value> row;
        ASSERT_TRUE(reader->next(row));
        EXPECT_EQ(row[0].text, c.text);
        EXPECT_FALSE(reader->next(row));
    }
}

TEST(Dbase, SkipsDeletedRecordsAndRefusesUnknownFieldTypes) {
    TestDir dir;
    std::string t = table(0x00, "abcd");
    t[4] = 2;  // two records, the first deleted
    t.insert(t.size() - 1, " efgh");
    t[65] = '*';
    writeFile(dir / "t.dbf", t);
    std::string error;
    auto reader = DbfReader::open(dir / "t.dbf", error);
    ASSERT_TRUE(reader) << error;
    std::vector<jet::Value> row;
    ASSERT_TRUE(reader->next(row));
    EXPECT_EQ(row[0].text, "efgh");
    EXPECT_FALSE(reader->next(row));
    EXPECT_TRUE(reader->error().empty());

    std::string odd = table(0x00, "abcd");
    odd[32 + 11] = 'Q';
    writeFile(dir / "odd.dbf", odd);
    EXPECT_FALSE(DbfReader::open(dir / "odd.dbf", error));
    EXPECT_NE(error.find("字段类型"), std::string::npos);

    std::string memo = table(0x00, "   1");
    memo[32 + 11] = 'M';
    writeFile(dir / "memo.dbf", memo);
    EXPECT_FALSE(DbfReader::open(dir / "memo.dbf", error));
    EXPECT_NE(error.find("备注文件"), std::string::npos);
}

}  // namespace
}  // namespace qx::isam::dbase
