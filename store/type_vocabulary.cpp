// The type vocabulary of the structure grid.
#include "store/type_vocabulary.h"

#include <array>
#include <initializer_list>

namespace qx::store {

namespace {

struct Entry {
    const char* name;
    const char* keyword;
    std::initializer_list<int> codes;
};

const std::array<Entry, 10> kVocabulary{{
    {"文本", "varchar", {129, 200, 202, 130, 8}},
    {"备注", "text", {201, 203}},
    {"长整型数字", "Long", {20, 21, 3, 19}},
    {"整型数字", "Short", {2, 18}},
    {"单精度型数字", "Single", {4}},
    {"双精度型数字", "Double", {5, 14, 131, 16}},
    {"字节型数字", "Byte", {17}},
    {"日期/时间", "Time", {7, 135}},
    {"货币", "Currency", {6}},
    {"是/否", "bit", {11}},
}};

}  // namespace

std::string typeName(int typeCode) {
    for (const auto& e : kVocabulary)
        for (int c : e.codes)
            if (c == typeCode) return e.name;
    return "OLE 对象";
}

std::string sqlType(std::string_view displayName) {
    for (const auto& e : kVocabulary)
        if (displayName == e.name) return e.keyword;
    return "Binary";
}

bool hasSpecialCharacter(std::string_view text) {
    static constexpr std::string_view kSpecial = "()*&^%$#@!~`-+=|\\{}:;'\"<>?/";
    return text.find_first_of(kSpecial) != std::string_view::npos;
}

}  // namespace qx::store
