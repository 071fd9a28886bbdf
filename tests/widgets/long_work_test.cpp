// Long work in the window: while a large table is read the window keeps answering (its timers
// fire, it paints), the busy notice's progress moves forward, and "取消" stops the read with
// the working database as it was; the next read works as if nothing had happened.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "app/main_window.h"
#include "app/small_windows.h"
#include "platform/os/paths.h"
#include "platform/work/progress.h"
#include "unit/test_dir.h"

namespace qx::app {
namespace {

using qx::testing::TestDir;

// Counts its paints; a timer asks it to paint again and again.
class PaintCounter : public QWidget {
  public:
    using QWidget::QWidget;
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

BusyWindow* busyOf(QWidget& w) {
    for (QWidget* child : w.findChildren<QWidget*>())
        if (auto* busy = dynamic_cast<BusyWindow*>(child)) return busy;
    return nullptr;
}

// The rows figure of "已读入 123,456 行…", -1 when the text says something else.
long long rowsIn(const QString& status) {
    if (!status.startsWith(QStringLiteral("已读入 "))) return -1;
    QString digits;
    for (QChar c : status.mid(4)) {
        if (c == ' ') break;
        if (c != ',') digits += c;
    }
    return digits.toLongLong();
}

TEST(LongWork, TheWindowAnswersShowsProgressAndCancelsARead) {
    TestDir dir;
    {
        std::ofstream small(dir / "small.csv");
        small << "甲,1\n乙,2\n";
        std::ofstream big(dir / "big.csv");
        for (int i = 0; i < 400000; ++i) big << "客户" << i % 5000 << "," << i << ",备注\n";
    }
    store::WorkingDatabase wdb(dir.path());
    MainWindow w(wdb);
    std::vector<std::string> messages;
    w.messages().setScript([&](const std::string& text) { messages.push_back(text); });
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ModuleControls& quick = w.module(Module::Quick);
    BusyWindow* busy = busyOf(w);
    ASSERT_NE(busy, nullptr);

    w.openFilesFromOutside({qx::os::utf8(dir / "small.csv")});
    quick.import.count->setText("2");
    quick.import.read->click();
    ASSERT_TRUE(messages.empty());
    const auto before = wdb.listTables(store::Flavour::Jet);
    ASSERT_EQ(before, std::vector<std::string>{"1_1"});

    // The second file through the open button (files from outside start the module afresh).
    w.openDialog().setScript([&](bool, const std::string&, const std::string&) {
        return std::optional<std::string>(qx::os::utf8(dir / "big.csv"));
    });
    quick.import.open->click();
    quick.import.count->setText("3");
    auto* painted = new PaintCounter(&w);
    painted->setGeometry(0, 0, 20, 20);
    painted->show();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        painted->update();
    });
    timer.start(20);
    std::vector<QString> statuses;
    int ticksAtStart = -1, paintsAtStart = -1;
    // The read goes no faster than the notice can show it: each report of rows waits for the
    // window to refresh the notice once, so that however fast the machine, the read spans
    // several refreshes.
    std::atomic<int> refreshes{0};
    busy->onBegin = [&](work::Progress& progress) {
        progress.onReport = [&](work::Progress& p) {
            if (p.snapshot().rows <= 0) return;
            const int seen = refreshes.load();
            for (int i = 0; i < 2000 && refreshes.load() == seen && !p.cancelled(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
    };
    busy->onRefresh = [&] {
        ++refreshes;
        if (ticksAtStart < 0) {
            ticksAtStart = ticks;
            paintsAtStart = painted->paints;
        }
        statuses.push_back(busy->statusText());
        // Cancelled as a person would, with a click on the notice's button, once the read has
        // come some way and moved twice.
        if (statuses.size() >= 3 && rowsIn(statuses.back()) > 0 &&
            busy->cancelButton()->isEnabled())
            QTest::mouseClick(busy->cancelButton(), Qt::LeftButton);
    };
    quick.import.read->click();
    timer.stop();
    busy->onRefresh = nullptr;
    busy->onBegin = nullptr;

    EXPECT_EQ(messages, std::vector<std::string>{"操作已取消"});
    EXPECT_GT(ticks - ticksAtStart, 3) << "the window's timers fired while the read ran";
    EXPECT_GT(painted->paints - paintsAtStart, 1) << "the window painted while the read ran";
    ASSERT_GE(statuses.size(), 3u);
    long long last = 0;
    int moved = 0;
    for (const QString& s : statuses) {
        long long rows = rowsIn(s);
        if (rows < 0) continue;
        EXPECT_GE(rows, last) << s.toStdString();
        moved += rows > last;
        last = rows;
    }
    EXPECT_GE(moved, 1) << "the progress moved forward";
    EXPECT_EQ(wdb.listTables(store::Flavour::Jet), before) << "no half-read table";
    EXPECT_TRUE(quick.import.read->isEnabled()) << "nothing was read: the button stays";
    EXPECT_FALSE(busy->isVisible());

    // The next read works as if the cancelled one had never run.
    messages.clear();
    quick.import.read->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(wdb.listTables(store::Flavour::Jet), (std::vector<std::string>{"1_1", "2_1"}));
}

}  // namespace
}  // namespace qx::app
