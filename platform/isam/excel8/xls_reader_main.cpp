// qx_xls_reader: reads an .xls workbook with FreeXL and streams what it finds to standard output.
// FreeXL runs in this helper process so that a fault inside it on a damaged file ends only the
// helper; the driver then reports the file as unreadable.
//
//   qx_xls_reader list FILE          the sheets, in workbook order
//   qx_xls_reader read FILE SHEET    the sheet's rows of cells
#include <freexl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/isam/helper_wire.h"
#include "platform/jet/text.h"
#include "platform/jet/types.h"

namespace wire = qx::isam::wire;
using wire::fail;
using wire::send;

namespace {

constexpr const char* kDamaged = "文件已损坏或不是 Excel 97-2003 工作簿";

void putNumber(std::string& row, char tag, double d) {
    row += tag;
    wire::putRaw(row, &d, sizeof d);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return fail("用法：qx_xls_reader list|read FILE [SHEET]");
    std::string command = argv[1];
    const void* h = nullptr;
    int rc = freexl_open(argv[2], &h);
    if (rc != FREEXL_OK) {
        if (h) freexl_close(h);
        return fail(rc == FREEXL_FILE_NOT_FOUND ? std::string("找不到文件“") + argv[2] + "”"
                                                : kDamaged);
    }
    unsigned int password = 0;
    if (freexl_get_info(h, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK &&
        password != FREEXL_BIFF_PLAIN) {
        freexl_close(h);
        return fail("工作簿有密码保护，无法读取");
    }
    unsigned int count = 0;
    std::vector<std::string> sheets;
    if (freexl_get_info(h, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK) count = 0;
    for (unsigned int i = 0; i < count && i < 65535; ++i) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(h, static_cast<unsigned short>(i), &name) != FREEXL_OK ||
            !name) {
            freexl_close(h);
            return fail(kDamaged);
        }
        sheets.emplace_back(name);
    }
    if (command == "list") {
        for (const auto& s : sheets) send(wire::kTable, s);
    } else if (command == "read" && argc == 4) {
        int index = -1;
        for (std::size_t i = 0; i < sheets.size(); ++i)
            if (qx::jet::compareNoCase(sheets[i], argv[3]) == 0) index = static_cast<int>(i);
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (index < 0) {
            freexl_close(h);
            return fail(std::string("找不到工作表“") + argv[3] + "”");
        }
        if (freexl_select_active_worksheet(h, static_cast<unsigned short>(index)) != FREEXL_OK ||
            freexl_worksheet_dimensions(h, &rows, &columns) != FREEXL_OK) {
            freexl_close(h);
            return fail(kDamaged);
        }
        std::string row;
        for (unsigned int r = 0; r < rows; ++r) {
            row.clear();
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(h, r, c, &v) != FREEXL_OK) {
                    freexl_close(h);
                    return fail(kDamaged);
                }
                switch (v.type) {
                    case FREEXL_CELL_INT:
                        putNumber(row, wire::kReal, v.value.int_value);
                        break;
                    case FREEXL_CELL_DOUBLE:
                        putNumber(row, wire::kReal, v.value.double_value);
                        break;
                    case FREEXL_CELL_TEXT:
                    case FREEXL_CELL_SST_TEXT: {
                        const char* t = v.value.text_value ? v.value.text_value : "";
                        std::size_t n = std::strlen(t);
                        if (n == 0) {
                            row += wire::kNull;
                            break;
                        }
                        row += wire::kText;
                        wire::putU32(row, static_cast<std::uint32_t>(n));
                        row.append(t, n);
                        break;
                    }
                    case FREEXL_CELL_DATE:
                    case FREEXL_CELL_DATETIME:
                    case FREEXL_CELL_TIME: {
                        std::string text = v.value.text_value ? v.value.text_value : "";
                        if (v.type == FREEXL_CELL_TIME) text = "1899-12-30 " + text;
                        auto dt = qx::jet::parseDateText(text);
                        if (dt)
                            putNumber(row, wire::kDate, qx::jet::toSerial(*dt));
                        else
                            row += wire::kNull;
                        break;
                    }
                    default:
                        row += wire::kNull;
                        break;
                }
            }
            send(wire::kRow, row);
        }
    } else {
        freexl_close(h);
        return fail("未知的命令");
    }
    send(wire::kEnd, {});
    std::fflush(stdout);
    freexl_close(h);
    return 0;
}
