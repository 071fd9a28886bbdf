// The interface every file driver (Excel, dBASE, Text, Access) gives the engine: list the tables
// of a file, stream a table's rows out, write a table from a stream of rows.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/translator.h"
#include "platform/jet/types.h"

namespace qx::isam {

using jet::ColumnDef;
using jet::ExternalClause;
using jet::Value;

// Rows handed out one at a time; columns are known before the first row.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual const std::vector<ColumnDef>& columns() const = 0;
    // Fills `row` (one value per column) and returns true, or returns false at the end or on an
    // error, which `error()` then describes.
    virtual bool next(std::vector<Value>& row) = 0;
    virtual std::string error() const { return {}; }
    // True for sources that learn their column types from the rows themselves: their values
    // come in their natural kinds, columns may be added while rows come (columns() grows), and
    // columns() holds the final types once next() has returned false.
    virtual bool typesKnownAtEnd() const { return false; }
    // For such sources: the text columns whose rows also held numbers, dates or booleans; those
    // values are to be stored as text.
    virtual std::vector<bool> mixedColumns() const { return {}; }
    // The columns as the rows showed them, once next() has returned false: a source may learn
    // only from its rows that a Text column holds longer texts (Memo).
    virtual std::vector<ColumnDef> columnsAtEnd() const { return columns(); }
    // How much of the source has been read, 0..1, for sources that know; -1 otherwise.
    virtual double fractionRead() const { return -1; }
};

struct TableName {
    std::string name;
    std::string type;  // "TABLE", "SYSTEM TABLE", "VIEW", ... as a schema listing names it
};

class Driver {
  public:
    virtual ~Driver() = default;
    // The clause driver names this driver answers to, lower-cased ("excel 8.0", "" for Access).
    virtual std::vector<std::string> names() const = 0;
    virtual bool listTables(const ExternalClause& db, std::vector<TableName>& out,
                            std::string& error) = 0;
    virtual std::unique_ptr<RowSource> readTable(const ExternalClause& db, const std::string& table,
                                                 std::string& error) = 0;
    virtual bool writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                            std::string& error) = 0;
};

// The drivers an engine connection may use, looked up by the clause's driver name.
class DriverRegistry {
  public:
    void add(std::shared_ptr<Driver> driver);
    Driver* find(std::string_view clauseDriver) const;

  private:
    std::vector<std::shared_ptr<Driver>> drivers_;
};

// The registry with every driver built into the program.
const DriverRegistry& builtinDrivers();

}  // namespace qx::isam
