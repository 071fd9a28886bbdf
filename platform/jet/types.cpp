// Jet column types and value text forms.
#include "platform/jet/types.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <span>

#include "platform/jet/text.h"

namespace qx::jet {

int adoTypeCode(JetType type) {
    switch (type) {
        case JetType::Text:
            return 202;
        case JetType::Memo:
            return 203;
        case JetType::Long:
            return 3;
        case JetType::Short:
            return 2;
        case JetType::Byte:
            return 17;
        case JetType::Single:
            return 4;
        case JetType::Double:
            return 5;
        case JetType::Currency:
            return 6;
        case JetType::DateTime:
            return 7;
        case JetType::Bit:
            return 11;
        case JetType::Binary:
            return 205;
    }
    return 205;
}

int adoDefinedSize(JetType type, int textSize) {
    switch (type) {
        case JetType::Text:
            return textSize;
        case JetType::Memo:
            return 536870910;
        case JetType::Long:
            return 4;
        case JetType::Short:
            return 2;
        case JetType::Byte:
            return 1;
        case JetType::Single:
            return 4;
        case JetType::Double:
            return 8;
        case JetType::Currency:
            return 8;
        case JetType::DateTime:
            return 8;
        case JetType::Bit:
            return 2;
        case JetType::Binary:
            return 1073741823;
    }
    return 0;
}

namespace {

struct KeywordType {
    const char* keyword;
    JetType type;
};

// Jet's type keywords and their synonyms. TEXT and CHAR take a size; without one TEXT is memo.
constexpr std::array<KeywordType, 37> kKeywords{{
    {"VARCHAR", JetType::Text},      {"CHAR", JetType::Text},      {"CHARACTER", JetType::Text},
    {"STRING", JetType::Text},       {"NVARCHAR", JetType::Text},  {"NCHAR", JetType::Text},
    {"ALPHANUMERIC", JetType::Text}, {"TEXT", JetType::Text},      {"MEMO", JetType::Memo},
    {"LONGTEXT", JetType::Memo},     {"LONGCHAR", JetType::Memo},  {"NOTE", JetType::Memo},
    {"LONG", JetType::Long},         {"INT", JetType::Long},       {"INTEGER", JetType::Long},
    {"INTEGER4", JetType::Long},     {"COUNTER", JetType::Long},   {"AUTOINCREMENT", JetType::Long},
    {"SHORT", JetType::Short},       {"SMALLINT", JetType::Short}, {"INTEGER2", JetType::Short},
    {"BYTE", JetType::Byte},         {"TINYINT", JetType::Byte},   {"INTEGER1", JetType::Byte},
    {"SINGLE", JetType::Single},     {"REAL", JetType::Single},    {"FLOAT4", JetType::Single},
    {"DOUBLE", JetType::Double},     {"FLOAT", JetType::Double},   {"FLOAT8", JetType::Double},
    {"NUMBER", JetType::Double},     {"NUMERIC", JetType::Double}, {"DECIMAL", JetType::Double},
    {"CURRENCY", JetType::Currency}, {"MONEY", JetType::Currency}, {"DATETIME", JetType::DateTime},
    {"BIT", JetType::Bit},
}};

constexpr std::array<KeywordType, 11> kMoreKeywords{{
    {"DATE", JetType::DateTime},
    {"TIME", JetType::DateTime},
    {"TIMESTAMP", JetType::DateTime},
    {"YESNO", JetType::Bit},
    {"LOGICAL", JetType::Bit},
    {"BOOLEAN", JetType::Bit},
    {"BINARY", JetType::Binary},
    {"VARBINARY", JetType::Binary},
    {"LONGBINARY", JetType::Binary},
    {"OLEOBJECT", JetType::Binary},
    {"BLOB", JetType::Binary},
}};

}  // namespace

std::optional<ColumnDef> typeFromKeyword(std::string_view keyword, std::optional<int> size) {
    std::string upper = asciiUpper(keyword);
    const std::span<const KeywordType> lists[] = {kKeywords, kMoreKeywords};
    for (const auto& list : lists) {
        for (const auto& k : list) {
            if (upper != k.keyword) continue;
            ColumnDef def;
            def.type = k.type;
            if (k.type == JetType::Text) {
                if (upper == "TEXT" && !size) {
                    def.type = JetType::Memo;
                } else {
                    int n = size.value_or(255);
                    if (n < 1 || n > 255) return std::nullopt;
                    def.size = n;
                }
            }
            return def;
        }
    }
    return std::nullopt;
}

std::string sqliteDeclaration(JetType type, int textSize) {
    switch (type) {
        case JetType::Text:
            return "VARCHAR(" + std::to_string(textSize) + ") COLLATE JETCI";
        case JetType::Memo:
            return "LONGTEXT COLLATE JETCI";
        case JetType::Long:
            return "INTEGER";
        case JetType::Short:
            return "SMALLINT";
        case JetType::Byte:
            return "TINYINT";
        case JetType::Single:
            return "REAL";
        case JetType::Double:
            return "DOUBLE";
        case JetType::Currency:
            return "CURRENCY";
        case JetType::DateTime:
            return "DATETIME";
        case JetType::Bit:
            return "BIT";
        case JetType::Binary:
            return "BLOB";
    }
    return "BLOB";
}

std::optional<ColumnDef> typeFromDeclaration(std::string_view decl) {
    std::string d = asciiUpper(decl);
    std::size_t end = 0;
    while (end < d.size() && (std::isalnum(static_cast<unsigned char>(d[end])) || d[end] == '_'))
        ++end;
    std::string word = d.substr(0, end);
    std::optional<int> size;
    std::size_t open = d.find('(', end);
    if (open != std::string::npos) {
        int n = 0;
        auto [p, ec] = std::from_chars(d.data() + open + 1, d.data() + d.size(), n);
        if (ec == std::errc()) size = n;
    }
    if (auto def = typeFromKeyword(word, size)) return def;
    // Unknown declarations follow SQLite's affinity rules.
    if (d.find("INT") != std::string::npos) return ColumnDef{{}, JetType::Long, 255};
    if (d.find("CHAR") != std::string::npos || d.find("CLOB") != std::string::npos ||
        d.find("TEXT") != std::string::npos)
        return ColumnDef{{}, JetType::Memo, 255};
    if (d.find("REAL") != std::string::npos || d.find("FLOA") != std::string::npos ||
        d.find("DOUB") != std::string::npos)
        return ColumnDef{{}, JetType::Double, 255};
    if (d.empty()) return std::nullopt;
    return ColumnDef{{}, JetType::Double, 255};
}

std::string formatDouble(double v) {
    if (std::isnan(v)) return "NaN";
    if (v == 0) return "0";
    char buf[400];
    // Plain digits for the numbers people write (1000000, 0.001); exponents only far out.
    double a = std::fabs(v);
    auto format = a >= 1e-6 && a < 1e16 ? std::chars_format::fixed : std::chars_format::general;
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, format);
    return std::string(buf, p);
}

std::string formatSingle(float v) {
    if (std::isnan(v)) return "NaN";
    if (v == 0) return "0";
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, p);
}

namespace {

std::string formatNumber(const Value& v, JetType type) {
    double d = v.kind == Value::Kind::Integer ? static_cast<double>(v.integer) : v.real;
    switch (type) {
        case JetType::Long:
        case JetType::Short:
        case JetType::Byte:
            if (v.kind == Value::Kind::Integer) return std::to_string(v.integer);
            if (d == std::floor(d) && std::fabs(d) < 9.2e18)
                return std::to_string(static_cast<std::int64_t>(d));
            return formatDouble(d);
        case JetType::Single:
            return formatSingle(static_cast<float>(d));
        case JetType::Bit:
            return d != 0 ? "-1" : "0";
        case JetType::DateTime:
            if (auto dt = fromSerial(d)) return formatDateTime(*dt);
            return formatDouble(d);
        default:
            if (v.kind == Value::Kind::Integer) return std::to_string(v.integer);
            return formatDouble(d);
    }
}

}  // namespace

std::optional<std::string> formatValue(const Value& v, JetType type) {
    switch (v.kind) {
        case Value::Kind::Null:
            return std::nullopt;
        case Value::Kind::Integer:
        case Value::Kind::Real:
            return formatNumber(v, type);
        case Value::Kind::Text:
        case Value::Kind::Blob:
            return v.text;
    }
    return std::nullopt;
}

std::string formatDateTime(const DateTime& dt) {
    std::string out = "0000-00-00 00:00:00";
    auto put = [&](std::size_t at, int value, int digits) {
        for (int k = digits - 1; k >= 0; --k) {
            out[at + static_cast<std::size_t>(k)] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    put(0, dt.year, 4);
    put(5, dt.month, 2);
    put(8, dt.day, 2);
    put(11, dt.hour, 2);
    put(14, dt.minute, 2);
    put(17, dt.second, 2);
    return out;
}

bool isValidDate(int year, int month, int day) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= last;
}

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

const std::int64_t kEpoch = daysFromCivil(1899, 12, 30);

}  // namespace

double toSerial(const DateTime& dt) {
    std::int64_t days =
        daysFromCivil(dt.year, static_cast<unsigned>(dt.month), static_cast<unsigned>(dt.day)) -
        kEpoch;
    double frac = (dt.hour * 3600 + dt.minute * 60 + dt.second) / 86400.0;
    return days < 0 ? static_cast<double>(days) - frac : static_cast<double>(days) + frac;
}

std::optional<DateTime> fromSerial(double serial) {
    if (!std::isfinite(serial) || serial < -657434.0 || serial >= 2958466.0) return std::nullopt;
    double whole = std::trunc(serial);
    double frac = std::fabs(serial - whole);
    auto seconds = static_cast<std::int64_t>(std::llround(frac * 86400.0));
    auto days = static_cast<std::int64_t>(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += serial < 0 ? -1 : 1;
    }
    DateTime dt;
    civilFromDays(days + kEpoch, dt.year, dt.month, dt.day);
    dt.hour = static_cast<int>(seconds / 3600);
    dt.minute = static_cast<int>(seconds / 60 % 60);
    dt.second = static_cast<int>(seconds % 60);
    return dt;
}

std::optional<DateTime> parseIsoDateTime(std::string_view t) {
    if (t.size() != 19 || t[4] != '-' || t[7] != '-' || t[10] != ' ' || t[13] != ':' ||
        t[16] != ':')
        return std::nullopt;
    auto num = [&](std::size_t at, std::size_t len, int& out) {
        out = 0;
        for (std::size_t i = at; i < at + len; ++i) {
            if (t[i] < '0' || t[i] > '9') return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    DateTime dt;
    if (!num(0, 4, dt.year) || !num(5, 2, dt.month) || !num(8, 2, dt.day) || !num(11, 2, dt.hour) ||
        !num(14, 2, dt.minute) || !num(17, 2, dt.second))
        return std::nullopt;
    if (!isValidDate(dt.year, dt.month, dt.day) || dt.hour > 23 || dt.minute > 59 || dt.second > 59)
        return std::nullopt;
    return dt;
}

namespace {

// A small scanner over a date text: numbers, separators and AM/PM.
struct DateScanner {
    std::string_view t;
    std::size_t i = 0;
    void blanks() {
        while (i < t.size() && t[i] == ' ') ++i;
    }
    std::optional<int> number(int& digits) {
        blanks();
        int v = 0;
        digits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9' && digits < 5) {
            v = v * 10 + (t[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0) return std::nullopt;
        return v;
    }
    bool take(char c) {
        blanks();
        if (i < t.size() && t[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    bool atEnd() {
        blanks();
        return i == t.size();
    }
};

bool parseTime(DateScanner& s, DateTime& dt) {
    int digits = 0;
    auto h = s.number(digits);
    if (!h || !s.take(':')) return false;
    auto m = s.number(digits);
    if (!m) return false;
    int sec = 0;
    if (s.take(':')) {
        auto ss = s.number(digits);
        if (!ss) return false;
        sec = *ss;
    }
    int hour = *h;
    s.blanks();
    std::string rest = asciiUpper(s.t.substr(s.i));
    if (rest.rfind("AM", 0) == 0 || rest.rfind("PM", 0) == 0) {
        if (hour < 1 || hour > 12) return false;
        if (rest[0] == 'P' && hour != 12) hour += 12;
        if (rest[0] == 'A' && hour == 12) hour = 0;
        s.i += 2;
    }
    if (hour > 23 || *m > 59 || sec > 59) return false;
    dt.hour = hour;
    dt.minute = *m;
    dt.second = sec;
    return true;
}

int fullYear(int y, int digits) {
    if (digits <= 2) return y < 30 ? 2000 + y : 1900 + y;
    return y;
}

}  // namespace

std::optional<DateTime> parseDateText(std::string_view text) {
    if (auto iso = parseIsoDateTime(text)) return iso;
    DateScanner s{text};
    DateTime dt;
    std::size_t start = s.i;
    int d1 = 0, d2 = 0, d3 = 0;
    auto a = s.number(d1);
    if (!a) return std::nullopt;
    s.blanks();
    if (s.i < text.size() && text[s.i] == ':') {
        // A time alone stands on Jet's day zero.
        s.i = start;
        if (!parseTime(s, dt) || !s.atEnd()) return std::nullopt;
        return dt;
    }
    char sep = s.i < text.size() ? text[s.i] : '\0';
    if (sep != '/' && sep != '-' && sep != '.') return std::nullopt;
    ++s.i;
    auto b = s.number(d2);
    if (!b || !s.take(sep)) return std::nullopt;
    auto c = s.number(d3);
    if (!c) return std::nullopt;
    if (d1 >= 3) {  // year first
        dt.year = *a;
        dt.month = *b;
        dt.day = *c;
    } else {  // month/day/year, as Jet reads literals
        dt.month = *a;
        dt.day = *b;
        dt.year = fullYear(*c, d3);
    }
    if (!isValidDate(dt.year, dt.month, dt.day)) return std::nullopt;
    if (s.atEnd()) return dt;
    if (!parseTime(s, dt) || !s.atEnd()) return std::nullopt;
    return dt;
}

}  // namespace qx::jet
