// Jet's functions on SQLite: registered per connection, deterministic where Jet's are.
#include "platform/jet/functions.h"

#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>
#include <memory>

#include "platform/jet/text.h"
#include "platform/os/clock.h"

namespace qx::jet {

namespace {

Value arg(sqlite3_value** argv, int k) {
    return valueFromSqlite(argv[k]);
}

void resultValue(sqlite3_context* ctx, const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            sqlite3_result_null(ctx);
            break;
        case Value::Kind::Integer:
            sqlite3_result_int64(ctx, v.integer);
            break;
        case Value::Kind::Real:
            sqlite3_result_double(ctx, v.real);
            break;
        case Value::Kind::Text:
            sqlite3_result_text64(ctx, v.text.data(), v.text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        case Value::Kind::Blob:
            sqlite3_result_blob64(ctx, v.text.data(), v.text.size(), SQLITE_TRANSIENT);
            break;
    }
}

void resultText(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void resultNumber(sqlite3_context* ctx, double d) {
    if (d == std::floor(d) && std::fabs(d) < 9e15)
        sqlite3_result_int64(ctx, static_cast<std::int64_t>(d));
    else
        sqlite3_result_double(ctx, d);
}

bool anyNull(int argc, sqlite3_value** argv) {
    for (int k = 0; k < argc; ++k)
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL) return true;
    return false;
}

int collateNoCase(void*, int na, const void* a, int nb, const void* b) {
    return compareNoCase(
        std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(na)),
        std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(nb)));
}

void fnLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    auto* pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern) {
        auto p = valueText(arg(argv, 0)).value_or("");
        pattern = new LikePattern(p);
        sqlite3_set_auxdata(ctx, 0, pattern, [](void* x) { delete static_cast<LikePattern*>(x); });
        pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
        if (!pattern) {  // SQLite may drop auxiliary data at once; match without caching
            LikePattern local(valueText(arg(argv, 0)).value_or(""));
            sqlite3_result_int(ctx, local.matches(valueText(arg(argv, 1)).value_or("")) ? 1 : 0);
            return;
        }
    }
    sqlite3_result_int(ctx, pattern->matches(valueText(arg(argv, 1)).value_or("")) ? 1 : 0);
}

void fnCat(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto a = valueText(arg(argv, 0));
    auto b = valueText(arg(argv, 1));
    if (!a && !b) return sqlite3_result_null(ctx);
    resultText(ctx, a.value_or("") + b.value_or(""));
}

using TextFn = std::string (*)(const std::string&);

template <TextFn F>
void fnText(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    resultText(ctx, F(*valueText(arg(argv, 0))));
}

std::string trimBoth(const std::string& s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}
std::string trimLeft(const std::string& s) {
    std::size_t b = s.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b);
}
std::string trimRight(const std::string& s) {
    std::size_t e = s.find_last_not_of(' ');
    return e == std::string::npos ? std::string() : s.substr(0, e + 1);
}
std::string upperText(const std::string& s) {
    return toUpper(s);
}
std::string lowerText(const std::string& s) {
    return toLower(s);
}
std::string reversed(const std::string& s) {
    std::vector<char32_t> cps;
    for (std::size_t i = 0; i < s.size();) cps.push_back(nextCodePoint(s, i));
    std::string out;
    for (auto it = cps.rbegin(); it != cps.rend(); ++it) appendUtf8(out, *it);
    return out;
}

// Byte offset of the code point at 0-based index `chars` (or the end).
std::size_t offsetOfChar(const std::string& s, std::int64_t chars) {
    std::size_t i = 0;
    for (std::int64_t k = 0; k < chars && i < s.size(); ++k) nextCodePoint(s, i);
    return i;
}

bool argCount(sqlite3_context* ctx, sqlite3_value* v, std::int64_t& out) {
    auto d = numberOf(valueFromSqlite(v));
    if (!d || *d < 0) {
        sqlite3_result_error(ctx, "函数参数无效：长度或位置不能为负数或非数字", -1);
        return false;
    }
    out = static_cast<std::int64_t>(bankersRound(*d));
    return true;
}

void fnLeft(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t n = 0;
    if (!argCount(ctx, argv[1], n)) return;
    std::string s = *valueText(arg(argv, 0));
    resultText(ctx, s.substr(0, offsetOfChar(s, n)));
}

void fnRight(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t n = 0;
    if (!argCount(ctx, argv[1], n)) return;
    std::string s = *valueText(arg(argv, 0));
    auto total = static_cast<std::int64_t>(codePointCount(s));
    resultText(ctx, s.substr(offsetOfChar(s, std::max<std::int64_t>(0, total - n))));
}

void fnMid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t start = 0, len = std::numeric_limits<std::int64_t>::max();
    if (!argCount(ctx, argv[1], start)) return;
    if (start < 1) return sqlite3_result_error(ctx, "函数 Mid 的起始位置必须大于 0", -1);
    if (argc == 3 && !argCount(ctx, argv[2], len)) return;
    std::string s = *valueText(arg(argv, 0));
    std::size_t from = offsetOfChar(s, start - 1);
    std::string rest = s.substr(from);
    resultText(ctx, len == std::numeric_limits<std::int64_t>::max()
                        ? rest
                        : rest.substr(0, offsetOfChar(rest, len)));
}

void fnInstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    int k = 0;
    std::int64_t start = 1;
    if (argc >= 3) {
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
        if (!argCount(ctx, argv[0], start)) return;
        if (start < 1) return sqlite3_result_error(ctx, "函数 InStr 的起始位置必须大于 0", -1);
        k = 1;
    }
    bool binary = false;
    if (argc == 4) binary = numberOf(arg(argv, 3)).value_or(1) == 0;
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL ||
        sqlite3_value_type(argv[k + 1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::string hay = *valueText(arg(argv, k));
    std::string needle = *valueText(arg(argv, k + 1));
    if (!binary) {
        hay = toLower(hay);
        needle = toLower(needle);
    }
    std::size_t from = offsetOfChar(hay, start - 1);
    if (from >= hay.size() && !(needle.empty() && from == hay.size()))
        return sqlite3_result_int(ctx, 0);
    std::size_t at = hay.find(needle, from);
    if (at == std::string::npos) return sqlite3_result_int(ctx, 0);
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(codePointCount(hay.substr(0, at))) + 1);
}

void fnReplace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::string s = *valueText(arg(argv, 0));
    std::string find = *valueText(arg(argv, 1));
    std::string with = *valueText(arg(argv, 2));
    if (find.empty()) return resultText(ctx, s);
    std::string out;
    std::size_t pos = 0;
    for (std::size_t at; (at = s.find(find, pos)) != std::string::npos; pos = at + find.size())
        out += s.substr(pos, at - pos) + with;
    out += s.substr(pos);
    resultText(ctx, out);
}

void fnSpace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t n = 0;
    if (!argCount(ctx, argv[0], n)) return;
    if (n > 1000000) return sqlite3_result_error(ctx, "函数 Space 的长度过大", -1);
    resultText(ctx, std::string(static_cast<std::size_t>(n), ' '));
}

void fnVal(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::string s = *valueText(arg(argv, 0));
    // Val reads the longest leading number, ignoring blanks, and gives 0 when there is none.
    std::string digits;
    bool seenDot = false, seenExp = false;
    for (char c : s) {
        if (c == ' ' || c == '\t') continue;
        if ((c == '+' || c == '-') &&
            (digits.empty() || digits.back() == 'e' || digits.back() == 'E')) {
            digits += c;
        } else if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c == '.' && !seenDot && !seenExp) {
            seenDot = true;
            digits += c;
        } else if ((c == 'e' || c == 'E') && !seenExp && !digits.empty()) {
            seenExp = true;
            digits += c;
        } else {
            break;
        }
    }
    while (!digits.empty()) {
        if (auto d = parseNumber(digits)) return resultNumber(ctx, *d);
        digits.pop_back();
    }
    sqlite3_result_int(ctx, 0);
}

void fnStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    Value v = arg(argv, 0);
    std::string s = *valueText(v);
    auto d = numberOf(v);
    if (d && *d >= 0 && v.kind != Value::Kind::Text) s = " " + s;
    resultText(ctx, s);
}

template <JetType T>
void fnConvert(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    ColumnDef def;
    def.type = T;
    def.size = 255;
    auto v = convertValue(arg(argv, 0), def);
    if (!v) return sqlite3_result_error(ctx, "类型不匹配：值不能转换为所需的类型", -1);
    resultValue(ctx, *v);
}

// jet_alter(value, type, size): the conversion of ALTER COLUMN; refuses what does not convert.
void fnAlter(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ColumnDef def;
    def.type = static_cast<JetType>(sqlite3_value_int(argv[1]));
    def.size = sqlite3_value_int(argv[2]);
    Value v = arg(argv, 0);
    auto converted = convertValue(v, def);
    if (!converted) {
        std::string msg =
            "数据类型转换错误：值“" + valueText(v).value_or("") + "”不能转换为新的类型";
        return sqlite3_result_error(ctx, msg.c_str(), -1);
    }
    resultValue(ctx, *converted);
}

void fnCstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    resultText(ctx, *valueText(arg(argv, 0)));
}

void fnDateValue(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    auto dt = dateOf(arg(argv, 0));
    if (!dt) return sqlite3_result_error(ctx, "类型不匹配：值不是日期", -1);
    dt->hour = dt->minute = dt->second = 0;
    resultText(ctx, formatDateTime(*dt));
}

template <int Part>
void fnDatePart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    auto dt = dateOf(arg(argv, 0));
    if (!dt) return sqlite3_result_error(ctx, "类型不匹配：值不是日期", -1);
    int v = 0;
    switch (Part) {
        case 0:
            v = dt->year;
            break;
        case 1:
            v = dt->month;
            break;
        case 2:
            v = dt->day;
            break;
        case 3:
            v = dt->hour;
            break;
        case 4:
            v = dt->minute;
            break;
        case 5:
            v = dt->second;
            break;
        case 6: {
            // Sunday is 1; 1899-12-30 was a Saturday.
            auto days =
                static_cast<std::int64_t>(std::floor(toSerial({dt->year, dt->month, dt->day})));
            v = static_cast<int>(((days % 7) + 7 + 6) % 7) + 1;
            break;
        }
    }
    sqlite3_result_int(ctx, v);
}

DateTime localNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm = os::localTime(now);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

template <int Which>
void fnClock(sqlite3_context* ctx, int, sqlite3_value**) {
    DateTime dt = localNow();
    if (Which == 0) dt.hour = dt.minute = dt.second = 0;
    if (Which == 2) {
        dt.year = 1899;
        dt.month = 12;
        dt.day = 30;
    }
    resultText(ctx, formatDateTime(dt));
}

template <int Which>
void fnNumber(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    Value v = arg(argv, 0);
    auto d = numberOf(v);
    if (!d) return sqlite3_result_error(ctx, "类型不匹配：值不是数字", -1);
    if (v.kind == Value::Kind::Integer && Which != 4) {
        std::int64_t i = v.integer;
        if (Which == 0) i = i < 0 ? -i : i;
        if (Which == 3) i = i > 0 ? 1 : i < 0 ? -1 : 0;
        return sqlite3_result_int64(ctx, i);
    }
    switch (Which) {
        case 0:
            return resultNumber(ctx, std::fabs(*d));
        case 1:
            return resultNumber(ctx, std::floor(*d));
        case 2:
            return resultNumber(ctx, std::trunc(*d));
        case 3:
            return sqlite3_result_int(ctx, *d > 0 ? 1 : *d < 0 ? -1 : 0);
        case 4:
            if (*d < 0) return sqlite3_result_error(ctx, "函数 Sqr 的参数不能为负数", -1);
            return sqlite3_result_double(ctx, std::sqrt(*d));
    }
}

void fnRound(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    auto d = numberOf(arg(argv, 0));
    if (!d) return sqlite3_result_error(ctx, "类型不匹配：值不是数字", -1);
    std::int64_t places = 0;
    if (argc == 2 && !argCount(ctx, argv[1], places)) return;
    if (places > 15) return resultNumber(ctx, *d);
    double scale = std::pow(10.0, static_cast<double>(places));
    resultNumber(ctx, bankersRound(*d * scale) / scale);
}

template <int Which>
void fnArith(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    auto a = numberOf(arg(argv, 0));
    auto b = numberOf(arg(argv, 1));
    if (!a || !b) return sqlite3_result_error(ctx, "类型不匹配：值不是数字", -1);
    if (Which == 2) return sqlite3_result_double(ctx, std::pow(*a, *b));
    double x = bankersRound(*a), y = bankersRound(*b);
    if (y == 0) return sqlite3_result_error(ctx, "除数为零", -1);
    if (Which == 0) return resultNumber(ctx, std::fmod(x, y));
    resultNumber(ctx, std::trunc(x / y));
}

// A date as the working tables store it (its ISO text), as a serial; nullopt for anything else.
std::optional<double> storedDate(sqlite3_value* v) {
    if (sqlite3_value_type(v) != SQLITE_TEXT || sqlite3_value_bytes(v) != 19) return std::nullopt;
    std::string_view t(reinterpret_cast<const char*>(sqlite3_value_text(v)), 19);
    auto dt = parseIsoDateTime(t);
    if (!dt) return std::nullopt;
    return toSerial(*dt);
}

// + and - as Jet does them: a date plus or minus days is a date, a date minus a date the days
// between; everything else adds and subtracts as numbers, as SQLite's own operators would.
template <bool Subtract>
void fnAddSub(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    auto da = storedDate(argv[0]), db = storedDate(argv[1]);
    if (da || db) {
        if (Subtract && da && db) return sqlite3_result_double(ctx, *da - *db);
        if (Subtract && !da)
            return sqlite3_result_error(ctx, "类型不匹配：不能从数字中减去日期", -1);
        if (da && db) return sqlite3_result_error(ctx, "类型不匹配：两个日期不能相加", -1);
        sqlite3_value* other = da ? argv[1] : argv[0];
        int type = sqlite3_value_numeric_type(other);
        if (type != SQLITE_INTEGER && type != SQLITE_FLOAT)
            return sqlite3_result_error(ctx, "类型不匹配：值不是数字", -1);
        double days = sqlite3_value_double(other);
        double serial = (da ? *da : *db) + (Subtract ? -days : days);
        auto dt = fromSerial(serial);
        if (!dt) return sqlite3_result_error(ctx, "日期超出范围", -1);
        return resultText(ctx, formatDateTime(*dt));
    }
    int ta = sqlite3_value_numeric_type(argv[0]), tb = sqlite3_value_numeric_type(argv[1]);
    if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) {
        std::int64_t x = sqlite3_value_int64(argv[0]), y = sqlite3_value_int64(argv[1]), r;
        if (!(Subtract ? __builtin_sub_overflow(x, y, &r) : __builtin_add_overflow(x, y, &r)))
            return sqlite3_result_int64(ctx, r);
    }
    double x = sqlite3_value_double(argv[0]), y = sqlite3_value_double(argv[1]);
    sqlite3_result_double(ctx, Subtract ? x - y : x + y);
}

void fnAsc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::string s = *valueText(arg(argv, 0));
    if (s.empty()) return sqlite3_result_error(ctx, "函数 Asc 的参数不能为空字符串", -1);
    std::size_t i = 0;
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(nextCodePoint(s, i)));
}

void fnChr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t n = 0;
    if (!argCount(ctx, argv[0], n)) return;
    if (n > 0x10FFFF) return sqlite3_result_error(ctx, "函数 Chr 的参数超出范围", -1);
    std::string out;
    appendUtf8(out, static_cast<char32_t>(n));
    resultText(ctx, out);
}

struct Scalar {
    const char* name;
    int args;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    bool deterministic;
};

}  // namespace

int registerJetFunctions(sqlite3* db) {
    int rc = sqlite3_create_collation_v2(db, "JETCI", SQLITE_UTF8, nullptr, collateNoCase, nullptr);
    if (rc != SQLITE_OK) return rc;
    static const Scalar kScalars[] = {
        {"like", 2, fnLike, true},
        {"jet_cat", 2, fnCat, true},
        {"jet_left", 2, fnLeft, true},
        {"jet_right", 2, fnRight, true},
        {"jet_mid", 2, fnMid, true},
        {"jet_mid", 3, fnMid, true},
        {"jet_trim", 1, fnText<trimBoth>, true},
        {"jet_ltrim", 1, fnText<trimLeft>, true},
        {"jet_rtrim", 1, fnText<trimRight>, true},
        {"jet_ucase", 1, fnText<upperText>, true},
        {"jet_lcase", 1, fnText<lowerText>, true},
        {"jet_strreverse", 1, fnText<reversed>, true},
        {"jet_instr", 2, fnInstr, true},
        {"jet_instr", 3, fnInstr, true},
        {"jet_instr", 4, fnInstr, true},
        {"jet_replace", 3, fnReplace, true},
        {"jet_space", 1, fnSpace, true},
        {"jet_val", 1, fnVal, true},
        {"jet_str", 1, fnStr, true},
        {"jet_cstr", 1, fnCstr, true},
        {"jet_alter", 3, fnAlter, true},
        {"jet_clng", 1, fnConvert<JetType::Long>, true},
        {"jet_cint", 1, fnConvert<JetType::Short>, true},
        {"jet_cbyte", 1, fnConvert<JetType::Byte>, true},
        {"jet_cdbl", 1, fnConvert<JetType::Double>, true},
        {"jet_csng", 1, fnConvert<JetType::Single>, true},
        {"jet_ccur", 1, fnConvert<JetType::Currency>, true},
        {"jet_cbool", 1, fnConvert<JetType::Bit>, true},
        {"jet_cdate", 1, fnConvert<JetType::DateTime>, true},
        {"jet_datevalue", 1, fnDateValue, true},
        {"jet_year", 1, fnDatePart<0>, true},
        {"jet_month", 1, fnDatePart<1>, true},
        {"jet_day", 1, fnDatePart<2>, true},
        {"jet_hour", 1, fnDatePart<3>, true},
        {"jet_minute", 1, fnDatePart<4>, true},
        {"jet_second", 1, fnDatePart<5>, true},
        {"jet_weekday", 1, fnDatePart<6>, true},
        {"jet_date", 0, fnClock<0>, false},
        {"jet_now", 0, fnClock<1>, false},
        {"jet_time", 0, fnClock<2>, false},
        {"jet_abs", 1, fnNumber<0>, true},
        {"jet_int", 1, fnNumber<1>, true},
        {"jet_fix", 1, fnNumber<2>, true},
        {"jet_sgn", 1, fnNumber<3>, true},
        {"jet_sqr", 1, fnNumber<4>, true},
        {"jet_round", 1, fnRound, true},
        {"jet_round", 2, fnRound, true},
        {"jet_mod", 2, fnArith<0>, true},
        {"jet_add", 2, fnAddSub<false>, true},
        {"jet_sub", 2, fnAddSub<true>, true},
        {"jet_idiv", 2, fnArith<1>, true},
        {"jet_pow", 2, fnArith<2>, true},
        {"jet_asc", 1, fnAsc, true},
        {"jet_chr", 1, fnChr, true},
    };
    for (const auto& s : kScalars) {
        int flags = SQLITE_UTF8 | (s.deterministic ? SQLITE_DETERMINISTIC : 0);
        rc = sqlite3_create_function_v2(db, s.name, s.args, flags, nullptr, s.fn, nullptr, nullptr,
                                        nullptr);
        if (rc != SQLITE_OK) return rc;
    }
    return registerJetAggregates(db);
}

}  // namespace qx::jet
