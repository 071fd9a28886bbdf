// Reading Access databases, Jet 3 (Access 97) and Jet 4 (Access 2000-2003): the user tables of
// the catalogue and a table's rows, decoded in this process from the file's pages. Every page
// number, offset and length is checked before use; a damaged file is an error, never a crash.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/isam/driver.h"

namespace qx::isam::access {

// Where a database's bytes come from: its file, or memory.
class PageSource {
  public:
    virtual ~PageSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads `n` bytes at `at`; false when they are not all there or cannot be read.
    virtual bool read(std::uint64_t at, std::uint8_t* out, std::size_t n) = 0;
};

std::unique_ptr<PageSource> pagesOfFile(const std::filesystem::path& file, std::string& error);
std::unique_ptr<PageSource> pagesInMemory(std::string bytes);

// The user tables in catalogue order: neither system nor hidden tables, nor linked ones.
bool listMdbTables(std::unique_ptr<PageSource> pages, std::vector<std::string>& names,
                   std::string& error);

// A table's rows as the working database takes them (found by name without regard to case).
std::unique_ptr<RowSource> readMdbTable(std::unique_ptr<PageSource> pages, const std::string& table,
                                        std::string& error);

}  // namespace qx::isam::access
