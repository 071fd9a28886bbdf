// Reading a source table into the working database from a module's first page: the open button,
// the option controls a kind needs, the sheet and table lists, the read button and the text
// import with its schema.ini.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "store/session.h"

namespace qx::exchange {

inline constexpr const char* kReadFailed = "读入失败！";
inline constexpr const char* kNotASourceKind =
    "不能打开该文件：只能读入 dBASE（*.dbf）、Excel（*.xls、*.xlsx）、CSV（*.csv）、"
    "文本（*.txt）和 Access（*.mdb）文件";
// After a read whose table is in, when the working database could not be compacted.
inline constexpr const char* kCompactFailed = "表已读入，但工作数据库未能压缩：";
inline constexpr const char* kNoTableChosen = "还没有在下拉菜单中选择表名";
inline constexpr const char* kNoDelimiter = "您还未在右上角编辑框中设置自定义分隔符符号";
inline constexpr const char* kSchemaIniFailed =
    "写出临时配置文件失败！请检查是否同目录下有schema.ini文件，如果有，请删除后重新清除数据，"
    "再进行操作";

// The import controls of one page, with the status group's lists of the same module.
struct ImportPage {
    ui::Button& open;
    ui::Button& read;
    ui::CheckBox& header;
    ui::Label& tableLabel;
    ui::ComboBox& table;
    ui::Label& countLabel;
    ui::EditBox& count;
    ui::Label& delimiterLabel;
    ui::EditBox& delimiter;
    ui::ListBox& files;    // "已打开的文件" beside the buttons
    ui::ListBox& mirror;   // "已打开的文件" of the status group
    ui::ListBox& tables;   // "文件对应的临时表名"
    ui::ListBox& columns;  // "对应的列名"
    ui::Grid& structure;
};

// The open button: the dialog, the read button, the narrowed filter, the kind's options and
// the file's sheets or tables.
void openSourceFile(const store::Session& session, ImportPage& page);
// Shows the option controls the kind needs and hides the others.
void describeSourceKind(const std::string& kind, ImportPage& page);
// The sheets of a workbook as the drop-down offers them (a sheet without its "$").
// The sheets of a workbook into `out`; `why`, when given, says why none could be listed.
void listExcelSheets(const store::Session& session, const std::string& path, ui::ComboBox& out,
                     std::string* why = nullptr);
// The user tables of an Access file.
std::vector<std::string> listAccessTables(const std::string& path);
inline constexpr const char* kNoTables = "该文件中没有可读入的表";
// The read button. `headerRow`: the header box of the page the user is on is ticked.
void readSourceTable(const store::Session& session, ImportPage& page, bool headerRow);
// The import statement for xls, xlsx, mdb and dbf sources; false when it was refused.
bool importTable(const store::Session& session, const std::string& table,
                 const ui::ComboBox& chooser, const std::string& kind, bool headerRow);
// The import of a csv or txt source as the column count and delimiter describe it.
bool importTextTable(const store::Session& session, const std::string& table,
                     const std::string& count, const ui::EditBox& delimiter);
// Writes the section for `fileName` into dir's schema.ini, keeping every other section and line
// of a schema.ini already there. False (with the message shown) when it cannot be written.
bool writeSchemaIni(const store::Session& session, const std::string& fileName,
                    const std::string& count, const std::string& directory,
                    const std::string& extension, const ui::EditBox& delimiter);
// The column names of a working table into a list.
void listTableColumns(const store::Session& session, const std::string& table, ui::ListBox& out);

// The schema.ini text of one section, lines ended by CR LF.
std::string schemaIniSection(const std::string& fileName, const std::string& count,
                             const std::string& extension, const std::string& delimiter);
// `existing` (a whole schema.ini, any encoding) with the section for `fileName` replaced by
// `section` (UTF-8), or the section appended when there is none. Other lines keep their bytes.
std::string mergeSchemaIni(const std::string& existing, const std::string& fileName,
                           const std::string& section);

}  // namespace qx::exchange
