// Date formats and serials of workbooks.
#include "platform/isam/excel/excel_dates.h"

#include <cmath>

#include "platform/jet/types.h"

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

std::optional<double> isoDateSerial(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    std::size_t i = 0;
    auto isDigit = [&] { return i < t.size() && t[i] >= '0' && t[i] <= '9'; };
    auto digits = [&](int n, int& out) {
        out = 0;
        for (int k = 0; k < n; ++k, ++i) {
            if (!isDigit()) return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    auto take = [&](char c) { return i < t.size() && t[i] == c && (++i, true); };
    jet::DateTime date;
    bool haveDate = t.size() >= 10 && t[4] == '-';
    if (haveDate) {
        if (!digits(4, date.year) || !take('-') || !digits(2, date.month) || !take('-') ||
            !digits(2, date.day) || !jet::isValidDate(date.year, date.month, date.day))
            return std::nullopt;
    }
    double seconds = 0;
    if (i < t.size()) {
        if (!take('T') && !take('t') && !(haveDate && take(' ')) && haveDate) return std::nullopt;
        int h = 0, m = 0, s = 0;
        double fraction = 0;
        if (!digits(2, h) || !take(':') || !digits(2, m)) return std::nullopt;
        if (take(':')) {
            if (!digits(2, s)) return std::nullopt;
            if (take('.') || take(',')) {
                if (!isDigit()) return std::nullopt;
                for (double scale = 0.1; isDigit(); ++i, scale /= 10)
                    fraction += (t[i] - '0') * scale;
            }
        }
        // A zone: Z, or an offset from UTC (+08:00, -0500, +08).
        if (!take('Z') && !take('z') && (take('+') || take('-'))) {
            int zh = 0, zm = 0;
            if (!digits(2, zh) || (take(':') && !digits(2, zm)) || (isDigit() && !digits(2, zm)) ||
                zh > 14 || zm > 59)
                return std::nullopt;
        }
        if (i != t.size() || h > 24 || m > 59 || s > 59 || (h == 24 && (m || s || fraction)))
            return std::nullopt;
        seconds = h * 3600 + m * 60 + s + fraction;
    } else if (!haveDate) {
        return std::nullopt;
    }
    double day = haveDate ? jet::toSerial(date) : 0;
    double time = seconds / 86400.0;
    return day < 0 ? day - time : day + time;
}

}  // namespace qx::isam::excel
