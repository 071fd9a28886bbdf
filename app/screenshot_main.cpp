// qx_screenshot DIR: a PNG of the main window on every page and sub-page, and of each small
// window, rendered offscreen with the installed fonts, so the program can be looked at without
// a display.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "app/main_window.h"
#include "app/small_windows.h"

namespace {

int saved = 0;

void save(QWidget& w, const QString& dir, const QString& name) {
    QApplication::processEvents();
    if (w.grab().save(dir + "/" + name + ".png")) ++saved;
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
    std::printf("%d pictures in %s\n", saved, argv[1]);
    return saved > 0 ? 0 : 1;
}
