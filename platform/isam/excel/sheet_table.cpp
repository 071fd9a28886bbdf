// Columns and types of a sheet, and its rows as a table.
#include "platform/isam/excel/sheet_table.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/jet/text.h"

namespace qx::isam::excel {

using jet::JetType;

bool sheetOfTable(const std::string& table, std::string& sheet, std::string& error) {
    if (table.empty() || table.back() != '$') {
        error = "找不到工作表“" + table + "”（工作表名应以 $ 结尾）";
        return false;
    }
    sheet = table.substr(0, table.size() - 1);
    return true;
}

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

// The cells as the first walk saw them, kept in a scratch file so that the second walk does
// not parse the sheet again: per row a cell count, per cell its kind and value.
class Spool {
  public:
    Spool() : f_(std::tmpfile()) {}
    ~Spool() {
        if (f_) std::fclose(f_);
    }
    bool ok() const { return f_ != nullptr; }
    void put(const std::vector<Cell>& row) {
        auto n = static_cast<std::uint32_t>(row.size());
        std::fwrite(&n, sizeof n, 1, f_);
        for (const Cell& c : row) {
            auto kind = static_cast<unsigned char>(c.kind);
            std::fwrite(&kind, 1, 1, f_);
            if (c.kind == Cell::Kind::Text) {
                auto len = static_cast<std::uint32_t>(c.text.size());
                std::fwrite(&len, sizeof len, 1, f_);
                std::fwrite(c.text.data(), 1, c.text.size(), f_);
            } else if (c.kind != Cell::Kind::Empty && c.kind != Cell::Kind::Error) {
                std::fwrite(&c.number, sizeof c.number, 1, f_);
            }
        }
    }
    bool rewind() { return std::fflush(f_) == 0 && std::fseek(f_, 0, SEEK_SET) == 0; }
    bool get(std::vector<Cell>& row) {
        std::uint32_t n = 0;
        if (std::fread(&n, sizeof n, 1, f_) != 1) return false;
        row.resize(n);
        for (Cell& c : row) {
            unsigned char kind = 0;
            if (std::fread(&kind, 1, 1, f_) != 1) return false;
            c.kind = static_cast<Cell::Kind>(kind);
            if (c.kind == Cell::Kind::Text) {
                std::uint32_t len = 0;
                if (std::fread(&len, sizeof len, 1, f_) != 1) return false;
                c.text.resize(len);
                if (len && std::fread(c.text.data(), 1, len, f_) != len) return false;
            } else if (c.kind != Cell::Kind::Empty && c.kind != Cell::Kind::Error) {
                if (std::fread(&c.number, sizeof c.number, 1, f_) != 1) return false;
            }
        }
        return true;
    }

  private:
    std::FILE* f_;
};

class SheetRows : public RowSource {
  public:
    SheetRows(std::unique_ptr<Spool> spool, std::vector<ColumnDef> columns, std::size_t dataRows)
        : spool_(std::move(spool)), columns_(std::move(columns)), left_(dataRows) {}

    const std::vector<ColumnDef>& columns() const override { return columns_; }
    std::string error() const override { return error_; }

    bool next(std::vector<Value>& row) override {
        if (left_ == 0) return false;
        if (!spool_->get(cells_)) {
            error_ = "读取临时文件时出错";
            return false;
        }
        --left_;
        row.assign(columns_.size(), Value::null());
        for (std::size_t k = 0; k < columns_.size() && k < cells_.size(); ++k) {
            const Cell& c = cells_[k];
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
    std::unique_ptr<Spool> spool_;
    std::vector<ColumnDef> columns_;
    std::size_t left_;
    std::vector<Cell> cells_;
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
    auto spool = std::make_unique<Spool>();
    if (!spool->ok()) {
        error = "无法创建临时文件";
        return nullptr;
    }
    if (!cells->rewind(error)) return nullptr;
    while (cells->nextRow(row, error)) {
        if (first && header) {
            first = false;
            for (const Cell& c : row) names.push_back(cellText(c));
            continue;
        }
        first = false;
        ++rows;
        spool->put(row);
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
    if (!spool->rewind()) {
        error = "写入临时文件时出错（磁盘可能已满）";
        return nullptr;
    }
    return std::make_unique<SheetRows>(std::move(spool), std::move(columns), lastUsed);
}

}  // namespace qx::isam::excel
