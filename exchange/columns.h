// The column workflow of a module's first page: the current table and its switching, the
// result-column list, column references, and the guard of the single-table operations.
#pragma once

#include <string>
#include <string_view>

#include "exchange/import.h"

namespace qx::exchange {

inline constexpr const char* kNotInitialised = "还没有完成初始化";

// The table part of a column reference (before its last ".") and the column part (after it).
std::string tablePart(std::string_view reference);
std::string columnPart(std::string_view reference);

// The working table of the file selected in the first page's list ("" when there is none).
std::string currentTable(const ImportPage& page);

// A double-click on one of the three parallel lists: its entry becomes the current table.
void switchCurrentTable(const store::Session& session, ImportPage& page,
                        const ui::ListBox& clicked);

// "全部添加": a reference for every entry of the column-name list, in order.
void addAllColumns(ImportPage& page, ui::ListBox& results);

// A reference to a column of the current table appended to the result-column list.
void appendResultColumn(const ImportPage& page, const std::string& column, ui::ListBox& results);

// Writes `text` into the grid's current cell (nothing when it is the header row).
void writeCurrentCell(ui::Grid& grid, const std::string& text);

// The single-table operations proceed only when the quick module's read button is disabled
// and a table has been read (`tables` holds the working tables read in the module).
bool pageGuard(const store::Session& session, const ui::Button& quickRead,
               const ui::ListBox& tables);

}  // namespace qx::exchange
