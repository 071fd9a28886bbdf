// The Text driver's reading of delimited files, against a reader written the plain way (one
// character at a time) on random files: quotes, doubled quotes, delimiters and line breaks inside
// quotes, Chinese and full-width text, empty fields, CRLF and LF, records across the driver's
// read chunks.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/isam/text/text_driver.h"
#include "platform/os/paths.h"
#include "unit/test_dir.h"

namespace qx::isam::text {
namespace {

using qx::testing::TestDir;
using qx::testing::writeFile;

using Record = std::vector<std::optional<std::string>>;

// Jet's reading of a delimited text, character by character: a record ends at a line break
// outside quotes; a field that starts with a quote is quoted ("" is one quote), whatever follows
// its closing quote up to the delimiter belongs to it; an empty field is Null.
std::vector<Record> plainRead(const std::string& text, const std::string& delimiter) {
    std::vector<Record> out;
    std::vector<std::string> raws;
    std::string raw;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted && c == '\n') {
            if (!raw.empty() && raw.back() == '\r') raw.pop_back();
            raws.push_back(raw);
            raw.clear();
            continue;
        }
        raw += c;
    }
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (!raw.empty()) raws.push_back(raw);
    for (const std::string& r : raws) {
        Record fields;
        std::string field;
        bool inQuotes = false, wasQuoted = false;
        auto push = [&] {
            fields.push_back(field.empty() ? std::nullopt : std::optional<std::string>(field));
            field.clear();
            wasQuoted = false;
        };
        for (std::size_t i = 0; i < r.size();) {
            char c = r[i];
            if (inQuotes) {
                if (c == '"' && i + 1 < r.size() && r[i + 1] == '"') {
                    field += '"';
                    i += 2;
                } else if (c == '"') {
                    inQuotes = false;
                    ++i;
                } else {
                    field += c;
                    ++i;
                }
            } else if (c == '"' && field.empty() && !wasQuoted) {
                inQuotes = wasQuoted = true;
                ++i;
            } else if (r.compare(i, delimiter.size(), delimiter) == 0) {
                push();
                i += delimiter.size();
            } else {
                field += c;
                ++i;
            }
        }
        push();
        out.push_back(fields);
    }
    return out;
}

std::string randomText(std::mt19937& rng, const std::string& delimiter) {
    const std::vector<std::string> pieces = {"a",    "Z",  "42",   "3.5",     "张三", "ＡＢＣ",
                                             "１２", "\"", "\"\"", delimiter, " ",    "x\"y",
                                             "é",    "\r", "名称", "﹐"};
    std::string text;
    int records = 120000;
    for (int r = 0; r < records; ++r) {
        int fields = 1 + static_cast<int>(rng() % 5);
        for (int f = 0; f < fields; ++f) {
            if (f) text += delimiter;
            switch (rng() % 6) {
                case 0:
                    break;  // empty
                case 1: {   // quoted, with delimiters, quotes and line breaks inside
                    text += '"';
                    for (int k = static_cast<int>(rng() % 6); k > 0; --k) {
                        std::string p = pieces[rng() % pieces.size()];
                        text += p == "\"" ? "\"\"" : p;
                        if (rng() % 20 == 0) text += "\r\n";
                    }
                    text += '"';
                    if (rng() % 8 == 0) text += "tail";
                    break;
                }
                default:
                    for (int k = 1 + static_cast<int>(rng() % 4); k > 0; --k) {
                        std::string p = pieces[rng() % pieces.size()];
                        if (p != "\"" && p != "\"\"" && p != delimiter && p != "\r") text += p;
                    }
            }
        }
        text += rng() % 3 ? "\r\n" : "\n";
    }
    return text;
}

TEST(TextReader, ReadsAsThePlainReaderDoesOnRandomFiles) {
    for (const std::string delimiter : {",", "||", "\t"}) {
        SCOPED_TRACE(delimiter);
        std::mt19937 rng(static_cast<unsigned>(delimiter.size() * 31 + delimiter[0]));
        std::string text = randomText(rng, delimiter);
        ASSERT_GT(text.size(), 2u << 20) << "the file must cross the reader's chunks";
        TestDir dir;
        writeFile(dir / "t.txt", text);
        std::string format = delimiter == ","    ? "CSVDelimited"
                             : delimiter == "\t" ? "TabDelimited"
                                                 : "Delimited(" + delimiter + ")";
        std::string ini = "[t.txt]\r\nColNameHeader=False\r\nFormat=" + format + "\r\n";
        for (int k = 1; k <= 5; ++k)
            ini += "Col" + std::to_string(k) + "=F" + std::to_string(k) + " Memo\r\n";
        writeFile(dir / "schema.ini", ini);

        ExternalClause db;
        db.properties.emplace_back("DATABASE", qx::os::utf8(dir.path()));
        std::string error;
        TextDriver driver;
        auto rows = driver.readTable(db, "t.txt", error);
        ASSERT_TRUE(rows) << error;
        std::vector<Record> want = plainRead(text, delimiter);
        std::vector<jet::Value> row;
        std::size_t n = 0;
        for (; rows->next(row); ++n) {
            ASSERT_LT(n, want.size());
            for (std::size_t k = 0; k < 5; ++k) {
                std::optional<std::string> w = k < want[n].size() ? want[n][k] : std::nullopt;
                ASSERT_EQ(row[k].isNull(), !w.has_value()) << "record " << n << " field " << k;
                if (w) {
                    ASSERT_EQ(row[k].text, *w) << "record " << n << " field " << k;
                }
            }
        }
        EXPECT_TRUE(rows->error().empty()) << rows->error();
        EXPECT_EQ(n, want.size());
    }
}

}  // namespace
}  // namespace qx::isam::text
