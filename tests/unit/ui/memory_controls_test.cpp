// The in-memory controls behave as the real ones must: later tests of operations rely on them.
#include "platform/ui/memory_controls.h"

#include <gtest/gtest.h>

namespace qx::ui {
namespace {

TEST(Grid, ResizingKeepsCellsAndClearingKeepsTheHeader) {
    MemoryGrid g(2, 3);
    g.setText(0, 0, "列名称");
    g.setText(1, 2, "x");
    g.setRows(4);
    g.setCols(4);
    EXPECT_EQ(g.text(0, 0), "列名称");
    EXPECT_EQ(g.text(1, 2), "x");
    EXPECT_EQ(g.text(3, 3), "");
    g.setText(3, 1, "y");
    g.clearScrollable();
    EXPECT_EQ(g.text(0, 0), "列名称");
    EXPECT_EQ(g.text(1, 2), "");
    EXPECT_EQ(g.text(3, 1), "");
    g.setRows(1);
    EXPECT_EQ(g.rows(), 1);
    EXPECT_EQ(g.text(0, 0), "列名称");
    g.setColWidth(1, 2200);
    EXPECT_EQ(g.colWidth(1), 2200);
}

TEST(Grid, BeforeEditCanRefuseAnEditOrSetTheDropDown) {
    MemoryGrid g(3, 5);
    g.setBeforeEdit([&](int row, int col, bool& cancel) {
        if (row == 1 && col == 0) cancel = true;
        if (col == 0) g.setColComboList(0, "或者|并且");
    });
    EXPECT_FALSE(g.edit(1, 0, "并且"));
    EXPECT_EQ(g.text(1, 0), "");
    EXPECT_TRUE(g.edit(2, 0, "并且"));
    EXPECT_EQ(g.text(2, 0), "并且");
    EXPECT_EQ(g.colComboList(0), "或者|并且");
    EXPECT_EQ(g.row(), 2);
    EXPECT_EQ(g.col(), 0);
}

TEST(FileDialog, AnswersComeInOrderAndACancelKeepsTheLastFile) {
    MemoryFileDialog d;
    d.queue("/d/a.xls");
    d.queue(std::nullopt);
    EXPECT_TRUE(d.showOpen());
    EXPECT_EQ(d.fileName(), "/d/a.xls");
    EXPECT_FALSE(d.showSave());
    EXPECT_EQ(d.fileName(), "/d/a.xls");
    EXPECT_FALSE(d.unanswered());
    EXPECT_FALSE(d.showOpen());
    EXPECT_TRUE(d.unanswered());
}

TEST(Filters, PairsOfLabelAndPattern) {
    auto full = filterPairs("dBASE III (*.dbf)|*.dbf|Excel2007(*.xlsx)|*.xlsx");
    ASSERT_EQ(full.size(), 2u);
    EXPECT_EQ(full[1].first, "Excel2007(*.xlsx)");
    EXPECT_EQ(full[1].second, "*.xlsx");
    EXPECT_EQ(filterPairs("Excel2007(*.xlsx)|*.xlsx|").size(), 1u);
    EXPECT_TRUE(filterPairs("").empty());
}

TEST(Lists, SelectionFollowsTheItems) {
    MemoryListBox l;
    l.addItem("1_1");
    l.addItem("2_1");
    l.setSelectedIndex(1);
    EXPECT_EQ(l.selectedText(), "2_1");
    l.setSelectedIndex(5);
    EXPECT_EQ(l.selectedIndex(), -1);
    l.setSelectedIndex(0);
    l.clear();
    EXPECT_EQ(l.selectedIndex(), -1);
    EXPECT_EQ(l.selectedText(), "");
}

}  // namespace
}  // namespace qx::ui
