// The main window's frame: start-up, navigation, the page switch of the quick module, exit.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTabWidget>
#include <QTest>
#include <fstream>

#include "app/nav_button.h"
#include "unit/test_dir.h"

namespace qx::app {
namespace {

using qx::testing::TestDir;

void touch(const std::filesystem::path& p) {
    std::ofstream(p) << "x";
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

}  // namespace
}  // namespace qx::app
