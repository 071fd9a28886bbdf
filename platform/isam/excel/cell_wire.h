// A row of sheet cells as the reading helpers send it (helper_wire's row payload): numbers,
// dates and booleans as doubles, text with its length, Null for an empty or error cell.
#pragma once

#include <string>
#include <vector>

#include "platform/isam/excel/sheet_table.h"
#include "platform/isam/helper_wire.h"

namespace qx::isam::excel {

inline std::string cellsPayload(const std::vector<Cell>& cells) {
    std::string row;
    for (const Cell& c : cells) {
        double d = c.number;
        switch (c.kind) {
            case Cell::Kind::Number:
            case Cell::Kind::Date:
            case Cell::Kind::Bool:
                row += c.kind == Cell::Kind::Number ? wire::kReal
                       : c.kind == Cell::Kind::Date ? wire::kDate
                                                    : wire::kBool;
                wire::putRaw(row, &d, sizeof d);
                break;
            case Cell::Kind::Text:
                if (c.text.empty()) {
                    row += wire::kNull;  // an empty text cell holds nothing
                    break;
                }
                row += wire::kText;
                wire::putU32(row, static_cast<std::uint32_t>(c.text.size()));
                row += c.text;
                break;
            default:
                row += wire::kNull;
                break;
        }
    }
    return row;
}

}  // namespace qx::isam::excel
