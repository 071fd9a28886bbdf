// A workbook's package: the workbook part found through the relationships, its sheets with the
// parts that hold them, the 1904 date system flag, the shared strings and the date styles.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/isam/excel12/zip_archive.h"

namespace qx::isam::excel12 {

struct Workbook {
    std::unique_ptr<ZipArchive> zip;
    std::string part;  // xl/workbook.xml
    struct Sheet {
        std::string name, part;
    };
    std::vector<Sheet> sheets;
    std::vector<std::string> definedNames;
    bool date1904 = false;
    std::string sharedStringsPart, stylesPart;
};

// Opens the package and reads its workbook part. A sheet whose part cannot be found is an error
// here, named, rather than when the sheet is read.
bool openWorkbook(const std::string& path, Workbook& wb, std::string& error);

// For each cell style, whether its number format shows a date or a time.
std::vector<bool> readDateStyles(const Workbook& wb, std::string& error);
bool readSharedStrings(const Workbook& wb, std::vector<std::string>& out, std::string& error);

// A relationship's target as a part name: resolved against the folder of the part that names
// it, "%XX" escapes decoded, "\" taken for "/".
std::string resolveTarget(const std::string& base, const std::string& target);

}  // namespace qx::isam::excel12
