// qx_xls_reader: reads an .xls workbook and streams what it finds to standard output. The reader
// runs in this helper process, so that a fault on a damaged file ends only the helper; the
// driver then reports the file as unreadable.
//
//   qx_xls_reader list FILE          the worksheets, in workbook order
//   qx_xls_reader read FILE SHEET    the sheet's rows of cells
#include <cstdio>
#include <string>
#include <vector>

#include "platform/isam/excel/cell_wire.h"
#include "platform/isam/excel8/biff_reader.h"
#include "platform/isam/helper_wire.h"
#include "platform/os/console.h"

namespace wire = qx::isam::wire;
using wire::fail;
using wire::send;

int main(int argc, char** argv) {
    qx::os::prepareStandardStreams();
    if (argc < 3) return fail("用法：qx_xls_reader list|read FILE [SHEET]");
    std::string command = argv[1], error;
    qx::isam::excel8::BiffWorkbook book;
    if (!book.open(argv[2], error)) return fail(error);
    if (command == "list") {
        for (const auto& s : book.sheets()) send(wire::kTable, s);
    } else if (command == "read" && argc == 4) {
        std::vector<std::vector<qx::isam::excel::Cell>> rows;
        if (!book.readSheet(argv[3], rows, error)) return fail(error);
        for (const auto& cells : rows) send(wire::kRow, qx::isam::excel::cellsPayload(cells));
    } else {
        return fail("未知的命令");
    }
    send(wire::kEnd, {});
    std::fflush(stdout);
    return 0;
}
