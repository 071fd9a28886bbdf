// Fuzz target: a delimited text file (and, after a split point, its schema.ini) read to the end.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/isam/text/text_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path dir = [] {
        auto d =
            std::filesystem::temp_directory_path() / ("qx_fuzz_text_" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::size_t split = size >= 2 ? (data[0] | data[1] << 8) : size;
    if (split > bytes.size()) split = bytes.size();
    std::ofstream(dir / "schema.ini", std::ios::binary | std::ios::trunc) << "[t.txt]\r\n"
                                                                          << bytes.substr(0, split);
    std::ofstream(dir / "t.txt", std::ios::binary | std::ios::trunc) << bytes.substr(split);
    qx::isam::text::TextDriver driver;
    qx::isam::ExternalClause db;
    db.properties.emplace_back("DATABASE", dir.string());
    std::string error;
    auto rows = driver.readTable(db, "t.txt", error);
    if (!rows) return 0;
    std::vector<qx::jet::Value> row;
    for (int n = 0; n < 100000 && rows->next(row); ++n) {
    }
    return 0;
}
