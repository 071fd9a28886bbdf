// The Access driver: the reader and the writer behind the engine's driver interface.
#include "platform/isam/access/access_driver.h"

#include "platform/isam/access/jet4_writer.h"
#include "platform/isam/access/mdb_reader.h"
#include "platform/os/paths.h"

namespace qx::isam::access {

namespace fs = std::filesystem;

namespace {

fs::path fileOf(const ExternalClause& db) {
    return os::pathFromUtf8(db.property("DATABASE"));
}

// The file's pages, or why there are none.
std::unique_ptr<PageSource> sourceOf(const fs::path& file, std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        error = "找不到 Access 文件“" + os::utf8(file) + "”";
        return nullptr;
    }
    return pagesOfFile(file, error);
}

}  // namespace

std::vector<std::string> AccessDriver::names() const {
    return {""};
}

bool AccessDriver::listTables(const ExternalClause& db, std::vector<TableName>& out,
                              std::string& error) {
    auto pages = sourceOf(fileOf(db), error);
    std::vector<std::string> names;
    if (!pages || !listMdbTables(std::move(pages), names, error)) return false;
    for (auto& n : names) out.push_back({std::move(n), "TABLE"});
    return true;
}

std::unique_ptr<RowSource> AccessDriver::readTable(const ExternalClause& db,
                                                   const std::string& table, std::string& error) {
    auto pages = sourceOf(fileOf(db), error);
    return pages ? readMdbTable(std::move(pages), table, error) : nullptr;
}

bool AccessDriver::writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                              std::string& error) {
    return addTable(fileOf(db), table, rows, error);
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
