// Date formats and serials of workbooks.
#include "platform/isam/excel/excel_dates.h"

#include <cmath>

namespace qx::isam::excel {

bool isDateFormat(int id, const std::string& code) {
    // A workbook that writes out a format's code decides by it, built-in number or not.
    if (code.empty())
        return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
               (id >= 50 && id <= 58);
    bool quoted = false, bracket = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        char c = code[i];
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\\' || c == '_' || c == '*')
            ++i;
        else if (c == '[')
            bracket = true;
        else if (c == ']')
            bracket = false;
        else if (bracket)
            continue;
        else if (std::string("dDmMyYhHsS").find(c) != std::string::npos)
            return true;
    }
    return false;
}

double jetSerial(double serial, bool date1904) {
    if (date1904) return serial + 1462;
    if (serial >= 61 || serial < 1) return serial;
    if (serial >= 60) return 61 + (serial - std::floor(serial));
    return serial + 1;
}

}  // namespace qx::isam::excel
