// Program start: the program directory is decided once here and handed down; one instance runs
// per program directory, so that a second start cannot delete the first one's working database.
//
//   quillex [FILE...]     the window; each FILE opened in 快捷操作 as if chosen with 1.打开文件
//   quillex --version
#include <QApplication>
#include <QLockFile>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"
#include "store/working_database.h"

int main(int argc, char** argv) {
    // Before Qt starts: the version needs no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Quillex %s\n", QX_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    qx::app::useProgramFont();
    qx::app::useChineseTranslations();
    const auto programDirectory = qx::os::resolveProgramDirectory();
    QLockFile lock(QString::fromStdString(qx::os::utf8(programDirectory / "quillex.lock")));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        QMessageBox box;
        box.setText(QStringLiteral(
            "Quillex 已在运行。同一程序目录中只能运行一个 Quillex，请使用已打开的窗口。"));
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return 0;
    }
    const qx::store::WorkingDatabase workingDatabase(programDirectory);
    qx::app::MainWindow window(workingDatabase);
    window.show();
    // Files given to the program ("Open with" of a file manager passes them so), after Qt took
    // its own options out of the arguments.
    std::vector<std::string> files;
    for (const QString& a : QApplication::arguments().mid(1)) files.push_back(a.toStdString());
    if (!files.empty()) window.openFilesFromOutside(files);
    return QApplication::exec();
}
