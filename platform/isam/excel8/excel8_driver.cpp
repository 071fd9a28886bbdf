// The Excel 8.0 driver.
#include "platform/isam/excel8/excel8_driver.h"

#include <cstring>

#include "platform/isam/excel/sheet_table.h"
#include "platform/isam/excel8/xls_writer.h"
#include "platform/isam/helper_wire.h"
#include "platform/jet/text.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"
#include "platform/os/process.h"

namespace qx::isam::excel8 {

namespace fs = std::filesystem;
using excel::Cell;

namespace {

constexpr const char* kDamaged = "文件已损坏或不是 Excel 97-2003 工作簿";
constexpr int kIdleSeconds = 60;
constexpr int kExitGraceMs = 10000;

fs::path helperPath() {
    return os::helperProgram("qx_xls_reader");
}

bool decodeCells(const std::string& p, std::vector<Cell>& row) {
    row.clear();
    std::size_t at = 0;
    while (at < p.size()) {
        Cell c;
        char tag = p[at++];
        if (tag == wire::kReal || tag == wire::kDate || tag == wire::kBool) {
            if (at + 8 > p.size()) return false;
            std::memcpy(&c.number, p.data() + at, 8);
            at += 8;
            c.kind = tag == wire::kDate   ? Cell::Kind::Date
                     : tag == wire::kBool ? Cell::Kind::Bool
                                          : Cell::Kind::Number;
        } else if (tag == wire::kText) {
            if (at + 4 > p.size()) return false;
            std::uint32_t n = wire::getU32(p.data() + at);
            at += 4;
            if (n > p.size() - at) return false;
            c.kind = Cell::Kind::Text;
            c.text = p.substr(at, n);
            at += n;
        } else if (tag != wire::kNull) {
            return false;
        }
        row.push_back(std::move(c));
    }
    return true;
}

// The rows of a sheet as the helper sends them.
class HelperCells : public excel::SheetCells {
  public:
    HelperCells(std::string file, std::string sheet)
        : file_(std::move(file)), sheet_(std::move(sheet)) {}

    bool rewind(std::string& error) override {
        child_ = os::ChildProcess::start(helperPath(), {"read", file_, sheet_}, error);
        done_ = false;
        return child_ != nullptr;
    }

    bool nextRow(std::vector<Cell>& row, std::string& error) override {
        if (done_ || !child_) return false;
        wire::Message m;
        if (!wire::receive(*child_, m, kIdleSeconds)) return stop(kDamaged, error);
        if (m.kind == wire::kEnd) {
            done_ = true;
            if (!child_->finish(kExitGraceMs)) error = kDamaged;
            return false;
        }
        if (m.kind == wire::kError) return stop(m.payload, error);
        if (m.kind != wire::kRow || !decodeCells(m.payload, row)) return stop(kDamaged, error);
        return true;
    }

  private:
    bool stop(const std::string& why, std::string& error) {
        done_ = true;
        error = why;
        child_->finish();
        return false;
    }

    std::string file_, sheet_;
    std::unique_ptr<os::ChildProcess> child_;
    bool done_ = false;
};

}  // namespace

std::vector<std::string> Excel8Driver::names() const {
    return {"excel 8.0", "excel 5.0", "excel 97"};
}

bool Excel8Driver::listTables(const ExternalClause& db, std::vector<TableName>& out,
                              std::string& error) {
    std::vector<std::string> names;
    if (!wire::listFromHelper(helperPath(), {"list", db.property("DATABASE")}, names, kDamaged,
                              error))
        return false;
    for (const auto& n : names) out.push_back({n + "$", "TABLE"});
    return true;
}

std::unique_ptr<RowSource> Excel8Driver::readTable(const ExternalClause& db,
                                                   const std::string& table, std::string& error) {
    std::string sheet;
    if (!excel::sheetOfTable(table, sheet, error)) return nullptr;
    auto cells = std::make_unique<HelperCells>(db.property("DATABASE"), sheet);
    return excel::sheetTable(std::move(cells), excel::headerRow(db), error);
}

bool Excel8Driver::writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                              std::string& error) {
    return writeWorkbook(os::pathFromUtf8(db.property("DATABASE")), table, rows, error);
}

}  // namespace qx::isam::excel8
