// The collation, LIKE and the Jet functions that translated statements call.
#pragma once

#include "platform/jet/conversions.h"

struct sqlite3;

namespace qx::jet {

// Registers JETCI, like() and every jet_* function on the connection. Returns an SQLite code.
int registerJetFunctions(sqlite3* db);
// The aggregates among them (Sum, Avg, First, Last, StDev).
int registerJetAggregates(sqlite3* db);

}  // namespace qx::jet
