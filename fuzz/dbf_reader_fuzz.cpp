// Fuzz target: a .dbf (and, after a split point, its .dbt) read to the end.
#include <unistd.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/isam/dbase/dbase_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path dir = [] {
        auto d =
            std::filesystem::temp_directory_path() / ("qx_fuzz_dbf_" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // The first two bytes say where the memo file starts.
    std::size_t split = size >= 2 ? (data[0] | data[1] << 8) : size;
    if (split > bytes.size()) split = bytes.size();
    std::ofstream(dir / "t.dbf", std::ios::binary | std::ios::trunc) << bytes.substr(0, split);
    std::ofstream(dir / "t.dbt", std::ios::binary | std::ios::trunc) << bytes.substr(split);
    std::string error;
    auto reader = qx::isam::dbase::DbfReader::open(dir / "t.dbf", error);
    if (!reader) return 0;
    std::vector<qx::jet::Value> row;
    for (int n = 0; n < 100000 && reader->next(row); ++n) {
    }
    return 0;
}
