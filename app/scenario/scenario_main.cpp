// qx_scenario [--progdir DIR] [--tmp DIR] [--as-program FILE] FILE.scn...: each file in a freshly
// started main window. --as-program: the window works as the program FILE would (an installed
// copy): its program directory by the program's own rule, its helpers found from there.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/scenario/scenario_runner.h"
#include "platform/os/files.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qx::app::useProgramFont();
    qx::app::useChineseTranslations();
    qx::app::ScenarioOptions options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "--progdir" || a == "--tmp") && i + 1 < argc) {
            (a == "--progdir" ? options.progdir : options.tmp) = argv[++i];
        } else if (a == "--as-program" && i + 1 < argc) {
            qx::os::actAsProgram(argv[++i]);
            options.progdir = qx::os::resolveProgramDirectory();
        } else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr,
                         "usage: scenario [--progdir DIR] [--tmp DIR] [--as-program FILE] "
                         "FILE.scn...\n");
            return 2;
        } else {
            files.push_back(a);
        }
    }
    int passed = 0, failed = 0;
    for (const auto& f : files) {
        qx::app::ScenarioRunner runner(f, options);
        if (runner.run()) {
            ++passed;
        } else {
            ++failed;
            std::printf("%s\n", runner.failure().c_str());
        }
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && !files.empty() ? 0 : 1;
}
