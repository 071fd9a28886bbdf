// The grid widget under Qt's offscreen platform: edits start only through the before-edit
// event, whatever starts them, and the drop-down lists follow the column's list text.
#include "app/controls/grid_widget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "platform/ui/memory_controls.h"

namespace qx::app {
namespace {

class GridWidgetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        grid.setRows(3);
        grid.setCols(5);
        grid.setText(0, 0, "连接条件");
        grid.resize(600, 200);
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    }
    QPoint centre(int row, int col) {
        return grid.visualRect(grid.model()->index(row, col)).center();
    }
    GridWidget grid;
};

TEST_F(GridWidgetTest, DoubleClickTypingAndF2AllRaiseBeforeEdit) {
    std::vector<std::pair<int, int>> asked;
    grid.setBeforeEdit([&](int row, int col, bool& cancel) {
        asked.emplace_back(row, col);
        cancel = row == 1 && col == 0;
    });
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, centre(1, 0));
    EXPECT_FALSE(grid.isEditing()) << "refused";
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, centre(2, 1));
    EXPECT_TRUE(grid.isEditing());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->setText("288");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the view commits the edit from its event queue
    EXPECT_EQ(grid.text(2, 1), "288");

    // Typing starts an edit with what was typed.
    grid.setCurrentCell(2, 2);
    QTest::keyClick(&grid, Qt::Key_5);
    auto* typed = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->text(), "5");
    QTest::keyClick(typed, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(grid.text(2, 2), "5");

    grid.setCurrentCell(2, 3);
    QTest::keyClick(&grid, Qt::Key_F2);
    ASSERT_GE(asked.size(), 3u);
    EXPECT_EQ(asked.back(), std::make_pair(2, 3));
    EXPECT_EQ(grid.row(), 2);
    EXPECT_EQ(grid.col(), 3);
}

TEST_F(GridWidgetTest, ComboListsArePickOnlyOrEditableAndTheHeaderRowIsFixed) {
    grid.setColComboList(0, "或者|并且");
    grid.setColComboList(1, "|1_1|2_1");
    ASSERT_TRUE(grid.requestEdit(2, 0));
    auto* pick = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_NE(pick, nullptr);
    EXPECT_FALSE(pick->isEditable());
    EXPECT_EQ(pick->count(), 2);
    pick->setCurrentIndex(1);
    QTest::keyClick(pick, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(grid.text(2, 0), "并且");

    ASSERT_TRUE(grid.requestEdit(2, 1));
    auto* editable = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_NE(editable, nullptr);
    EXPECT_TRUE(editable->isEditable());
    EXPECT_EQ(editable->itemText(0), "1_1");
    QTest::keyClick(editable, Qt::Key_Escape);
    QCoreApplication::processEvents();

    EXPECT_FALSE(grid.requestEdit(0, 0));
    EXPECT_EQ(grid.text(0, 0), "连接条件");
}

// An edit started by typing keeps what was typed, whatever editor the column has.
TEST_F(GridWidgetTest, TypingIntoADropDownCellKeepsTheCharacter) {
    grid.setColComboList(1, "|1_1|2_1");
    grid.setColComboList(3, ">|<|=|like");
    grid.setCurrentCell(1, 1);
    QTest::keyClick(&grid, Qt::Key_3);
    ASSERT_TRUE(grid.isEditing());
    auto* editable = qobject_cast<QComboBox*>(grid.indexWidget(grid.model()->index(1, 1)));
    ASSERT_NE(editable, nullptr);
    EXPECT_EQ(editable->currentText(), "3");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(grid.text(1, 1), "3");

    // A pick-only list goes to the first choice that begins with the character.
    grid.setCurrentCell(1, 3);
    QTest::keyClick(&grid, Qt::Key_L);
    ASSERT_TRUE(grid.isEditing());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(grid.text(1, 3), "like");
}

TEST_F(GridWidgetTest, WidthsInTwipsAndClearingKeepsTheHeader) {
    grid.setColWidth(1, 2200);
    EXPECT_EQ(grid.colWidth(1), 2190);  // whole pixels at 15 twips each
    grid.setText(1, 1, "x");
    grid.clearScrollable();
    EXPECT_EQ(grid.text(1, 1), "");
    EXPECT_EQ(grid.text(0, 0), "连接条件");
    grid.setRows(2);
    EXPECT_EQ(grid.rows(), 2);
}

// The in-memory grid of the operations' tests must report the current cell as this one does,
// or a test could pass on a cell the window would never write.
TEST(GridAgreement, TheCurrentCellOfTheMemoryGridIsTheWidgets) {
    GridWidget widget;
    ui::MemoryGrid memory(2, 2);
    widget.setRows(2);
    widget.setCols(2);
    auto same = [&](const char* step) {
        EXPECT_EQ(memory.row(), widget.row()) << step;
        EXPECT_EQ(memory.col(), widget.col()) << step;
    };
    same("fresh");
    for (ui::Grid* g : {static_cast<ui::Grid*>(&widget), static_cast<ui::Grid*>(&memory)}) {
        g->setRows(4);
        g->setCols(3);
    }
    same("grown");
    widget.setCurrentCell(3, 2);
    memory.click(3, 2);
    same("clicked");
    for (ui::Grid* g : {static_cast<ui::Grid*>(&widget), static_cast<ui::Grid*>(&memory)})
        g->setRows(2);
    same("the current row removed");
    for (ui::Grid* g : {static_cast<ui::Grid*>(&widget), static_cast<ui::Grid*>(&memory)})
        g->setCols(1);
    same("the current column removed");
    for (ui::Grid* g : {static_cast<ui::Grid*>(&widget), static_cast<ui::Grid*>(&memory)})
        g->setRows(1);
    same("the header alone");
}

}  // namespace
}  // namespace qx::app

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
