// qx_sqltest [--tmp DIR] [--flavour mdb|accdb] FILE.test...
#include <iostream>
#include <string>
#include <vector>

#include "platform/os/console.h"
#include "sqltest.h"

int main(int argc, char** argv) {
    qx::os::prepareStandardStreams();
    qx::sqltest::Options options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--tmp" && i + 1 < argc) {
            options.tmp = argv[++i];
        } else if (a == "--flavour" && i + 1 < argc) {
            options.flavour = argv[++i];
        } else if (a.rfind("--", 0) == 0) {
            std::cerr << "usage: sqltest [--tmp DIR] [--flavour mdb|accdb] FILE.test...\n";
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (options.flavour != "mdb" && options.flavour != "accdb") {
        std::cerr << "--flavour takes mdb or accdb\n";
        return 2;
    }
    qx::sqltest::Tally total;
    for (const auto& f : files) {
        auto t = qx::sqltest::runFile(f, options, std::cout);
        total.passed += t.passed;
        total.failed += t.failed;
    }
    std::cout << total.passed << " passed, " << total.failed << " failed\n";
    return total.failed == 0 && !files.empty() ? 0 : 1;
}
