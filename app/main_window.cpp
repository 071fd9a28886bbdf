// The main window's frame.
#include "app/main_window.h"

#include <QLabel>
#include <QVBoxLayout>

namespace qx::app {

MainWindow::MainWindow(const store::WorkingDatabase& workingDatabase, QWidget* parent)
    : QWidget(parent), workingDatabase_(workingDatabase) {
    setWindowTitle(QStringLiteral("Quillex 3.1全功能版"));
    setFixedSize(784, 597);
    auto* layout = new QVBoxLayout(this);
    auto* footer = new QLabel(QStringLiteral("数据操作利器，办公好帮手"), this);
    layout->addStretch();
    layout->addWidget(footer, 0, Qt::AlignHCenter);
    // Files left by an earlier run are removed before the window is used.
    workingDatabase_.deleteFiles();
}

MainWindow::~MainWindow() {
    workingDatabase_.deleteFiles();
}

}  // namespace qx::app
