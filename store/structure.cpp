// The structure display and the type change.
#include "store/structure.h"

#include "platform/jet/connection.h"
#include "platform/jet/recordset.h"
#include "store/type_vocabulary.h"

namespace qx::store {

bool showStructure(const Session& session, const std::string& table, ui::Grid& grid) {
    grid.setColWidth(0, 1800);
    grid.setColWidth(1, 2200);
    grid.setColWidth(2, 800);
    grid.setText(0, 0, "列名称");
    grid.setText(0, 1, "数据类型");
    grid.setText(0, 2, "字节长度");
    grid.setCols(3);

    std::string names;
    {
        BusyScope busy(session.busy);
        jet::Connection connection;
        jet::Recordset rs;
        int fields = 0;
        if (connection.open(session.connectionString()) && rs.open(connection, table))
            fields = rs.fieldCount();
        grid.setRows(fields + 1);
        for (int i = 1; i <= fields; ++i) {
            const jet::Field& f = rs.field(i - 1);
            grid.setText(i, 0, f.name);
            names += f.name;
            grid.setText(i, 1, typeName(f.typeCode()));
            grid.setText(i, 2, std::to_string(f.definedSize()));
        }
    }
    if (!hasSpecialCharacter(names)) return true;
    session.messages.show(kSpecialHeaderMessage);
    session.dataReset();
    return false;
}

void changeTypes(const Session& session, ui::Grid& grid, const ui::ListBox& tables,
                 const ui::ListBox& files) {
    auto currentTable = [&] {
        int i = files.selectedIndex();
        return i >= 0 && i < tables.count() ? tables.item(i) : std::string();
    };
    BusyScope busy(session.busy);
    {
        jet::Connection connection;
        if (connection.open(session.connectionString())) {
            // Every row is altered, changed or not; a refused row leaves its column as it was.
            for (int r = 1; r < grid.rows(); ++r)
                connection.execute("ALTER TABLE " + currentTable() + " ALTER COLUMN " +
                                   grid.text(r, 0) + " " + sqlType(grid.text(r, 1)));
        }
    }
    showStructure(session, currentTable(), grid);
}

void typeCellRule(ui::Grid& grid, int row, int col, bool& cancel,
                  const std::function<void(int row)>& columnAction) {
    if (col == 1) {
        grid.setColComboList(1, std::string(kTypeDropDown));
        return;
    }
    cancel = true;
    if (col == 0 && columnAction) columnAction(row);
}

}  // namespace qx::store
