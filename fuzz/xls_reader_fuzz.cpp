// Fuzz target: an .xls workbook listed and its first sheet read through the Excel 8.0 driver.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/isam/excel8/excel8_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("qx_fuzz_" + std::to_string(getpid()) + ".xls"))
            .string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    using namespace qx::isam;
    excel8::Excel8Driver driver;
    ExternalClause db;
    db.properties.emplace_back("DATABASE", path);
    std::vector<TableName> tables;
    std::string error;
    if (!driver.listTables(db, tables, error) || tables.empty()) return 0;
    auto rows = driver.readTable(db, tables[0].name, error);
    if (!rows) return 0;
    std::vector<qx::jet::Value> row;
    for (int n = 0; n < 100000 && rows->next(row); ++n) {
    }
    return 0;
}
