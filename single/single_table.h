// The single-table operations of "单表操作": merge identical rows with a count or a sum,
// distinct rows, de-duplication by a column, and the length and repeat-count filters.
#pragma once

#include <string>

#include "platform/ui/controls.h"
#include "store/session.h"

namespace qx::single {

inline constexpr const char* kNoMergeColumn = "还没有选择要合并相同行的列";
inline constexpr const char* kNoSumColumn = "还没有选择要进行值相加的列";
inline constexpr const char* kSpecialSetting = "你前面的设置中含有特殊符号，请先行处理。";
inline constexpr const char* kSumTypeMessage =
    "指定相加列的数据类型必须为数字型或者日期型，请先在初始化界面修改该列数据类型!\r\n\r\n"
    "若无法修改，说明该列中必定含有非数字/日期型数据（表头也算）\r\n\r\n"
    "若第一行表头为文本，可在初始化读入数据时，勾选“第一行做表头”来解决该问题";
inline constexpr const char* kNoChosenColumn = "还没有选择指定列";
inline constexpr const char* kSaved = "操作完毕，保存成功！";
inline constexpr const char* kDeleted = "删除完毕，保存成功！";

// The quick module's controls the operations read: the first page's opened files (whose
// selection decides the flavour of an old result's drop), the status group's lists (the
// current table), the structure grid (the column types), and the read button (the guard).
struct SingleTablePage {
    const ui::ListBox& files;
    const ui::ListBox& statusFiles;
    const ui::ListBox& tables;
    const ui::Grid& structure;
    const ui::Button& read;
};

// The dialogs' column list: the columns of the table of the status group's selected file.
void fillDialogColumns(const store::Session& session, const SingleTablePage& page,
                       ui::ListBox& out);

// The "确定" of each dialog: true when the dialog is to close (the operation ran, or stopped at
// the save dialog); false with a message when the choices are incomplete.
bool confirmMergeCount(const store::Session& session, const SingleTablePage& page,
                       const ui::ListBox& column);
bool confirmMergeSum(const store::Session& session, const SingleTablePage& page,
                     const ui::ListBox& group, const ui::ListBox& summed);
bool confirmDedupByColumn(const store::Session& session, const SingleTablePage& page,
                          const ui::ListBox& column);
bool confirmLengthFilter(const store::Session& session, const SingleTablePage& page,
                         const ui::ListBox& column, const ui::ComboBox& op,
                         const ui::EditBox& number);
bool confirmRepeatFilter(const store::Session& session, const SingleTablePage& page,
                         const ui::ListBox& column, const ui::ComboBox& op,
                         const ui::EditBox& number);

// "删除完全重复记录，只保留一条": the page guard, then the distinct rows straight to the file.
void removeFullDuplicates(const store::Session& session, const SingleTablePage& page);

// A column name for the numbering of de-duplication that none of `columns` has.
std::string numberingColumn(const std::vector<std::string>& columns);

}  // namespace qx::single
