// The Qt side of the control interfaces: filters in Qt's form, scripted dialogs and messages.
#include "app/controls/qt_controls.h"
#include "exchange/source_kinds.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QTest>

namespace qx::app {
namespace {

TEST(QtControls, FiltersInQtForm) {
    // Each pattern shown once: the labels that carry it keep it, the others get it.
    EXPECT_EQ(qtFilter("Excel2007(*.xlsx)|*.xlsx|"), QStringLiteral("Excel2007(*.xlsx)"));
    EXPECT_EQ(qtFilter("dBASE III (*.dbf)|*.dbf|文本文档(*.txt)|*.txt"),
              QStringLiteral("dBASE III (*.dbf);;文本文档(*.txt)"));
    EXPECT_EQ(qtFilter("表格|*.xls;*.xlsx|文本(*.csv)|*.txt"),
              QStringLiteral("表格 (*.xls *.xlsx);;文本(*.csv) (*.txt)"));
    EXPECT_EQ(qtFilter("CSV文档(逗号分隔符)(*.csv)|*.csv"),
              QStringLiteral("CSV文档(逗号分隔符)(*.csv)"));
    // The program's own filters: every entry names its pattern exactly once.
    for (const char* filter :
         {exchange::kFullFilter, exchange::kClassicFilter, exchange::kXlsxFilter,
          exchange::kResultFilter, exchange::kResultXlsxFilter}) {
        for (const QString& entry : qtFilter(filter).split(";;")) {
            QString pattern = entry.mid(entry.lastIndexOf('('));
            EXPECT_EQ(entry.count(pattern), 1) << entry.toStdString();
        }
    }
}

TEST(QtControls, ScriptedDialogsAndMessages) {
    QtFileDialog dialog(nullptr);
    dialog.setTitle("请选择文件");
    dialog.setFilter("文本文档(*.txt)|*.txt");
    std::string seenTitle, seenFilter;
    bool seenSave = true;
    dialog.setScript([&](bool save, const std::string& title,
                         const std::string& filter) -> std::optional<std::string> {
        seenSave = save;
        seenTitle = title;
        seenFilter = filter;
        return "/d/a.txt";
    });
    EXPECT_TRUE(dialog.showOpen());
    EXPECT_FALSE(seenSave);
    EXPECT_EQ(seenTitle, "请选择文件");
    EXPECT_EQ(seenFilter, "文本文档(*.txt)|*.txt");
    EXPECT_EQ(dialog.fileName(), "/d/a.txt");
    dialog.setScript(
        [](bool, const std::string&, const std::string&) { return std::optional<std::string>(); });
    EXPECT_FALSE(dialog.showSave());
    EXPECT_EQ(dialog.fileName(), "/d/a.txt");

    QtMessageBox box(nullptr);
    std::vector<std::string> shown;
    box.setScript([&](const std::string& text) { shown.push_back(text); });
    box.show("读入失败！");
    EXPECT_EQ(shown, (std::vector<std::string>{"读入失败！"}));
}

TEST(QtControls, ListsAndCombosThroughTheInterface) {
    QListWidget list;
    QtListBox l(&list);
    l.addItem("客户.xls");
    l.addItem("订单.csv");
    l.setSelectedIndex(1);
    EXPECT_EQ(l.selectedText(), "订单.csv");
    QComboBox combo;
    QtComboBox c(&combo);
    c.addItem("Sheet1");
    c.setCurrentIndex(-1);
    EXPECT_EQ(c.currentIndex(), -1);
    c.setCurrentIndex(0);
    EXPECT_EQ(c.text(), "Sheet1");
}

// A list that takes the focus gets a current row from Qt; that is no selection of the user's.
TEST(QtControls, AListCountsAsSelectedOnlyWhenAnItemWasPicked) {
    QWidget window;
    auto* list = new QListWidget(&window);
    QtListBox l(list);
    l.addItem("名称");
    l.addItem("金额");
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    list->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    ASSERT_EQ(list->currentRow(), 0) << "Qt gives a focused list a current row";
    EXPECT_EQ(l.selectedIndex(), -1);
    EXPECT_EQ(l.selectedText(), "");

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(l.selectedIndex(), 1);
    l.setSelectedIndex(-1);
    EXPECT_EQ(l.selectedIndex(), -1);
    l.setSelectedIndex(0);
    EXPECT_EQ(l.selectedText(), "名称");
    l.clear();
    l.addItem("编号");
    EXPECT_EQ(l.selectedIndex(), -1) << "emptied lists keep no selection";
}

}  // namespace
}  // namespace qx::app
