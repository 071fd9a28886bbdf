// What every routine that touches the working database is handed: the database, the two file
// dialogs, the message box, the busy and progress notices, and the data reset of the whole
// window. The flavour is taken from the open dialog's last file at each use, as the program
// decides xlsx mode nowhere else.
#pragma once

#include <functional>

#include "platform/ui/controls.h"
#include "store/working_database.h"

namespace qx::store {

struct Session {
    const WorkingDatabase& database;
    ui::FileDialog& openDialog;
    ui::FileDialog& saveDialog;
    ui::MessageBox& messages;
    ui::BusyNotice& busy;
    ui::ProgressNotice& progress;
    std::function<void()> dataReset;

    Flavour flavour() const { return flavourForExtension(lowerExtension(openDialog.fileName())); }
    std::string connectionString() const { return database.connectionString(flavour()); }
};

// Shows the busy notice for its lifetime: every exit of a routine closes it.
class BusyScope {
  public:
    explicit BusyScope(ui::BusyNotice& busy) : busy_(&busy) { busy_->show(); }
    ~BusyScope() { close(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
    void close() {
        if (busy_) busy_->close();
        busy_ = nullptr;
    }

  private:
    ui::BusyNotice* busy_;
};

}  // namespace qx::store
