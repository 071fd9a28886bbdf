// The condition builder.
#include "advanced/condition_builder.h"

#include "exchange/columns.h"

namespace qx::advanced {

namespace {

struct Help {
    const char* op;
    const char* text;
};

constexpr Help kHelp[] = {
    {">",
     "> 表示大于 使用举例（输入时，不必包含>符号） "
     "1.表示大于某表中某列的数据，请直接双击对应的列名即"
     "可自动生成    2.表示大于288这个数值 >288     3.表示大于某文本的ASCII码值  > '文本'     "
     "4.表示发生在2009年6月8日之后的数据  > #6/8/2009#"},
    {"<",
     "< 表示小于 使用举例（输入时，不必包含<符号） "
     "1.表示小于某表中某列的数据，请直接双击对应的列名即"
     "可自动生成    2.表示小于288这个数值 <288     3.表示小于某文本的ASCII码值  < '文本'     "
     "4.表示发生在2009年6月8日之前的数据  < #6/8/2009#"},
    {"=",
     "= 表示等于 使用举例（输入时，不必包含=符号） "
     "1.表示等于某表中某列的数据，请直接双击对应的列名即"
     "可自动生成    2.表示等于288这个数值 =288     3.表示等于某文本  = '文本'     "
     "4.表示发生在2009年6月8日的数据  = #6/8/2009#"},
    {"<>",
     "<> 表示不等于 使用举例（输入时，不必包含<>符号） "
     "1.表示不等于某表中某列的数据，请直接双击对应的"
     "列名即可自动生成    2.表示不等于288这个数值 <>288     3.表示不等于某文本  <> '文本'     "
     "4.表示没发生在2009年6月8日的数据  <> #6/8/2009#"},
    {">=",
     ">= 表示大于等于 使用举例（输入时，不必包含>=符号） "
     "1.表示大于等于某表中某列的数据，请直接双击对"
     "应的列名即可自动生成    2.表示大于等于288这个数值 >=288     3.表示大于等于某文本的ASCII码值  "
     ">= '文本'     4.表示发生在2009年6月8日之后（含本数）的数据  >= #6/8/2009#"},
    {"<=",
     "<= 表示小于等于 使用举例（输入时，不必包含<=符号） "
     "1.表示小于等于某表中某列的数据，请直接双击对"
     "应的列名即可自动生成    2.表示小于等于288这个数值 <=288     3.表示小于等于某文本的ASCII码值  "
     "<= '文本'     4.表示发生在2009年6月8日之前（含本数）的数据  <= #6/8/2009#"},
    {"like",
     "like 表示匹配、类似，搭配通配符一并使用。如 like '%文本%'   like 'B_ll'   通配符参考：% "
     "匹配任意多个字符（也可以没有字符） 如 like '%文本%' 可以找到含有“文本”的数据    _ "
     "匹配任意单个字符 如 like 'B_ll' 可以找到Ball、Bell、Bill等    [ ] "
     "匹配方括号中的任意单个字符 如 like 'B[ae]ll' 可以找到Ball、Bell，但找不到Bill    ! "
     "与[ ]一起使用，匹配不在方括号中的任意单个字符 如 like 'b[!ae]ll' 可以找到bill、bull，但找不到"
     "ball、bell    - 与[ ]一起使用，匹配某个范围中的任意单个字符 如 like 'b[a-c]d' "
     "可以找到bad、bbd、bcd    # 匹配任意单个数字字符 如 like 1#3 可以找到103、113、123等"},
    {"not like", "not like 表示不匹配、不类似，与like 意思相反。具体请参见like用法"},
    {"Is Null", "Is Null 表示没有值，此时不需要输入任何字符"},
    {"Is Not Null", "Is Not Null 表示有值，和 Is Null意思相反，此时不需要输入任何字符"},
    {"In",
     "In 表示在列表中所存在的值 使用举例（输入时，不必包含In符号） 1.In(‘法国’, ‘中国’, ‘德国’, "
     "‘英国’)     2.In(#2/1/2006#, #3/1/2006#, #4/1/2006#) 表示发生在这三天中的数据     3.In "
     "(select [2_1].F1 from 2_1) 表示在表二第一列中有的数据)"},
    {"not in",
     "not in 表示在列表中所不存在的值 使用举例（输入时，不必包含not in符号） 1.not in(‘法国’, "
     "‘中国’, ‘德国’, ‘英国’)     2.not in(#2/1/2006#, #3/1/2006#, #4/1/2006#) "
     "表示没有发生在这三天中的数据     3.not in (select [2_1].F1 from 2_1) "
     "表示在表二第一列中没有的数据)     "
     "注意：子查询选出的数据中不能含有空值，否则将选不出任何数据。"
     "如有空值，请先选出 is not null 的数据，或者采用自己输入条件，使用 not exists "
     "，这在选择了自己输入条件以后，有一个例子"},
    {"Between",
     "Between 表示在某个范围之内的值 使用举例（输入时，不必包含Between符号） 1.Between 50 and 100 "
     "返回介于50到100之间的数值（含本数）"},
    {"我要自己输入条件",
     "如果您熟悉jet-"
     "sql语句，请在此自行输入where之中的条件（输入时，不必包含where符号）。注意：可参考"
     "当前数据状态中的表名称，如 例1.输入 [1_1].F1=[2_1].F1 and [1_1].F1=[3_1].F2 "
     "表示表一第一列等于表二第一列，并且表一第一列等于表三第二列的数据     例2.输入 not exists "
     "(Select * From 2_1 Where [1_1].F1 = [2_1].F1) "
     "表示表一第一列中有、而表二第一列中没有的数据。与 not in 不同，表二第一列中含有空值时，not "
     "exists 仍能正确选出数据     注意数据类型的匹配"},
};

}  // namespace

std::string editableList(const ui::ListBox& items) {
    std::string out = "|";
    for (int i = 0; i < items.count(); ++i) out += (i ? "|" : "") + items.item(i);
    return out;
}

void beforeEditCondition(const store::Session& session, exchange::ImportPage& page, ui::Grid& grid,
                         ui::EditBox& help, int row, int col, bool& cancel) {
    switch (col) {
        case 0:
            if (row == 1)
                cancel = true;
            else
                grid.setColComboList(0, kJoinerList);
            break;
        case 1:
            grid.setColComboList(1, editableList(page.tables));
            break;
        case 2: {
            std::string table = grid.text(row, 1);
            for (int i = 0; i < page.tables.count(); ++i)
                if (page.tables.item(i) == table) {
                    page.mirror.setSelectedIndex(i);
                    exchange::switchCurrentTable(session, page, page.mirror);
                    break;
                }
            grid.setColComboList(2, editableList(page.columns));
            break;
        }
        case 3:
            grid.setColComboList(3, kOperatorList);
            break;
        case 4:
            help.setText(operatorHelp(grid.text(row, 3)));
            break;
        default:
            break;
    }
}

void insertColumnReference(const exchange::ImportPage& page, ui::Grid& grid) {
    std::string column = page.columns.selectedText();
    if (column.empty()) return;
    exchange::writeCurrentCell(grid, "[" + page.tables.selectedText() + "]![" + column + "]");
}

void addConditionRow(ui::Grid& grid) {
    grid.setRows(grid.rows() + 1);
}

void removeConditionRow(ui::Grid& grid) {
    // Down to the header alone; with no condition row left there is nothing to remove.
    if (grid.rows() > 1) grid.setRows(grid.rows() - 1);
}

std::string joinerWord(const std::string& joiner) {
    if (joiner == "或者") return "or";
    if (joiner == "并且") return "and";
    return " ";
}

std::string buildConditionText(const ui::Grid& grid) {
    std::string out;
    for (int r = 1; r < grid.rows(); ++r) {
        std::string j = joinerWord(grid.text(r, 0));
        if (grid.text(r, 3) == kFreeCondition)
            out += j + " " + grid.text(r, 4) + " ";
        else
            out += j + " [" + grid.text(r, 1) + "]." + grid.text(r, 2) + " " + grid.text(r, 3) +
                   " " + grid.text(r, 4) + " ";
    }
    return out;
}

std::string wherePart(const ui::Grid& grid, const ui::CheckBox& skip) {
    return skip.isChecked() ? std::string() : " where (" + buildConditionText(grid) + ")";
}

std::string operatorHelp(const std::string& op) {
    for (const auto& h : kHelp)
        if (op == h.op) return h.text;
    return {};
}

}  // namespace qx::advanced
