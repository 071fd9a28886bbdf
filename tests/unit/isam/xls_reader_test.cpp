// The .xls reader on workbooks other programs made: encrypted ones (the passwords are those of
// the files' own tests), and damaged ones.
#include "platform/isam/excel8/biff_reader.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qx::isam::excel8 {
namespace {

std::string bytesOf(const std::string& name) {
    std::ifstream in(std::string(QX_SOURCE_DIR) + "/tests/data/excel/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The first text of the first sheet (its first 40 bytes), or its numbers joined by commas.
std::string firstText(const BiffWorkbook& book) {
    std::vector<std::vector<excel::Cell>> rows;
    std::string error, numbers;
    if (book.sheets().empty() || !book.readSheet(book.sheets()[0], rows, error)) return error;
    for (const auto& row : rows)
        for (const auto& c : row) {
            if (c.kind == excel::Cell::Kind::Text) return c.text.substr(0, 40);
            if (c.kind == excel::Cell::Kind::Number)
                numbers +=
                    (numbers.empty() ? "" : ",") + std::to_string(static_cast<int>(c.number));
        }
    return numbers;
}

TEST(XlsReader, EncryptedWorkbooksOpenWithTheirPassword) {
    struct Case {
        const char* file;
        std::u16string password;
        const char* text;
    } cases[] = {
        {"poi_cryptoapi_freedom.xls", u"freedom", "hello there!"},  // CryptoAPI RC4
        {"poi_rc4_password.xls", u"password",
         "A ZIP bomb is a variant of mail-bombing."},  // RC4 with MD5
    };
    for (const auto& c : cases) {
        BiffWorkbook book;
        std::string error;
        EXPECT_FALSE(book.load(bytesOf(c.file), "x", error)) << c.file;
        EXPECT_NE(error.find("已加密"), std::string::npos) << error;
        ASSERT_TRUE(book.load(bytesOf(c.file), "x", error, c.password)) << c.file << error;
        EXPECT_FALSE(book.sheets().empty());
        if (c.text)
            EXPECT_EQ(firstText(book), c.text);
        else
            EXPECT_FALSE(firstText(book).empty()) << c.file;
    }
    // Protected with the default password: read without a word, as spreadsheet programs do.
    BiffWorkbook book;
    std::string error;
    ASSERT_TRUE(book.load(bytesOf("poi_rc4_default.xls"), "x", error)) << error;
    EXPECT_FALSE(book.sheets().empty());
}

TEST(XlsReader, DamagedFilesGiveAReason) {
    for (const char* file : {"truncated.xls", "notexcel.xls", "freexl_overread.xls"}) {
        BiffWorkbook book;
        std::string error;
        EXPECT_FALSE(book.load(bytesOf(file), "x", error)) << file;
        EXPECT_NE(error.find("损坏"), std::string::npos) << file << ": " << error;
    }
    BiffWorkbook empty;
    std::string error;
    EXPECT_FALSE(empty.load(std::string(), "x", error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace qx::isam::excel8
