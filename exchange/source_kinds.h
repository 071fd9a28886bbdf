// The six source kinds, the pieces of a path, the file dialogs' filters and the external-database
// clauses through which a source is read into the working database.
#pragma once

#include <string>
#include <string_view>

namespace qx::exchange {

// Filters in the dialogs' "label|pattern|…" form.
inline constexpr const char* kFullFilter =
    "dBASE III (*.dbf)|*.dbf|Excel2003及以下(*.xls)|*.xls|Excel2007(*.xlsx)|*.xlsx|"
    "CSV文档(逗号分隔符)(*.csv)|*.csv|文本文档(自定义分隔符)(*.txt)|*.txt|access文件(*.mdb)|*.mdb";
inline constexpr const char* kClassicFilter =
    "dBASE III (*.dbf)|*.dbf|Excel2003及以下(*.xls)|*.xls|CSV文档(逗号分隔符)(*.csv)|*.csv|"
    "文本文档(自定义分隔符)(*.txt)|*.txt|access文件(*.mdb)|*.mdb";
inline constexpr const char* kXlsxFilter = "Excel2007(*.xlsx)|*.xlsx";
inline constexpr const char* kResultFilter =
    "dBASE III (*.dbf)|*.dbf|Excel文档(*.xls)|*.xls|CSV文档(逗号分隔符)(*.csv)|*.csv|"
    "文本文档(逗号分隔符)(*.txt)|*.txt|access文件(*.mdb)|*.mdb|";
inline constexpr const char* kResultXlsxFilter = "Excel2007(*.xlsx)|*.xlsx|";

// One of dbf, xls, xlsx, csv, txt, mdb.
bool isSourceKind(std::string_view kind);
// A kind whose files hold several tables, picked in the chooser: xls, xlsx, mdb.
bool hasTableChooser(std::string_view kind);
// Whether a dialog with `filter` ("label|*.ext|…") offers the file `path`, by its extension.
bool filterOffers(std::string_view filter, std::string_view path);

// The text after the last "." lower-cased (the whole path when it has none).
std::string extensionOf(std::string_view path);
// Up to and including the last directory separator ("" when there is none).
std::string directoryOf(std::string_view path);
// The same without the trailing separator.
std::string directoryWithoutSeparator(std::string_view path);
// After the last separator, extension included.
std::string fileNameOf(std::string_view path);
// Between the last separator and the last ".".
std::string baseNameOf(std::string_view path);

// " FROM …" of the statement that reads a source of the kind `extension`. `name` is the sheet
// (without "$") or Access table as the drop-down shows it; `headerRow` picks the Excel form in
// which the first row names the columns.
std::string sourceClause(std::string_view extension, std::string_view path, std::string_view name,
                         bool headerRow);

}  // namespace qx::exchange
