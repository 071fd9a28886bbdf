// For drivers whose database is a folder of files (dBASE, Text): the folder a clause names, a
// file found without regard to case (as on the systems such files come from), and the listing.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/isam/driver.h"

namespace qx::isam {

std::filesystem::path clauseFolder(const ExternalClause& db);
std::filesystem::path findFileNoCase(const std::filesystem::path& folder, const std::string& name);
// The file a written table becomes in the clause's folder; empty (with `error` set) when the
// folder does not exist.
std::filesystem::path tableFileToWrite(const ExternalClause& db, const std::string& name,
                                       std::string& error);
// The files of the folder whose extension (".dbf", ".txt", …) is one of `extensions`.
bool listFolder(const ExternalClause& db, std::initializer_list<const char*> extensions,
                std::vector<TableName>& out, std::string& error);

}  // namespace qx::isam
