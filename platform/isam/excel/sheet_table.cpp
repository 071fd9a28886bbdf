// Columns and types of a sheet, and its rows as a table.
#include "platform/isam/excel/sheet_table.h"

#include <algorithm>

#include "platform/jet/text.h"

namespace qx::isam::excel {

using jet::JetType;

bool headerRow(const ExternalClause& db) {
    return jet::asciiUpper(db.property("HDR")) != "NO";
}

std::string cellText(const Cell& c) {
    switch (c.kind) {
        case Cell::Kind::Number:
            return jet::formatDouble(c.number);
        case Cell::Kind::Date: {
            auto dt = jet::fromSerial(c.number);
            return dt ? jet::formatDateTime(*dt) : jet::formatDouble(c.number);
        }
        case Cell::Kind::Bool:
            return c.number != 0 ? "TRUE" : "FALSE";
        case Cell::Kind::Text:
            return c.text;
        default:
            return {};
    }
}

namespace {

class SheetRows : public RowSource {
  public:
    SheetRows(std::unique_ptr<SheetCells> cells, std::vector<ColumnDef> columns, bool skipFirst,
              std::size_t dataRows)
        : cells_(std::move(cells)),
          columns_(std::move(columns)),
          skipFirst_(skipFirst),
          left_(dataRows) {}

    const std::vector<ColumnDef>& columns() const override { return columns_; }
    std::string error() const override { return error_; }

    bool next(std::vector<Value>& row) override {
        if (left_ == 0) return false;
        if (skipFirst_) {
            skipFirst_ = false;
            if (!cells_->nextRow(cells, error_)) return false;
        }
        if (!cells_->nextRow(cells, error_)) {
            if (error_.empty()) error_ = "工作表在读取过程中发生变化";
            return false;
        }
        --left_;
        row.assign(columns_.size(), Value::null());
        for (std::size_t k = 0; k < columns_.size() && k < cells.size(); ++k) {
            const Cell& c = cells[k];
            if (c.kind == Cell::Kind::Empty || c.kind == Cell::Kind::Error) continue;
            switch (columns_[k].type) {
                case JetType::Double:
                    row[k] = Value::ofReal(c.number);
                    break;
                case JetType::Bit:
                    row[k] = Value::ofInteger(c.number != 0 ? -1 : 0);
                    break;
                case JetType::DateTime: {
                    auto dt = jet::fromSerial(c.number);
                    if (dt) row[k] = Value::ofText(jet::formatDateTime(*dt));
                    break;
                }
                default:
                    row[k] = Value::ofText(cellText(c));
                    break;
            }
        }
        return true;
    }

  private:
    std::unique_ptr<SheetCells> cells_;
    std::vector<ColumnDef> columns_;
    bool skipFirst_;
    std::size_t left_;
    std::vector<Cell> cells;
    std::string error_;
};

}  // namespace

std::unique_ptr<RowSource> sheetTable(std::unique_ptr<SheetCells> cells, bool header,
                                      std::string& error) {
    // First walk: the names, the kinds each column holds, and the last row holding anything.
    struct Kinds {
        bool number = false, date = false, boolean = false, text = false;
        std::size_t longest = 0;
    };
    std::vector<Kinds> kinds;
    std::vector<std::string> names;
    std::vector<Cell> row;
    std::size_t rows = 0, lastUsed = 0;
    bool first = true;
    if (!cells->rewind(error)) return nullptr;
    while (cells->nextRow(row, error)) {
        if (first && header) {
            first = false;
            for (const Cell& c : row) names.push_back(cellText(c));
            continue;
        }
        first = false;
        ++rows;
        if (kinds.size() < row.size()) kinds.resize(row.size());
        bool any = false;
        for (std::size_t k = 0; k < row.size(); ++k) {
            const Cell& c = row[k];
            switch (c.kind) {
                case Cell::Kind::Number:
                    kinds[k].number = any = true;
                    break;
                case Cell::Kind::Date:
                    kinds[k].date = any = true;
                    break;
                case Cell::Kind::Bool:
                    kinds[k].boolean = any = true;
                    break;
                case Cell::Kind::Text:
                    kinds[k].text = any = true;
                    kinds[k].longest = std::max(kinds[k].longest, jet::codePointCount(c.text));
                    break;
                default:
                    break;
            }
        }
        if (any) lastUsed = rows;
    }
    if (!error.empty()) return nullptr;
    std::size_t width = std::max({kinds.size(), names.size(), std::size_t{1}});
    // Trailing empty header cells name no column unless data stands below them.
    while (width > 1 && width > kinds.size() && width <= names.size() && names[width - 1].empty())
        --width;
    kinds.resize(width);
    std::vector<ColumnDef> columns(width);
    for (std::size_t k = 0; k < width; ++k) {
        ColumnDef& c = columns[k];
        std::string name = header && k < names.size() ? names[k] : "";
        if (name.empty()) name = "F" + std::to_string(k + 1);
        std::string unique = name;
        for (int n = 1;; ++n) {
            bool clash = false;
            for (std::size_t j = 0; j < k; ++j)
                clash = clash || jet::compareNoCase(columns[j].name, unique) == 0;
            if (!clash) break;
            unique = name + std::to_string(n);
        }
        c.name = unique;
        const Kinds& kd = kinds[k];
        int count = kd.number + kd.date + kd.boolean + kd.text;
        if (count == 1 && kd.number)
            c.type = JetType::Double;
        else if (count == 1 && kd.date)
            c.type = JetType::DateTime;
        else if (count == 1 && kd.boolean)
            c.type = JetType::Bit;
        else {
            // Text, or a column mixing kinds: every value as text.
            std::size_t longest = kd.longest;
            if (count > 1) longest = std::max<std::size_t>(longest, 19);
            c.type = longest > 255 ? JetType::Memo : JetType::Text;
            c.size = 255;
        }
    }
    if (!cells->rewind(error)) return nullptr;
    return std::make_unique<SheetRows>(std::move(cells), std::move(columns), header, lastUsed);
}

}  // namespace qx::isam::excel
