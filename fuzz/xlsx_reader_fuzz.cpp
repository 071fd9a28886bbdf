// Fuzz target: an .xlsx package listed and its first sheet read to the end.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/isam/excel/sheet_table.h"
#include "platform/isam/excel12/xlsx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("qx_fuzz_" + std::to_string(getpid()) + ".xlsx"))
            .string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    using namespace qx::isam;
    excel12::WorkbookListing listing;
    std::string error;
    if (!excel12::listWorkbook(path, listing, error) || listing.sheets.empty()) return 0;
    auto cells = excel12::openSheet(path, listing.sheets[0], error);
    if (!cells) return 0;
    auto rows = excel::sheetTable(std::move(cells), true, error);
    if (!rows) return 0;
    std::vector<qx::jet::Value> row;
    for (int n = 0; n < 100000 && rows->next(row); ++n) {
    }
    return 0;
}
