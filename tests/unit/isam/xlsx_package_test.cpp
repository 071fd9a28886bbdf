// Workbook packages as the Excel 12.0 driver opens them: saved with a password (the default one
// is opened, as spreadsheet programs open it; any other is refused), with damaged
// relationships, and with cells of type "d".
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "platform/isam/excel/excel_dates.h"
#include "platform/isam/excel12/encrypted_package.h"
#include "platform/isam/excel12/excel12_driver.h"
#include "platform/isam/excel12/workbook_package.h"
#include "platform/isam/office/compound_file.h"
#include "platform/isam/office/crypto.h"
#include "platform/jet/types.h"
#include "platform/os/paths.h"
#include "unit/test_dir.h"

namespace qx::isam {
namespace {

using qx::testing::TestDir;

const std::string kData = std::string(QX_SOURCE_DIR) + "/tests/data/excel/";
const char* const kEncrypted = "工作簿已加密（设有打开密码），无法读取";

ExternalClause clause(const std::string& path, bool header = true) {
    ExternalClause c;
    c.properties.emplace_back("DATABASE", path);
    if (!header) c.properties.emplace_back("HDR", "NO");
    return c;
}

// The tables of a workbook, or the error.
std::string tables(const std::string& path) {
    excel12::Excel12Driver driver;
    std::vector<TableName> names;
    std::string error;
    if (!driver.listTables(clause(path), names, error)) return "error: " + error;
    std::string out;
    for (const auto& n : names) out += n.name + ";";
    return out;
}

// A table's rows as the driver gives them, one line each, or the error.
std::string rows(const std::string& path, const std::string& table) {
    excel12::Excel12Driver driver;
    std::string error;
    auto source = driver.readTable(clause(path, false), table, error);
    if (!source) return "error: " + error;
    std::string out;
    std::vector<Value> row;
    while (source->next(row)) {
        for (const auto& v : row) {
            switch (v.kind) {
                case Value::Kind::Null:
                    out += "null";
                    break;
                case Value::Kind::Integer:
                    out += "i" + std::to_string(v.integer);
                    break;
                case Value::Kind::Real:
                    out += "r" + jet::formatDouble(v.real);
                    break;
                default:
                    out += "t" + v.text;
            }
            out += "|";
        }
        out += "\n";
    }
    if (!source->error().empty()) out += "error: " + source->error();
    return out;
}

TEST(XlsxPackage, AWorkbookSavedWithTheDefaultPasswordReadsAsItsPlainSelf) {
    // LibreOffice's standard encryption and an npm encryptor's agile one, of the same workbook.
    const std::string plain = kData + "openpyxl_客户.xlsx";
    for (const char* file : {"lo_standard_default.xlsx", "agile_default.xlsx"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(tables(kData + file), tables(plain));
        for (const char* sheet : {"客户$", "第二页$"}) {
            std::string read = rows(kData + file, sheet);
            EXPECT_EQ(read, rows(plain, sheet));
            EXPECT_EQ(read.find("error"), std::string::npos) << read;
        }
    }
    // Excel 2007's own (standard encryption, AES-128).
    EXPECT_EQ(tables(kData + "poi_standard_default.xlsx"), "Лист1$;Лист2$;Лист3$;");
    EXPECT_NE(rows(kData + "poi_standard_default.xlsx", "Лист1$").find("При запуске пробной"),
              std::string::npos);
}

TEST(XlsxPackage, AnyOtherPasswordIsRefusedAsEncrypted) {
    for (const char* file :
         {"lo_standard_password.xlsx", "poi_encrypted.xlsx", "poi_agile_password.xlsx"}) {
        EXPECT_NE(tables(kData + file).find(kEncrypted), std::string::npos) << file;
        EXPECT_NE(rows(kData + file, "Sheet1$").find(kEncrypted), std::string::npos) << file;
    }
}

// The streams of a compound file.
struct Streams {
    std::string info, package;
};
Streams streams(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    office::CompoundFile cf;
    std::string error;
    Streams s;
    EXPECT_TRUE(cf.open(std::move(bytes), error)) << error;
    EXPECT_TRUE(cf.stream({"encryptioninfo"}, s.info, error)) << error;
    EXPECT_TRUE(cf.stream({"encryptedpackage"}, s.package, error)) << error;
    return s;
}

TEST(XlsxPackage, TheirOwnPasswordsOpenThemAndOnlyThose) {
    using excel12::Decryption;
    struct Case {
        const char* file;
        std::u16string password;
        const char* sheet;
    } cases[] = {
        {"lo_standard_password.xlsx", u"另一个密码", "客户"},  // standard, AES-128
        {"poi_encrypted.xlsx", u"tika", ""},                   // agile
        {"poi_agile_password.xlsx", u"Test001!!", ""},         // agile
        {"agile_default.xlsx", office::kDefaultPassword, "客户"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Streams s = streams(kData + c.file);
        std::string package = s.package;
        EXPECT_EQ(excel12::decryptPackage(s.info, package, u"wrong"), Decryption::WrongPassword);
        package = s.package;
        ASSERT_EQ(excel12::decryptPackage(s.info, package, c.password), Decryption::Done);
        ASSERT_EQ(package.compare(0, 4, "PK\x03\x04"), 0);
        if (*c.sheet == '\0') continue;
        // The decrypted package is the workbook itself.
        TestDir dir;
        std::ofstream(dir / "plain.xlsx", std::ios::binary) << package;
        EXPECT_EQ(rows(qx::os::utf8(dir / "plain.xlsx"), std::string(c.sheet) + "$"),
                  rows(kData + "openpyxl_客户.xlsx", std::string(c.sheet) + "$"));
    }
}

// Damaged encryption descriptions and packages: an answer, never a crash or a read past the
// bytes (the test build checks every access), and never a package from bytes that are not it.
TEST(XlsxPackage, DamagedEncryptionIsRefused) {
    using excel12::Decryption;
    struct File {
        const char* name;
        std::vector<std::size_t> changed;
    } files[] = {
        // The version, the flags, the header's size, the key's size.
        {"lo_standard_default.xlsx", {0, 2, 4, 8, 9, 12 + 16}},
        // The version, the XML's first tag.
        {"agile_default.xlsx", {0, 2, 8, 9}},
    };
    for (const auto& [file, changed] : files) {
        SCOPED_TRACE(file);
        const Streams s = streams(kData + file);
        for (std::size_t cut : {0, 4, 8, 11, 40, 100, 200}) {
            std::string package = s.package;
            EXPECT_NE(
                excel12::decryptPackage(s.info.substr(0, cut), package, office::kDefaultPassword),
                Decryption::Done)
                << cut;
        }
        for (std::size_t at : changed) {
            std::string info = s.info, package = s.package;
            info[at] = static_cast<char>(info[at] ^ 0x5A);
            Decryption d = excel12::decryptPackage(info, package, office::kDefaultPassword);
            EXPECT_TRUE(d == Decryption::Unsupported || d == Decryption::Damaged) << at;
        }
        // A package shorter than the size it gives.
        std::string package = s.package.substr(0, s.package.size() / 2);
        EXPECT_EQ(excel12::decryptPackage(s.info, package, office::kDefaultPassword),
                  Decryption::Damaged);
        package = s.package.substr(0, 7);
        EXPECT_EQ(excel12::decryptPackage(s.info, package, office::kDefaultPassword),
                  Decryption::Damaged);
    }
    // The agile description's XML: the salt's base64, a key size, the cipher, the hash.
    const Streams s = streams(kData + "agile_default.xlsx");
    struct Change {
        std::string from, to;
        Decryption expected;
    } changes[] = {
        {"cipherAlgorithm=\"AES\"", "cipherAlgorithm=\"DES\"", Decryption::Unsupported},
        {"hashAlgorithm=\"SHA512\"", "hashAlgorithm=\"MD4\"", Decryption::Unsupported},
        {"keyBits=\"256\"", "keyBits=\"257\"", Decryption::Damaged},
        {"saltValue=\"", "saltValue=\"!", Decryption::Damaged},
        {"spinCount=\"100000\"", "spinCount=\"99999999\"", Decryption::Damaged},
        {"<keyEncryptors>", "<keyEncryptors", Decryption::Damaged},
        {"uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password",
         "uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/certificate",
         Decryption::Unsupported},
    };
    // Padding after the description's XML is no damage.
    {
        std::string info = s.info + std::string(3, '\0'), package = s.package;
        EXPECT_EQ(excel12::decryptPackage(info, package, office::kDefaultPassword),
                  Decryption::Done);
    }
    for (const auto& c : changes) {
        std::string info = s.info, package = s.package;
        std::size_t at = info.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        info.replace(at, c.from.size(), c.to);
        EXPECT_EQ(excel12::decryptPackage(info, package, office::kDefaultPassword), c.expected)
            << c.to;
    }
}

TEST(XlsxPackage, AnEncryptedFileCutShortSaysItIsDamaged) {
    TestDir dir;
    std::ifstream in(kData + "agile_default.xlsx", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t keep : {std::size_t{600}, bytes.size() / 2, bytes.size() - 512}) {
        std::ofstream(dir / "cut.xlsx", std::ios::binary | std::ios::trunc)
            << bytes.substr(0, keep);
        std::string listed = tables(qx::os::utf8(dir / "cut.xlsx"));
        EXPECT_NE(listed.find("error: "), std::string::npos) << keep;
        EXPECT_NE(listed.find("损坏"), std::string::npos) << keep << " " << listed;
    }
}

TEST(XlsxPackage, SheetPartsAreFoundAsSpreadsheetProgramsFindThem) {
    // Missing or unreadable relationships: the parts writers give sheets by position, and the
    // shared strings where they always are. Targets in another case, with "\" or an escape.
    for (const char* file : {"rels_missing.xlsx", "rels_badxml.xlsx", "rels_spelling.xlsx"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(tables(kData + file), "Sheet1$;Sheet2$;");
        EXPECT_EQ(rows(kData + file, "Sheet1$"), "t甲|r1|\n");
        EXPECT_EQ(rows(kData + file, "Sheet2$"), "t乙|r2|\n");
    }
    // A relationship to a part the package does not hold: the file is damaged, said at once.
    std::string listed = tables(kData + "rels_wrong_target.xlsx");
    EXPECT_NE(listed.find("文件已损坏：找不到工作表“Sheet2”"), std::string::npos) << listed;
    EXPECT_EQ(listed, "error: " + rows(kData + "rels_wrong_target.xlsx", "Sheet1$").substr(7));
    // Without relationships and with a chart sheet first, positions lead nowhere sure.
    listed = tables(kData + "rels_missing_chart.xlsx");
    EXPECT_NE(listed.find("文件已损坏：找不到工作表“Chart1”"), std::string::npos) << listed;
}

TEST(XlsxPackage, RelationshipTargetsResolveAgainstTheirPart) {
    struct Case {
        const char* base;
        const char* target;
        const char* part;
    } cases[] = {
        {"xl/workbook.xml", "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
        {"xl/workbook.xml", "/xl/worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
        {"xl/workbook.xml", "../xl/./styles.xml", "xl/styles.xml"},
        {"xl/workbook.xml", "worksheets\\sheet2.xml", "xl/worksheets/sheet2.xml"},
        {"xl/workbook.xml", "worksheets/my%20sheet.xml", "xl/worksheets/my sheet.xml"},
        {"xl/workbook.xml", "a%2", "xl/a%2"},
        {"xl/workbook.xml", "a%zz", "xl/a%zz"},
        {"", "xl/workbook.xml", "xl/workbook.xml"},
        {"xl/workbook.xml", "../../../x.xml", "x.xml"},
    };
    for (const auto& c : cases) EXPECT_EQ(excel12::resolveTarget(c.base, c.target), c.part);
}

TEST(XlsxPackage, IsoDatesAsJetSerials) {
    auto serial = [](int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
        return jet::toSerial({y, m, d, hh, mm, ss});
    };
    struct Case {
        const char* text;
        std::optional<double> serial;
    } cases[] = {
        {"2021-03-15", serial(2021, 3, 15)},
        {"2021-03-15T00:00:00", serial(2021, 3, 15)},
        {"1999-12-31T10:20:30", serial(1999, 12, 31, 10, 20, 30)},
        {"1999-12-31 10:20", serial(1999, 12, 31, 10, 20)},
        {"2021-03-15T10:20:30.5", serial(2021, 3, 15, 10, 20, 30) + 0.5 / 86400},
        {"2021-03-15T10:20:30Z", serial(2021, 3, 15, 10, 20, 30)},
        {"2021-03-15T10:20:30+08:00", serial(2021, 3, 15, 10, 20, 30)},
        {"2021-03-15T10:20:30-0500", serial(2021, 3, 15, 10, 20, 30)},
        {"2021-03-15T24:00:00", serial(2021, 3, 16)},
        {"10:20:30", serial(1899, 12, 30, 10, 20, 30)},
        {"T10:20", serial(1899, 12, 30, 10, 20)},
        {" 2024-02-29 ", serial(2024, 2, 29)},
        {"1899-12-29T06:00:00", -1.25},
        {"2023-02-29", std::nullopt},
        {"2021-3-15", std::nullopt},
        {"2021-03-15T25:00", std::nullopt},
        {"2021-03-15T10:60", std::nullopt},
        {"2021-03-15T10:20:30.", std::nullopt},
        {"2021-03-15x", std::nullopt},
        {"2021-03-15T10:20:30+8", std::nullopt},
        {"44270", std::nullopt},
        {"", std::nullopt},
        {"T", std::nullopt},
    };
    for (const auto& c : cases) {
        auto got = excel::isoDateSerial(c.text);
        ASSERT_EQ(got.has_value(), c.serial.has_value()) << c.text;
        if (got) {
            EXPECT_NEAR(*got, *c.serial, 1e-9) << c.text;
        }
    }
}

TEST(XlsxPackage, ADateCellOfTypeDReadsAsTheSameDateAsADateSerial) {
    std::string iso = rows(kData + "openpyxl_iso_dates.xlsx", "日期$");
    EXPECT_EQ(iso, rows(kData + "openpyxl_number_dates.xlsx", "日期$"));
    EXPECT_NE(iso.find("t1999-12-31 10:20:30|"), std::string::npos) << iso;
    EXPECT_EQ(iso.find("null"), std::string::npos) << iso;
}

}  // namespace
}  // namespace qx::isam
