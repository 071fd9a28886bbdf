// qx_mdb_dump: the Access reader's side of the corpus comparison, speaking as the reading
// helpers do (helper_wire), so that the comparison script decodes it as it decodes them:
//   qx_mdb_dump list FILE          the user tables, in catalogue order
//   qx_mdb_dump read FILE TABLE    the table's columns, then its rows
#include <cstdio>
#include <string>
#include <vector>

#include "platform/isam/access/mdb_reader.h"
#include "platform/isam/helper_wire.h"

namespace wire = qx::isam::wire;
using qx::jet::Value;

namespace {

std::string rowPayload(const std::vector<Value>& row) {
    std::string out;
    for (const Value& v : row) {
        switch (v.kind) {
            case Value::Kind::Null:
                out += wire::kNull;
                break;
            case Value::Kind::Integer:
                out += wire::kInteger;
                wire::putRaw(out, &v.integer, sizeof v.integer);
                break;
            case Value::Kind::Real:
                out += wire::kReal;
                wire::putRaw(out, &v.real, sizeof v.real);
                break;
            case Value::Kind::Text:
            case Value::Kind::Blob:
                out += v.kind == Value::Kind::Text ? wire::kText : wire::kBlob;
                wire::putU32(out, static_cast<std::uint32_t>(v.text.size()));
                out += v.text;
                break;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return wire::fail("usage: qx_mdb_dump list|read FILE [TABLE]");
    std::string command = argv[1], error;
    auto pages = qx::isam::access::pagesOfFile(argv[2], error);
    if (!pages) return wire::fail(error);
    if (command == "list" && argc == 3) {
        std::vector<std::string> names;
        if (!qx::isam::access::listMdbTables(std::move(pages), names, error))
            return wire::fail(error);
        for (const auto& n : names) wire::send(wire::kTable, n);
    } else if (command == "read" && argc == 4) {
        auto rows = qx::isam::access::readMdbTable(std::move(pages), argv[3], error);
        if (!rows) return wire::fail(error);
        for (const auto& c : rows->columns()) {
            std::string payload(1, static_cast<char>(c.type));
            auto size = static_cast<std::uint16_t>(c.size);
            wire::putRaw(payload, &size, sizeof size);
            wire::send(wire::kColumn, payload + c.name);
        }
        std::vector<Value> row;
        while (rows->next(row)) wire::send(wire::kRow, rowPayload(row));
        if (!rows->error().empty()) return wire::fail(rows->error());
    } else {
        return wire::fail("unknown command");
    }
    wire::send(wire::kEnd, {});
    std::fflush(stdout);
    return 0;
}
