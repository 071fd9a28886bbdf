// quillex-lines: the line operations of "一键导入式操作" without the window, writing the same
// result files beside the source.
//
//   quillex-lines dedupe FILE          {base}去重复.txt
//   quillex-lines common A B           {baseA}取相同.txt
//   quillex-lines a-not-b A B          {baseA}A中不含B.txt
//   quillex-lines b-not-a A B          {baseB}B中不含A.txt
//   quillex-lines merge A B            {baseA}合并AB.txt
//   quillex-lines trim FILE            in place
//   quillex-lines unquote FILE         in place
//   quillex-lines --version
#include <cstdio>
#include <string>

#include "lines/line_ops.h"
#include "platform/os/console.h"
#include "platform/os/interrupt.h"
#include "platform/work/progress.h"

int main(int argc, char** argv) {
    qx::os::prepareStandardStreams();
    auto usage = [] {
        std::fprintf(stderr,
                     "usage: quillex-lines dedupe|trim|unquote FILE\n"
                     "       quillex-lines common|a-not-b|b-not-a|merge A B\n");
        return 2;
    };
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("quillex-lines (Quillex) %s\n", QX_VERSION);
        return 0;
    }
    if (argc < 3) return usage();
    std::string op = argv[1], a = argv[2], b = argc > 3 ? argv[3] : "";
    bool two = op == "common" || op == "a-not-b" || op == "b-not-a" || op == "merge";
    if (two != (argc == 4) || (!two && argc != 3)) return usage();
    // Ctrl-C stops the operation before it writes: no result file, the old one as it was.
    qx::os::onInterrupt(&qx::work::requestStopFromSignal);
    std::string error;
    if (op == "dedupe")
        error = qx::lines::dedupeFile(a);
    else if (op == "trim")
        error = qx::lines::cleanUpFile(a);
    else if (op == "unquote")
        error = qx::lines::stripQuotesFile(a);
    else if (op == "common")
        error = qx::lines::compareFiles(a, b, "取相同", true);
    else if (op == "a-not-b")
        error = qx::lines::compareFiles(a, b, "A中不含B", false);
    else if (op == "b-not-a")
        error = qx::lines::compareFiles(b, a, "B中不含A", false);
    else if (op == "merge")
        error = qx::lines::mergeFiles(a, b, "合并AB");
    else
        return usage();
    if (qx::work::stopRequested()) {
        std::fprintf(stderr, "%s\n", qx::work::kCancelled);
        return 130;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
