// Writing Access 2000 (Jet 4) databases: the empty database the save step writes first, and a
// table with its rows added to it. Pages of 4 KiB: the database header (its middle RC4-masked
// as the format requires), the system catalogue MSysObjects and the other system tables Jet
// creates, then for the added table its definition, usage maps, data pages and long-value pages.
#pragma once

#include <filesystem>
#include <string>

#include "platform/isam/driver.h"

namespace qx::isam::access {

// Writes an empty database at `file`, replacing what stands there in one step.
bool writeEmptyDatabase(const std::filesystem::path& file, std::string& error);

// Adds a table to a database written by writeEmptyDatabase and holding no table yet. The file is
// replaced in one step when the table is complete; on any error it stays as it was.
bool addTable(const std::filesystem::path& file, const std::string& name, RowSource& rows,
              std::string& error);

}  // namespace qx::isam::access
