// Fuzz target: the .xls reader itself (the helper process runs it), on a workbook's bytes: every
// worksheet listed and read.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/isam/excel8/biff_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qx::isam::excel8::BiffWorkbook book;
    std::string error;
    if (!book.load(std::string(reinterpret_cast<const char*>(data), size), "Sheet1", error))
        return 0;
    std::vector<std::vector<qx::isam::excel::Cell>> rows;
    for (const auto& sheet : book.sheets()) book.readSheet(sheet, rows, error);
    return 0;
}
