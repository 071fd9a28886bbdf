// Program start: the program directory is decided once here and handed down.
#include <QApplication>

#include "app/main_window.h"
#include "platform/os/files.h"
#include "store/working_database.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const qx::store::WorkingDatabase workingDatabase(qx::os::resolveProgramDirectory());
    qx::app::MainWindow window(workingDatabase);
    window.show();
    return QApplication::exec();
}
