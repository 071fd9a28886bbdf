// Fuzz target: an Access database, its tables listed and each read to the end (the catalogue
// itself too), as the driver reads them.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/isam/access/mdb_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace access = qx::isam::access;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> names;
    std::string error;
    access::listMdbTables(access::pagesInMemory(bytes), names, error);
    names.push_back("MSysObjects");
    for (const auto& name : names) {
        auto rows = access::readMdbTable(access::pagesInMemory(bytes), name, error);
        if (!rows) continue;
        std::vector<qx::jet::Value> row;
        while (rows->next(row)) {
        }
    }
    return 0;
}
