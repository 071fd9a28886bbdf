// The eleven Access type names the structure grid shows, in both directions: from a field's
// type code to its name, and from a name to the SQL keyword that changes a column to it.
#pragma once

#include <string>
#include <string_view>

namespace qx::store {

// The structure grid's type drop-down (the leading "|" makes the cell an editable combo).
inline constexpr std::string_view kTypeDropDown =
    "|文本|备注|长整型数字|整型数字|单精度型数字|双精度型数字|字节型数字|日期/时间|货币|是/否|OLE "
    "对象";

// Display name of an ADO field type code; any code not listed is "OLE 对象".
std::string typeName(int typeCode);
// SQL keyword for a display name, compared exactly; any other text is "Binary".
std::string sqlType(std::string_view displayName);

// True when the text holds one of the characters that column names written unbracketed into
// statements must not contain.
bool hasSpecialCharacter(std::string_view text);

}  // namespace qx::store
