// The import controls of a module's first page, in memory: for the operations' tests and for
// the command line, which fill them as a person fills the window's.
#pragma once

#include "exchange/import.h"
#include "platform/ui/memory_controls.h"

namespace qx::exchange {

struct MemoryImportControls {
    ui::MemoryButton open{true}, read{false};
    ui::MemoryCheckBox header;
    ui::MemoryLabel tableLabel, countLabel, delimiterLabel;
    ui::MemoryComboBox table;
    ui::MemoryEditBox count, delimiter;
    ui::MemoryListBox files, mirror, tables, columns;
    ui::MemoryGrid structure{1, 3};
    ImportPage page{open,           read,      header, tableLabel, table,  countLabel, count,
                    delimiterLabel, delimiter, files,  mirror,     tables, columns,    structure};
};

}  // namespace qx::exchange
