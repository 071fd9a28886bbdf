// Column setup and table switching.
#include "exchange/columns.h"

#include "store/structure.h"

namespace qx::exchange {

std::string tablePart(std::string_view reference) {
    std::size_t dot = reference.rfind('.');
    return std::string(dot == std::string_view::npos ? reference : reference.substr(0, dot));
}

std::string columnPart(std::string_view reference) {
    std::size_t dot = reference.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(reference.substr(dot + 1));
}

std::string currentTable(const ImportPage& page) {
    int i = page.files.selectedIndex();
    return i >= 0 && i < page.tables.count() ? page.tables.item(i) : std::string();
}

void switchCurrentTable(const store::Session& session, ImportPage& page,
                        const ui::ListBox& clicked) {
    int index = clicked.selectedIndex();
    if (index < 0) return;  // a double-click beside the entries
    page.columns.clear();
    if (index < page.tables.count())
        listTableColumns(session, page.tables.item(index), page.columns);
    for (ui::ListBox* list : {&page.files, &page.mirror, &page.tables})
        if (list != &clicked) list->setSelectedIndex(index);
    store::showStructure(session, currentTable(page), page.structure);
}

void addAllColumns(ImportPage& page, ui::ListBox& results) {
    std::string table = page.tables.selectedText();
    for (int i = 0; i < page.columns.count(); ++i) {
        page.columns.setSelectedIndex(i);
        results.addItem(table + "." + page.columns.item(i));
    }
}

void appendResultColumn(const ImportPage& page, const std::string& column, ui::ListBox& results) {
    results.addItem(currentTable(page) + "." + column);
}

void writeCurrentCell(ui::Grid& grid, const std::string& text) {
    if (grid.row() >= 1 && grid.row() < grid.rows() && grid.col() >= 0 && grid.col() < grid.cols())
        grid.setText(grid.row(), grid.col(), text);
}

bool pageGuard(const store::Session& session, const ui::Button& quickRead,
               const ui::ListBox& tables) {
    // With nothing read there is no table to work on, and no working database to work in.
    if (!quickRead.isEnabled() && tables.count() > 0) return true;
    session.messages.show(kNotInitialised);
    return false;
}

}  // namespace qx::exchange
