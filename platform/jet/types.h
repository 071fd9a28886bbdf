// Jet column types, values as they cross the engine's boundary, and their text forms.
// Dates travel as "YYYY-MM-DD HH:MM:SS" text; that is also how they are stored in SQLite.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qx::jet {

enum class JetType {
    Text,  // with a size of 1..255 characters
    Memo,
    Long,
    Short,
    Byte,
    Single,
    Double,
    Currency,
    DateTime,
    Bit,
    Binary,
};

struct ColumnDef {
    std::string name;
    JetType type = JetType::Text;
    int size = 255;  // characters, for Text only
};

// ADO's DataTypeEnum codes and DefinedSize, as a record set reports a Jet field.
int adoTypeCode(JetType type);
int adoDefinedSize(JetType type, int textSize);

// A type keyword of Jet's DDL (varchar, text, memo, long, int, short, single, double, byte,
// datetime, time, currency, bit, binary, ...), with the size given in parentheses when any.
// "text" without a size is memo, "varchar" without a size is text(255).
std::optional<ColumnDef> typeFromKeyword(std::string_view keyword, std::optional<int> size);

// The declared type written into the SQLite schema: it names the Jet type and gives SQLite
// the matching affinity (text columns also compare without regard to case).
std::string sqliteDeclaration(JetType type, int textSize);
// Reads back a declared type of the schema (or any foreign declaration) as a Jet type.
std::optional<ColumnDef> typeFromDeclaration(std::string_view decl);

struct Value {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;  // Text and Blob bytes

    static Value null() { return {}; }
    static Value ofInteger(std::int64_t v) { return {Kind::Integer, v, 0, {}}; }
    static Value ofReal(double v) { return {Kind::Real, 0, v, {}}; }
    static Value ofText(std::string v) { return {Kind::Text, 0, 0, std::move(v)}; }
    static Value ofBlob(std::string v) { return {Kind::Blob, 0, 0, std::move(v)}; }
    bool isNull() const { return kind == Kind::Null; }
};

// Shortest text that reads back as the same double ("2.5", "3", "-0.1").
std::string formatDouble(double v);
std::string formatSingle(float v);

// The text of a value as a field of the given type shows it (Null gives nullopt).
std::optional<std::string> formatValue(const Value& v, JetType type);

// Dates. A serial date is Jet's double: days since 1899-12-30, the fraction the time of day.
struct DateTime {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};
std::string formatDateTime(const DateTime& dt);                   // YYYY-MM-DD HH:MM:SS
std::optional<DateTime> parseIsoDateTime(std::string_view text);  // the stored form only
// Dates as users and Jet write them: m/d/yyyy [h:nn[:ss] [AM|PM]], yyyy-mm-dd [hh:nn[:ss]],
// yyyy/m/d, and a time alone (on 1899-12-30).
std::optional<DateTime> parseDateText(std::string_view text);
double toSerial(const DateTime& dt);
std::optional<DateTime> fromSerial(double serial);
bool isValidDate(int year, int month, int day);

}  // namespace qx::jet
