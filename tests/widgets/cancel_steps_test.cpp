// "取消" in the middle of each kind of long step the window runs: a compaction after a read, an
// operation's statement, an export, a line operation on a file and one on pasted lists. Each
// time the working database, the program folder and the output files are exactly as before,
// the user is told "操作已取消", and the same step run again works.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "app/main_window.h"
#include "app/small_windows.h"
#include "platform/jet/recordset.h"
#include "platform/os/paths.h"
#include "platform/work/progress.h"
#include "unit/test_dir.h"

namespace qx::app {
namespace {

using qx::testing::TestDir;
namespace fs = std::filesystem;

BusyWindow* busyOf(QWidget& w) {
    for (QWidget* child : w.findChildren<QWidget*>())
        if (auto* busy = dynamic_cast<BusyWindow*>(child)) return busy;
    return nullptr;
}

// Every file under `dir` with its bytes: "exactly as before" for a folder.
std::map<std::string, std::string> contentsOf(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        out[os::utf8(fs::relative(e.path(), dir))] =
            std::string(std::istreambuf_iterator<char>(in), {});
    }
    return out;
}

// Holds the work at its first report of `stage` (with `midway`, at the first one that shows
// headway: rows counted or a fraction done, so that the work is inside its loop or statement),
// until the notice's "取消" has been clicked as a person would; the work then goes on to find
// itself cancelled. Records the notice's texts meanwhile.
class CancelAt {
  public:
    CancelAt(BusyWindow& busy, work::Stage stage, bool midway) : busy_(busy) {
        busy.onBegin = [this, stage, midway](work::Progress& progress) {
            progress.onReport = [this, stage, midway](work::Progress& p) {
                work::Snapshot s = p.snapshot();
                if (s.stage != stage || p.cancelled()) return;
                if (midway && s.rows <= 0 && s.permille < 0) return;
                held_ = true;
                for (int i = 0; i < 2000 && !p.cancelled(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            };
        };
        busy.onRefresh = [this] {
            if (!held_ || clicked) return;
            heldText = busy_.statusText();
            if (busy_.cancelButton()->isEnabled()) {
                QTest::mouseClick(busy_.cancelButton(), Qt::LeftButton);
                clicked = true;
            }
        };
    }
    ~CancelAt() {
        busy_.onBegin = nullptr;
        busy_.onRefresh = nullptr;
    }
    CancelAt(const CancelAt&) = delete;
    CancelAt& operator=(const CancelAt&) = delete;

    QString heldText;  // what the notice said while the work was held
    bool clicked = false;

  private:
    BusyWindow& busy_;
    std::atomic<bool> held_{false};
};

// Brings `page` to the front through every tab widget it sits in.
void showPage(QWidget* page) {
    for (QWidget* w = page; w && w->parentWidget(); w = w->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget()))
            tabs->setCurrentWidget(w);
}

// Answers the column dialog that the next click opens, once it is up: the column, then "确定".
// Gives up (and closes the dialog) when the column is not in its list.
void answerColumnDialog(const QString& column, int triesLeft = 500) {
    QTimer::singleShot(10, [column, triesLeft] {
        auto* dialog = dynamic_cast<ColumnDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (triesLeft > 0) answerColumnDialog(column, triesLeft - 1);
            return;
        }
        auto found = dialog->list()->findItems(column, Qt::MatchExactly);
        QStringList items;
        for (int i = 0; i < dialog->list()->count(); ++i) items << dialog->list()->item(i)->text();
        EXPECT_EQ(found.size(), 1)
            << column.toStdString() << " among " << items.join(',').toStdString();
        if (found.size() == 1) {
            dialog->list()->setCurrentItem(found.front());
            dialog->okButton()->click();
        }
        dialog->close();
    });
}

long long rowsOf(store::WorkingDatabase& wdb, const std::string& table) {
    jet::Connection c;
    if (!c.open(wdb.connectionString(store::Flavour::Jet))) return -1;
    jet::Recordset rs;
    if (!rs.open(c, "SELECT Count(*) FROM [" + table + "]") || rs.eof()) return -1;
    return std::stoll(rs.value(0).value_or("-1"));
}

class CancelSteps : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(program_);
        fs::create_directories(out_);
        std::ofstream big(dir_ / "客户.csv");
        for (int i = 0; i < 60000; ++i) big << "客户" << i % 7000 << "," << i << ",备注\n";
        std::ofstream small(dir_ / "small.csv");
        small << "甲,1,x\n乙,2,y\n";
        std::ofstream old(out_ / "旧结果.csv");
        old << "上次的结果\n";
        window_ = std::make_unique<MainWindow>(wdb_);
        window_->messages().setScript([this](const std::string& t) { messages_.push_back(t); });
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        busy_ = busyOf(*window_);
        ASSERT_NE(busy_, nullptr);
        // 快捷操作 / 初始化, as a user starts (a switch between the outer tabs starts afresh).
        window_->navigate(1);
        showPage(quick().pages[0]);
    }

    ModuleControls& quick() { return window_->module(Module::Quick); }

    void read(const fs::path& file) {
        window_->openDialog().setScript([file](bool, const std::string&, const std::string&) {
            return std::optional<std::string>(os::utf8(file));
        });
        quick().import.open->click();
        quick().import.count->setText("3");
        quick().import.read->click();
    }

    void saveTo(const fs::path& file) {
        window_->saveDialog().setScript([file](bool, const std::string&, const std::string&) {
            return std::optional<std::string>(os::utf8(file));
        });
    }

    // What a cancelled step must leave: the message alone, and everything as before.
    void expectUntouched(const CancelAt& at, const std::vector<std::string>& tables,
                         const std::map<std::string, std::string>& program,
                         const std::map<std::string, std::string>& out, const char* texts) {
        EXPECT_TRUE(at.clicked) << "the step was held and cancelled";
        EXPECT_TRUE(at.heldText.startsWith(QString::fromUtf8(texts))) << at.heldText.toStdString();
        EXPECT_EQ(messages_, std::vector<std::string>{"操作已取消"});
        EXPECT_EQ(wdb_.listTables(store::Flavour::Jet), tables);
        // The window lists no table that is not there.
        QListWidget* listed = quick().status.tables;
        for (int i = 0; i < listed->count(); ++i)
            EXPECT_NE(
                std::find(tables.begin(), tables.end(), listed->item(i)->text().toStdString()),
                tables.end())
                << listed->item(i)->text().toStdString() << " is listed";
        EXPECT_EQ(contentsOf(out_), out) << "no output file, the earlier one untouched";
        auto now = contentsOf(program_);
        // The working database's bytes may move (a cancelled read's pages are free pages);
        // its tables are compared above. Nothing else in the folder may come or go.
        for (auto* m : {&now, const_cast<std::map<std::string, std::string>*>(&program)})
            for (auto it = m->begin(); it != m->end();)
                it = it->first.ends_with(".mdb") ? m->erase(it) : std::next(it);
        EXPECT_EQ(now, program) << "no temporary file left";
        EXPECT_FALSE(busy_->isVisible());
        messages_.clear();
    }

    TestDir dir_;
    fs::path program_ = dir_ / "程序";
    fs::path out_ = dir_ / "输出";
    store::WorkingDatabase wdb_{program_};
    std::unique_ptr<MainWindow> window_;
    BusyWindow* busy_ = nullptr;
    std::vector<std::string> messages_;
};

TEST_F(CancelSteps, CompactionStatementAndExportEachLeaveEverythingAsBefore) {
    read(dir_ / "客户.csv");
    ASSERT_TRUE(messages_.empty());
    ASSERT_EQ(wdb_.listTables(store::Flavour::Jet), std::vector<std::string>{"1_1"});
    {
        CancelAt at(*busy_, work::Stage::Reading, true);
        read(dir_ / "客户.csv");
        expectUntouched(at, {"1_1"}, contentsOf(program_), contentsOf(out_), "已读入");
    }
    {
        // A long session leaves free pages behind (results made and dropped), so that the next
        // read compacts the database.
        jet::Connection c;
        ASSERT_TRUE(c.open(wdb_.connectionString(store::Flavour::Jet)));
        ASSERT_TRUE(c.execute("SELECT * INTO 旧结果 FROM [1_1]"));
        ASSERT_TRUE(c.execute("DROP TABLE 旧结果"));
    }
    {
        auto program = contentsOf(program_);
        CancelAt at(*busy_, work::Stage::Compacting, true);
        read(dir_ / "small.csv");
        expectUntouched(at, {"1_1"}, program, contentsOf(out_), "正在压缩数据库");
        EXPECT_EQ(rowsOf(wdb_, "1_1"), 60000);
    }
    // Read again, the same file is read as if the cancelled read had never run.
    quick().import.read->click();
    ASSERT_TRUE(messages_.empty()) << messages_.front();
    const std::vector<std::string> tables{"1_1", "3_1"};
    ASSERT_EQ(wdb_.listTables(store::Flavour::Jet), tables);
    EXPECT_EQ(rowsOf(wdb_, "3_1"), 2);
    // The quick module works on the table chosen in its list: the first one read.
    QWidget* single = quick().pages[1];
    QListWidget* files = quick().import.files;
    ASSERT_GE(files->count(), 1);
    ASSERT_TRUE(files->isVisible());
    // A double-click on the first file makes its table the current one (as the scenarios do it).
    files->setCurrentRow(0);
    emit files->itemDoubleClicked(files->item(0));
    showPage(single);
    {
        auto program = contentsOf(program_);
        auto out = contentsOf(out_);
        CancelAt at(*busy_, work::Stage::Statement, false);
        saveTo(out_ / "笔数.csv");
        answerColumnDialog("F1");
        findButton(single, "合并相同行，统计笔数")->click();
        expectUntouched(at, tables, program, out, "正在生成结果");
    }
    {
        auto program = contentsOf(program_);
        auto out = contentsOf(out_);
        CancelAt at(*busy_, work::Stage::Exporting, true);
        saveTo(out_ / "旧结果.csv");
        findButton(single, "删除完全重复记录，只保留一条")->click();
        expectUntouched(at, tables, program, out, "已写出");
    }
    // The same steps again, uncancelled, work as if nothing had happened.
    saveTo(out_ / "笔数.csv");
    answerColumnDialog("F1");
    findButton(single, "合并相同行，统计笔数")->click();
    EXPECT_EQ(messages_, std::vector<std::string>{"操作完毕，保存成功！"});
    messages_.clear();
    saveTo(out_ / "旧结果.csv");
    findButton(single, "删除完全重复记录，只保留一条")->click();
    EXPECT_EQ(messages_, std::vector<std::string>{"删除完毕，保存成功！"});
    std::ifstream again(out_ / "旧结果.csv");
    std::string first;
    std::getline(again, first);
    EXPECT_NE(first, "上次的结果");
    EXPECT_TRUE(fs::exists(out_ / "笔数.csv"));
}

TEST_F(CancelSteps, LineOperationsOnAFileAndOnPastedListsLeaveEverythingAsBefore) {
    fs::copy_file(dir_ / "客户.csv", out_ / "名单.txt");
    {
        auto program = contentsOf(program_);
        auto out = contentsOf(out_);
        CancelAt at(*busy_, work::Stage::Lines, true);
        window_->linesDialog().setScript([this](bool, const std::string&, const std::string&) {
            return std::optional<std::string>(os::utf8(out_ / "名单.txt"));
        });
        findButton(window_->lineControls().filesPage, "去首尾空格及空行")->click();
        expectUntouched(at, {}, program, out, "正在处理文本行");
    }
    QTextEdit* a = window_->lineControls().a;
    QTextEdit* result = window_->lineControls().result;
    a->setPlainText(QStringLiteral("甲\n乙\n甲\n"));
    window_->lineControls().b->setPlainText(QStringLiteral("乙\n"));
    result->setPlainText(QStringLiteral("上次的结果"));
    {
        auto program = contentsOf(program_);
        CancelAt at(*busy_, work::Stage::Lines, true);
        findButton(window_->lineControls().pastePage, "取A中不含B数")->click();
        expectUntouched(at, {}, program, contentsOf(out_), "正在处理文本行");
        EXPECT_EQ(result->toPlainText(), QStringLiteral("上次的结果"));
        EXPECT_EQ(a->toPlainText(), QStringLiteral("甲\n乙\n甲\n"));
    }
    findButton(window_->lineControls().pastePage, "取A中不含B数")->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_TRUE(messages_[0].find("毫秒") != std::string::npos) << messages_[0];
    QString left = result->toPlainText();
    EXPECT_TRUE(left.contains(QStringLiteral("甲")) && !left.contains(QStringLiteral("乙")))
        << left.toStdString();
}

}  // namespace
}  // namespace qx::app
