// The session fixture's query helper.
#include "unit/exchange/session_fixture.h"

#include "platform/jet/recordset.h"

namespace qx::testing {

std::vector<std::string> SessionTest::query(const std::string& sql) {
    std::vector<std::string> rows;
    jet::Connection c;
    if (!c.open(session_->connectionString())) return {"<no database>"};
    jet::Recordset rs;
    if (!rs.open(c, sql)) return {"<refused>"};
    for (; !rs.eof(); rs.moveNext()) {
        std::string row;
        for (int i = 0; i < rs.fieldCount(); ++i) {
            if (i) row += "|";
            row += rs.value(i).value_or("");
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace qx::testing
