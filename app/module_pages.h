// The pages of the four modules and of the line operations, with their controls as the
// operations will reach them. Layout only: the behaviour is wired by the handlers.
#pragma once

#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTextEdit;
class QWidget;

namespace qx::app {

class GridWidget;

// The import controls of "初始化" and of each "第一步".
struct ImportControls {
    QPushButton* open = nullptr;
    QPushButton* read = nullptr;
    QCheckBox* header = nullptr;
    QLabel* tableLabel = nullptr;
    QComboBox* table = nullptr;
    QLabel* countLabel = nullptr;
    QLineEdit* count = nullptr;
    QLabel* delimiterLabel = nullptr;
    QLineEdit* delimiter = nullptr;
    QListWidget* files = nullptr;
    GridWidget* structure = nullptr;
    QPushButton* changeTypes = nullptr;
};

// "当前数据状态": the mirror of the opened files, their working tables and a table's columns.
struct StatusControls {
    QListWidget* files = nullptr;
    QListWidget* tables = nullptr;
    QListWidget* columns = nullptr;
};

struct ModuleControls {
    ImportControls import;
    StatusControls status;
    QListWidget* results = nullptr;    // "设置结果表列" (快捷操作, 高级查询)
    GridWidget* compare = nullptr;     // 快捷操作 / 两表操作
    GridWidget* condition = nullptr;   // each "第二步"
    QTextEdit* help = nullptr;         // each "第二步"
    QCheckBox* skip = nullptr;         // each "第二步"
    GridWidget* update = nullptr;      // 高级更新 / 第一步
    GridWidget* target = nullptr;      // 高级删除 / 第一步
    QPushButton* startOver = nullptr;  // "清除读入的数据，进行新的操作"
    // 快捷操作: "初始化", "单表操作", "两表操作"; the others: "第一步", "第二步", "第三步".
    QWidget* pages[3] = {nullptr, nullptr, nullptr};
};

// The button with that caption inside `root` (nullptr when there is none).
QPushButton* findButton(QWidget* root, const char* caption);

enum class Module { Quick, Query, Update, Delete };

// The two pages of "简易操作" and the three boxes of the pasted lists.
struct LineControls {
    QWidget* filesPage = nullptr;  // "一键导入式操作"
    QWidget* pastePage = nullptr;  // "复制粘贴式操作"
    QTextEdit* a = nullptr;
    QTextEdit* b = nullptr;
    QTextEdit* result = nullptr;
};

// Page 1: the tab "简易操作" (line operations) and "快捷操作" (the quick module's three pages).
QTabWidget* buildQuickPage(QWidget* parent, ModuleControls& quick, LineControls& lines);
// Pages 2 to 4: "第一步", "第二步", "第三步" of an advanced module.
QTabWidget* buildAdvancedPage(QWidget* parent, Module module, ModuleControls& controls);

// The user-interface side of the data reset for one module.
void resetModule(Module module, ModuleControls& controls);

}  // namespace qx::app
