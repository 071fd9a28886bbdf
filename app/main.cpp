// Program start: the program directory is decided once here and handed down; one instance runs
// per program directory, so that a second start cannot delete the first one's working database.
#include <QApplication>
#include <QLockFile>
#include <QMessageBox>

#include "app/main_window.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"
#include "store/working_database.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    qx::app::useProgramFont();
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
    return QApplication::exec();
}
