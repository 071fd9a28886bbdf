// The handlers of one module: its Qt controls seen through the control interfaces, and every
// button, list and grid event of its pages connected to the operation it runs.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "app/controls/qt_controls.h"
#include "app/module_pages.h"
#include "exchange/import.h"
#include "store/session.h"

namespace qx::app {

class ModuleWiring : public QObject {
  public:
    // `headerRow`: whether a read takes the first row of a sheet as the column names, as the
    // header box of the page the user is on says.
    ModuleWiring(Module module, ModuleControls& controls, const store::Session& session,
                 std::function<bool()> headerRow, QObject* parent);

    exchange::ImportPage& page() { return page_; }
    ui::ListBox* results() { return results_.get(); }
    ui::Button& read() { return read_; }

  private:
    void connectImport();
    void connectColumns();
    void connectComparisons();
    void connectSingleTable();
    void connectAdvanced();
    // The structure grid's column 0: the module's column action for that row.
    void columnAction(int row);
    // A double-click on the column-name list of the status group.
    void columnChosen();

    Module module_;
    ModuleControls& c_;
    const store::Session& session_;
    std::function<bool()> headerRow_;

    QtButton open_, read_;
    QtCheckBox header_;
    QtLabel tableLabel_, countLabel_, delimiterLabel_;
    QtComboBox table_;
    QtEditBox count_, delimiter_;
    QtListBox files_, mirror_, tables_, columns_;
    std::unique_ptr<QtListBox> results_;
    std::unique_ptr<QtTextBox> help_;
    std::unique_ptr<QtCheckBox> skip_;
    exchange::ImportPage page_;
};

}  // namespace qx::app
