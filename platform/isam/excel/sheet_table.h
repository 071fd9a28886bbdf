// What the Excel drivers share: a sheet read as rows of cells becomes a table with named,
// typed columns, as Jet's Excel driver makes it. The sheet is parsed once, on a thread of its
// own, while the engine stores the rows; the columns' types are known when the last row is.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/isam/driver.h"

namespace qx::isam::excel {

struct Cell {
    enum class Kind { Empty, Number, Date, Bool, Text, Error } kind = Kind::Empty;
    double number = 0;  // Number, Bool (0/1), Date (serial date)
    std::string text;   // Text (UTF-8)
};

// A sheet's cells, row after row from the first row of the sheet (missing rows come out empty).
class SheetCells {
  public:
    virtual ~SheetCells() = default;
    // Starts again at the first row.
    virtual bool rewind(std::string& error) = 0;
    // The next row (cells by column, possibly shorter than others); false at the end or on an
    // error (then `error` is set).
    virtual bool nextRow(std::vector<Cell>& row, std::string& error) = 0;
};

// Builds the table: with `header`, the first row names the columns. The table's column types are
// final only after its last row (RowSource::typesKnownAtEnd).
std::unique_ptr<RowSource> sheetTable(std::unique_ptr<SheetCells> cells, bool header,
                                      std::string& error);

// The sheet a table name stands for ("Sheet1$" → "Sheet1"); false for a name without the "$".
bool sheetOfTable(const std::string& table, std::string& sheet, std::string& error);

// Whether a clause asks for the first row as data (HDR=NO).
bool headerRow(const ExternalClause& db);

// The text a cell shows in a text column.
std::string cellText(const Cell& c);

}  // namespace qx::isam::excel
