// The small windows: their captions, and the progress notice's percentage.
#include "app/small_windows.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace qx::app {
namespace {

TEST(SmallWindows, DialogsCarryTheirTitlesAndChoices) {
    struct Case {
        ColumnDialogKind kind;
        const char* title;
    } cases[] = {
        {ColumnDialogKind::MergeCount, "分类汇总，统计笔数"},
        {ColumnDialogKind::MergeSum, "分类汇总"},
        {ColumnDialogKind::DedupByColumn, "删除指定列重复，保留首条"},
        {ColumnDialogKind::LengthFilter, "设置指定列长度条件"},
        {ColumnDialogKind::RepeatFilter, "设置某列重复指定条件次数窗口"},
    };
    for (const auto& c : cases) {
        ColumnDialog d(c.kind);
        EXPECT_EQ(d.windowTitle(), QString::fromUtf8(c.title));
        EXPECT_TRUE(d.isModal());
        EXPECT_EQ(d.okButton()->text(), QStringLiteral("确定"));
    }
    ColumnDialog repeat(ColumnDialogKind::RepeatFilter);
    ASSERT_NE(repeat.condition(), nullptr);
    QStringList items;
    for (int i = 0; i < repeat.condition()->count(); ++i) items << repeat.condition()->itemText(i);
    EXPECT_EQ(items, (QStringList{">", "<", "=", ">=", "<="}));
    EXPECT_NE(ColumnDialog(ColumnDialogKind::MergeSum).secondList(), nullptr);
}

TEST(SmallWindows, ProgressShowsWholePercents) {
    ProgressWindow p;
    p.show();
    EXPECT_EQ(p.percentText(), "0%");
    p.setPercent(37);
    EXPECT_EQ(p.percentText(), "37%");
    p.close();
    EXPECT_FALSE(p.isVisible());
    BusyWindow b;
    b.show();
    EXPECT_TRUE(b.isVisible());
    b.close();
    EXPECT_FALSE(b.isVisible());
}

}  // namespace
}  // namespace qx::app
