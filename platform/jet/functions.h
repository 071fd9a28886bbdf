// The collation, LIKE and the Jet functions that translated statements call, and the value
// conversions of ALTER COLUMN and the C* functions.
#pragma once

#include <optional>

#include "platform/jet/types.h"

struct sqlite3;
struct sqlite3_value;

namespace qx::jet {

// Registers JETCI, like() and every jet_* function on the connection. Returns an SQLite code.
int registerJetFunctions(sqlite3* db);
// The aggregates among them (Sum, Avg, First, Last, StDev).
int registerJetAggregates(sqlite3* db);

Value valueFromSqlite(sqlite3_value* v);
// A value as Jet turns it into text (numbers in their shortest form).
std::optional<std::string> valueText(const Value& v);

// Converts a value to a column type, as ALTER COLUMN does; nullopt when it does not convert.
std::optional<Value> convertValue(const Value& v, const ColumnDef& to);

// The number a value stands for in arithmetic: numbers, numbers in text, dates by their serial.
std::optional<double> numberOf(const Value& v);

// Number in text, as Jet reads it (blanks around, sign, fraction, exponent).
std::optional<double> parseNumber(std::string_view text);

}  // namespace qx::jet
