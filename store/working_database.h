// The working database: the one file in the program directory that every table read is copied
// into, in one of two flavours chosen by a file extension, created empty on the first read,
// compacted after each read and deleted by the data reset.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qx::store {

enum class Flavour { Jet, Ace };

// The text after the last "." of a path, lower-cased; a path without "." gives the whole path.
std::string lowerExtension(std::string_view path);
// The ACE flavour exactly for "xlsx" (xlsx mode); every other extension means Jet.
Flavour flavourForExtension(std::string_view extension);

// Results of compaction, as callers of the engine's compaction know them.
enum CompactResult {
    kCompactDone = 0,
    kCompactUnavailable = 1,
    kCompactEngineError = 2,
    kCompactNotReplaced = 3
};

class WorkingDatabase {
  public:
    explicit WorkingDatabase(std::filesystem::path programDirectory);

    const std::filesystem::path& programDirectory() const { return dir_; }
    std::filesystem::path path(Flavour flavour) const;      // 结果表.mdb / 结果表.accdb
    std::filesystem::path lockPath(Flavour flavour) const;  // 结果表.ldb / 结果表.laccdb
    std::string connectionString(Flavour flavour) const;

    // Writes the empty database of the flavour when no file is at the path.
    bool createIfAbsent(Flavour flavour, std::string* error = nullptr) const;

    // The field names of a working table in field order (empty when it cannot be read).
    std::vector<std::string> listColumns(std::string_view table, Flavour flavour) const;
    std::vector<std::string> listTables(Flavour flavour) const;

    // Rewrites the database compactly. The compacted copy replaces the file in one step; on any
    // failure the original stays as it was. The password arguments are accepted for callers
    // that pass them and have no effect: working databases carry no password. `why`, when
    // given, receives the reason of a failure.
    int compact(const std::filesystem::path& database, const std::string& password = {},
                bool passwordFlag = false, std::string* why = nullptr) const;

    // The file side of the data reset: deletes the database files of both flavours and their
    // lock and journal files. Failures are not reported.
    void deleteFiles() const;

  private:
    std::filesystem::path dir_;
};

}  // namespace qx::store
