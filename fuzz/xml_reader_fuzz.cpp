// Fuzz target: the workbook XML reader against expat. The first byte says in what pieces the
// rest is fed. A document expat reads must give the same elements, attributes and text; one it
// refuses may be refused or read (the reader is no validator), but never crash.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/unit/isam/xml_events.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::size_t piece = 1 + data[0] % 64;
    if (data[0] >= 128) piece = std::size_t{1} << 20;
    std::string xml(reinterpret_cast<const char*>(data + 1), size - 1);
    using namespace qx::isam::excel12::xml_events;
    std::vector<std::string> ours = withOurs(xml, piece), reference = withExpat(xml);
    if (reference != std::vector<std::string>{"error"} && ours != reference) std::abort();
    return 0;
}
