// Values between SQLite and Jet: numbers and dates read from text, and the conversions of ALTER
// COLUMN and the C* functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/jet/types.h"

struct sqlite3_value;

namespace qx::jet {

Value valueFromSqlite(sqlite3_value* v);
// A value as Jet turns it into text (numbers in their shortest form).
std::optional<std::string> valueText(const Value& v);

// Converts a value to a column type, as ALTER COLUMN does; nullopt when it does not convert.
std::optional<Value> convertValue(const Value& v, const ColumnDef& to);

// The number a value stands for in arithmetic: numbers, numbers in text, dates by their serial.
std::optional<double> numberOf(const Value& v);
// The date a value stands for: a serial, or a date or a serial in text.
std::optional<DateTime> dateOf(const Value& v);

// Number in text, as Jet reads it (blanks around, sign, fraction, exponent).
std::optional<double> parseNumber(std::string_view text);

// Round half to even, as Jet's CLng, CInt and Round do.
double bankersRound(double d);

}  // namespace qx::jet
