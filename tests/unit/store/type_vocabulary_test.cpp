// The type vocabulary in both directions and the special-character check.
#include "store/type_vocabulary.h"

#include <gtest/gtest.h>

#include "platform/jet/types.h"

namespace qx::store {
namespace {

TEST(TypeVocabulary, CodeToName) {
    struct Case {
        int code;
        const char* name;
    } cases[] = {
        {129, "文本"},         {200, "文本"},        {202, "文本"},       {130, "文本"},
        {8, "文本"},           {201, "备注"},        {203, "备注"},       {20, "长整型数字"},
        {21, "长整型数字"},    {3, "长整型数字"},    {19, "长整型数字"},  {2, "整型数字"},
        {18, "整型数字"},      {4, "单精度型数字"},  {5, "双精度型数字"}, {14, "双精度型数字"},
        {131, "双精度型数字"}, {16, "双精度型数字"}, {17, "字节型数字"},  {7, "日期/时间"},
        {135, "日期/时间"},    {6, "货币"},          {11, "是/否"},       {72, "OLE 对象"},
        {205, "OLE 对象"},     {128, "OLE 对象"},    {0, "OLE 对象"},     {-1, "OLE 对象"},
    };
    for (const auto& c : cases) EXPECT_EQ(typeName(c.code), c.name) << c.code;
}

TEST(TypeVocabulary, NameToKeyword) {
    struct Case {
        const char* name;
        const char* keyword;
    } cases[] = {
        {"文本", "varchar"},        {"备注", "text"},
        {"长整型数字", "Long"},     {"整型数字", "Short"},
        {"单精度型数字", "Single"}, {"双精度型数字", "Double"},
        {"字节型数字", "Byte"},     {"日期/时间", "Time"},
        {"货币", "Currency"},       {"是/否", "bit"},
        {"OLE 对象", "Binary"},     {"整数", "Binary"},
        {"文本 ", "Binary"},        {"", "Binary"},
    };
    for (const auto& c : cases) EXPECT_EQ(sqlType(c.name), c.keyword) << c.name;
}

TEST(TypeVocabulary, EngineTypesRoundTripThroughTheVocabulary) {
    // What the engine reports for a column changed to a name is shown as that name again.
    const char* names[] = {"文本",         "备注",         "长整型数字", "整型数字",
                           "单精度型数字", "双精度型数字", "字节型数字", "日期/时间",
                           "货币",         "是/否",        "OLE 对象"};
    for (const char* name : names) {
        auto def = jet::typeFromKeyword(sqlType(name), std::nullopt);
        ASSERT_TRUE(def) << name;
        EXPECT_EQ(typeName(jet::adoTypeCode(def->type)), name);
    }
    EXPECT_EQ(kTypeDropDown.substr(0, 7), "|文本");
}

TEST(TypeVocabulary, SpecialCharacters) {
    for (const char* bad : {"单价(元)", "a-b", "a+b", "x'y", "k\"", "a/b", "a\\b", "a|b", "50%",
                            "#",        "a@b", "!",   "~",   "`",   "^",   "&",    "*",   "$",
                            "=",        "{",   "}",   ":",   ";",   "<",   ">",    "?",   ")"})
        EXPECT_TRUE(hasSpecialCharacter(bad)) << bad;
    for (const char* good :
         {"a_b", "a.b", "a b", "a,b", "[a]", "单价（元）", "金额：", "", "客户名称"})
        EXPECT_FALSE(hasSpecialCharacter(good)) << good;
}

}  // namespace
}  // namespace qx::store
