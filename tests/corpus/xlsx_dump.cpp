// qx_xlsx_dump: the xlsx reader's side of the corpus comparison. Speaks as the .xls helper does
// (helper_wire), so that one comparison script serves both:
//   qx_xlsx_dump list FILE          the sheets, in workbook order
//   qx_xlsx_dump read FILE [SHEET]  the sheet's rows of cells (without SHEET: every sheet's)
#include <cstdio>
#include <string>
#include <vector>

#include "platform/isam/excel/cell_wire.h"
#include "platform/isam/excel12/xlsx_reader.h"
#include "platform/isam/helper_wire.h"

namespace wire = qx::isam::wire;
using qx::isam::excel::Cell;

int main(int argc, char** argv) {
    if (argc < 3) return wire::fail("usage: qx_xlsx_dump list|read FILE [SHEET]");
    std::string command = argv[1], error;
    if (command == "list") {
        qx::isam::excel12::WorkbookListing listing;
        if (!qx::isam::excel12::listWorkbook(argv[2], listing, error)) return wire::fail(error);
        for (const auto& s : listing.sheets) wire::send(wire::kTable, s);
    } else if (command == "read" && (argc == 3 || argc == 4)) {
        std::vector<std::string> sheets;
        if (argc == 4) {
            sheets.push_back(argv[3]);
        } else {
            qx::isam::excel12::WorkbookListing listing;
            if (!qx::isam::excel12::listWorkbook(argv[2], listing, error)) return wire::fail(error);
            sheets = listing.sheets;
        }
        for (const auto& sheet : sheets) {
            auto cells = qx::isam::excel12::openSheet(argv[2], sheet, error);
            if (!cells || !cells->rewind(error)) return wire::fail(error);
            std::vector<Cell> row;
            while (cells->nextRow(row, error))
                wire::send(wire::kRow, qx::isam::excel::cellsPayload(row));
            if (!error.empty()) return wire::fail(error);
        }
    } else {
        return wire::fail("unknown command");
    }
    wire::send(wire::kEnd, {});
    std::fflush(stdout);
    return 0;
}
