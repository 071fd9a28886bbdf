// The Jet 4 writer: every type read back through the engine's Access reader, the checks that
// refuse values a column cannot hold, and the file left as it was when writing fails.
#include "platform/isam/access/jet4_writer.h"

#include <gtest/gtest.h>

#include "platform/isam/access/access_driver.h"
#include "platform/os/paths.h"
#include "unit/test_dir.h"
#include "unit/vector_rows.h"

namespace qx::isam::access {
namespace {

using jet::JetType;
using qx::testing::TestDir;
using qx::testing::VectorRows;

std::vector<std::vector<std::string>> readBack(const std::filesystem::path& file,
                                               const std::string& table) {
    AccessDriver driver;
    ExternalClause db;
    db.properties.emplace_back("DATABASE", os::utf8(file));
    std::string error;
    auto rows = driver.readTable(db, table, error);
    EXPECT_TRUE(rows) << error;
    std::vector<std::vector<std::string>> out;
    if (!rows) return out;
    std::vector<Value> row;
    while (rows->next(row)) {
        std::vector<std::string> cells;
        for (std::size_t i = 0; i < row.size(); ++i)
            cells.push_back(jet::formatValue(row[i], rows->columns()[i].type).value_or("NULL"));
        out.push_back(cells);
    }
    return out;
}

TEST(Jet4Writer, EveryTypeReadsBack) {
    TestDir dir;
    auto file = dir / "结果.mdb";
    std::string error;
    ASSERT_TRUE(writeEmptyDatabase(file, error)) << error;
    EXPECT_TRUE(listAccessTables(file).empty());
    std::string longMemo(20000, 'x');
    longMemo += "尾";
    VectorRows rows(
        {{"文本", JetType::Text, 10},
         {"备注", JetType::Memo, 255},
         {"字节", JetType::Byte, 255},
         {"整数", JetType::Short, 255},
         {"长整数", JetType::Long, 255},
         {"单精度", JetType::Single, 255},
         {"双精度", JetType::Double, 255},
         {"货币", JetType::Currency, 255},
         {"日期", JetType::DateTime, 255},
         {"是否", JetType::Bit, 255},
         {"二进制", JetType::Binary, 255}},
        {{Value::ofText("中文abc"), Value::ofText(longMemo), Value::ofInteger(255),
          Value::ofInteger(-32768), Value::ofInteger(2147483647), Value::ofReal(0.5),
          Value::ofReal(-1e-300), Value::ofReal(-12.3456), Value::ofText("1899-12-29 06:00:00"),
          Value::ofInteger(1), Value::ofBlob(std::string("\x00\x01\xFF", 3))},
         std::vector<Value>(11)});
    ASSERT_TRUE(addTable(file, "结果", rows, error)) << error;
    EXPECT_EQ(listAccessTables(file), std::vector<std::string>{"结果"});
    auto back = readBack(file, "结果");
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0][0], "中文abc");
    EXPECT_EQ(back[0][1], longMemo);
    EXPECT_EQ(back[0][2], "255");
    EXPECT_EQ(back[0][3], "-32768");
    EXPECT_EQ(back[0][4], "2147483647");
    EXPECT_EQ(back[0][5], "0.5");
    EXPECT_EQ(back[0][6], "-1e-300");
    EXPECT_EQ(back[0][7], "-12.3456");
    EXPECT_EQ(back[0][8], "1899-12-29 06:00:00");
    EXPECT_EQ(back[0][10], std::string("\x00\x01\xFF", 3));
    EXPECT_EQ(back[1][0], "NULL");
    EXPECT_EQ(back[1][1], "NULL");
    EXPECT_EQ(back[1][4], "NULL");
    // A database that holds a table takes no second one.
    VectorRows more({{"a", JetType::Long, 255}}, {});
    EXPECT_FALSE(addTable(file, "再一个", more, error));
    EXPECT_NE(error.find("不是新建的空 Access 数据库"), std::string::npos) << error;
}

TEST(Jet4Writer, ValuesAColumnCannotHoldLeaveTheFileAsItWas) {
    TestDir dir;
    auto file = dir / "r.mdb";
    std::string error;
    ASSERT_TRUE(writeEmptyDatabase(file, error)) << error;
    auto before = std::filesystem::file_size(file);
    struct Case {
        const char* name;
        JetType type;
        int size;
        Value value;
        const char* says;
    } cases[] = {
        {"t", JetType::Text, 3, Value::ofText("四个字符"), "超过了它的长度"},
        {"b", JetType::Byte, 255, Value::ofInteger(256), "超出了这一类型的范围"},
        {"s", JetType::Short, 255, Value::ofReal(40000), "超出了这一类型的范围"},
        {"n", JetType::Double, 255, Value::ofText("abc"), "不是数字"},
        {"d", JetType::DateTime, 255, Value::ofText("明天"), "不是日期"},
    };
    for (const auto& c : cases) {
        ColumnDef column;
        column.name = c.name;
        column.type = c.type;
        column.size = c.size;
        VectorRows rows({column}, {{Value::ofInteger(1)}, {c.value}});
        if (c.type == JetType::Text || c.type == JetType::DateTime)
            rows = VectorRows({column}, {{c.value}});
        error.clear();
        EXPECT_FALSE(addTable(file, "r", rows, error)) << c.name;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(std::filesystem::file_size(file), before);
        EXPECT_TRUE(listAccessTables(file).empty());
    }
    // A row wider than Access allows: twenty columns of 255 Chinese characters.
    std::string chinese;
    for (int i = 0; i < 255; ++i) chinese += "长";
    std::vector<ColumnDef> wide;
    std::vector<Value> values;
    for (int i = 0; i < 20; ++i) {
        wide.push_back({"c" + std::to_string(i), JetType::Text, 255});
        values.push_back(Value::ofText(chinese));
    }
    VectorRows tooWide(wide, {values});
    error.clear();
    EXPECT_FALSE(addTable(file, "r", tooWide, error));
    EXPECT_NE(error.find("超过了 Access 一行所能容纳"), std::string::npos) << error;
    EXPECT_EQ(std::filesystem::file_size(file), before);
}

}  // namespace
}  // namespace qx::isam::access
