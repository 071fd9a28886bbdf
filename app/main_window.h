// The main window: the program's frame. It owns the working database's lifetime: the data reset
// runs when the window is created and again when it is destroyed.
#pragma once

#include <QWidget>

#include "store/working_database.h"

namespace qx::app {

class MainWindow : public QWidget {
  public:
    explicit MainWindow(const store::WorkingDatabase& workingDatabase, QWidget* parent = nullptr);
    ~MainWindow() override;

  private:
    const store::WorkingDatabase& workingDatabase_;
};

}  // namespace qx::app
