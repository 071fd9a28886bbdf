// quillex-cli: the table operations of the window from the command line. Each call reads its
// files through the same open and read steps, fills the same (non-visual) controls with the
// choices given, and runs the same operation code, so its result file is the window's.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "advanced/operations.h"
#include "cli/workspace.h"
#include "compare/comparisons.h"
#include "exchange/columns.h"
#include "exchange/source_kinds.h"
#include "platform/os/console.h"
#include "platform/os/interrupt.h"
#include "platform/os/paths.h"
#include "platform/os/scratch.h"
#include "platform/work/progress.h"
#include "single/single_table.h"

namespace {

using namespace qx;

constexpr const char* kUsage = R"(用法：quillex-cli 命令 文件… [选项]

  tables FILE                          列出文件中的表（工作表）
  columns FILE[:TABLE]                 表的结构：列名、类型、字节长度
  absent A[:T] B[:T] --key1 C --key2 C --columns REF,… [--keep 1|2] -o OUT
                                       取表一中不含表二数（--keep 2：取表二中不含表一数）
  common A[:T] B[:T] --key1 C --key2 C --columns REF,… -o OUT      取表一表二共有数
  similar A[:T] B[:T] --key1 C --key2 C --columns REF,… -o OUT     取表一在表二中的相似数
  count FILE[:T] --by C -o OUT                      合并相同行，统计笔数
  sum FILE[:T] --by C --sum C -o OUT                合并相同行，指定列值相加，并统计笔数
  distinct FILE[:T] -o OUT                          删除完全重复记录，只保留一条
  dedupe FILE[:T] --by C -o OUT                     删除指定列重复记录，只保留首条
  length FILE[:T] --by C --op OP --value N -o OUT   选出某列符合指定长度条件的数据
  repeat FILE[:T] --by C --op OP --value N -o OUT   选不重复和重复指定条件的数据
  query FILE[:T]… [--where COND] [--columns REF,…] -o OUT          高级查询
  update FILE[:T]… [--where COND] --set REF=VALUE … -o OUT         高级更新
  delete FILE[:T]… [--where COND] [--from N] -o OUT                高级删除

选项：
  --header          第一行作表头（Excel 工作表）
  --count N         列数（csv、txt），默认 1
  --delimiter X     自定义分隔符（txt）
  --sheet T         未写 :T 的文件读入的表，按名称或位置（从 1 起）；默认第一个
  --workdir DIR     工作库所在的文件夹（默认每次一个新的临时文件夹，用完删除；被中断的
                    运行留下的文件夹由下一次运行删除）
  --quiet           成功时不显示结束信息和进度
  -o OUT            结果文件，类型由扩展名决定：dbf、xls、csv、txt、mdb；读入的是 xlsx
                    工作簿时只能是 xlsx

REF 是某个表的列：A.列名、B.列名（两表操作），或 N.列名（第 N 个文件），也可以写工作表名
1_1.列名。COND 是条件表格生成的 Jet 条件，例如 "[1_1].F1 > 288"。OP 是 >、<、=、>=、<=。
结束状态：0 成功；1 操作失败或被拒绝（信息与窗口相同）；2 用法错误。)";

struct Options {
    std::string command;
    std::vector<std::string> inputs;
    std::map<std::string, std::vector<std::string>> values;  // --name VALUE (repeatable)
    bool header = false, quiet = false;
    std::string value(const std::string& name) const {
        auto it = values.find(name);
        return it == values.end() || it->second.empty() ? std::string() : it->second.back();
    }
    bool has(const std::string& name) const { return values.count(name) > 0; }
};

int usage(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "quillex-cli：%s\n\n", why.c_str());
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
}

std::optional<Options> parse(int argc, char** argv, std::string& why) {
    static const char* kValued[] = {"--key1",  "--key2",      "--columns", "--keep",
                                    "--by",    "--sum",       "--op",      "--value",
                                    "--where", "--set",       "--from",    "--count",
                                    "--sheet", "--delimiter", "--workdir", "-o"};
    Options o;
    if (argc < 2) return std::nullopt;
    o.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--header") {
            o.header = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            bool known = false;
            for (const char* v : kValued) known = known || a == v;
            if (!known) {
                why = "不认识的选项“" + a + "”";
                return std::nullopt;
            }
            if (i + 1 >= argc) {
                why = "选项“" + a + "”后面缺少值";
                return std::nullopt;
            }
            o.values[a].push_back(argv[++i]);
        } else {
            o.inputs.push_back(a);
        }
    }
    return o;
}

// FILE or FILE:TABLE; a path that exists as it is names no table.
std::pair<std::string, std::string> splitInput(const std::string& input) {
    std::error_code ec;
    std::size_t colon = input.rfind(':');
    if (colon == std::string::npos || colon == 0 ||
        std::filesystem::exists(os::pathFromUtf8(input), ec))
        return {input, {}};
    return {input.substr(0, colon), input.substr(colon + 1)};
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string part = text.substr(start, comma == std::string::npos ? comma : comma - start);
        if (!part.empty()) out.push_back(part);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

class Run {
  public:
    Run(const Options& o, const std::filesystem::path& workdir) : o_(o), ws_(workdir, o.quiet) {}

    int execute();
    const cli::ConsoleMessages& messages() const { return ws_.messages(); }

  private:
    // Reads every input, in order: the working tables 1_M, 2_M, …
    bool readInputs(std::size_t atLeast, std::size_t atMost) {
        if (o_.inputs.size() < atLeast || o_.inputs.size() > atMost) {
            usageError_ = atLeast == atMost && atLeast == 1 ? "需要一个文件"
                          : atLeast == 2 && atMost == 2     ? "需要两个文件：表一和表二"
                                                            : "需要至少一个文件";
            return false;
        }
        cli::Workspace::ReadOptions options{
            o_.header, o_.has("--count") ? o_.value("--count") : "1", o_.value("--delimiter")};
        for (const auto& input : o_.inputs) {
            auto [file, table] = splitInput(input);
            if (!ws_.read(file, table.empty() ? o_.value("--sheet") : table, options)) return false;
        }
        return true;
    }
    std::string tableOf(std::size_t input) {
        return ws_.page().tables.item(static_cast<int>(input));
    }
    // A, B, N (1-based input) or a working table's own name, then "." and the column.
    std::optional<std::string> reference(const std::string& ref) {
        std::size_t dot = ref.find('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 == ref.size()) {
            usageError_ = "列“" + ref + "”应写作 表.列名（A.列名、B.列名或 N.列名）";
            return std::nullopt;
        }
        std::string t = ref.substr(0, dot), c = ref.substr(dot + 1);
        int n = ws_.page().tables.count();
        int index = t == "A" || t == "a" ? 0 : t == "B" || t == "b" ? 1 : -1;
        if (index < 0 && t.find_first_not_of("0123456789") == std::string::npos)
            index = std::atoi(t.c_str()) - 1;
        if (index >= 0 && index < n) return tableOf(static_cast<std::size_t>(index)) + "." + c;
        for (int i = 0; i < n; ++i)
            if (ws_.page().tables.item(i) == t) return t + "." + c;
        usageError_ = "列“" + ref + "”中的表“" + t + "”不是读入的表";
        return std::nullopt;
    }
    bool output() {
        std::string out = o_.value("-o");
        if (out.empty()) {
            usageError_ = "缺少结果文件：-o OUT";
            return false;
        }
        // The window saves a workbook read's result as a workbook only (whatever name is typed
        // into its dialog), any other read's result in the other five kinds; the extension
        // given here must say what the file will hold.
        bool xlsxMode = ws_.session().flavour() == store::Flavour::Ace;
        if (xlsxMode != (store::lowerExtension(out) == "xlsx")) {
            usageError_ = xlsxMode ? "读入的是 xlsx 工作簿，结果只能保存为 xlsx 文件"
                                   : "结果只能保存为 dbf、xls、csv、txt 或 mdb 文件（xlsx "
                                     "只用于读入 xlsx 工作簿后的结果）";
            return false;
        }
        ws_.saveDialog().queue(out);
        return true;
    }
    // A column of the dialog's list, selected as the user would select it.
    bool select(ui::MemoryListBox& list, const std::string& option) {
        std::string name = o_.value(option);
        if (name.empty()) return true;  // nothing selected: the dialog's own message
        for (int i = 0; i < list.count(); ++i)
            if (list.item(i) == name) {
                list.setSelectedIndex(i);
                return true;
            }
        ws_.fail("表中没有列“" + name + "”");
        return false;
    }

    int comparison();
    int singleTable();
    int advanced();
    // 0 when the operation ended with its closing message and nothing else, else 1.
    int outcome(std::size_t before) const {
        const auto& shown = ws_.messages().shown();
        bool ok = shown.size() == before + 1 && cli::ConsoleMessages::isClosing(shown.back());
        return ok ? 0 : 1;
    }

    const Options& o_;
    cli::Workspace ws_;

  public:
    std::string usageError_;
};

int Run::comparison() {
    if (!readInputs(2, 2)) return usageError_.empty() ? 1 : 2;
    std::string keep = o_.has("--keep") ? o_.value("--keep") : "1";
    if (o_.command == "absent" && keep != "1" && keep != "2") {
        usageError_ = "--keep 只能是 1 或 2";
        return 2;
    }
    ui::MemoryListBox results;
    for (const auto& ref : splitList(o_.value("--columns"))) {
        auto r = reference(ref);
        if (!r) return 2;
        results.addItem(*r);
    }
    ui::MemoryGrid compare(2, 2);
    if (o_.has("--key1")) compare.setText(1, 0, tableOf(0) + "." + o_.value("--key1"));
    if (o_.has("--key2")) compare.setText(1, 1, tableOf(1) + "." + o_.value("--key2"));
    if (!output()) return 2;
    compare::Comparison which = o_.command == "common"    ? compare::Comparison::Common
                                : o_.command == "similar" ? compare::Comparison::Similar
                                : keep == "2"             ? compare::Comparison::TwoWithoutOne
                                                          : compare::Comparison::OneWithoutTwo;
    std::size_t before = ws_.messages().shown().size();
    compare::runComparison(ws_.session(), which, results, compare, ws_.page().files);
    return outcome(before);
}

int Run::singleTable() {
    if (!readInputs(1, 1)) return usageError_.empty() ? 1 : 2;
    exchange::ImportPage& p = ws_.page();
    single::SingleTablePage page{p.files, p.mirror, p.tables, p.structure, p.read};
    if (!output()) return 2;
    std::size_t before = ws_.messages().shown().size();
    if (o_.command == "distinct") {
        single::removeFullDuplicates(ws_.session(), page);
        return outcome(before);
    }
    ui::MemoryListBox list, second;
    single::fillDialogColumns(ws_.session(), page, list);
    single::fillDialogColumns(ws_.session(), page, second);
    if (!select(list, "--by")) return 1;
    before = ws_.messages().shown().size();
    if (o_.command == "count") {
        single::confirmMergeCount(ws_.session(), page, list);
    } else if (o_.command == "sum") {
        if (!select(second, "--sum")) return 1;
        before = ws_.messages().shown().size();
        single::confirmMergeSum(ws_.session(), page, list, second);
    } else if (o_.command == "dedupe") {
        single::confirmDedupByColumn(ws_.session(), page, list);
    } else {
        ui::MemoryComboBox op;
        for (const char* o : {">", "<", "=", ">=", "<="}) op.addItem(o);
        op.setCurrentIndex(-1);
        std::string wanted = o_.value("--op");
        for (int i = 0; i < op.count(); ++i)
            if (op.item(i) == wanted) op.setCurrentIndex(i);
        if (!wanted.empty() && op.currentIndex() < 0) {
            usageError_ = "--op 只能是 >、<、=、>=、<=";
            return 2;
        }
        ui::MemoryEditBox number;
        number.setText(o_.value("--value"));
        if (o_.command == "length")
            single::confirmLengthFilter(ws_.session(), page, list, op, number);
        else
            single::confirmRepeatFilter(ws_.session(), page, list, op, number);
    }
    return outcome(before);
}

int Run::advanced() {
    if (!readInputs(1, 255)) return usageError_.empty() ? 1 : 2;
    ui::MemoryGrid condition(2, 5);
    ui::MemoryCheckBox skip;
    // The condition the grid would build: one row of "我要自己输入条件" with the text given.
    if (o_.has("--where")) {
        condition.setText(1, 3, "我要自己输入条件");
        condition.setText(1, 4, o_.value("--where"));
    } else {
        skip.setChecked(true);
    }
    ui::MemoryListBox results;
    ui::MemoryGrid update(2, 4), target(2, 1);
    if (o_.command == "query") {
        for (const auto& ref : splitList(o_.value("--columns"))) {
            auto r = reference(ref);
            if (!r) return 2;
            results.addItem(*r);
        }
    } else if (o_.command == "update") {
        auto it = o_.values.find("--set");
        if (it == o_.values.end()) {
            usageError_ = "高级更新需要 --set 表.列名=值";
            return 2;
        }
        update.setRows(static_cast<int>(it->second.size()) + 1);
        for (std::size_t k = 0; k < it->second.size(); ++k) {
            const std::string& assignment = it->second[k];
            std::size_t eq = assignment.find('=');
            auto r = eq == std::string::npos ? std::nullopt : reference(assignment.substr(0, eq));
            if (!r) {
                if (usageError_.empty()) usageError_ = "--set 应写作 表.列名=值";
                return 2;
            }
            int row = static_cast<int>(k) + 1;
            std::string table = exchange::tablePart(*r), column = exchange::columnPart(*r);
            // As the grid holds them: the table to save, then [T].C, "=" and the value.
            update.setText(row, 0, row == 1 ? table : ",");
            update.setText(row, 1, "[" + table + "]." + column);
            update.setText(row, 2, "=");
            update.setText(row, 3, assignment.substr(eq + 1));
        }
    } else {
        std::string from = o_.has("--from") ? o_.value("--from") : "1";
        auto r = reference(from + ".x");
        if (!r) return 2;
        target.setText(1, 0, exchange::tablePart(*r));
    }
    if (!output()) return 2;
    advanced::AdvancedKind kind = o_.command == "query"    ? advanced::AdvancedKind::Query
                                  : o_.command == "update" ? advanced::AdvancedKind::Update
                                                           : advanced::AdvancedKind::Delete;
    advanced::AdvancedPage page{ws_.page(),
                                condition,
                                skip,
                                kind == advanced::AdvancedKind::Query ? &results : nullptr,
                                kind == advanced::AdvancedKind::Update ? &update : nullptr,
                                kind == advanced::AdvancedKind::Delete ? &target : nullptr};
    std::size_t before = ws_.messages().shown().size();
    advanced::exportLastResult(ws_.session(), kind, page);
    return outcome(before);
}

int Run::execute() {
    const std::string& c = o_.command;
    if (c == "tables" || c == "columns") {
        if (o_.inputs.size() != 1) {
            usageError_ = "需要一个文件";
            return 2;
        }
        auto [file, table] = splitInput(o_.inputs[0]);
        if (c == "tables") {
            std::vector<std::string> names;
            if (!ws_.list(file, names)) return 1;
            for (const auto& n : names) std::printf("%s\n", n.c_str());
            return 0;
        }
        if (!readInputs(1, 1)) return usageError_.empty() ? 1 : 2;
        const ui::Grid& s = ws_.page().structure;
        for (int r = 1; r < s.rows(); ++r)
            std::printf("%s\t%s\t%s\n", s.text(r, 0).c_str(), s.text(r, 1).c_str(),
                        s.text(r, 2).c_str());
        return 0;
    }
    if (c == "absent" || c == "common" || c == "similar") return comparison();
    if (c == "count" || c == "sum" || c == "distinct" || c == "dedupe" || c == "length" ||
        c == "repeat")
        return singleTable();
    if (c == "query" || c == "update" || c == "delete") return advanced();
    usageError_ = "不认识的命令“" + c + "”";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    qx::os::prepareStandardStreams();
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("%s\n", kUsage);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quillex-cli (Quillex) %s\n", QX_VERSION);
        return 0;
    }
    std::string why;
    auto options = parse(argc, argv, why);
    if (!options) return usage(why);
    // Without --workdir the working database goes into a run folder of its own; a folder left by
    // a run that was killed is removed here.
    std::filesystem::path workdir = os::pathFromUtf8(options->value("--workdir"));
    std::unique_ptr<os::ScratchFolder> scratch;
    if (workdir.empty()) {
        std::string error;
        scratch = os::ScratchFolder::make("quillex-cli", error);
        if (!scratch) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        workdir = scratch->path();
    }
    // Ctrl-C stops the work at its next look (a fraction of a second): what it made is taken
    // back, no result file is left, and the run folder goes as after any run.
    os::onInterrupt(&work::requestStopFromSignal);
    int status;
    {
        Run run(*options, workdir);
        status = run.execute();
        if (status == 2) return usage(run.usageError_);
        const auto& shown = run.messages().shown();
        if (work::stopRequested() &&
            std::find(shown.begin(), shown.end(), work::kCancelled) == shown.end())
            std::fprintf(stderr, "%s\n", work::kCancelled);
    }
    if (work::stopRequested()) return 130;
    return status;
}
