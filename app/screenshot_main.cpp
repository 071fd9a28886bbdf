// qx_screenshot DIR: a PNG of the main window on every page and sub-page, and of each small
// window, rendered offscreen with the installed fonts, so the program can be looked at without
// a display. DIR/clipped.txt lists every caption shown in less room than its text takes (one
// line each: picture, caption, width needed, width given), so that a platform whose fonts run
// wider can be compared with this one.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTextStream>
#include <cstdio>
#include <filesystem>

#include "app/main_window.h"
#include "app/small_windows.h"

namespace {

int saved = 0;
QStringList clipped;

// The widest line of a caption, as drawn (a mnemonic's "&" takes no room).
int textWidth(const QFontMetrics& fm, QString text) {
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    int widest = 0;
    for (const QString& line : text.split('\n'))
        widest = std::max(widest, fm.horizontalAdvance(line));
    return widest;
}

// The captions of `w` that are shown in less room than they need.
void findClipped(QWidget& w, const QString& name) {
    for (QWidget* child : w.findChildren<QWidget*>()) {
        if (!child->isVisibleTo(&w) || child->width() <= 0) continue;
        int needed = 0, given = 0;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(child)) {
            if (label->wordWrap() || label->text().isEmpty() || label->textFormat() == Qt::RichText)
                continue;
            text = label->text();
            needed = textWidth(label->fontMetrics(), text);
            given = label->contentsRect().width() - 2 * std::max(0, label->margin());
        } else if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            if (button->text().isEmpty()) continue;
            text = button->text();
            // What the style asks for around the text is given some slack: a button set a
            // little narrower than its style's wish still shows all its text.
            needed = button->sizeHint().width() - 8;
            given = button->width();
        } else {
            continue;
        }
        if (needed > given)
            clipped << QStringLiteral("%1\t%2\t%3\t%4").arg(name, text).arg(needed).arg(given);
    }
}

void save(QWidget& w, const QString& dir, const QString& name) {
    QApplication::processEvents();
    if (w.grab().save(dir + "/" + name + ".png")) ++saved;
    findClipped(w, name);
}

// Every tab page reachable inside `tabs`, depth first, named by their captions.
void walk(QWidget& window, QTabWidget* tabs, const QString& dir, const QString& prefix) {
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QString name = prefix + "-" + tabs->tabText(i);
        bool nested = false;
        for (auto* inner : tabs->widget(i)->findChildren<QTabWidget*>(Qt::FindDirectChildrenOnly)) {
            walk(window, inner, dir, name);
            nested = true;
        }
        if (auto* direct = qobject_cast<QTabWidget*>(tabs->widget(i))) {
            walk(window, direct, dir, name);
            nested = true;
        }
        if (!nested) save(window, dir, name);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qx_screenshot DIR\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qx::app::useProgramFont();
    qx::app::useChineseTranslations();
    QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    auto scratch = std::filesystem::temp_directory_path() / "qx_screenshot";
    std::filesystem::create_directories(scratch);
    qx::store::WorkingDatabase wdb(scratch);
    qx::app::MainWindow window(wdb);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    save(window, dir, "0-介绍");
    const char* pages[] = {"1-快捷操作", "2-高级查询", "3-高级更新", "4-高级删除"};
    for (int page = 1; page <= 4; ++page) {
        window.navigate(page);
        for (auto* tabs : window.findChildren<QTabWidget*>())
            if (tabs->isVisible() && !qobject_cast<QTabWidget*>(tabs->parentWidget()) &&
                !(tabs->parentWidget() &&
                  qobject_cast<QTabWidget*>(tabs->parentWidget()->parentWidget())))
                walk(window, tabs, dir, QString::fromUtf8(pages[page - 1]));
    }
    window.navigate(5);
    save(window, dir, "5-关于软件");

    qx::app::BusyWindow busy;
    busy.show();
    save(busy, dir, "busy");
    qx::app::ProgressWindow progress;
    progress.show();
    progress.setPercent(42);
    save(progress, dir, "progress");
    using Kind = qx::app::ColumnDialogKind;
    const std::pair<Kind, const char*> dialogs[] = {{Kind::MergeCount, "dialog-merge-count"},
                                                    {Kind::MergeSum, "dialog-merge-sum"},
                                                    {Kind::DedupByColumn, "dialog-dedup"},
                                                    {Kind::LengthFilter, "dialog-length"},
                                                    {Kind::RepeatFilter, "dialog-repeat"}};
    for (const auto& [kind, name] : dialogs) {
        qx::app::ColumnDialog d(kind);
        d.show();
        save(d, dir, name);
    }
    QFile report(dir + "/clipped.txt");
    if (report.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QTextStream out(&report);
        for (const QString& line : clipped) out << line << "\n";
    }
    std::printf("%d pictures in %s, %d captions clipped\n", saved, argv[1],
                static_cast<int>(clipped.size()));
    return saved > 0 ? 0 : 1;
}
