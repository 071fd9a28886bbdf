// The Qt side of the control interfaces: filters in Qt's form, scripted dialogs and messages.
#include "app/controls/qt_controls.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>

namespace qx::app {
namespace {

TEST(QtControls, FiltersInQtForm) {
    EXPECT_EQ(qtFilter("Excel2007(*.xlsx)|*.xlsx|"), QStringLiteral("Excel2007(*.xlsx) (*.xlsx)"));
    EXPECT_EQ(qtFilter("dBASE III (*.dbf)|*.dbf|文本文档(*.txt)|*.txt"),
              QStringLiteral("dBASE III (*.dbf) (*.dbf);;文本文档(*.txt) (*.txt)"));
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

}  // namespace
}  // namespace qx::app
