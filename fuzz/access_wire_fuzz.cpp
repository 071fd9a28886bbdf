// Fuzz target: the messages of the Access reading helper as the driver decodes them.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/isam/helper_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace wire = qx::isam::wire;
    std::string payload(reinterpret_cast<const char*>(data), size);
    qx::jet::ColumnDef column;
    wire::parseColumn(payload, column);
    std::vector<qx::jet::Value> row;
    for (std::size_t columns : {0, 1, 3, 17}) wire::decodeRow(payload, columns, row);
    return 0;
}
