// The line semantics: encodings and line breaks, comparisons without case, de-duplication,
// merge, clean-up and quote removal, on files and on pasted lists.
#include "lines/line_ops.h"
#include "lines/line_text.h"

#include <algorithm>
#include <map>
#include <set>

#include "platform/jet/text.h"
#include "platform/os/encoding.h"
#include "platform/ui/memory_controls.h"
#include "unit/exchange/session_fixture.h"

namespace qx::lines {
namespace {

TEST(LineText, EncodingsAndLineBreaks) {
    struct Case {
        std::string bytes;
        Encoding encoding;
        bool bom, crlf;
        const char* text;
    } cases[] = {
        {"a\r\nb\n", Encoding::Utf8, false, true, "a\r\nb\n"},
        {"\xEF\xBB\xBF"
         "a\nb",
         Encoding::Utf8, true, false, "a\nb"},
        {std::string("\xFF\xFE"
                     "a\0\n\0",
                     6),
         Encoding::Utf16LE, true, false, "a\n"},
        {std::string("\xFE\xFF\0a\0\r\0\n", 8), Encoding::Utf16BE, true, true, "a\r\n"},
        {os::fromUtf8("张三\r\n", "GB18030"), Encoding::Gb18030, false, true, "张三\r\n"},
    };
    for (const auto& c : cases) {
        LineText t = decodeText(c.bytes);
        EXPECT_EQ(t.encoding, c.encoding) << c.text;
        EXPECT_EQ(t.bom, c.bom) << c.text;
        EXPECT_EQ(t.crlf, c.crlf) << c.text;
        EXPECT_EQ(t.text, c.text);
        EXPECT_EQ(encodeLike(t, t.text), c.bytes) << c.text;
    }
    EXPECT_EQ(splitLines("a\r\n\nb"), (std::vector<std::string_view>{"a", "", "b"}));
    EXPECT_EQ(splitLines("a\n"), std::vector<std::string_view>{"a"});
    EXPECT_TRUE(splitLines("").empty());
}

TEST(LineText, Operations) {
    // One line per value ignoring case, first spelling, ascending by the folded text; an
    // empty line is a value; quotes go afterwards.
    EXPECT_EQ(dedupeLines("b\nÄ\nB\n\"a\"\nä\n\n\n", "\n"), "\na\nb\nÄ\n");
    // Source lines as they are; the other list trimmed, its blank lines dropped.
    EXPECT_EQ(compareLines("X\n x\nY\n\n'q',r\n|\n", "  x \n\n \t\n'Q',R\n", true, "\r\n"),
              "X\r\n'q',r\r\n");
    EXPECT_EQ(compareLines("X\n x\nY\n\nx\n|\n", "x\n\t\n", false, "\n"), " x\nY\n\n|\n");
    // A value is its line without quotes, on both sides; results hold the values.
    EXPECT_EQ(mergeLines("a\n b\nc\n\n", "B \n\"c\"\n\n", "\r\n"), "a\r\nb\r\nB\r\nc\r\n");
    EXPECT_EQ(dedupeLines("\"a\"\na\n\"b\"\n", "\n"), "a\nb\n");
    EXPECT_EQ(compareLines("\"a\"\nb\n\"c\n", "A\n\" c \"\n\"\"\n", false, "\n"), "b\n");
    EXPECT_EQ(compareLines("\"a\"\nb\n\"\"\n", "\" A\"\n\"\"\n", true, "\n"), "a\n");
    EXPECT_EQ(mergeLines("a\nB\n", "b\na\n", "\n"), "b\na\n");
    // Clean-up: blank lines go (also space-only, in CRLF and LF files); a "|" line stays;
    // line breaks and a missing final break are kept.
    EXPECT_EQ(cleanUp(" a \r\n\r\n  \r\n|\nb"), "a\r\n|\nb");
    EXPECT_EQ(cleanUp("\n\n"), "");
    EXPECT_EQ(cleanUp("\xEF\xBB\xBF  \r\n a\r\n"),
              "\xEF\xBB\xBF"
              "a\r\n");
    EXPECT_EQ(stripQuotes("\"a\"b\r\n\""), "ab\r\n");
    EXPECT_EQ(stripQuotes(std::string("\xFF\xFE\"\0a\0", 6)), std::string("\xFF\xFE"
                                                                          "a\0",
                                                                          4));
}

class LineFileTest : public testing::SessionTest {
  protected:
    std::string written(const std::string& name) { return readFile(name); }
};

TEST_F(LineFileTest, ResultsKeepTheSourcesEncodingAndBreaks) {
    writeFile("甲.txt", os::fromUtf8("张三\r\n李四\r\n张三\r\n", "GB18030"));
    writeFile("乙.txt", "\xEF\xBB\xBF李四\n王五\n");
    ui::MemoryFileDialog dialog;
    ui::MemoryMessageBox messages;
    dialog.queue(path("甲.txt"));
    quickDedupe(dialog, messages);
    EXPECT_EQ(dialog.filter(), kTxtFilter);
    EXPECT_EQ(dialog.title(), "请选择欲去重复的txt文件");
    EXPECT_EQ(written("甲去重复.txt"), os::fromUtf8("张三\r\n李四\r\n", "GB18030"));
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].rfind(kTimingHead, 0), 0u);
    EXPECT_NE(messages.shown()[0].find("毫秒，请在原文本所在目录查收结果！"), std::string::npos);

    dialog.queue(path("甲.txt"));
    dialog.queue(path("乙.txt"));
    quickCompare(dialog, messages, Compare::BNotA);
    EXPECT_EQ(dialog.title(), "请选择要打开的B表");
    EXPECT_EQ(written("乙B中不含A.txt"), "\xEF\xBB\xBF王五\n");
    EXPECT_NE(messages.shown().back().find("请在B表所在目录查收结果！"), std::string::npos);
    dialog.queue(path("甲.txt"));
    dialog.queue(path("乙.txt"));
    quickMerge(dialog, messages);
    EXPECT_EQ(written("甲合并AB.txt"), os::fromUtf8("张三\r\n张三\r\n李四\r\n王五\r\n", "GB18030"));

    // A cancelled dialog ends silently.
    dialog.queue(path("甲.txt"));
    dialog.queue(std::nullopt);
    quickCompare(dialog, messages, Compare::Common);
    EXPECT_EQ(messages.shown().size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "甲取相同.txt"));
}

// Random lines for the line operations: pieces of every kind of letter (ASCII, Latin-1, Greek,
// full width, Chinese, astral), quotes, spaces and NUL, after one of a few long prefixes that
// fold alike, so that keys tie in their first 8 and 16 bytes and differ only past them.
class RandomLines {
  public:
    explicit RandomLines(std::uint32_t seed) : seed_(seed) {}
    std::string text(std::size_t lines) {
        static const std::vector<std::string> prefixes = {
            "", "", "", "ABCDEFGHijklmnop", "abcdefghIJKLMNOPqr", "客户编号二〇二四年", "Éé"};
        static const std::vector<std::string> pieces = {
            "a",        "A",  "b",  "Z", "é", "É", "张", "三", "ａ",
            "Ａ",       "ｚ", "\"", " ", "1", "Ω", "ω",  "𠀀", std::string(1, '\0'),
            "QRSTUVWX", "@",  "[",  "`", "{"};
        std::string out;
        for (std::size_t n = 0; n < lines; ++n) {
            out += prefixes[next() % prefixes.size()];
            for (int k = 1 + static_cast<int>(next() % 5); k > 0; --k)
                out += pieces[next() % pieces.size()];
            out += "\r\n";
        }
        return out;
    }
    // A line's value folded code point by code point: what the operations compare.
    static std::string key(std::string_view line) {
        std::string value, out;
        for (char c : line)
            if (c != '"') value += c;
        for (std::size_t i = 0; i < value.size();)
            jet::appendUtf8(out, jet::foldCase(jet::nextCodePoint(value, i)));
        return out;
    }

  private:
    std::uint32_t next() { return seed_ = seed_ * 1103515245u + 12345u, seed_ >> 8; }
    std::uint32_t seed_;
};

// De-duplication against its definition, on random files large enough to be worked in two
// halves and small ones worked whole: the first line of each value (the line without its quotes,
// compared without case, every code point folded), in the order of the folded values' bytes.
TEST_F(LineFileTest, DedupeKeepsTheFirstLineOfEachValueInOrder) {
    RandomLines random(7);
    for (std::size_t lines : {2000u, 300000u}) {
        SCOPED_TRACE(lines);
        std::string text = random.text(lines);
        std::map<std::string, std::string> firsts;  // folded value -> first line's value
        for (std::string_view line : splitLines(text)) {
            std::string value;
            for (char c : line)
                if (c != '"') value += c;
            firsts.emplace(RandomLines::key(line), value);
        }
        std::string want;
        for (const auto& [key, value] : firsts) want += value + "\r\n";
        writeFile("r.txt", text);
        ui::MemoryFileDialog dialog;
        ui::MemoryMessageBox messages;
        dialog.queue(path("r.txt"));
        quickDedupe(dialog, messages);
        ASSERT_EQ(written("r去重复.txt"), want);
    }
    // A text is taken for UTF-8 while it is indexed: one GB18030 line after 200,000 ASCII lines
    // (each half of the text many chunks long) still makes the whole a GB18030 text.
    std::string ascii, gbk;
    for (int n = 0; n < 200000; ++n) ascii += "Line " + std::to_string(n % 150000) + "\r\n";
    for (std::string_view tail : {"", "x\r\n"}) {
        gbk = ascii + os::fromUtf8("张三\r\n", "GB18030") + std::string(tail);
        writeFile("g.txt", gbk);
        ui::MemoryFileDialog dialog;
        ui::MemoryMessageBox messages;
        dialog.queue(path("g.txt"));
        quickDedupe(dialog, messages);
        std::string out = os::toUtf8(written("g去重复.txt"), "GB18030");
        ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 150001 + (tail.empty() ? 0 : 1));
        EXPECT_EQ(out.substr(out.size() - 8), "张三\r\n");
    }
}

// A without B and the common lines against their definition: A's lines, in order and with
// their repeats, whose value is (not) among B's values, B's lines trimmed of spaces, blank ones
// dropped.
TEST_F(LineFileTest, ComparisonsAgreeWithTheirDefinitionOnRandomLists) {
    RandomLines random(11);
    std::string a = random.text(60000), b = random.text(60000);
    std::set<std::string> inB;
    for (std::string_view line : splitLines(b)) {
        std::string value;
        for (char c : line)
            if (c != '"') value += c;
        std::size_t from = value.find_first_not_of(' ');
        if (value.find_first_not_of(" \t\r\n\v\f") == std::string::npos) continue;
        value = value.substr(from, value.find_last_not_of(' ') - from + 1);
        inB.insert(RandomLines::key(value));
    }
    std::string absent, common;
    for (std::string_view line : splitLines(a)) {
        std::string value;
        for (char c : line)
            if (c != '"') value += c;
        (inB.count(RandomLines::key(line)) ? common : absent) += value + "\r\n";
    }
    ASSERT_FALSE(absent.empty());
    ASSERT_FALSE(common.empty());
    writeFile("a.txt", a);
    writeFile("b.txt", b);
    ui::MemoryFileDialog dialog;
    ui::MemoryMessageBox messages;
    dialog.queue(path("a.txt"));
    dialog.queue(path("b.txt"));
    quickCompare(dialog, messages, Compare::ANotB);
    EXPECT_EQ(written("aA中不含B.txt"), absent);
    dialog.queue(path("a.txt"));
    dialog.queue(path("b.txt"));
    quickCompare(dialog, messages, Compare::Common);
    EXPECT_EQ(written("a取相同.txt"), common);
}

TEST_F(LineFileTest, InPlaceRewritesAreAllOrNothing) {
    writeFile("q.txt", "\"a\" \r\n\r\n b\r\n");
    ui::MemoryFileDialog dialog;
    ui::MemoryMessageBox messages;
    dialog.queue(path("q.txt"));
    quickUnquote(dialog, messages);
    EXPECT_EQ(written("q.txt"), "a \r\n\r\n b\r\n");
    dialog.queue(path("q.txt"));
    quickTrim(dialog, messages);
    EXPECT_EQ(written("q.txt"), "a\r\nb\r\n");
    EXPECT_NE(messages.shown().back().find("毫秒，请重新打开该表查看！"), std::string::npos);
    // After a byte-order mark, a first line of spaces is a blank line like any other.
    writeFile("bom.txt", "\xEF\xBB\xBF   \n\xE5\xBC\xA0 \n");
    dialog.queue(path("bom.txt"));
    quickTrim(dialog, messages);
    EXPECT_EQ(written("bom.txt"), "\xEF\xBB\xBF\xE5\xBC\xA0\n");
    // A missing file: a clear message instead of the timing message.
    dialog.queue(path("none.txt"));
    quickTrim(dialog, messages);
    EXPECT_EQ(messages.shown().back(), "操作失败：无法读取文件“" + path("none.txt") + "”");
    EXPECT_EQ(cleanUpFile(path("none.txt")).empty(), false);
}

TEST_F(LineFileTest, PastedListsLeaveNoTemporaryFiles) {
    ui::MemoryEditBox a, b, result;
    ui::MemoryMessageBox messages;
    PasteBoxes boxes{a, b, result, messages, dir_ / "prog"};
    a.setText("x\nY\nx\n\"z\"");
    b.setText(" y \n\nw");
    pasteCompare(boxes, Compare::ANotB);
    EXPECT_EQ(result.text(), "x\nx\nz\n");
    pasteCompare(boxes, Compare::Common);
    EXPECT_EQ(result.text(), "Y\n");
    pasteCompare(boxes, Compare::BNotA);
    EXPECT_EQ(result.text(), " y \n\nw\n");
    pasteMerge(boxes);
    EXPECT_EQ(result.text(), "x\nx\nz\ny\nw\n");
    pasteDedupe(boxes, a);
    EXPECT_EQ(a.text(), "x\nY\nz\n");  // sorted by the values, without their quotes
    a.setText("\"q\" \n\n r");
    pasteUnquoteA(boxes);
    EXPECT_EQ(a.text(), "q \n\n r");
    pasteTrimA(boxes);
    EXPECT_EQ(a.text(), "q\nr");
    ASSERT_EQ(messages.shown().size(), 7u);
    for (const auto& m : messages.shown()) {
        EXPECT_EQ(m.rfind(kTimingHead, 0), 0u);
        EXPECT_EQ(m.substr(m.size() - 6), "毫秒");
    }
    pasteClear(boxes);
    EXPECT_EQ(a.text() + b.text(), "");
    EXPECT_EQ(result.text(), "x\nx\nz\ny\nw\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / "prog"));
    // A program directory that cannot take the files: the failure, and nothing left behind.
    PasteBoxes nowhere{a, b, result, messages, dir_ / "missing"};
    pasteDedupe(nowhere, result);
    EXPECT_EQ(messages.shown().back().rfind("操作失败：", 0), 0u);
    EXPECT_EQ(result.text(), "x\nx\nz\ny\nw\n");
}

}  // namespace
}  // namespace qx::lines
