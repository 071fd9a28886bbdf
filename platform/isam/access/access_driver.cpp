// The Access driver's side of the helper's pipe.
#include "platform/isam/access/access_driver.h"

#include <cstring>

#include "platform/isam/access/jet4_writer.h"
#include "platform/isam/helper_wire.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"
#include "platform/os/process.h"

namespace qx::isam::access {

namespace fs = std::filesystem;

namespace {

// The helper may be slow on a large page, but a helper silent this long has hung.
constexpr int kIdleSeconds = 60;
// After its last message the helper only has to close the file and exit.
constexpr int kExitGraceMs = 10000;
constexpr const char* kDamaged = "无法读取 Access 文件：文件已损坏或不是 Access 文件";

class HelperRows : public RowSource {
  public:
    HelperRows(std::unique_ptr<os::ChildProcess> child, std::vector<ColumnDef> columns,
               wire::Message first)
        : child_(std::move(child)),
          columns_(std::move(columns)),
          pending_(std::move(first)),
          hasPending_(true) {}

    const std::vector<ColumnDef>& columns() const override { return columns_; }
    std::string error() const override { return error_; }

    bool next(std::vector<Value>& row) override {
        if (done_) return false;
        wire::Message m;
        if (hasPending_) {
            m = std::move(pending_);
            hasPending_ = false;
        } else if (!wire::receive(*child_, m, kIdleSeconds)) {
            return stop(kDamaged);
        }
        if (m.kind == wire::kEnd) {
            done_ = true;
            if (!child_->finish(kExitGraceMs)) error_ = kDamaged;
            return false;
        }
        if (m.kind == wire::kError) return stop(m.payload);
        if (m.kind != wire::kRow || !wire::decodeRow(m.payload, columns_.size(), row))
            return stop(kDamaged);
        return true;
    }

  private:
    bool stop(const std::string& why) {
        done_ = true;
        error_ = why;
        child_->finish();
        return false;
    }

    std::unique_ptr<os::ChildProcess> child_;
    std::vector<ColumnDef> columns_;
    wire::Message pending_;
    bool hasPending_;
    bool done_ = false;
    std::string error_;
};

fs::path fileOf(const ExternalClause& db) {
    return os::pathFromUtf8(db.property("DATABASE"));
}

}  // namespace

AccessDriver::AccessDriver(fs::path helper)
    : helper_(helper.empty() ? os::helperProgram("qx_mdb_reader") : std::move(helper)) {}

std::vector<std::string> AccessDriver::names() const {
    return {""};
}

bool AccessDriver::listTables(const ExternalClause& db, std::vector<TableName>& out,
                              std::string& error) {
    fs::path file = fileOf(db);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        error = "找不到 Access 文件“" + os::utf8(file) + "”";
        return false;
    }
    std::vector<std::string> names;
    if (!wire::listFromHelper(helper_, {"list", file.string()}, names, kDamaged, error))
        return false;
    for (auto& n : names) out.push_back({std::move(n), "TABLE"});
    return true;
}

std::unique_ptr<RowSource> AccessDriver::readTable(const ExternalClause& db,
                                                   const std::string& table, std::string& error) {
    fs::path file = fileOf(db);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        error = "找不到 Access 文件“" + os::utf8(file) + "”";
        return nullptr;
    }
    auto child = os::ChildProcess::start(helper_, {"read", file.string(), table}, error);
    if (!child) return nullptr;
    std::vector<ColumnDef> columns;
    wire::Message m;
    for (;;) {
        if (!wire::receive(*child, m, kIdleSeconds)) {
            error = kDamaged;
            return nullptr;
        }
        if (m.kind == wire::kError) {
            error = m.payload;
            return nullptr;
        }
        if (m.kind != wire::kColumn) break;
        ColumnDef c;
        if (!wire::parseColumn(m.payload, c)) {
            error = kDamaged;
            return nullptr;
        }
        columns.push_back(std::move(c));
    }
    if (columns.empty()) {
        error = kDamaged;
        return nullptr;
    }
    return std::make_unique<HelperRows>(std::move(child), std::move(columns), std::move(m));
}

bool AccessDriver::writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                              std::string& error) {
    return addTable(os::pathFromUtf8(db.property("DATABASE")), table, rows, error);
}

std::vector<std::string> listAccessTables(const fs::path& file) {
    std::string error;
    return listAccessTables(file, error);
}

std::vector<std::string> listAccessTables(const fs::path& file, std::string& error) {
    ExternalClause db;
    db.properties.emplace_back("DATABASE", os::utf8(file));
    std::vector<TableName> tables;
    error.clear();
    if (!AccessDriver().listTables(db, tables, error) && error.empty())
        error = "无法读取 Access 文件“" + os::utf8(file) + "”";
    std::vector<std::string> names;
    for (auto& t : tables) names.push_back(t.name);
    return names;
}

}  // namespace qx::isam::access
