// The main window's frame: start-up, navigation, the page switch of the quick module, exit.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <fstream>

#include "app/controls/grid_widget.h"
#include "app/nav_button.h"
#include "exchange/import.h"
#include "exchange/source_kinds.h"
#include "platform/os/paths.h"
#include "unit/test_dir.h"

namespace qx::app {
namespace {

using qx::testing::TestDir;

void touch(const std::filesystem::path& p) {
    std::ofstream(p) << "x";
}

// Qt's standard buttons and dialogs in the program's language, not in English.
TEST(MainWindow, QtsOwnDialogsAndButtonsSpeakChinese) {
    ASSERT_TRUE(useChineseTranslations());
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Open);
    struct Case {
        QDialogButtonBox::StandardButton button;
        const char* text;
    };
    for (const Case& c :
         {Case{QDialogButtonBox::Ok, "确定"}, Case{QDialogButtonBox::Cancel, "取消"},
          Case{QDialogButtonBox::Open, "打开"}})
        EXPECT_EQ(box.button(c.button)->text().remove('&'), QString::fromUtf8(c.text));
    QFileDialog dialog(nullptr, QString(), QString(), QStringLiteral("文本文档(*.txt)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* lookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    ASSERT_NE(lookIn, nullptr);
    EXPECT_FALSE(lookIn->text().contains(QStringLiteral("Look in")));
}

TEST(MainWindow, ResetsOnStartNavigationPageSwitchAndExit) {
    TestDir dir;
    store::WorkingDatabase wdb(dir.path());
    touch(dir / "结果表.mdb");
    touch(dir / "结果表.ldb");
    {
        MainWindow w(wdb);
        EXPECT_EQ(w.size(), QSize(MainWindow::kWidth, MainWindow::kHeight));
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        EXPECT_FALSE(std::filesystem::exists(dir / "结果表.mdb"))
            << "files of an earlier run go at start";
        EXPECT_FALSE(std::filesystem::exists(dir / "结果表.ldb"));
        EXPECT_EQ(w.currentPage(), 0);

        touch(dir / "结果表.accdb");
        w.navigate(3);
        EXPECT_EQ(w.currentPage(), 3);
        EXPECT_FALSE(std::filesystem::exists(dir / "结果表.accdb"));
        auto buttons = w.findChildren<NavButton*>();
        ASSERT_EQ(buttons.size(), 5);
        int selected = 0;
        for (auto* b : buttons) selected += b->isSelected();
        EXPECT_EQ(selected, 1);
        EXPECT_TRUE(buttons[2]->isSelected());

        // The quick page's switch between its two halves leaves the module.
        w.navigate(1);
        touch(dir / "结果表.mdb");
        auto tabs = w.findChildren<QTabWidget*>();
        QTabWidget* quick = nullptr;
        for (auto* t : tabs)
            if (t->count() == 2 && t->tabText(1) == QStringLiteral("快捷操作")) quick = t;
        ASSERT_NE(quick, nullptr);
        quick->setCurrentIndex(1);
        EXPECT_FALSE(std::filesystem::exists(dir / "结果表.mdb"));

        // Minimising without a notification area keeps the window reachable.
        w.minimise();
        EXPECT_TRUE(w.isVisible() || w.isMinimized());
        w.restore();
        EXPECT_TRUE(w.isVisible());
        touch(dir / "结果表.mdb");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "结果表.mdb"))
        << "exit deletes the working database";
}

// Files given on the command line ("Open with"): in 快捷操作 / 初始化, one after another as if
// chosen with "1.打开文件"; the first decides the family the dialog offers afterwards, and a
// file of no source kind is refused as the open step refuses it.
TEST(MainWindow, FilesFromOutsideOpenInTheQuickModule) {
    TestDir dir;
    const std::filesystem::path data = std::filesystem::path(QX_SOURCE_DIR) / "tests" / "data";
    std::filesystem::copy_file(data / "dbase" / "lo_gbk.dbf", dir / "lo_gbk.dbf");
    std::filesystem::copy_file(data / "excel" / "xlwt_two.xls", dir / "两表.xls");
    std::filesystem::copy_file(data / "excel" / "openpyxl_two.xlsx", dir / "two.xlsx");
    touch(dir / "notes.doc");
    store::WorkingDatabase wdb(dir.path());
    MainWindow w(wdb);
    std::vector<std::string> messages;
    int dialogs = 0;
    w.messages().setScript([&](const std::string& text) { messages.push_back(text); });
    w.openDialog().setScript([&](bool, const std::string&, const std::string&) {
        ++dialogs;
        return std::optional<std::string>();
    });
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.openFilesFromOutside({qx::os::utf8(dir / "lo_gbk.dbf"), qx::os::utf8(dir / "两表.xls"),
                            qx::os::utf8(dir / "two.xlsx"), qx::os::utf8(dir / "notes.doc")});
    EXPECT_EQ(dialogs, 0) << "no dialog is shown for files given";
    EXPECT_EQ(w.currentPage(), 1);
    ModuleControls& quick = w.module(Module::Quick);
    EXPECT_TRUE(quick.import.files->isVisible()) << "快捷操作 / 初始化 is the page shown";
    ASSERT_EQ(quick.import.files->count(), 2);
    EXPECT_EQ(quick.import.files->item(0)->text(), QStringLiteral("lo_gbk.dbf"));
    EXPECT_EQ(quick.import.files->item(1)->text(), QStringLiteral("两表.xls"));
    EXPECT_EQ(quick.import.table->count(), 2) << "the sheets of the last file";
    EXPECT_TRUE(quick.import.read->isEnabled());
    EXPECT_EQ(w.openDialog().filter(), exchange::kClassicFilter);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find("two.xlsx"), std::string::npos) << messages[0];
    EXPECT_EQ(messages[1], exchange::kNotASourceKind);
    EXPECT_EQ(w.openDialog().fileName(), qx::os::utf8(dir / "两表.xls"))
        << "a refused file does not decide the flavour";
}

// Files dropped on a module's first page open in that module, as if chosen one after another.
TEST(MainWindow, FilesDroppedOnAFirstPageOpenThere) {
    TestDir dir;
    const std::filesystem::path data = std::filesystem::path(QX_SOURCE_DIR) / "tests" / "data";
    std::filesystem::copy_file(data / "dbase" / "source.csv", dir / "source.csv");
    std::filesystem::copy_file(data / "excel" / "xlwt_two.xls", dir / "two.xls");
    store::WorkingDatabase wdb(dir.path());
    MainWindow w(wdb);
    std::vector<std::string> messages;
    w.messages().setScript([&](const std::string& text) { messages.push_back(text); });
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.navigate(2);
    QWidget* page = w.module(Module::Query).pages[0];
    ASSERT_TRUE(page->isVisible());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(qx::os::utf8(dir / "source.csv"))),
                  QUrl::fromLocalFile(QString::fromStdString(qx::os::utf8(dir / "two.xls")))});
    QPoint at = page->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(page, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(page, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ModuleControls& query = w.module(Module::Query);
    ASSERT_EQ(query.import.files->count(), 2);
    EXPECT_EQ(query.import.files->item(0)->text(), QStringLiteral("source.csv"));
    EXPECT_EQ(query.import.files->item(1)->text(), QStringLiteral("two.xls"));
    EXPECT_EQ(query.import.table->count(), 2);
    EXPECT_EQ(w.module(Module::Quick).import.files->count(), 0) << "only the page's own module";
    EXPECT_TRUE(messages.empty());
}

// The tips of the three "第三步" pages: the quoted sentences exactly, then what they explain.
TEST(MainWindow, FinishPageTipsSayWhatTheOperationDoes) {
    TestDir dir;
    store::WorkingDatabase wdb(dir.path());
    MainWindow w(wdb);
    auto tipOf = [&](Module m) {
        for (QLabel* l : w.module(m).pages[2]->findChildren<QLabel*>())
            if (l->text().contains(QStringLiteral("小提示"))) return l->text().toStdString();
        return std::string();
    };
    auto has = [](const std::string& text, const std::string& piece) {
        return text.find(piece) != std::string::npos;
    };
    std::string query = tipOf(Module::Query), update = tipOf(Module::Update),
                remove = tipOf(Module::Delete);
    EXPECT_EQ(query.rfind("    小提示：高级操作系统采用外部左连接的办法，对多个表进行一一关联嵌套。"
                          "\r\n\r\n",
                          0),
              0u);
    EXPECT_TRUE(has(query, "第一个读入的表的每一行")) << query;
    EXPECT_TRUE(has(query, "成倍增加")) << "the row multiplication a value join would cause";
    EXPECT_TRUE(has(query, "空值")) << "a comparison with an empty cell";
    EXPECT_EQ(update,
              "    小提示：与高级查询不同，高级更新操作数据的时候，不会采用左连接的方式，而是在所有"
              "读入的表中进行查找，条件相符就进行更新操作。\r\n\r\n    "
              "当有多个值满足条件时，将以最后一个值为准");
    EXPECT_EQ(remove.rfind("    小提示：与高级更新类似，高级删除操作数据的时候，不会采用左连接的方"
                           "式，而是在所有读入的表中进行查找，条件相符就进行删除操作。\r\n\r\n"
                           "    删除是删除满足条件的一行数据，而不是一行中的某列\r\n\r\n",
                           0),
              0u)
        << remove;
    EXPECT_TRUE(has(remove, "高级更新") && has(remove, "\"\"")) << remove;
}

}  // namespace
}  // namespace qx::app

namespace qx::app {
namespace {

TEST(MainWindow, ModulePagesStartEmptyAndTheResetEmptiesThem) {
    TestDir dir;
    store::WorkingDatabase wdb(dir.path());
    MainWindow w(wdb);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ModuleControls& quick = w.module(Module::Quick);
    EXPECT_EQ(quick.import.open->text(), QStringLiteral("1.打开文件"));
    EXPECT_FALSE(quick.import.read->isEnabled()) << "the start reset disables the read button";
    EXPECT_TRUE(quick.import.header->isHidden());
    EXPECT_TRUE(quick.import.table->isHidden());
    EXPECT_TRUE(quick.import.count->isHidden());
    EXPECT_EQ(quick.import.count->text(), QStringLiteral("1"));
    EXPECT_EQ(quick.import.structure->rows(), 1);
    EXPECT_EQ(quick.compare->rows(), 2);
    EXPECT_EQ(quick.compare->text(0, 0), "表一对比列          ");
    ModuleControls& update = w.module(Module::Update);
    EXPECT_EQ(update.import.open->text(), QStringLiteral("打开文件"));
    EXPECT_EQ(update.update->cols(), 4);
    EXPECT_EQ(update.condition->text(0, 1), " 选择表名 ");
    EXPECT_EQ(w.module(Module::Delete).target->text(0, 0), "需删除的表");

    // What a module holds goes with "清除读入的数据，进行新的操作".
    quick.import.files->addItem("客户.xls");
    quick.results->addItem("1_1.姓名");
    quick.compare->setRows(4);
    quick.compare->setText(1, 0, "1_1.姓名");
    quick.import.header->setChecked(true);
    update.condition->setRows(3);
    update.condition->setText(2, 4, "288");
    quick.startOver->click();
    EXPECT_EQ(quick.import.files->count(), 0);
    EXPECT_EQ(quick.results->count(), 0);
    EXPECT_EQ(quick.compare->rows(), 2);
    EXPECT_EQ(quick.compare->text(1, 0), "");
    EXPECT_FALSE(quick.import.header->isChecked());
    EXPECT_EQ(update.condition->rows(), 2);
}

}  // namespace
}  // namespace qx::app
