// The structure grid of a module's first page: a table's fields with their type names and
// sizes, the check of the column names, the type cells' editing rule and the type change.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/controls.h"
#include "store/session.h"

namespace qx::store {

inline constexpr const char* kSpecialHeaderMessage =
    "你读入的表头中含有特殊符号，请先行处理后，再重新操作。";

// Fills the grid with the fields of `table` (a table that cannot be read shows no fields), then
// checks the names: when one holds a special character the message is shown, the data reset
// runs and false is returned.
bool showStructure(const Session& session, const std::string& table, ui::Grid& grid);

// "修改数据结构（按需）": one ALTER per grid row for the current table, then the structure again.
void changeTypes(const Session& session, ui::Grid& grid, const ui::ListBox& tables,
                 const ui::ListBox& files);

// The structure grid's before-edit rule: column 1 gets the type drop-down, columns 2 and 3 are
// refused, column 0 is refused and runs the module's column action for the row.
void typeCellRule(ui::Grid& grid, int row, int col, bool& cancel,
                  const std::function<void(int row)>& columnAction);

}  // namespace qx::store
