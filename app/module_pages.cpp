// The module pages, laid out with Qt layouts. Lists, combo boxes, edit boxes and grids are the
// buddies of the labels that name them, so that they can be found by those captions.
#include "app/module_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/controls/grid_widget.h"
#include "app/set_diagram.h"

namespace qx::app {

namespace {

QString s(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QFont kaiti(QFont f) {
    f.setFamilies({s("楷体_GB2312"), s("KaiTi"), s("AR PL UKai CN"), s("Noto Serif CJK SC")});
    return f;
}

// A label above the control it names.
QWidget* labelled(QWidget* parent, const char* caption, QWidget* control,
                  QLabel** labelOut = nullptr) {
    auto* box = new QWidget(parent);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(2);
    auto* label = new QLabel(s(caption), box);
    label->setBuddy(control);
    control->setParent(box);
    v->addWidget(label);
    v->addWidget(control, 1);
    if (labelOut) *labelOut = label;
    return box;
}

GridWidget* grid(QWidget* parent, const char* header, int rows) {
    auto* g = new GridWidget(parent);
    QStringList names = s(header).split('|');
    g->setCols(static_cast<int>(names.size()));
    g->setRows(rows);
    for (int c = 0; c < names.size(); ++c) g->setText(0, c, names[c].toStdString());
    return g;
}

QPushButton* button(QWidget* parent, const char* caption) {
    return new QPushButton(s(caption), parent);
}

// The import controls; `numbered` for "1.打开文件" and "2.读入数据" on "初始化".
QWidget* importArea(QWidget* parent, ImportControls& c, bool numbered) {
    auto* area = new QWidget(parent);
    auto* g = new QGridLayout(area);
    c.open = button(area, numbered ? "1.打开文件" : "打开文件");
    c.read = button(area, numbered ? "2.读入数据" : "读入数据");
    c.header = new QCheckBox(s("第一行作表头"), area);
    c.table = new QComboBox(area);
    c.count = new QLineEdit(s("1"), area);
    c.delimiter = new QLineEdit(area);
    c.files = new QListWidget(area);
    c.structure = grid(area, "列名称|数据类型|字节长度", 1);
    c.structure->setColWidth(0, 1800);
    c.structure->setColWidth(1, 2200);
    c.structure->setColWidth(2, 800);
    c.changeTypes = button(area, "修改数据结构（按需）");
    g->addWidget(c.open, 0, 0);
    g->addWidget(c.read, 1, 0);
    g->addWidget(labelled(area, "选择表名", c.table, &c.tableLabel), 0, 1);
    g->addWidget(c.header, 1, 1);
    g->addWidget(labelled(area, "列数", c.count, &c.countLabel), 0, 2);
    g->addWidget(labelled(area, "自定义分隔符", c.delimiter, &c.delimiterLabel), 0, 3);
    g->addWidget(labelled(area, "已打开的文件", c.files), 2, 0, 1, 1);
    g->addWidget(labelled(area, "已读入的列结构", c.structure), 2, 1, 1, 3);
    auto* hint = new QLabel(s("\r\n可双击数据类型，选择需要的类型，再点击下面的按钮修改"), area);
    hint->setWordWrap(true);
    g->addWidget(hint, 3, 1, 1, 2);
    g->addWidget(c.changeTypes, 3, 3);
    g->setRowStretch(2, 1);
    c.files->setMaximumWidth(92);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(2, 1);
    g->setColumnStretch(3, 1);
    // Shown only once a file of a kind that needs them is opened.
    for (QWidget* w : {static_cast<QWidget*>(c.header), static_cast<QWidget*>(c.table),
                       static_cast<QWidget*>(c.tableLabel), static_cast<QWidget*>(c.count),
                       static_cast<QWidget*>(c.countLabel), static_cast<QWidget*>(c.delimiter),
                       static_cast<QWidget*>(c.delimiterLabel)})
        w->hide();
    return area;
}

QGroupBox* statusGroup(QWidget* parent, const char* caption, StatusControls& c) {
    auto* group = new QGroupBox(s(caption), parent);
    auto* h = new QHBoxLayout(group);
    c.files = new QListWidget(group);
    c.tables = new QListWidget(group);
    c.columns = new QListWidget(group);
    h->addWidget(labelled(group, "已打开的文件", c.files));
    h->addWidget(labelled(group, "文件对应的临时表名", c.tables));
    h->addWidget(labelled(group, "对应的列名", c.columns));
    return group;
}

QWidget* initPage(QWidget* parent, ModuleControls& m) {
    auto* page = new QWidget(parent);
    auto* v = new QHBoxLayout(page);
    v->addWidget(importArea(page, m.import, true), 11);
    auto* right = new QVBoxLayout;
    auto* frame = new QGroupBox(s("单表操作可不设置以下内容"), page);
    auto* fv = new QVBoxLayout(frame);
    auto* hint = new QLabel(
        s("\r\n你可以双击“已读入的列结构”中的不同列名称，以将它设置到结果表中\r\n\r\n"
          "结果表的意思，就是你最终保存出的表，是包含什么样子的列结构，由你自由设置。\r\n\r\n"
          "你可以双击“已打开的文件”中的不同文件，来进行切换，以便于选择适合的列名称。"),
        frame);
    hint->setWordWrap(true);
    fv->addWidget(hint);
    m.results = new QListWidget(page);
    right->addWidget(frame);
    right->addWidget(labelled(page, "设置结果表列", m.results), 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(button(page, "3.全部添加"));
    buttons->addWidget(button(page, "清空结果表"));
    right->addLayout(buttons);
    m.startOver = button(page, "清除读入的数据，进行新的操作");
    m.startOver->setFont(kaiti(m.startOver->font()));
    right->addWidget(m.startOver);
    v->addLayout(right, 7);
    return page;
}

QWidget* singlePage(QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* v = new QVBoxLayout(page);
    v->addWidget(new QLabel(s("小技巧：如果读入了多个表，想对其中某个表操作，只要在初始化界面，双击"
                              "对应的“已打开的文件”即可"),
                            page));
    auto group = [&](const char* caption, std::initializer_list<const char*> captions) {
        auto* g = new QGroupBox(s(caption), page);
        auto* h = new QHBoxLayout(g);
        for (const char* c : captions) h->addWidget(button(g, c));
        v->addWidget(g);
    };
    group("重复数据操作", {"删除完全重复记录，只保留一条", "删除指定列重复记录，只保留首条",
                           "选不重复和重复指定条件的数据"});
    group("字符数据操作", {"选出某列符合指定长度条件的数据"});
    group("分类汇总数据操作", {"合并相同行，指定列值相加，并统计笔数", "合并相同行，统计笔数"});
    v->addStretch();
    return page;
}

QWidget* twoTablePage(QWidget* parent, ModuleControls& m) {
    auto* page = new QWidget(parent);
    auto* v = new QVBoxLayout(page);
    v->addWidget(statusGroup(page, "当前数据状态（供参考，可双击查看）", m.status), 2);
    auto* middle = new QHBoxLayout;
    auto* steps =
        new QLabel(s("步骤：\r\n\r\n  1.双击“对应的列名”来设置表一对比列\r\n\r\n  "
                     "2.将鼠标单击表二对比列空白处，再双击“对应的列名”来设置表二对比列\r\n\r\n  "
                     "双击文件名或表名，可进行不同表之间的切换"),
                   page);
    middle->addWidget(steps);
    m.compare = grid(page, "表一对比列          |表二对比列", 2);
    middle->addWidget(m.compare, 1);
    v->addLayout(middle, 1);
    v->addWidget(new QLabel(s("\r\n步骤3：设置完毕后，按下面对应的按钮完成操作。"), page));
    auto* buttons = new QGridLayout;
    const std::pair<const char*, SetDiagram::Part> ops[] = {
        {"取表一表二共有数", SetDiagram::Part::Common},
        {"取表一中不含表二数", SetDiagram::Part::OnlyA},
        {"取表二中不含表一数", SetDiagram::Part::OnlyB},
        {"取表一在表二中的相似数", SetDiagram::Part::Similar}};
    for (int i = 0; i < 4; ++i) {
        buttons->addWidget(button(page, ops[i].first), 0, i);
        buttons->addWidget(new SetDiagram(ops[i].second, s("一"), s("二"), page), 1, i,
                           Qt::AlignCenter);
    }
    v->addLayout(buttons);
    return page;
}

QWidget* lineFilesPage(QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* v = new QVBoxLayout(page);
    auto* intro = new QLabel(s("此处为一键导入式傻瓜化操作，适合初级用户，特别是大文本，速度比复制"
                               "粘贴式操作快！两种操作方式没有功能和结果上的区别。"),
                             page);
    intro->setWordWrap(true);
    v->addWidget(intro);
    auto* single = new QGroupBox(s("此组功能适合单列txt文本使用"), page);
    auto* sh = new QGridLayout(single);
    const char* lineOps[] = {"去重复行，保留一条", "取AB共有数", "取B中不含A数", "取A中不含B数",
                             "合并AB"};
    const SetDiagram::Part lineParts[] = {SetDiagram::Part::Common, SetDiagram::Part::OnlyB,
                                          SetDiagram::Part::OnlyA, SetDiagram::Part::Both};
    for (int i = 0; i < 5; ++i) {
        sh->addWidget(button(single, lineOps[i]), 0, i);
        if (i > 0)
            sh->addWidget(new SetDiagram(lineParts[i - 1], "A", "B", single), 1, i,
                          Qt::AlignCenter);
    }
    auto* any = new QGroupBox(s("此组功能适合任意列txt文本使用"), page);
    auto* ah = new QHBoxLayout(any);
    for (const char* c : {"去半角引号", "去首尾空格及空行"}) ah->addWidget(button(any, c));
    v->addWidget(single);
    v->addWidget(any);
    v->addStretch();
    return page;
}

QWidget* pastePage(QWidget* parent, LineControls& lines) {
    auto* page = new QWidget(parent);
    auto* v = new QVBoxLayout(page);
    auto* boxes = new QHBoxLayout;
    const char* names[] = {"表A", "表B", "结果表"};
    const char* copies[] = {"复制表A", "复制表B", "复制结果表"};
    for (int i = 0; i < 3; ++i) {
        auto* col = new QVBoxLayout;
        auto* head = new QHBoxLayout;
        auto* edit = new QTextEdit(page);
        edit->setAcceptRichText(false);
        (i == 0 ? lines.a : i == 1 ? lines.b : lines.result) = edit;
        auto* label = new QLabel(s(names[i]), page);
        label->setFont(kaiti(label->font()));
        label->setBuddy(edit);
        head->addWidget(label);
        head->addWidget(button(page, copies[i]));
        col->addLayout(head);
        col->addWidget(edit);
        boxes->addLayout(col);
    }
    v->addLayout(boxes, 1);
    v->addWidget(new QLabel(
        s("* 将需对比的单列数据分别复制粘贴进表A、表B，按所需按钮，即可按行进行对比 *"), page));
    auto* grid = new QGridLayout;
    const char* captions[] = {
        "剔除表A重复行", "剔除表B重复行", "剔除结果表重复行", "清空AB表", "去A表半角引号",
        "取AB共有数",    "取B中不含A数",  "取A中不含B数",     "合并AB",   "去A表首尾空格及空行"};
    for (int i = 0; i < 10; ++i) grid->addWidget(button(page, captions[i]), i < 5 ? 0 : 1, i % 5);
    const SetDiagram::Part parts[] = {SetDiagram::Part::Common, SetDiagram::Part::OnlyB,
                                      SetDiagram::Part::OnlyA, SetDiagram::Part::Both};
    for (int i = 0; i < 4; ++i)
        grid->addWidget(new SetDiagram(parts[i], "A", "B", page), 2, i, Qt::AlignCenter);
    v->addLayout(grid);
    return page;
}

QWidget* conditionPage(QWidget* parent, ModuleControls& m) {
    auto* page = new QWidget(parent);
    auto* v = new QVBoxLayout(page);
    v->addWidget(statusGroup(page, "当前数据状态（供自定义条件时参考）", m.status), 1);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(s("—首行无—"), page), 0, Qt::AlignTop);
    m.condition = grid(page, "连接条件| 选择表名 | 选择列名 | 选择条件 |输入自定义内容", 2);
    row->addWidget(m.condition, 1);
    v->addLayout(row, 1);
    m.help = new QTextEdit(page);
    m.help->setReadOnly(true);
    m.help->setFixedHeight(64);
    v->addWidget(m.help);
    v->addWidget(new QLabel(s("  小提示：输入完自定义内容后，请记得按下回车键确认"), page));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(button(page, "增加一列条件"));
    buttons->addWidget(button(page, "减少一列条件"));
    m.skip = new QCheckBox(s("跳过此步，我不需要设置条件"), page);
    buttons->addWidget(m.skip);
    v->addLayout(buttons);
    return page;
}

QWidget* finishPage(QWidget* parent, Module module, ModuleControls& m) {
    auto* page = new QWidget(parent);
    auto* v = new QVBoxLayout(page);
    v->addWidget(button(page, "导出最后结果"));
    m.startOver = button(page, "清除读入的数据，进行新的操作");
    m.startOver->setFont(kaiti(m.startOver->font()));
    v->addWidget(m.startOver);
    const char* tip =
        module == Module::Query
            ? "    小提示：高级操作系统采用外部左连接的办法，对多个表进行一一关联嵌套。\r\n\r\n"
              "    读入的各表会组成一个虚拟的大表：第一个读入的表的每一行都在其中，其余各表按行号"
              "依次与前一个表对应，第几行就对应第几行。这样不会像按值连接那样，一行对上多行，"
              "使结果的行数成倍增加。\r\n\r\n"
              "    其余各表行数不够、对应不上的地方是空值；拿空值去比较，什么也不会返回，设置条件"
              "时请留意。"
        : module == Module::Update
            ? "    "
              "小提示：与高级查询不同，高级更新操作数据的时候，不会采用左连接的方式，而是在所有读入"
              "的表中进行查找，条件相符就进行更新操作。\r\n\r\n    "
              "当有多个值满足条件时，将以最后一个值为准"
            : "    "
              "小提示：与高级更新类似，高级删除操作数据的时候，不会采用左连接的方式，而是在所有读入"
              "的表中进行查找，条件相符就进行删除操作。\r\n\r\n"
              "    删除是删除满足条件的一行数据，而不是一行中的某列\r\n\r\n"
              "    如果只想清空某一行中的某一列，请用高级更新，把该列的更新值设为两个双引号 \"\""
              "（空文本）。";
    auto* label = new QLabel(s(tip), page);
    label->setWordWrap(true);
    v->addWidget(label);
    v->addStretch();
    return page;
}

QWidget* firstStep(QWidget* parent, Module module, ModuleControls& m) {
    auto* page = new QWidget(parent);
    auto* v = new QVBoxLayout(page);
    v->addWidget(importArea(page, m.import, false), 2);
    if (module == Module::Query) {
        m.results = new QListWidget(page);
        auto* h = new QHBoxLayout;
        h->addWidget(labelled(page, "设置结果表列", m.results), 1);
        h->addWidget(button(page, "全部添加"));
        h->addWidget(button(page, "清空结果表"));
        v->addLayout(h, 1);
    } else if (module == Module::Update) {
        auto* note = new QLabel(s("以下设置欲更新的列数据。需操作的列，从上面对应的列中双击；更新的"
                                  "值可自由输入，也可选择其它表列。"),
                                page);
        note->setWordWrap(true);
        v->addWidget(note);
        m.update = grid(page, "需更新的表|需操作的列|等于|更新的值", 2);
        v->addWidget(m.update, 1);
        v->addWidget(button(page, "增加一列更新内容"));
    } else {
        m.target = grid(page, "需删除的表", 2);
        m.target->setFixedSize(124 + 40, 41 + 20);
        auto* h = new QHBoxLayout;
        h->addWidget(m.target);
        h->addWidget(new QLabel(s("注意：选择好需删除的表后，记得要按下回车确认"), page));
        v->addLayout(h);
    }
    return page;
}

void resetGrid(GridWidget* g) {
    if (!g) return;
    g->setRows(2);
    g->clearScrollable();
}

}  // namespace

QTabWidget* buildQuickPage(QWidget* parent, ModuleControls& quick, LineControls& lines) {
    auto* outer = new QTabWidget(parent);
    auto* simple = new QTabWidget(outer);
    lines.filesPage = lineFilesPage(simple);
    lines.pastePage = pastePage(simple, lines);
    simple->addTab(lines.filesPage, s("一键导入式操作"));
    simple->addTab(lines.pastePage, s("复制粘贴式操作"));
    auto* module = new QTabWidget(outer);
    quick.pages[0] = initPage(module, quick);
    quick.pages[1] = singlePage(module);
    quick.pages[2] = twoTablePage(module, quick);
    module->addTab(quick.pages[0], s("初始化"));
    module->addTab(quick.pages[1], s("单表操作"));
    module->addTab(quick.pages[2], s("两表操作"));
    outer->addTab(simple, s("简易操作"));
    outer->addTab(module, s("快捷操作"));
    return outer;
}

QTabWidget* buildAdvancedPage(QWidget* parent, Module module, ModuleControls& controls) {
    auto* tabs = new QTabWidget(parent);
    controls.pages[0] = firstStep(tabs, module, controls);
    controls.pages[1] = conditionPage(tabs, controls);
    controls.pages[2] = finishPage(tabs, module, controls);
    tabs->addTab(controls.pages[0], s("第一步"));
    tabs->addTab(controls.pages[1], s("第二步"));
    tabs->addTab(controls.pages[2], s("第三步"));
    return tabs;
}

QPushButton* findButton(QWidget* root, const char* caption) {
    for (QPushButton* b : root->findChildren<QPushButton*>())
        if (b->text() == s(caption)) return b;
    return nullptr;
}

void resetModule(Module module, ModuleControls& c) {
    c.import.header->setChecked(false);
    if (module == Module::Quick) {
        c.import.open->setEnabled(true);
        c.import.read->setEnabled(false);
    }
    c.import.table->clear();
    c.import.files->clear();
    c.import.structure->setRows(1);
    if (c.results) c.results->clear();
    for (QListWidget* l : {c.status.files, c.status.tables, c.status.columns})
        if (l) l->clear();
    resetGrid(c.compare);
    resetGrid(c.condition);
    resetGrid(c.update);
    resetGrid(c.target);
}

}  // namespace qx::app
