// .xlsx writing: the notice-sheet template, and a table added to an existing workbook as a new
// sheet while every other part of the package stays as it was.
#include "platform/isam/excel12/xlsx_writer.h"

#include <zip.h>
#include <cerrno>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#include "platform/isam/excel12/xlsx_reader.h"
#include "platform/jet/functions.h"
#include "platform/jet/text.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"

namespace qx::isam::excel12 {

namespace fs = std::filesystem;
using jet::JetType;

namespace {

constexpr const char* kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr const char* kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRelNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kWorksheetType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
constexpr const char* kWorksheetContent =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
constexpr std::size_t kMaxDataRows = 1048575;

std::string contentTypes(bool notice) {
    std::string s = std::string(kXmlHead) +
                    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                    "<Default Extension=\"rels\" "
                    "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                    "<Override PartName=\"/xl/workbook.xml\" "
                    "ContentType=\"application/"
                    "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>";
    if (notice)
        s += "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" +
             std::string(kWorksheetContent) +
             "\"/><Override PartName=\"/xl/sharedStrings.xml\" "
             "ContentType=\"application/"
             "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
    s += "<Override PartName=\"/xl/theme/theme1.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.theme+xml\"/>"
         "<Override PartName=\"/xl/styles.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
         "<Override PartName=\"/docProps/core.xml\" "
         "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
         "<Override PartName=\"/docProps/app.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
         "</Types>";
    return s;
}

const std::string kPackageRels =
    std::string(kXmlHead) +
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId3\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "extended-properties\" Target=\"docProps/app.xml\"/>"
    "<Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
    "core-properties\" Target=\"docProps/core.xml\"/>"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"xl/workbook.xml\"/>"
    "</Relationships>";

const std::string kCore =
    std::string(kXmlHead) +
    "<cp:coreProperties "
    "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><dc:creator>Quillex</dc:creator>"
    "<dcterms:created "
    "xsi:type=\"dcterms:W3CDTF\">2024-01-01T00:00:00Z</dcterms:created></cp:coreProperties>";

const std::string kApp =
    std::string(kXmlHead) +
    "<Properties "
    "xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
    "<Application>Quillex</Application></Properties>";

std::string workbookXml(bool notice) {
    return std::string(kXmlHead) + "<workbook xmlns=\"" + kMainNs + "\" xmlns:r=\"" + kRelNs +
           "\"><workbookPr/><bookViews><workbookView/></bookViews><sheets>" +
           (notice ? "<sheet name=\"结果见表二\" sheetId=\"1\" r:id=\"rId1\"/>" : "") +
           "</sheets></workbook>";
}

std::string workbookRels(bool notice) {
    std::string s =
        std::string(kXmlHead) +
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    if (notice)
        s += "<Relationship Id=\"rId1\" Type=\"" + std::string(kWorksheetType) +
             "\" Target=\"worksheets/sheet1.xml\"/>"
             "<Relationship Id=\"rId4\" "
             "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
             "sharedStrings\" Target=\"sharedStrings.xml\"/>";
    s += "<Relationship Id=\"rId2\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme\" "
         "Target=\"theme/theme1.xml\"/>"
         "<Relationship Id=\"rId3\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
         "Target=\"styles.xml\"/>"
         "</Relationships>";
    return s;
}

// 宋体 11 pt; the accent style: light text (theme colour 0) on the first accent (theme colour 4).
const std::string kStyles =
    std::string(kXmlHead) + "<styleSheet xmlns=\"" + kMainNs +
    "\">"
    "<fonts count=\"2\"><font><sz val=\"11\"/><color theme=\"1\"/><name val=\"宋体\"/><family "
    "val=\"2\"/><charset val=\"134\"/><scheme val=\"minor\"/></font>"
    "<font><sz val=\"11\"/><color theme=\"0\"/><name val=\"宋体\"/><family val=\"2\"/><charset "
    "val=\"134\"/><scheme val=\"minor\"/></font></fonts>"
    "<fills count=\"3\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
    "patternType=\"gray125\"/></fill>"
    "<fill><patternFill patternType=\"solid\"><fgColor theme=\"4\"/><bgColor "
    "indexed=\"64\"/></patternFill></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
    "borderId=\"0\"><alignment vertical=\"center\"/></xf>"
    "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"2\" borderId=\"0\" applyNumberFormat=\"0\" "
    "applyBorder=\"0\" applyAlignment=\"0\" applyProtection=\"0\"><alignment "
    "vertical=\"center\"/></xf></cellStyleXfs>"
    "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
    "xfId=\"0\"><alignment vertical=\"center\"/></xf>"
    "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"2\" borderId=\"0\" xfId=\"1\" "
    "applyAlignment=\"1\"><alignment horizontal=\"center\" vertical=\"center\"/></xf></cellXfs>"
    "<cellStyles count=\"2\"><cellStyle name=\"常规\" xfId=\"0\" builtinId=\"0\"/><cellStyle "
    "name=\"强调文字颜色 1\" xfId=\"1\" builtinId=\"29\"/></cellStyles>"
    "<dxfs count=\"0\"/><tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium9\" "
    "defaultPivotStyle=\"PivotStyleLight16\"/></styleSheet>";

std::string themeXml() {
    auto srgb = [](const char* tag, const char* rgb) {
        return std::string("<a:") + tag + "><a:srgbClr val=\"" + rgb + "\"/></a:" + tag + ">";
    };
    std::string fill = "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>";
    std::string line =
        "<a:ln w=\"9525\"><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill></a:ln>";
    std::string effect = "<a:effectStyle><a:effectLst/></a:effectStyle>";
    return std::string(kXmlHead) +
           "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
           "name=\"Office 主题\">"
           "<a:themeElements><a:clrScheme name=\"Office\">"
           "<a:dk1><a:sysClr val=\"windowText\" lastClr=\"000000\"/></a:dk1>"
           "<a:lt1><a:sysClr val=\"window\" lastClr=\"FFFFFF\"/></a:lt1>" +
           srgb("dk2", "1F497D") + srgb("lt2", "EEECE1") + srgb("accent1", "4F81BD") +
           srgb("accent2", "C0504D") + srgb("accent3", "9BBB59") + srgb("accent4", "8064A2") +
           srgb("accent5", "4BACC6") + srgb("accent6", "F79646") + srgb("hlink", "0000FF") +
           srgb("folHlink", "800080") +
           "</a:clrScheme><a:fontScheme name=\"Office\">"
           "<a:majorFont><a:latin typeface=\"Cambria\"/><a:ea typeface=\"\"/><a:cs "
           "typeface=\"\"/><a:font script=\"Hans\" typeface=\"宋体\"/></a:majorFont>"
           "<a:minorFont><a:latin typeface=\"Calibri\"/><a:ea typeface=\"\"/><a:cs "
           "typeface=\"\"/><a:font script=\"Hans\" typeface=\"宋体\"/></a:minorFont>"
           "</a:fontScheme><a:fmtScheme name=\"Office\"><a:fillStyleLst>" +
           fill + fill + fill + "</a:fillStyleLst><a:lnStyleLst>" + line + line + line +
           "</a:lnStyleLst><a:effectStyleLst>" + effect + effect + effect +
           "</a:effectStyleLst><a:bgFillStyleLst>" + fill + fill + fill +
           "</a:bgFillStyleLst></a:fmtScheme></a:themeElements><a:objectDefaults/"
           "><a:extraClrSchemeLst/></a:theme>";
}

std::string noticeSheet() {
    std::string rows;
    for (int r = 1; r <= 4; ++r) {
        rows += "<row r=\"" + std::to_string(r) + "\" spans=\"1:5\">";
        for (char c = 'A'; c <= 'E'; ++c) {
            std::string ref = std::string(1, c) + std::to_string(r);
            rows += r == 1 && c == 'A' ? "<c r=\"A1\" s=\"1\" t=\"s\"><v>0</v></c>"
                                       : "<c r=\"" + ref + "\" s=\"1\"/>";
        }
        rows += "</row>";
    }
    return std::string(kXmlHead) + "<worksheet xmlns=\"" + kMainNs + "\" xmlns:r=\"" + kRelNs +
           "\"><dimension ref=\"A1:E4\"/><sheetViews><sheetView tabSelected=\"1\" "
           "workbookViewId=\"0\"/></sheetViews>"
           "<sheetFormatPr defaultRowHeight=\"13.5\"/><sheetData>" +
           rows +
           "</sheetData><mergeCells count=\"1\"><mergeCell ref=\"A1:E4\"/></mergeCells>"
           "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
           "footer=\"0.3\"/></worksheet>";
}

const std::string kSharedStrings =
    std::string(kXmlHead) + "<sst xmlns=\"" + kMainNs +
    "\" count=\"1\" uniqueCount=\"1\"><si><t>结果请见表二</t></si></sst>";

// Adds in-memory parts to an archive; the buffers live as long as the archive is open.
class PartWriter {
  public:
    explicit PartWriter(zip_t* z) : z_(z) {}
    bool put(const std::string& name, std::string bytes) {
        parts_.push_back(std::make_unique<std::string>(std::move(bytes)));
        zip_source_t* src = zip_source_buffer(z_, parts_.back()->data(), parts_.back()->size(), 0);
        if (!src) return false;
        zip_int64_t idx = zip_file_add(z_, name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
        if (idx < 0) {
            zip_source_free(src);
            return false;
        }
        zip_file_set_mtime(z_, static_cast<zip_uint64_t>(idx), 1704067200,
                           0);  // fixed: same bytes each time
        return true;
    }

  private:
    zip_t* z_;
    std::vector<std::unique_ptr<std::string>> parts_;
};

// Why libzip could not write the archive: the system's reason (a full disk) when it had one.
std::string zipWriteFailure(zip_t* z, const fs::path& file) {
    zip_error_t* e = zip_get_error(z);
    if (zip_error_system_type(e) == ZIP_ET_SYS && zip_error_code_system(e) != 0)
        return os::writeFailure(file, zip_error_code_system(e));
    return "无法保存工作簿“" + os::utf8(file) + "”：" + zip_strerror(z);
}

bool writePackage(const fs::path& file, bool notice, std::string& error) {
    std::error_code ec;
    fs::path temp = os::siblingTempPath(file);
    int code = 0;
    zip_t* z = zip_open(os::utf8(temp).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!z) {
        error = "无法创建文件“" + os::utf8(file) + "”";
        return false;
    }
    PartWriter w(z);
    bool ok = w.put("[Content_Types].xml", contentTypes(notice)) &&
              w.put("_rels/.rels", kPackageRels) && w.put("docProps/app.xml", kApp) &&
              w.put("docProps/core.xml", kCore) && w.put("xl/workbook.xml", workbookXml(notice)) &&
              w.put("xl/_rels/workbook.xml.rels", workbookRels(notice)) &&
              w.put("xl/styles.xml", kStyles) && w.put("xl/theme/theme1.xml", themeXml());
    if (ok && notice)
        ok = w.put("xl/worksheets/sheet1.xml", noticeSheet()) &&
             w.put("xl/sharedStrings.xml", kSharedStrings);
    if (!ok || zip_close(z) != 0) {
        if (ok)
            error = zipWriteFailure(z, file);
        else
            error = "无法写入文件“" + os::utf8(file) + "”";
        zip_discard(z);
        os::removeIfExists(temp);
        return false;
    }
    return os::replaceFile(temp, file, error) || (os::removeIfExists(temp), false);
}

std::string xmlEscape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                // Control characters other than tab and line breaks are not allowed in XML.
                if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
                out += static_cast<char>(c);
        }
    }
    return out;
}

std::string cellRef(std::size_t col, std::size_t row) {
    std::string letters;
    for (std::size_t n = col + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return letters + std::to_string(row);
}

// Inserts `text` before the closing tag `close` (e.g. "</sheets>"), or expands a self-closed
// `<tag/>`; false when neither is found.
bool insertBefore(std::string& xml, const std::string& close, const std::string& text) {
    std::size_t at = xml.rfind(close);
    if (at != std::string::npos) {
        xml.insert(at, text);
        return true;
    }
    std::string tag = close.substr(2, close.size() - 3);
    std::regex selfClosed("<((?:\\w+:)?" + tag + ")(\\s[^>]*)?/>");
    std::smatch m;
    if (!std::regex_search(xml, m, selfClosed)) return false;
    std::string open = "<" + m[1].str() + m[2].str() + ">";
    std::string closeTag = "</" + m[1].str() + ">";
    xml.replace(static_cast<std::size_t>(m.position(0)), static_cast<std::size_t>(m.length(0)),
                open + text + closeTag);
    return true;
}

int maxNumber(const std::string& xml, const std::string& pattern) {
    std::regex re(pattern);
    int best = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), re); it != std::sregex_iterator();
         ++it)
        best = std::max(best, std::atoi((*it)[1].str().c_str()));
    return best;
}

// Adds a date cell format to styles.xml; returns its index, or -1.
int addDateStyle(std::string& styles) {
    std::regex cellXfs("<cellXfs count=\"(\\d+)\"");
    std::smatch m;
    if (!std::regex_search(styles, m, cellXfs)) return -1;
    int count = std::atoi(m[1].str().c_str());
    if (!insertBefore(styles, "</cellXfs>",
                      "<xf numFmtId=\"22\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
                      "applyNumberFormat=\"1\"/>"))
        return -1;
    styles.replace(static_cast<std::size_t>(m.position(1)), static_cast<std::size_t>(m.length(1)),
                   std::to_string(count + 1));
    return count;
}

bool validSheetName(const std::string& name) {
    if (name.empty() || jet::codePointCount(name) > 31) return false;
    return name.find_first_of("[]:*?/\\") == std::string::npos;
}

}  // namespace

bool writeTemplate(const fs::path& file, std::string& error) {
    return writePackage(file, true, error);
}

bool addSheet(const fs::path& file, const std::string& sheetName, RowSource& rows,
              std::string& error) {
    if (!validSheetName(sheetName)) {
        error = "“" + sheetName + "”不能用作工作表名";
        return false;
    }
    std::error_code ec;
    if (!fs::exists(file, ec) && !writePackage(file, false, error)) return false;

    WorkbookListing listing;
    if (!listWorkbook(os::utf8(file), listing, error)) return false;
    for (const auto& s : listing.sheets)
        if (jet::compareNoCase(s, sheetName) == 0) {
            error = "工作簿中已有名为“" + sheetName + "”的工作表";
            return false;
        }

    int code = 0;
    zip_t* z = zip_open(os::utf8(file).c_str(), 0, &code);
    if (!z) {
        error = "无法打开工作簿“" + os::utf8(file) + "”";
        return false;
    }
    auto readPart = [&](const std::string& name, std::string& out) {
        out.clear();
        zip_file_t* f = zip_fopen(z, name.c_str(), 0);
        if (!f) return false;
        char buf[65536];
        zip_int64_t n;
        while ((n = zip_fread(f, buf, sizeof buf)) > 0 && out.size() < (64u << 20))
            out.append(buf, static_cast<std::size_t>(n));
        zip_fclose(f);
        return n == 0;
    };
    auto fail = [&](const std::string& why) {
        error = why;
        zip_discard(z);
        return false;
    };
    // The workbook part, from the package relationships.
    std::string rels, workbookPart = "xl/workbook.xml";
    if (readPart("_rels/.rels", rels)) {
        std::smatch m;
        std::regex office(
            "Type=\"[^\"]*/officeDocument\"[^>]*Target=\"/?([^\"]+)\"|Target=\"/"
            "?([^\"]+)\"[^>]*Type=\"[^\"]*/officeDocument\"");
        if (std::regex_search(rels, m, office))
            workbookPart = m[1].matched ? m[1].str() : m[2].str();
    }
    std::string folder = workbookPart.substr(0, workbookPart.rfind('/') + 1);
    std::string workbookRelsPart = folder + "_rels/" + workbookPart.substr(folder.size()) + ".rels";
    std::string workbook, wbRels, types, styles, stylesPart;
    if (!readPart(workbookPart, workbook) || !readPart(workbookRelsPart, wbRels) ||
        !readPart("[Content_Types].xml", types))
        return fail("工作簿已损坏：缺少必要的部件");
    {
        std::smatch m;
        std::regex st(
            "Type=\"[^\"]*/styles\"[^>]*Target=\"([^\"]+)\"|Target=\"([^\"]+)\"[^>]*Type=\"[^\"]*/"
            "styles\"");
        if (std::regex_search(wbRels, m, st)) {
            std::string t = m[1].matched ? m[1].str() : m[2].str();
            stylesPart = t[0] == '/' ? t.substr(1) : folder + t;
            if (!readPart(stylesPart, styles)) stylesPart.clear();
        }
    }

    // The new sheet's part name, relationship id and sheet id.
    int sheetNumber = 1;
    while (zip_name_locate(
               z, (folder + "worksheets/sheet" + std::to_string(sheetNumber) + ".xml").c_str(),
               0) >= 0)
        ++sheetNumber;
    std::string sheetPart = folder + "worksheets/sheet" + std::to_string(sheetNumber) + ".xml";
    std::string relId = "rId" + std::to_string(maxNumber(wbRels, "Id=\"rId(\\d+)\"") + 1);
    int sheetId = maxNumber(workbook, "sheetId=\"(\\d+)\"") + 1;

    const auto& columns = rows.columns();
    bool hasDates = false;
    for (const auto& c : columns) hasDates = hasDates || c.type == JetType::DateTime;
    int dateStyle = hasDates && !styles.empty() ? addDateStyle(styles) : -1;

    // The sheet, streamed to a scratch file.
    fs::path sheetTemp = os::siblingTempPath(file);
    {
        std::ofstream out(sheetTemp, std::ios::binary | std::ios::trunc);
        if (!out) return fail("无法创建临时文件");
        out << kXmlHead << "<worksheet xmlns=\"" << kMainNs << "\" xmlns:r=\"" << kRelNs
            << "\"><sheetData>";
        // Cells carry their reference only after a gap: the sheet stays small and quick to read.
        auto textCell = [&](std::ostream& o, const std::string& ref, std::string_view text) {
            bool keepBlanks = !text.empty() && (text.front() == ' ' || text.back() == ' ');
            o << "<c" << ref << " t=\"inlineStr\"><is><t"
              << (keepBlanks ? " xml:space=\"preserve\"" : "") << ">" << xmlEscape(text)
              << "</t></is></c>";
        };
        out << "<row r=\"1\">";
        for (std::size_t k = 0; k < columns.size(); ++k) textCell(out, "", columns[k].name);
        out << "</row>";
        std::vector<Value> row;
        std::size_t r = 1;
        // The errno of the first failed write, taken before anything else can change it.
        int err = 0;
        while (!err && rows.next(row)) {
            if (++r > kMaxDataRows + 1) {
                out.close();
                os::removeIfExists(sheetTemp);
                return fail("结果超过 1,048,575 行，Excel 2007 工作表装不下");
            }
            out << "<row r=\"" << r << "\">";
            bool gap = false;
            for (std::size_t k = 0; k < columns.size() && k < row.size(); ++k) {
                const Value& v = row[k];
                if (v.isNull()) {
                    gap = true;
                    continue;
                }
                std::string ref = gap ? " r=\"" + cellRef(k, r) + "\"" : std::string();
                gap = false;
                JetType type = columns[k].type;
                if (type == JetType::Bit) {
                    auto n = v.kind == Value::Kind::Text
                                 ? jet::parseNumber(v.text)
                                 : std::optional<double>(v.kind == Value::Kind::Integer
                                                             ? static_cast<double>(v.integer)
                                                             : v.real);
                    out << "<c" << ref << " t=\"b\"><v>" << (n && *n != 0 ? 1 : 0) << "</v></c>";
                } else if (type == JetType::DateTime && v.kind == Value::Kind::Text &&
                           dateStyle >= 0) {
                    auto dt = jet::parseIsoDateTime(v.text);
                    if (dt)
                        out << "<c" << ref << " s=\"" << dateStyle << "\"><v>"
                            << jet::formatDouble(jet::toSerial(*dt)) << "</v></c>";
                    else
                        textCell(out, ref, v.text);
                } else if (v.kind == Value::Kind::Integer || v.kind == Value::Kind::Real) {
                    out << "<c" << ref << "><v>" << *jet::valueText(v) << "</v></c>";
                } else {
                    textCell(out, ref, v.text);
                }
            }
            out << "</row>";
            if (!out) err = errno ? errno : EIO;
        }
        if (!rows.error().empty()) {
            out.close();
            os::removeIfExists(sheetTemp);
            return fail(rows.error());
        }
        out << "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
               "header=\"0.3\" footer=\"0.3\"/></worksheet>";
        out.close();
        if (!out && !err) err = errno ? errno : EIO;
        if (err) {
            os::removeIfExists(sheetTemp);
            return fail(os::writeFailure(file, err));
        }
    }

    // The edited parts: workbook, its relationships, content types and (for dates) styles.
    std::string sheetTarget = sheetPart.substr(folder.size());
    bool edited = insertBefore(workbook, "</sheets>",
                               "<sheet name=\"" + xmlEscape(sheetName) + "\" sheetId=\"" +
                                   std::to_string(sheetId) + "\" r:id=\"" + relId + "\"/>") &&
                  insertBefore(wbRels, "</Relationships>",
                               "<Relationship Id=\"" + relId + "\" Type=\"" + kWorksheetType +
                                   "\" Target=\"" + sheetTarget + "\"/>") &&
                  insertBefore(types, "</Types>",
                               "<Override PartName=\"/" + sheetPart + "\" ContentType=\"" +
                                   kWorksheetContent + "\"/>");
    if (edited && workbook.find("xmlns:r=") == std::string::npos) {
        std::size_t at = workbook.find("<workbook");
        if (at != std::string::npos)
            workbook.insert(at + 9, std::string(" xmlns:r=\"") + kRelNs + "\"");
    }
    if (!edited) {
        os::removeIfExists(sheetTemp);
        return fail("工作簿的结构无法识别，不能添加工作表");
    }
    PartWriter w(z);
    bool ok = w.put(workbookPart, workbook) && w.put(workbookRelsPart, wbRels) &&
              w.put("[Content_Types].xml", types) && (dateStyle < 0 || w.put(stylesPart, styles));
    zip_source_t* src = ok ? zip_source_file(z, os::utf8(sheetTemp).c_str(), 0, -1) : nullptr;
    if (!src || zip_file_add(z, sheetPart.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
        if (src) zip_source_free(src);
        os::removeIfExists(sheetTemp);
        return fail("无法向工作簿添加工作表");
    }
    // libzip writes the new archive beside the old one and then moves it into place.
    if (zip_close(z) != 0) {
        error = zipWriteFailure(z, file);
        zip_discard(z);
        os::removeIfExists(sheetTemp);
        return false;
    }
    os::removeIfExists(sheetTemp);
    return true;
}

}  // namespace qx::isam::excel12
