// Workbooks made for tests: one sheet named 数据, with shared strings when given, every part
// deflated as spreadsheet programs write them.
#pragma once

#include <zip.h>

#include <string>
#include <utility>
#include <vector>

namespace qx::testing {

// Writes `file`: a workbook whose one sheet holds `sheetData` (the rows, as XML) and whose
// shared strings are `shared`.
inline bool writeWorkbook(const std::string& file, const std::string& sheetData,
                          const std::vector<std::string>& shared = {}) {
    const std::string ns = "http://schemas.openxmlformats.org/";
    const std::string rel = ns + "officeDocument/2006/relationships/";
    std::string sheetRels =
        "<Relationship Id=\"r1\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet1.xml\"/>";
    std::string sst = "<sst xmlns=\"" + ns + "spreadsheetml/2006/main\">";
    for (const auto& s : shared) sst += "<si><t>" + s + "</t></si>";
    sst += "</sst>";
    if (!shared.empty())
        sheetRels += "<Relationship Id=\"r2\" Type=\"" + rel +
                     "sharedStrings\" Target=\"sharedStrings.xml\"/>";
    std::vector<std::pair<std::string, std::string>> parts = {
        {"[Content_Types].xml", "<Types xmlns=\"" + ns + "package/2006/content-types\"/>"},
        {"_rels/.rels", "<Relationships xmlns=\"" + ns +
                            "package/2006/relationships\"><Relationship Id=\"r1\" Type=\"" + rel +
                            "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", "<workbook xmlns=\"" + ns + "spreadsheetml/2006/main\" xmlns:r=\"" +
                                ns +
                                "officeDocument/2006/relationships\"><sheets><sheet "
                                "name=\"数据\" sheetId=\"1\" r:id=\"r1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels", "<Relationships xmlns=\"" + ns +
                                           "package/2006/relationships\">" + sheetRels +
                                           "</Relationships>"},
        {"xl/worksheets/sheet1.xml", "<worksheet xmlns=\"" + ns +
                                         "spreadsheetml/2006/main\"><sheetData>" + sheetData +
                                         "</sheetData></worksheet>"}};
    if (!shared.empty()) parts.emplace_back("xl/sharedStrings.xml", sst);
    int code = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!z) return false;
    for (const auto& [name, bytes] : parts) {
        zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
        zip_int64_t at = zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8);
        zip_set_file_compression(z, static_cast<zip_uint64_t>(at), ZIP_CM_DEFLATE, 6);
    }
    return zip_close(z) == 0;
}

}  // namespace qx::testing
