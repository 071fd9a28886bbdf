// The scenario runner goes on inside a modal dialog: commands then act on the dialog, and the
// window's turn comes back when it closes.
#include "app/scenario/scenario_runner.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <fstream>

#include "app/main_window.h"
#include "app/small_windows.h"
#include "unit/test_dir.h"

namespace qx::app {
namespace {

using qx::testing::TestDir;

TEST(ScenarioRunner, DrivesAModalDialogWhileItIsOpen) {
    TestDir dir;
    auto scn = dir / "dialog.scn";
    std::ofstream(scn) << "click 打开对话框\n"
                          "expect-items 请指定要合并相同行的列 城市 金额\n"
                          "select 请指定要合并相同行的列 金额\n"
                          "click 确定\n"
                          "expect-message 选中：金额\n"
                          "expect-window-shown\n";
    std::string chosen;
    ScenarioOptions options;
    options.prepare = [&](MainWindow& w) {
        auto* open = new QPushButton(QStringLiteral("打开对话框"), &w);
        open->move(10, 560);
        QObject::connect(open, &QPushButton::clicked, &w, [&w] {
            ColumnDialog d(ColumnDialogKind::MergeCount, &w);
            d.list()->addItems({QStringLiteral("城市"), QStringLiteral("金额")});
            QObject::connect(d.okButton(), &QPushButton::clicked, &d, [&d, &w] {
                w.messages().show("选中：" + d.list()->currentItem()->text().toStdString());
                d.accept();
            });
            d.exec();
        });
    };
    ScenarioRunner runner(scn, options);
    EXPECT_TRUE(runner.run()) << runner.failure();

    std::ofstream(scn) << "click 打开对话框\nclick 没有这个按钮\n";
    ScenarioRunner failing(scn, options);
    EXPECT_FALSE(failing.run());
    EXPECT_NE(failing.failure().find("dialog.scn:2:"), std::string::npos) << failing.failure();
}

}  // namespace
}  // namespace qx::app
