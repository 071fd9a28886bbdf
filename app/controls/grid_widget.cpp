// The grid on QTableWidget: editing is started only by requestEdit, so that the before-edit
// event runs first whatever started it.
#include "app/controls/grid_widget.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace qx::app {

namespace {

constexpr int kTwipsPerPixel = 15;  // at 96 dpi

QString q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string u(const QString& s) {
    return s.toUtf8().toStdString();
}

// Editors by the column's drop-down list: none gives a line edit, "a|b" a pick-only list,
// "|a|b" an editable one.
class ComboDelegate : public QStyledItemDelegate {
  public:
    ComboDelegate(GridWidget* grid, const std::vector<std::string>* combos)
        : QStyledItemDelegate(grid), combos_(combos) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        std::size_t col = static_cast<std::size_t>(index.column());
        if (col >= combos_->size() || (*combos_)[col].empty())
            return QStyledItemDelegate::createEditor(parent, option, index);
        QString list = q((*combos_)[col]);
        bool editable = list.startsWith('|');
        QStringList items = list.split('|');
        if (editable) items.removeFirst();
        auto* box = new QComboBox(parent);
        box->addItems(items);
        box->setEditable(editable);
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            QString text = index.data(Qt::EditRole).toString();
            int at = box->findText(text);
            if (at >= 0)
                box->setCurrentIndex(at);
            else if (box->isEditable())
                box->setEditText(text);
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            model->setData(index, box->currentText(), Qt::EditRole);
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

  private:
    const std::vector<std::string>* combos_;
};

}  // namespace

GridWidget::GridWidget(QWidget* parent) : QTableWidget(parent) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new ComboDelegate(this, &combos_));
    setTextElideMode(Qt::ElideNone);  // a narrow column shows what fits rather than an ellipsis
    setWordWrap(false);
    setStyleSheet("QTableView::item { padding: 0px 1px; }");
}

void GridWidget::setRows(int rows) {
    setRowCount(std::max(rows, 0));
    styleHeaderRow();
}

void GridWidget::setCols(int cols) {
    setColumnCount(std::max(cols, 0));
    combos_.resize(static_cast<std::size_t>(columnCount()));
    styleHeaderRow();
}

int GridWidget::row() const {
    int r = currentRow();
    return r >= 0 ? r : (rowCount() > 1 ? 1 : 0);
}

int GridWidget::col() const {
    int c = currentColumn();
    return c >= 0 ? c : 0;
}

std::string GridWidget::text(int row, int col) const {
    const QTableWidgetItem* it = item(row, col);
    return it ? u(it->text()) : std::string();
}

void GridWidget::setText(int row, int col, const std::string& text) {
    if (row < 0 || row >= rowCount() || col < 0 || col >= columnCount()) return;
    QTableWidgetItem* it = item(row, col);
    if (!it) {
        it = new QTableWidgetItem;
        setItem(row, col, it);
    }
    it->setText(q(text));
    if (row == 0) styleHeaderRow();
}

int GridWidget::colWidth(int col) const {
    return columnWidth(col) * kTwipsPerPixel;
}

void GridWidget::setColWidth(int col, int twips) {
    setColumnWidth(col, twips / kTwipsPerPixel);
}

std::string GridWidget::colComboList(int col) const {
    return col >= 0 && static_cast<std::size_t>(col) < combos_.size()
               ? combos_[static_cast<std::size_t>(col)]
               : "";
}

void GridWidget::setColComboList(int col, const std::string& list) {
    if (col < 0) return;
    if (static_cast<std::size_t>(col) >= combos_.size())
        combos_.resize(static_cast<std::size_t>(col) + 1);
    combos_[static_cast<std::size_t>(col)] = list;
}

void GridWidget::clearScrollable() {
    for (int r = 1; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            if (QTableWidgetItem* it = item(r, c)) it->setText({});
}

bool GridWidget::requestEdit(int row, int col, const QString& typed) {
    if (row <= 0 || row >= rowCount() || col < 0 || col >= columnCount())
        return false;  // the header row is fixed
    setCurrentCell(row, col);
    bool cancel = false;
    if (beforeEdit_) beforeEdit_(row, col, cancel);
    if (cancel) return false;
    QTableWidgetItem* it = item(row, col);
    if (!it) {
        it = new QTableWidgetItem;
        setItem(row, col, it);
    }
    editItem(it);
    // An edit started by typing begins with what was typed, in the cell's own editor: a line
    // edit or an editable drop-down takes the text; a pick-only list goes to the first choice
    // that begins with it.
    if (typed.isEmpty()) return true;
    QWidget* editor = indexWidget(model()->index(row, col));
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
        if (box->isEditable()) {
            box->setEditText(typed);
        } else {
            int at = box->findText(typed, Qt::MatchStartsWith);
            if (at >= 0) box->setCurrentIndex(at);
        }
    } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(typed);
    }
    return true;
}

void GridWidget::keyPressEvent(QKeyEvent* event) {
    if (state() != QAbstractItemView::EditingState) {
        if (event->key() == Qt::Key_F2) {
            requestEdit(row(), col());
            return;
        }
        QString t = event->text();
        if (!t.isEmpty() && t.at(0).isPrint()) {
            requestEdit(row(), col(), t);
            return;
        }
    }
    QTableWidget::keyPressEvent(event);
}

void GridWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid() || event->button() != Qt::LeftButton)
        return QTableWidget::mouseDoubleClickEvent(event);
    emit cellDoubleClicked(index.row(), index.column());
    requestEdit(index.row(), index.column());
}

void GridWidget::styleHeaderRow() {
    if (rowCount() == 0) return;
    for (int c = 0; c < columnCount(); ++c) {
        QTableWidgetItem* it = item(0, c);
        if (!it) {
            it = new QTableWidgetItem;
            setItem(0, c, it);
        }
        it->setBackground(palette().button());
        it->setFlags(it->flags() & ~Qt::ItemIsEditable);
    }
}

}  // namespace qx::app
