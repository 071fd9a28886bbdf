// Values between SQLite and Jet: numbers and dates read from text, and the conversions of
// ALTER COLUMN and the C* functions.
#include "platform/jet/conversions.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdint>

#include "platform/jet/text.h"

namespace qx::jet {

Value valueFromSqlite(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            return Value::ofInteger(sqlite3_value_int64(v));
        case SQLITE_FLOAT:
            return Value::ofReal(sqlite3_value_double(v));
        case SQLITE_TEXT: {
            auto p = reinterpret_cast<const char*>(sqlite3_value_text(v));
            return Value::ofText(std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))));
        }
        case SQLITE_BLOB: {
            auto p = static_cast<const char*>(sqlite3_value_blob(v));
            return Value::ofBlob(
                std::string(p ? p : "", static_cast<std::size_t>(sqlite3_value_bytes(v))));
        }
        default:
            return Value::null();
    }
}

std::optional<std::string> valueText(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return std::nullopt;
        case Value::Kind::Integer:
            return std::to_string(v.integer);
        case Value::Kind::Real:
            return formatDouble(v.real);
        default:
            return v.text;
    }
}

std::optional<double> parseNumber(std::string_view t) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    if (t.empty()) return std::nullopt;
    if (blank(t.front()) || blank(t.back())) {
        std::size_t b = t.find_first_not_of(" \t\r\n");
        if (b == std::string_view::npos) return std::nullopt;
        std::size_t e = t.find_last_not_of(" \t\r\n");
        t = t.substr(b, e - b + 1);
    }
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    if (t.empty() || t[0] == '+' || t[0] == '-') return std::nullopt;
    // Digits with at most one point, 15 digits at most (nearly every number a file holds): the
    // digits as an integer and the power of ten are exact doubles, so one division rounds as
    // from_chars does.
    if (t.size() <= 16) {
        static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        std::uint64_t digits = 0;
        std::size_t count = 0, point = t.size();
        bool plain = true;
        for (std::size_t k = 0; k < t.size() && plain; ++k) {
            char c = t[k];
            if (c >= '0' && c <= '9') {
                digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
                ++count;
            } else if (c == '.' && point == t.size()) {
                point = k;
            } else {
                plain = false;
            }
        }
        if (plain && count > 0 && count <= 15) {
            double d = static_cast<double>(digits);
            if (point < t.size()) d /= kTens[t.size() - 1 - point];
            return negative ? -d : d;
        }
    }
    double d = 0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
    if (ec != std::errc() || p != t.data() + t.size()) return std::nullopt;
    return negative ? -d : d;
}

// The number a value stands for in arithmetic and conversions to numbers.
std::optional<double> numberOf(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Integer:
            return static_cast<double>(v.integer);
        case Value::Kind::Real:
            return v.real;
        case Value::Kind::Text:
            if (auto d = parseNumber(v.text)) return d;
            if (auto dt = parseIsoDateTime(v.text)) return toSerial(*dt);
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<DateTime> dateOf(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Integer:
        case Value::Kind::Real:
            return fromSerial(v.kind == Value::Kind::Integer ? static_cast<double>(v.integer)
                                                             : v.real);
        case Value::Kind::Text: {
            std::string_view t = v.text;
            std::size_t b = t.find_first_not_of(' ');
            if (b == std::string_view::npos) return std::nullopt;
            t = t.substr(b, t.find_last_not_of(' ') - b + 1);
            if (auto dt = parseDateText(t)) return dt;
            if (auto d = parseNumber(t)) return fromSerial(*d);
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

double bankersRound(double d) {
    return std::nearbyint(d);
}

namespace {

std::optional<Value> toInteger(const Value& v, double lo, double hi) {
    if (v.kind == Value::Kind::Text) {
        std::string_view t = v.text;
        if (t.find_first_not_of(' ') == std::string_view::npos) return Value::null();
    }
    auto d = numberOf(v);
    if (!d) return std::nullopt;
    double r = bankersRound(*d);
    if (r < lo || r > hi) return std::nullopt;
    return Value::ofInteger(static_cast<std::int64_t>(r));
}

std::optional<Value> toReal(const Value& v, bool single) {
    if (v.kind == Value::Kind::Text && v.text.find_first_not_of(' ') == std::string::npos)
        return Value::null();
    auto d = numberOf(v);
    if (!d) return std::nullopt;
    if (single) {
        if (std::fabs(*d) > std::numeric_limits<float>::max()) return std::nullopt;
        float f = static_cast<float>(*d);
        // Keep the value a single shows, not the widened binary fraction.
        auto parsed = parseNumber(formatSingle(f));
        return Value::ofReal(parsed.value_or(f));
    }
    if (*d == std::floor(*d) && std::fabs(*d) < 9e15)
        return Value::ofInteger(static_cast<std::int64_t>(*d));
    return Value::ofReal(*d);
}

std::optional<Value> toBit(const Value& v) {
    if (v.kind == Value::Kind::Text) {
        std::string u = asciiUpper(v.text);
        u.erase(0, u.find_first_not_of(' '));
        u.erase(u.find_last_not_of(' ') + 1);
        if (u.empty()) return Value::null();
        if (u == "TRUE" || u == "YES" || u == "ON") return Value::ofInteger(-1);
        if (u == "FALSE" || u == "NO" || u == "OFF") return Value::ofInteger(0);
    }
    auto d = numberOf(v);
    if (!d) return std::nullopt;
    return Value::ofInteger(*d != 0 ? -1 : 0);
}

std::string truncateChars(const std::string& s, std::size_t n) {
    std::size_t i = 0, count = 0;
    while (i < s.size() && count < n) {
        nextCodePoint(s, i);
        ++count;
    }
    return s.substr(0, i);
}

}  // namespace

std::optional<Value> convertValue(const Value& v, const ColumnDef& to) {
    if (v.isNull()) return v;
    switch (to.type) {
        case JetType::Text:
        case JetType::Memo: {
            std::string text = *valueText(v);
            if (to.type == JetType::Text)
                text = truncateChars(text, static_cast<std::size_t>(to.size));
            return Value::ofText(std::move(text));
        }
        case JetType::Long:
            return toInteger(v, -2147483648.0, 2147483647.0);
        case JetType::Short:
            return toInteger(v, -32768.0, 32767.0);
        case JetType::Byte:
            return toInteger(v, 0.0, 255.0);
        case JetType::Single:
            return toReal(v, true);
        case JetType::Double:
            return toReal(v, false);
        case JetType::Currency: {
            auto r = toReal(v, false);
            if (!r || r->isNull()) return r;
            if (r->kind == Value::Kind::Real) {
                double scaled = std::nearbyint(r->real * 10000.0) / 10000.0;
                if (std::fabs(scaled) > 922337203685477.0) return std::nullopt;
                r->real = scaled;
            }
            return r;
        }
        case JetType::DateTime: {
            if (v.kind == Value::Kind::Text && v.text.find_first_not_of(' ') == std::string::npos)
                return Value::null();
            auto dt = dateOf(v);
            if (!dt) return std::nullopt;
            return Value::ofText(formatDateTime(*dt));
        }
        case JetType::Bit:
            return toBit(v);
        case JetType::Binary:
            return Value::ofBlob(*valueText(v));
    }
    return std::nullopt;
}

}  // namespace qx::jet
