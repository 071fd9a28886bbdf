// The program's grid: a table of text cells whose row 0 is the fixed header, with the current
// cell, column widths in twips, per-column drop-down lists and a before-edit event that may
// refuse an edit before it starts (double-click, typing or F2). Enter commits a typed value.
#pragma once

#include <QTableWidget>

#include "platform/ui/controls.h"

namespace qx::app {

class GridWidget : public QTableWidget, public ui::Grid {
    Q_OBJECT

  public:
    explicit GridWidget(QWidget* parent = nullptr);

    int rows() const override { return rowCount(); }
    void setRows(int rows) override;
    int cols() const override { return columnCount(); }
    void setCols(int cols) override;
    int row() const override;
    int col() const override;
    std::string text(int row, int col) const override;
    void setText(int row, int col, const std::string& text) override;
    int colWidth(int col) const override;
    void setColWidth(int col, int twips) override;
    std::string colComboList(int col) const override;
    void setColComboList(int col, const std::string& list) override;
    void clearScrollable() override;
    void setBeforeEdit(BeforeEdit handler) override { beforeEdit_ = std::move(handler); }

    // Starts editing a cell as a person would: the before-edit event first. `typed` begins the
    // new text (for an edit started by typing). Returns false when the edit was refused.
    bool requestEdit(int row, int col, const QString& typed = {});
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void styleHeaderRow();
    BeforeEdit beforeEdit_;
    std::vector<std::string> combos_;
};

}  // namespace qx::app
