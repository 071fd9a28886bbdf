// The command line's working folder and controls.
#include "cli/workspace.h"

#include <cstdio>

#include "advanced/operations.h"
#include "compare/comparisons.h"
#include "exchange/source_kinds.h"
#include "platform/os/console.h"
#include "platform/os/paths.h"
#include "single/single_table.h"

namespace qx::cli {

namespace fs = std::filesystem;

bool ConsoleMessages::isClosing(const std::string& text) {
    for (const char* closing : {compare::kCompared, compare::kSimilarDone, single::kSaved,
                                single::kDeleted, advanced::kSavedDone, advanced::kUpdateDone})
        if (text == closing) return true;
    return false;
}

void ConsoleMessages::show(const std::string& text) {
    shown_.push_back(text);
    if (quiet_ && isClosing(text)) return;
    std::fprintf(stderr, "%s\n", text.c_str());
}

ConsoleProgress::ConsoleProgress(bool quiet) : enabled_(!quiet && os::isTerminal(stderr)) {}

void ConsoleProgress::show() {
    drawn_ = false;
}

void ConsoleProgress::setPercent(int percent) {
    if (!enabled_) return;
    int filled = percent * 40 / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%",
                 std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(40 - filled), ' ').c_str(), percent);
    std::fflush(stderr);
    drawn_ = true;
}

void ConsoleProgress::close() {
    if (enabled_ && drawn_) std::fprintf(stderr, "\n");
    drawn_ = false;
}

Workspace::Workspace(const fs::path& workdir, bool quiet)
    : dir_(workdir),
      database_(dir_),
      messages_(quiet),
      progress_(quiet),
      session_{database_, open_, save_, messages_, busy_, progress_, [this] { dataReset(); }} {
    std::error_code ec;
    fs::create_directories(dir_, ec);
    import_.count.setText("1");
    // As the window starts: the data reset (nothing of an earlier run is left).
    dataReset();
}

Workspace::~Workspace() {
    database_.deleteFiles();
}

void Workspace::dataReset() {
    database_.deleteFiles();
    import_.header.setChecked(false);
    open_.setFilter(exchange::kFullFilter);
    save_.setFilter(exchange::kFullFilter);
    import_.open.setEnabled(true);
    import_.read.setEnabled(false);
    import_.table.clear();
    for (ui::MemoryListBox* l :
         {&import_.files, &import_.mirror, &import_.tables, &import_.columns})
        l->clear();
    import_.structure.setRows(1);
}

bool Workspace::list(const std::string& file, std::vector<std::string>& names) {
    std::error_code ec;
    if (!fs::is_regular_file(os::pathFromUtf8(file), ec)) {
        fail("找不到文件“" + file + "”");
        return false;
    }
    std::size_t before = messages_.shown().size();
    open_.queue(file);
    exchange::openSourceFile(session_, import_.page);
    if (messages_.shown().size() != before) return false;
    std::string kind = exchange::extensionOf(file);
    if (exchange::hasTableChooser(kind)) {
        for (const auto& name : import_.table.items()) names.push_back(name);
        if (names.empty()) {
            fail("该文件中没有可读入的表：“" + file + "”");
            return false;
        }
    } else {
        names.push_back(exchange::fileNameOf(file));
    }
    return true;
}

bool Workspace::read(const std::string& file, const std::string& table,
                     const ReadOptions& options) {
    std::vector<std::string> names;
    if (!list(file, names)) return false;
    std::string kind = exchange::extensionOf(file);
    if (exchange::hasTableChooser(kind)) {
        int chosen = table.empty() ? 0 : -1;
        for (std::size_t i = 0; chosen < 0 && i < names.size(); ++i)
            if (names[i] == table) chosen = static_cast<int>(i);
        if (chosen < 0 && !table.empty() &&
            table.find_first_not_of("0123456789") == std::string::npos) {
            int n = std::atoi(table.c_str());
            if (n >= 1 && n <= static_cast<int>(names.size())) chosen = n - 1;
        }
        if (chosen < 0) {
            std::string offered;
            for (const auto& n : names) offered += (offered.empty() ? "" : "、") + n;
            fail("“" + file + "”中没有表“" + table + "”；其中的表有：" + offered);
            return false;
        }
        import_.table.setCurrentIndex(chosen);
    }
    import_.header.setChecked(options.header);
    import_.count.setText(options.count);
    import_.delimiter.setText(options.delimiter);
    std::size_t before = messages_.shown().size();
    int tablesBefore = import_.tables.count();
    exchange::readSourceTable(session_, import_.page, options.header);
    return messages_.shown().size() == before && import_.tables.count() == tablesBefore + 1;
}

}  // namespace qx::cli
