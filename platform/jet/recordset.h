// A record set in the manner of ADO: opened on a table name or a SELECT, it gives the fields with
// their type codes and sizes and walks the rows (MoveFirst, MoveNext, EOF, RecordCount).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/connection.h"

namespace qx::jet {

class Recordset {
  public:
    Recordset() = default;
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    Outcome open(Connection& connection, std::string_view tableOrSelect);
    void close();
    bool isOpen() const { return open_; }

    int fieldCount() const { return static_cast<int>(fields_.size()); }
    const Field& field(int i) const { return fields_.at(static_cast<std::size_t>(i)); }
    int fieldIndex(std::string_view name) const;  // -1 when there is no such field

    // The current row's value as text; nullopt for Null (and when at EOF or no such field).
    std::optional<std::string> value(int i);
    std::optional<std::string> value(std::string_view name);
    const Value* rawValue(int i);

    void moveFirst();
    void moveNext();
    bool eof();
    long long recordCount();

  private:
    void load();

    Connection::Query query_;
    std::vector<Field> fields_;
    std::size_t position_ = 0;
    bool open_ = false;
    std::string loadError_;
};

}  // namespace qx::jet
