// The condition builder of each advanced module's "第二步": a grid of condition rows built from
// drop-down lists, the help text of each operator, and the WHERE text made from the rows.
#pragma once

#include <string>

#include "exchange/import.h"
#include "platform/ui/controls.h"

namespace qx::advanced {

inline constexpr const char* kJoinerList = "或者|并且";
inline constexpr const char* kOperatorList =
    "|>|<|=|<>|>=|<=|like|not like|Is Null|Is Not Null|In|not in|Between|我要自己输入条件";
inline constexpr const char* kFreeCondition = "我要自己输入条件";

// "|a|b…" from the items of a list: an editable drop-down of them.
std::string editableList(const ui::ListBox& items);

// The grid's before-edit event: the drop-down of the cell, a refusal, or the operator's help.
// Choosing a column moves the status lists and the structure grid to the row's table.
void beforeEditCondition(const store::Session& session, exchange::ImportPage& page, ui::Grid& grid,
                         ui::EditBox& help, int row, int col, bool& cancel);
// "[T]![C]" of the status group's selected table and column into the grid's current cell.
void insertColumnReference(const exchange::ImportPage& page, ui::Grid& grid);
void addConditionRow(ui::Grid& grid);
void removeConditionRow(ui::Grid& grid);

// "或者" → "or", "并且" → "and", anything else → " ".
std::string joinerWord(const std::string& joiner);
std::string buildConditionText(const ui::Grid& grid);
// " where (…)" unless the skip box is ticked.
std::string wherePart(const ui::Grid& grid, const ui::CheckBox& skip);

// The help text of an operator ("" for text that is none of them).
std::string operatorHelp(const std::string& op);

}  // namespace qx::advanced
