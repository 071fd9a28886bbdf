// Each module's handlers: thin, each gathers the module's controls and calls one operation.
#include "app/module_wiring.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "advanced/condition_builder.h"
#include "advanced/operations.h"
#include "app/controls/grid_widget.h"
#include "app/small_windows.h"
#include "compare/comparisons.h"
#include "exchange/columns.h"
#include "single/single_table.h"
#include "store/structure.h"

namespace qx::app {

ModuleWiring::ModuleWiring(Module module, ModuleControls& controls, const store::Session& session,
                           std::function<bool()> headerRow, QObject* parent)
    : QObject(parent),
      module_(module),
      c_(controls),
      session_(session),
      headerRow_(std::move(headerRow)),
      open_(controls.import.open),
      read_(controls.import.read),
      header_(controls.import.header),
      tableLabel_(controls.import.tableLabel),
      countLabel_(controls.import.countLabel),
      delimiterLabel_(controls.import.delimiterLabel),
      table_(controls.import.table),
      count_(controls.import.count),
      delimiter_(controls.import.delimiter),
      files_(controls.import.files),
      mirror_(controls.status.files),
      tables_(controls.status.tables),
      columns_(controls.status.columns),
      results_(controls.results ? std::make_unique<QtListBox>(controls.results) : nullptr),
      page_{open_,      read_,
            header_,    tableLabel_,
            table_,     countLabel_,
            count_,     delimiterLabel_,
            delimiter_, files_,
            mirror_,    tables_,
            columns_,   *controls.import.structure} {
    connectImport();
    connectColumns();
    if (module == Module::Quick) {
        connectComparisons();
        connectSingleTable();
    } else {
        connectAdvanced();
    }
}

void ModuleWiring::connectAdvanced() {
    help_ = std::make_unique<QtTextBox>(c_.help);
    skip_ = std::make_unique<QtCheckBox>(c_.skip);
    c_.condition->setBeforeEdit([this](int row, int col, bool& cancel) {
        advanced::beforeEditCondition(session_, page_, *c_.condition, *help_, row, col, cancel);
    });
    if (QPushButton* b = findButton(c_.pages[1], "增加一列条件"))
        connect(b, &QPushButton::clicked, this,
                [this] { advanced::addConditionRow(*c_.condition); });
    if (QPushButton* b = findButton(c_.pages[1], "减少一列条件"))
        connect(b, &QPushButton::clicked, this,
                [this] { advanced::removeConditionRow(*c_.condition); });
    if (c_.update) {
        c_.update->setBeforeEdit([this](int row, int col, bool& cancel) {
            advanced::beforeEditAssignment(*c_.update, tables_, row, col, cancel);
        });
        if (QPushButton* b = findButton(c_.pages[0], "增加一列更新内容"))
            connect(b, &QPushButton::clicked, this,
                    [this] { advanced::addAssignmentRow(*c_.update); });
    }
    if (c_.target)
        c_.target->setBeforeEdit([this](int row, int col, bool&) {
            advanced::beforeEditTarget(*c_.target, tables_, row, col);
        });
    advanced::AdvancedKind kind = module_ == Module::Query    ? advanced::AdvancedKind::Query
                                  : module_ == Module::Update ? advanced::AdvancedKind::Update
                                                              : advanced::AdvancedKind::Delete;
    if (QPushButton* b = findButton(c_.pages[2], "导出最后结果"))
        connect(b, &QPushButton::clicked, this, [this, kind] {
            advanced::AdvancedPage page{page_,          *c_.condition, *skip_,
                                        results_.get(), c_.update,     c_.target};
            advanced::exportLastResult(session_, kind, page);
        });
}

void ModuleWiring::connectSingleTable() {
    QWidget* page = c_.pages[1];
    auto single = [this] {
        return single::SingleTablePage{files_, mirror_, tables_, page_.structure, read_};
    };
    if (QPushButton* b = findButton(page, "删除完全重复记录，只保留一条"))
        connect(b, &QPushButton::clicked, this,
                [this, single] { single::removeFullDuplicates(session_, single()); });
    const std::pair<const char*, ColumnDialogKind> dialogs[] = {
        {"删除指定列重复记录，只保留首条", ColumnDialogKind::DedupByColumn},
        {"选不重复和重复指定条件的数据", ColumnDialogKind::RepeatFilter},
        {"选出某列符合指定长度条件的数据", ColumnDialogKind::LengthFilter},
        {"合并相同行，指定列值相加，并统计笔数", ColumnDialogKind::MergeSum},
        {"合并相同行，统计笔数", ColumnDialogKind::MergeCount}};
    for (auto [caption, kind] : dialogs) {
        QPushButton* b = findButton(page, caption);
        if (!b) continue;
        connect(b, &QPushButton::clicked, this, [this, single, kind = kind, b] {
            if (!exchange::pageGuard(session_, read_, tables_)) return;
            ColumnDialog dialog(kind, b->window());
            QtListBox list(dialog.list());
            std::unique_ptr<QtListBox> second(
                dialog.secondList() ? new QtListBox(dialog.secondList()) : nullptr);
            single::fillDialogColumns(session_, single(), list);
            if (second) single::fillDialogColumns(session_, single(), *second);
            connect(dialog.okButton(), &QPushButton::clicked, &dialog, [&] {
                bool done = false;
                switch (kind) {
                    case ColumnDialogKind::MergeCount:
                        done = single::confirmMergeCount(session_, single(), list);
                        break;
                    case ColumnDialogKind::MergeSum:
                        done = single::confirmMergeSum(session_, single(), list, *second);
                        break;
                    case ColumnDialogKind::DedupByColumn:
                        done = single::confirmDedupByColumn(session_, single(), list);
                        break;
                    case ColumnDialogKind::LengthFilter:
                    case ColumnDialogKind::RepeatFilter: {
                        QtComboBox op(dialog.condition());
                        QtEditBox number(dialog.value());
                        done =
                            kind == ColumnDialogKind::LengthFilter
                                ? single::confirmLengthFilter(session_, single(), list, op, number)
                                : single::confirmRepeatFilter(session_, single(), list, op, number);
                        break;
                    }
                }
                if (done) dialog.accept();
            });
            dialog.exec();
        });
    }
}

void ModuleWiring::connectComparisons() {
    const std::pair<const char*, compare::Comparison> buttons[] = {
        {"取表二中不含表一数", compare::Comparison::TwoWithoutOne},
        {"取表一中不含表二数", compare::Comparison::OneWithoutTwo},
        {"取表一表二共有数", compare::Comparison::Common},
        {"取表一在表二中的相似数", compare::Comparison::Similar}};
    for (auto [caption, which] : buttons)
        if (QPushButton* b = findButton(c_.pages[2], caption))
            connect(b, &QPushButton::clicked, this, [this, which = which] {
                compare::runComparison(session_, which, *results_, *c_.compare, files_);
            });
}

void ModuleWiring::connectImport() {
    connect(c_.import.open, &QPushButton::clicked, this,
            [this] { exchange::openSourceFile(session_, page_); });
    connect(c_.import.read, &QPushButton::clicked, this,
            [this] { exchange::readSourceTable(session_, page_, headerRow_()); });
    connect(c_.import.changeTypes, &QPushButton::clicked, this,
            [this] { store::changeTypes(session_, page_.structure, tables_, files_); });
    c_.import.structure->setBeforeEdit([this](int row, int col, bool& cancel) {
        store::typeCellRule(page_.structure, row, col, cancel, [this](int r) { columnAction(r); });
    });
}

void ModuleWiring::connectColumns() {
    // The three parallel lists switch the current table.
    const std::pair<QListWidget*, ui::ListBox*> parallel[] = {
        {c_.import.files, &files_}, {c_.status.files, &mirror_}, {c_.status.tables, &tables_}};
    for (auto [widget, list] : parallel)
        connect(widget, &QListWidget::itemDoubleClicked, this,
                [this, list = list] { exchange::switchCurrentTable(session_, page_, *list); });
    connect(c_.status.columns, &QListWidget::itemDoubleClicked, this, [this] { columnChosen(); });
    if (!results_) return;
    connect(c_.results, &QListWidget::itemDoubleClicked, this, [this] {
        int i = results_->selectedIndex();
        if (i >= 0) results_->removeItem(i);
    });
    QWidget* first = c_.pages[0];
    if (QPushButton* all = findButton(first, module_ == Module::Quick ? "3.全部添加" : "全部添加"))
        connect(all, &QPushButton::clicked, this,
                [this] { exchange::addAllColumns(page_, *results_); });
    if (QPushButton* clear = findButton(first, "清空结果表"))
        connect(clear, &QPushButton::clicked, this, [this] { results_->clear(); });
}

void ModuleWiring::columnAction(int row) {
    std::string column = page_.structure.text(row, 0);
    if (module_ == Module::Quick || module_ == Module::Query) {
        if (results_) exchange::appendResultColumn(page_, column, *results_);
    } else if (module_ == Module::Update && c_.update) {
        exchange::writeCurrentCell(*c_.update, "[" + exchange::currentTable(page_) + "]." + column);
    }
}

void ModuleWiring::columnChosen() {
    std::string column = columns_.selectedText();
    if (column.empty()) return;
    std::string table = tables_.selectedText();
    if (module_ == Module::Quick)
        exchange::writeCurrentCell(*c_.compare, table + "." + column);
    else if (c_.condition)
        exchange::writeCurrentCell(*c_.condition, "[" + table + "]![" + column + "]");
}

}  // namespace qx::app
