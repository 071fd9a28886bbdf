// Benchmark driver for the single-table operations: runs one whole operation (statements and
// csv export) on table 1_1 of the working database in PROGDIR, as the "确定" of its dialog does.
//
//   qx_bench_single PROGDIR count|sum|dedup|repeat OUT.csv
#include <cstdio>
#include <string>

#include "platform/ui/memory_controls.h"
#include "single/single_table.h"
#include "store/session.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: qx_bench_single PROGDIR count|sum|dedup|repeat OUT.csv\n");
        return 2;
    }
    qx::store::WorkingDatabase database(argv[1]);
    qx::ui::MemoryFileDialog open, save;
    qx::ui::MemoryMessageBox messages;
    qx::ui::MemoryBusyNotice busy;
    qx::ui::MemoryProgressNotice progress;
    open.queue("source.csv");  // not xlsx mode
    open.showOpen();
    save.queue(std::string(argv[3]));
    qx::store::Session session{database, open, save, messages, busy, progress, [] {}};

    qx::ui::MemoryListBox files, tables;
    files.addItem("source.csv");
    files.setSelectedIndex(0);
    tables.addItem("1_1");
    tables.setSelectedIndex(0);
    qx::ui::MemoryGrid structure(4, 3);
    structure.setText(3, 1, "长整型数字");
    qx::ui::MemoryButton read(false);
    qx::single::SingleTablePage page{files, files, tables, structure, read};
    auto pick = [](const char* name) {
        qx::ui::MemoryListBox l;
        for (const char* c : {"k", "a", "n"}) l.addItem(c);
        for (int i = 0; i < l.count(); ++i)
            if (l.item(i) == name) l.setSelectedIndex(i);
        return l;
    };
    std::string op = argv[2];
    auto a = pick("a"), n = pick("n");
    if (op == "count") {
        qx::single::confirmMergeCount(session, page, a);
    } else if (op == "sum") {
        qx::single::confirmMergeSum(session, page, a, n);
    } else if (op == "dedup") {
        qx::single::confirmDedupByColumn(session, page, a);
    } else if (op == "repeat") {
        qx::ui::MemoryComboBox cmp;
        cmp.addItem(">");
        cmp.setCurrentIndex(0);
        qx::ui::MemoryEditBox number;
        number.setText("1");
        qx::single::confirmRepeatFilter(session, page, a, cmp, number);
    } else {
        return 2;
    }
    bool ok = messages.shown().size() == 1 && messages.shown()[0] != "" &&
              messages.shown()[0].find("失败") == std::string::npos;
    if (!ok)
        std::fprintf(stderr, "%s\n", messages.shown().empty() ? "" : messages.shown()[0].c_str());
    return ok ? 0 : 1;
}
