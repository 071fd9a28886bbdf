// The Excel 8.0 driver.
#include "platform/isam/excel8/excel8_driver.h"

#include <freexl.h>

#include "platform/isam/excel/sheet_table.h"
#include "platform/isam/excel8/xls_writer.h"
#include "platform/jet/text.h"
#include "platform/os/paths.h"

namespace qx::isam::excel8 {

using excel::Cell;

namespace {

constexpr const char* kDamaged = "文件已损坏或不是 Excel 97-2003 工作簿";

class Handle {
  public:
    ~Handle() {
        if (h_) freexl_close(h_);
    }
    bool open(const std::string& path, std::string& error) {
        int rc = freexl_open(path.c_str(), &h_);
        if (rc != FREEXL_OK) {
            error = rc == FREEXL_FILE_NOT_FOUND ? "找不到文件“" + path + "”" : kDamaged;
            return false;
        }
        unsigned int password = 0;
        if (freexl_get_info(h_, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK &&
            password != FREEXL_BIFF_PLAIN) {
            error = "工作簿有密码保护，无法读取";
            return false;
        }
        return true;
    }
    const void* get() const { return h_; }

  private:
    const void* h_ = nullptr;
};

bool sheetNames(const Handle& h, std::vector<std::string>& out) {
    unsigned int count = 0;
    if (freexl_get_info(h.get(), FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK) return false;
    for (unsigned int i = 0; i < count && i < 65535; ++i) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(h.get(), static_cast<unsigned short>(i), &name) !=
                FREEXL_OK ||
            !name)
            return false;
        out.emplace_back(name);
    }
    return true;
}

// FreeXL holds the whole (at most 65,536-row) workbook; cells are fetched by position.
class XlsSheetCells : public excel::SheetCells {
  public:
    XlsSheetCells(std::unique_ptr<Handle> h, unsigned int rows, unsigned short columns)
        : h_(std::move(h)), rows_(rows), columns_(columns) {}

    bool rewind(std::string&) override {
        next_ = 0;
        return true;
    }

    bool nextRow(std::vector<Cell>& row, std::string& error) override {
        if (next_ >= rows_) return false;
        row.assign(columns_, Cell{});
        for (unsigned short c = 0; c < columns_; ++c) {
            FreeXL_CellValue v;
            if (freexl_get_cell_value(h_->get(), next_, c, &v) != FREEXL_OK) {
                error = kDamaged;
                return false;
            }
            Cell& cell = row[c];
            switch (v.type) {
                case FREEXL_CELL_INT:
                    cell.kind = Cell::Kind::Number;
                    cell.number = v.value.int_value;
                    break;
                case FREEXL_CELL_DOUBLE:
                    cell.kind = Cell::Kind::Number;
                    cell.number = v.value.double_value;
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                    cell.kind = Cell::Kind::Text;
                    cell.text = v.value.text_value ? v.value.text_value : "";
                    if (cell.text.empty()) cell.kind = Cell::Kind::Empty;
                    break;
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME: {
                    std::string text = v.value.text_value ? v.value.text_value : "";
                    if (v.type == FREEXL_CELL_TIME) text = "1899-12-30 " + text;
                    if (auto dt = jet::parseDateText(text)) {
                        cell.kind = Cell::Kind::Date;
                        cell.number = jet::toSerial(*dt);
                    }
                    break;
                }
                default:
                    break;
            }
        }
        ++next_;
        return true;
    }

  private:
    std::unique_ptr<Handle> h_;
    unsigned int rows_;
    unsigned short columns_;
    unsigned int next_ = 0;
};

}  // namespace

std::vector<std::string> Excel8Driver::names() const {
    return {"excel 8.0", "excel 5.0", "excel 97"};
}

bool Excel8Driver::listTables(const ExternalClause& db, std::vector<TableName>& out,
                              std::string& error) {
    Handle h;
    if (!h.open(db.property("DATABASE"), error)) return false;
    std::vector<std::string> sheets;
    if (!sheetNames(h, sheets)) {
        error = kDamaged;
        return false;
    }
    for (const auto& s : sheets) out.push_back({s + "$", "TABLE"});
    return true;
}

std::unique_ptr<RowSource> Excel8Driver::readTable(const ExternalClause& db,
                                                   const std::string& table, std::string& error) {
    if (table.empty() || table.back() != '$') {
        error = "找不到工作表“" + table + "”（工作表名应以 $ 结尾）";
        return nullptr;
    }
    auto h = std::make_unique<Handle>();
    if (!h->open(db.property("DATABASE"), error)) return nullptr;
    std::vector<std::string> sheets;
    if (!sheetNames(*h, sheets)) {
        error = kDamaged;
        return nullptr;
    }
    std::string wanted = table.substr(0, table.size() - 1);
    int index = -1;
    for (std::size_t i = 0; i < sheets.size(); ++i)
        if (jet::compareNoCase(sheets[i], wanted) == 0) index = static_cast<int>(i);
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (index < 0) {
        error = "找不到工作表“" + wanted + "”";
        return nullptr;
    }
    if (freexl_select_active_worksheet(h->get(), static_cast<unsigned short>(index)) != FREEXL_OK ||
        freexl_worksheet_dimensions(h->get(), &rows, &columns) != FREEXL_OK) {
        error = kDamaged;
        return nullptr;
    }
    auto cells = std::make_unique<XlsSheetCells>(std::move(h), rows, columns);
    return excel::sheetTable(std::move(cells), excel::headerRow(db), error);
}

bool Excel8Driver::writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                              std::string& error) {
    return writeWorkbook(os::pathFromUtf8(db.property("DATABASE")), table, rows, error);
}

}  // namespace qx::isam::excel8
