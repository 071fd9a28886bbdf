// The advanced query, update and delete: "导出最后结果" of each module's "第三步".
#pragma once

#include <string>
#include <vector>

#include "exchange/import.h"
#include "exchange/save_frame.h"
#include "platform/ui/controls.h"

namespace qx::advanced {

inline constexpr const char* kNothingRead = "还没有读入数据，请先在第一步中读入数据";
inline constexpr const char* kSavedDone = "保存完毕！";
inline constexpr const char* kUpdateDone = "操作完毕！";

enum class AdvancedKind { Query, Update, Delete };

// A module's controls the operations read.
struct AdvancedPage {
    exchange::ImportPage& import;
    const ui::Grid& condition;
    const ui::CheckBox& skip;
    const ui::ListBox* results;  // 高级查询
    const ui::Grid* update;      // 高级更新
    const ui::Grid* target;      // 高级删除
};

// "导出最后结果": the save dialog (the xlsx or classic filter), then the module's operation.
void exportLastResult(const store::Session& session, AdvancedKind kind, AdvancedPage& page);

// The from part of the query: the tables left-joined on their row numbers.
std::string queryFromPart(const std::vector<std::string>& tables);
// The set part of the update: " set " and the assignments of the update grid.
std::string setPart(const ui::Grid& update);
// Whether a condition row refers, in its value cell, to a table other than its own.
bool conditionsSpanTables(const ui::Grid& condition, const std::vector<std::string>& tables);

void runAdvancedQuery(const store::Session& session, AdvancedPage& page,
                      const exchange::SaveTarget& target);
void runAdvancedUpdate(const store::Session& session, AdvancedPage& page,
                       const exchange::SaveTarget& target);
void runAdvancedDelete(const store::Session& session, AdvancedPage& page,
                       const exchange::SaveTarget& target);

// The update grid's before-edit rule and its "增加一列更新内容"; the target grid's rule.
void beforeEditAssignment(ui::Grid& update, const ui::ListBox& tables, int row, int col,
                          bool& cancel);
void addAssignmentRow(ui::Grid& update);
void beforeEditTarget(ui::Grid& target, const ui::ListBox& tables, int row, int col);

}  // namespace qx::advanced
