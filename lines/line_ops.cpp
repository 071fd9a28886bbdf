// The line operations on files and on pasted lists.
#include "lines/line_ops.h"

#include <chrono>
#include <functional>

#include "exchange/source_kinds.h"
#include "lines/line_text.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"
#include "platform/work/progress.h"

namespace qx::lines {

namespace fs = std::filesystem;

namespace {

bool readBytes(const std::string& path, std::string& out, std::string& error) {
    work::report(work::Stage::Lines);
    if (work::cancelRequested()) {
        error = work::kCancelled;
        return false;
    }
    if (os::readFile(os::pathFromUtf8(path), out)) {
        work::reportFraction(0.3);
        return true;
    }
    error = "无法读取文件“" + path + "”";
    return false;
}

// Written beside the target and moved over it: the old file stays whole until the new one is.
std::string writeReplacing(const std::string& path, std::string_view bytes,
                           std::string_view prefix = {}) {
    // A cancelled operation writes nothing: the old file stays as it was.
    if (work::cancelRequested()) return work::kCancelled;
    work::reportFraction(0.7);
    std::string why;
    if (os::writeFileReplacing(os::pathFromUtf8(path), {prefix, bytes}, why)) return {};
    return "无法写入文件“" + path + "”" + (why.empty() ? "" : "：" + why);
}

std::string_view eolOf(const LineText& t) {
    return t.crlf ? "\r\n" : "\n";
}

// A result in the encoding of `like`; UTF-8 text goes out as it is, after its BOM.
std::string writeLike(const std::string& path, const LineText& like, const std::string& utf8) {
    if (like.encoding == Encoding::Utf8)
        return writeReplacing(path, utf8, like.bom ? "\xEF\xBB\xBF" : "");
    return writeReplacing(path, encodeLike(like, utf8));
}

// Applies a byte pass to a file in place; UTF-16 files go through UTF-8 for it.
std::string rewrite(const std::string& path, std::string (*pass)(std::string_view)) {
    std::string bytes, error;
    if (!readBytes(path, bytes, error)) return error;
    bool utf16 = bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0;
    std::string out;
    if (utf16) {
        LineText t = decodeText(bytes);
        out = encodeLike(t, pass(t.text));
    } else {
        out = pass(bytes);
    }
    return writeReplacing(path, out);
}

// A file operation as one long step: away from the window's thread, which keeps answering.
std::string runLong(const std::function<std::string()>& operation) {
    std::string error;
    work::runLong([&] { error = operation(); });
    return error;
}

long long elapsedSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

// The timing message, or the failure in its place.
void conclude(ui::MessageBox& messages, const std::string& error,
              std::chrono::steady_clock::time_point start, const char* tail) {
    if (error == work::kCancelled)
        messages.show(work::kCancelled);
    else if (!error.empty())
        messages.show("操作失败：" + error);
    else
        messages.show(kTimingHead + std::to_string(elapsedSince(start)) + tail);
}

bool choose(ui::FileDialog& dialog, const char* title, std::string& path) {
    dialog.setFilter(kTxtFilter);
    dialog.setTitle(title);
    if (!dialog.showOpen()) return false;
    path = dialog.fileName();
    return true;
}

const char* suffixOf(Compare which) {
    return which == Compare::Common ? "取相同" : which == Compare::ANotB ? "A中不含B" : "B中不含A";
}

}  // namespace

std::string resultPath(const std::string& source, const std::string& suffix) {
    return exchange::directoryOf(source) + exchange::baseNameOf(source) + suffix + ".txt";
}

std::string dedupeFile(const std::string& source, const std::string& suffix) {
    std::string bytes, error;
    if (!readBytes(source, bytes, error)) return error;
    // A text without a byte-order mark is taken for UTF-8 as it is indexed, and decoded as
    // GB18030 only when that proves wrong.
    if (!hasByteOrderMark(bytes)) {
        LineText form;
        form.crlf = firstBreakIsCrlf(bytes);
        if (auto out = dedupeIfUtf8(bytes, eolOf(form)))
            return writeLike(resultPath(source, suffix), form, *out);
    }
    LineText t = decodeText(std::move(bytes));
    return writeLike(resultPath(source, suffix), t, dedupeLines(t.text, eolOf(t)));
}

std::string compareFiles(const std::string& source, const std::string& other,
                         const std::string& suffix, bool present) {
    std::string a, b, error;
    if (!readBytes(source, a, error) || !readBytes(other, b, error)) return error;
    LineText ta = decodeText(std::move(a));
    LineText tb = decodeText(std::move(b));
    return writeLike(resultPath(source, suffix), ta,
                     compareLines(ta.text, tb.text, present, eolOf(ta)));
}

std::string mergeFiles(const std::string& a, const std::string& b, const std::string& suffix) {
    std::string ba, bb, error;
    if (!readBytes(a, ba, error) || !readBytes(b, bb, error)) return error;
    LineText ta = decodeText(std::move(ba));
    LineText tb = decodeText(std::move(bb));
    return writeLike(resultPath(a, suffix), ta, mergeLines(ta.text, tb.text, eolOf(ta)));
}

std::string cleanUpFile(const std::string& path) {
    return rewrite(path, cleanUp);
}

std::string stripQuotesFile(const std::string& path) {
    return rewrite(path, stripQuotes);
}

void quickDedupe(ui::FileDialog& dialog, ui::MessageBox& messages) {
    std::string path;
    if (!choose(dialog, "请选择欲去重复的txt文件", path)) return;
    auto start = std::chrono::steady_clock::now();
    conclude(messages, runLong([&] { return dedupeFile(path); }), start,
             "毫秒，请在原文本所在目录查收结果！");
}

void quickCompare(ui::FileDialog& dialog, ui::MessageBox& messages, Compare which) {
    std::string a, b;
    if (!choose(dialog, "请选择要打开的A表", a)) return;
    if (!choose(dialog, "请选择要打开的B表", b)) return;
    auto start = std::chrono::steady_clock::now();
    bool fromB = which == Compare::BNotA;
    std::string error = runLong([&] {
        return compareFiles(fromB ? b : a, fromB ? a : b, suffixOf(which),
                            which == Compare::Common);
    });
    conclude(messages, error, start,
             fromB ? "毫秒，请在B表所在目录查收结果！" : "毫秒，请在A表所在目录查收结果！");
}

void quickMerge(ui::FileDialog& dialog, ui::MessageBox& messages) {
    std::string a, b;
    if (!choose(dialog, "请选择要打开的A表", a)) return;
    if (!choose(dialog, "请选择要打开的B表", b)) return;
    auto start = std::chrono::steady_clock::now();
    conclude(messages, runLong([&] { return mergeFiles(a, b, "合并AB"); }), start,
             "毫秒，请在A表所在目录查收结果！");
}

void quickUnquote(ui::FileDialog& dialog, ui::MessageBox& messages) {
    std::string path;
    if (!choose(dialog, "请选择要打开的表", path)) return;
    auto start = std::chrono::steady_clock::now();
    conclude(messages, runLong([&] { return stripQuotesFile(path); }), start,
             "毫秒，请重新打开该表查看！");
}

void quickTrim(ui::FileDialog& dialog, ui::MessageBox& messages) {
    std::string path;
    if (!choose(dialog, "请选择要打开的表", path)) return;
    auto start = std::chrono::steady_clock::now();
    conclude(messages, runLong([&] { return cleanUpFile(path); }), start,
             "毫秒，请重新打开该表查看！");
}

namespace {

// The temporary files of one pasted-list operation, removed whatever happens.
class TempFiles {
  public:
    explicit TempFiles(const fs::path& dir) : dir_(dir) {}
    ~TempFiles() {
        for (const auto& p : made_) os::removeIfExists(p);
    }
    // A file of the program directory, removed at the end.
    std::string path(const char* name) {
        made_.push_back(dir_ / os::pathFromUtf8(name));
        return os::utf8(made_.back());
    }
    std::string write(const char* name, const std::string& text, std::string& error) {
        std::string p = path(name);
        std::string why = writeReplacing(p, text);
        if (!why.empty() && error.empty()) error = why;
        return p;
    }
    std::string read(const std::string& p, std::string& error) {
        std::string bytes;
        if (error.empty()) readBytes(p, bytes, error);
        return bytes;
    }

  private:
    fs::path dir_;
    std::vector<fs::path> made_;
};

}  // namespace

namespace {

// A pasted-list operation: the boxes' texts are taken and given back on the window's thread,
// the files in between are one long step away from it. `work` returns the result's text or
// sets `error`; a cancelled or failed step leaves every box as it was.
void pasteStep(PasteBoxes& boxes, ui::EditBox& target,
               const std::function<std::string(TempFiles&, std::string&)>& work) {
    std::string error, text;
    auto start = std::chrono::steady_clock::now();
    error = runLong([&] {
        std::string why;
        TempFiles temp(boxes.programDirectory);
        text = work(temp, why);
        return why;
    });
    if (error.empty()) target.setText(text);
    conclude(boxes.messages, error, start, "毫秒");
}

}  // namespace

void pasteDedupe(PasteBoxes& boxes, ui::EditBox& box) {
    std::string input = box.text();
    pasteStep(boxes, box, [&](TempFiles& temp, std::string& error) {
        std::string in = temp.write("简易临时.txt", input, error);
        std::string out = temp.path("简易临时去重复.txt");
        if (error.empty()) error = dedupeFile(in);
        return temp.read(out, error);
    });
}

void pasteCompare(PasteBoxes& boxes, Compare which) {
    std::string inA = boxes.a.text(), inB = boxes.b.text();
    pasteStep(boxes, boxes.result, [&](TempFiles& temp, std::string& error) {
        std::string a = temp.write("简易临时A.txt", inA, error);
        std::string b = temp.write("简易临时B.txt", inB, error);
        bool fromB = which == Compare::BNotA;
        std::string out = temp.path(fromB ? "简易临时B结果.txt" : "简易临时A结果.txt");
        if (error.empty())
            error = compareFiles(fromB ? b : a, fromB ? a : b, "结果", which == Compare::Common);
        return temp.read(out, error);
    });
}

void pasteMerge(PasteBoxes& boxes) {
    std::string inA = boxes.a.text(), inB = boxes.b.text();
    pasteStep(boxes, boxes.result, [&](TempFiles& temp, std::string& error) {
        std::string a = temp.write("简易临时A.txt", inA, error);
        std::string b = temp.write("简易临时B.txt", inB, error);
        std::string out = temp.path("简易临时A结果.txt");
        if (error.empty()) error = mergeFiles(a, b, "结果");
        return temp.read(out, error);
    });
}

namespace {

void pasteInPlace(PasteBoxes& boxes, std::string (*pass)(const std::string&)) {
    std::string input = boxes.a.text();
    pasteStep(boxes, boxes.a, [&](TempFiles& temp, std::string& error) {
        std::string a = temp.write("简易临时A.txt", input, error);
        if (error.empty()) error = pass(a);
        return temp.read(a, error);
    });
}

}  // namespace

void pasteTrimA(PasteBoxes& boxes) {
    pasteInPlace(boxes, cleanUpFile);
}

void pasteUnquoteA(PasteBoxes& boxes) {
    pasteInPlace(boxes, stripQuotesFile);
}

void pasteClear(PasteBoxes& boxes) {
    boxes.a.setText("");
    boxes.b.setText("");
}

void copyToClipboard(const ui::EditBox& box, ui::Clipboard& clipboard) {
    clipboard.setText(box.text());
}

}  // namespace qx::lines
