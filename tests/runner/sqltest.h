// The runner of data-driven SQL test files (.test): each file runs against a fresh, empty
// working database and reports every record that does not hold.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace qx::sqltest {

struct Options {
    std::string flavour = "mdb";  // "mdb" or "accdb"
    std::filesystem::path tmp;    // kept when given; a throw-away folder otherwise
};

struct Tally {
    int passed = 0;
    int failed = 0;
};

// Runs one file; failures are written to `out` as "FILE:LINE: what differed".
Tally runFile(const std::filesystem::path& file, const Options& options, std::ostream& out);

}  // namespace qx::sqltest
