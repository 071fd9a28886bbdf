// The package's relationships, read as spreadsheet programs read them: part names without regard
// to case, escapes in targets decoded; when the workbook's relationships are missing or damaged,
// its sheets in the parts writers give them by position.
#include "platform/isam/excel12/workbook_package.h"

#include <cstdlib>
#include <map>

#include "platform/isam/excel/excel_dates.h"
#include "platform/isam/excel12/xml_reader.h"

namespace qx::isam::excel12 {

namespace {

bool parseWhole(const std::string& xml, XmlReader& reader, std::string& error) {
    return reader.feed(xml.data(), xml.size(), true, error);
}

std::string relsOf(const std::string& part) {
    std::size_t slash = part.rfind('/');
    std::string folder = slash == std::string::npos ? "" : part.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? part : part.substr(slash + 1);
    return folder + "_rels/" + file + ".rels";
}

struct Relationship {
    std::string id, type, target;
};

// The relationships of `part`; false when its relationship part is missing or damaged.
bool readRels(const ZipArchive& zip, const std::string& part, std::vector<Relationship>& out) {
    std::string xml, error;
    std::string rels = zip.locate(relsOf(part));
    if (rels.empty() || !zip.read(rels, xml, error)) return false;
    XmlReader r;
    r.onStart = [&](std::string_view name, XmlReader::Attributes a) {
        if (name != "Relationship") return;
        const char* id = XmlReader::attribute(a, "Id");
        const char* type = XmlReader::attribute(a, "Type");
        const char* target = XmlReader::attribute(a, "Target");
        const char* mode = XmlReader::attribute(a, "TargetMode");
        if (id && type && target && !(mode && std::string_view(mode) == "External"))
            out.push_back({id, type, zip.locate(resolveTarget(part, target))});
    };
    return parseWhole(xml, r, error);
}

bool endsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string resolveTarget(const std::string& base, const std::string& target) {
    // A URI: "%XX" escapes stand for bytes; some writers put Windows' "\" for "/".
    std::string decoded;
    for (std::size_t i = 0; i < target.size(); ++i) {
        auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        if (target[i] == '%' && i + 2 < target.size() && hex(target[i + 1]) >= 0 &&
            hex(target[i + 2]) >= 0) {
            decoded += static_cast<char>(hex(target[i + 1]) * 16 + hex(target[i + 2]));
            i += 2;
        } else {
            decoded += target[i] == '\\' ? '/' : target[i];
        }
    }
    std::string path = !decoded.empty() && decoded[0] == '/'
                           ? decoded
                           : base.substr(0, base.rfind('/') + 1) + decoded;
    // Fold "dir/../".
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        std::string piece =
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (piece == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!piece.empty() && piece != ".") {
            parts.push_back(piece);
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

bool openWorkbook(const std::string& path, Workbook& wb, std::string& error) {
    wb.zip = ZipArchive::open(path, error);
    if (!wb.zip) return false;
    std::vector<Relationship> rels;
    readRels(*wb.zip, "", rels);
    for (const auto& rel : rels)
        if (endsWith(rel.type, "/officeDocument") && !rel.target.empty()) wb.part = rel.target;
    if (wb.part.empty()) wb.part = wb.zip->locate("xl/workbook.xml");
    std::string xml;
    if (wb.part.empty() || !wb.zip->read(wb.part, xml, error)) {
        error = "文件已损坏或不是 Excel 2007 工作簿";
        return false;
    }
    rels.clear();
    const bool relsRead = readRels(*wb.zip, wb.part, rels);
    std::map<std::string, std::string> targets;
    for (const auto& rel : rels) {
        targets[rel.id] = rel.target;
        if (endsWith(rel.type, "/sharedStrings")) wb.sharedStringsPart = rel.target;
        if (endsWith(rel.type, "/styles")) wb.stylesPart = rel.target;
    }
    const std::string folder = wb.part.substr(0, wb.part.rfind('/') + 1);
    if (!relsRead) {
        // Without the relationships the parts are where every writer puts them.
        wb.sharedStringsPart = wb.zip->locate(folder + "sharedStrings.xml");
        wb.stylesPart = wb.zip->locate(folder + "styles.xml");
    }
    std::vector<std::string> sheetIds;
    std::string currentName;
    std::string localSheet;
    bool inName = false;
    XmlReader r;
    r.onStart = [&](std::string_view name, XmlReader::Attributes a) {
        if (name == "sheet") {
            const char* n = XmlReader::attribute(a, "name");
            const char* id = XmlReader::attribute(a, "id");
            if (n) {
                wb.sheets.push_back({n, ""});
                sheetIds.push_back(id ? id : "");
            }
        } else if (name == "workbookPr") {
            const char* d = XmlReader::attribute(a, "date1904");
            wb.date1904 = d && (std::string(d) == "1" || std::string(d) == "true");
        } else if (name == "definedName") {
            const char* n = XmlReader::attribute(a, "name");
            const char* local = XmlReader::attribute(a, "localSheetId");
            currentName = n ? n : "";
            localSheet = local ? local : "";
            inName = true;
        }
    };
    r.onEnd = [&](std::string_view name) {
        if (name != "definedName" || !inName) return;
        inName = false;
        std::string shown = currentName;
        if (shown.rfind("_xlnm.", 0) == 0) shown = shown.substr(6);
        if (!localSheet.empty()) {
            std::size_t idx = static_cast<std::size_t>(std::atoi(localSheet.c_str()));
            if (idx < wb.sheets.size()) shown = wb.sheets[idx].name + "$" + shown;
        }
        wb.definedNames.push_back(shown);
    };
    if (!parseWhole(xml, r, error)) return false;
    // Worksheets are numbered by position only among themselves: with chart, dialog or macro
    // sheets in the workbook the position says nothing.
    bool byPosition = true;
    for (const char* other :
         {"chartsheets/sheet1.xml", "dialogsheets/sheet1.xml", "macrosheets/sheet1.xml"})
        if (!wb.zip->locate(folder + other).empty()) byPosition = false;
    for (std::size_t i = 0; i < wb.sheets.size(); ++i) {
        auto& sheet = wb.sheets[i];
        auto found = targets.find(sheetIds[i]);
        if (found != targets.end()) sheet.part = found->second;
        if (sheet.part.empty() && !relsRead && byPosition)
            sheet.part =
                wb.zip->locate(folder + "worksheets/sheet" + std::to_string(i + 1) + ".xml");
        if (sheet.part.empty()) {
            error = "文件已损坏：找不到工作表“" + sheet.name + "”的数据（工作簿的关系部件" +
                    (relsRead ? "有误）" : "缺失或已损坏）");
            return false;
        }
    }
    return true;
}

std::vector<bool> readDateStyles(const Workbook& wb, std::string& error) {
    std::vector<bool> dates;
    if (wb.stylesPart.empty() || !wb.zip->has(wb.stylesPart)) return dates;
    std::string xml;
    if (!wb.zip->read(wb.stylesPart, xml, error)) return dates;
    std::map<int, std::string> codes;
    bool inCellXfs = false;
    XmlReader r;
    r.onStart = [&](std::string_view name, XmlReader::Attributes a) {
        if (name == "numFmt") {
            const char* id = XmlReader::attribute(a, "numFmtId");
            const char* code = XmlReader::attribute(a, "formatCode");
            if (id && code) codes[std::atoi(id)] = code;
        } else if (name == "cellXfs") {
            inCellXfs = true;
        } else if (name == "xf" && inCellXfs) {
            const char* id = XmlReader::attribute(a, "numFmtId");
            int n = id ? std::atoi(id) : 0;
            dates.push_back(excel::isDateFormat(n, codes.count(n) ? codes[n] : ""));
        }
    };
    r.onEnd = [&](std::string_view name) {
        if (name == "cellXfs") inCellXfs = false;
    };
    parseWhole(xml, r, error);
    return dates;
}

bool readSharedStrings(const Workbook& wb, std::vector<std::string>& out, std::string& error) {
    if (wb.sharedStringsPart.empty() || !wb.zip->has(wb.sharedStringsPart)) return true;
    XmlReader r;
    int depthRph = 0;
    bool inT = false, inSi = false;
    std::string current;
    r.onStart = [&](std::string_view name, XmlReader::Attributes) {
        if (name == "si") {
            inSi = true;
            current.clear();
        } else if (name == "rPh") {
            ++depthRph;  // phonetic hints are not part of the text
        } else if (name == "t" && inSi && depthRph == 0) {
            inT = true;
        }
    };
    r.onEnd = [&](std::string_view name) {
        if (name == "si") {
            inSi = false;
            out.push_back(current);
        } else if (name == "rPh") {
            --depthRph;
        } else if (name == "t") {
            inT = false;
        }
    };
    r.onText = [&](std::string_view text) {
        if (inT && current.size() < (32u << 20)) current.append(text);
    };
    bool ok = true;
    bool streamed = wb.zip->stream(
        wb.sharedStringsPart,
        [&](const char* p, std::size_t n) {
            ok = r.feed(p, n, false, error);
            return ok;
        },
        error);
    return streamed && ok && r.feed(nullptr, 0, true, error);
}

}  // namespace qx::isam::excel12
