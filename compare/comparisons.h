// The two-table operations of "两表操作": rows of one table absent from the other, common rows
// and similar rows, each built in the working database and saved at once.
#pragma once

#include <string>

#include "platform/ui/controls.h"
#include "store/session.h"

namespace qx::compare {

inline constexpr const char* kNoResultColumns = "结果表列不能为空！";
inline constexpr const char* kNoCompareColumns = "还没有选择表一或表二的对比列";
inline constexpr const char* kNoColumnsOfTableOne = "用此方法时，结果表中不能含表一的数据列";
inline constexpr const char* kNoColumnsOfTableTwo = "用此方法时，结果表中不能含表二的数据列";
inline constexpr const char* kCompared = "对比完毕，保存完毕！";
inline constexpr const char* kSimilarDone = "操作完毕，保存完毕！";

enum class Comparison { TwoWithoutOne, OneWithoutTwo, Common, Similar };

// "[T].C,[T].C…" from a list of column references.
std::string buildSelectList(const ui::ListBox& references);
// Drops `table` from the working database when it is there; the flavour is that of the file
// selected in `files`.
void dropResultTable(const store::Session& session, const std::string& table,
                     const ui::ListBox& files);
// Checks the two compare references and indexes their columns (idx1, idx2).
void prepareComparison(const store::Session& session, const std::string& ref1,
                       const std::string& ref2);

// The handler of the four buttons: the checks, the indexes, then the operation.
void runComparison(const store::Session& session, Comparison which, ui::ListBox& results,
                   const ui::Grid& compare, const ui::ListBox& files);

void absentRows(const store::Session& session, bool tableTwoKept, ui::ListBox& results,
                const std::string& ref1, const std::string& ref2, const ui::ListBox& files);
void commonRows(const store::Session& session, const ui::ListBox& results, const std::string& ref1,
                const std::string& ref2, const ui::ListBox& files);
void similarRows(const store::Session& session, ui::ListBox& results, const std::string& ref1,
                 const std::string& ref2, const ui::ListBox& files);

}  // namespace qx::compare
