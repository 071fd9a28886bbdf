// The main window's frame and navigation.
#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextEdit>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>

#include "app/module_wiring.h"
#include "app/nav_button.h"
#include "app/title_bar.h"
#include "exchange/source_kinds.h"
#include "lines/line_ops.h"
#include "platform/work/progress.h"

namespace qx::app {

namespace {

constexpr const char* kAddress = "https://quillex.example";

}  // namespace

void useProgramFont() {
    QFont f(QStringLiteral("SimSun"), 9);
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                   QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    QApplication::setFont(f);
}

bool useChineseTranslations() {
    // Qt's own dialogs, buttons and menus (Qt's base modules' catalogue; qt_zh_CN only names
    // the catalogues of every module): the one shipped beside the program (Windows) or Qt's
    // installed one.
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/translations");
    for (const QString& dir : {beside, QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (translator->load(QStringLiteral("qtbase_zh_CN"), dir) &&
            QCoreApplication::installTranslator(translator))
            return true;
    }
    delete translator;
    return false;
}

MainWindow::MainWindow(const store::WorkingDatabase& workingDatabase, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), workingDatabase_(workingDatabase) {
    setWindowTitle(QStringLiteral("Quillex 3.1全功能版"));
    setWindowIcon(programIcon());
    setFixedSize(kWidth, kHeight);
    setObjectName("mainWindow");
    // One-pixel lines frame the borderless window.
    setStyleSheet(
        "#mainWindow { border-left: 1px solid #6f8fb0; border-right: 1px solid #6f8fb0; "
        "border-bottom: 1px solid #6f8fb0; }");
    setAttribute(Qt::WA_StyledBackground);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 0, 1, 1);
    layout->setSpacing(0);
    titleBar_ = new TitleBar(windowTitle(), this);
    layout->addWidget(titleBar_);

    auto* navRow = new QHBoxLayout;
    navRow->setContentsMargins(0, 6, 0, 1);
    navRow->addStretch();
    const char* words[] = {"快捷操作", "高级查询", "高级更新", "高级删除", "关于软件"};
    for (int i = 0; i < 5; ++i) {
        nav_[static_cast<std::size_t>(i)] = new NavButton(QString::fromUtf8(words[i]), this);
        navRow->addWidget(nav_[static_cast<std::size_t>(i)]);
        navRow->addSpacing(24);
        connect(nav_[static_cast<std::size_t>(i)], &QAbstractButton::clicked, this,
                [this, i] { navigate(i + 1); });
    }
    navRow->addStretch();
    layout->addLayout(navRow);

    pages_ = new QStackedWidget(this);  // no header strip: pages change only by navigation
    pages_->addWidget(introductionPage());
    pages_->addWidget(quickPage());
    for (Module m : {Module::Query, Module::Update, Module::Delete})
        pages_->addWidget(buildAdvancedPage(this, m, module(m)));
    pages_->addWidget(aboutPage());
    auto* pageBox = new QHBoxLayout;
    pageBox->setContentsMargins(12, 0, 12, 0);
    pageBox->addWidget(pages_);
    layout->addLayout(pageBox, 1);

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(12, 4, 12, 4);
    bottom->addWidget(new QLabel(QString::fromUtf8(kAddress), this));
    bottom->addStretch();
    bottom->addWidget(new QLabel(QStringLiteral("数据操作利器，办公好帮手"), this));
    layout->addLayout(bottom);

    busy_ = new BusyWindow(this);
    progress_ = new ProgressWindow(this);
    // Every long step (a statement, a compaction, a line operation) runs away from this
    // thread, so that the window answers; moving and minimising it stay possible meanwhile.
    busy_->setPassThrough([this](QObject* o) {
        auto* w = qobject_cast<QWidget*>(o);
        return w && w != titleBar_->closeButton() && (w == titleBar_ || titleBar_->isAncestorOf(w));
    });
    work::setRunner([this](const std::function<void()>& work) {
        busy_->runWork(work, progress_->isVisible() ? progress_ : nullptr);
    });
    session_ = std::make_unique<store::Session>(
        store::Session{workingDatabase_, openDialog_, saveDialog_, messages_, *busy_, *progress_,
                       [this] { dataReset(); }});
    for (Module m : {Module::Quick, Module::Query, Module::Update, Module::Delete}) {
        connect(module(m).startOver, &QPushButton::clicked, this, [this] { dataReset(); });
        wirings_[static_cast<std::size_t>(m)] = new ModuleWiring(
            m, module(m), *session_, [this] { return headerRowOnShownPage(); }, this);
    }
    connectLineOperations();
    connect(titleBar_->minimiseButton(), &QPushButton::clicked, this, [this] { minimise(); });
    connect(titleBar_->closeButton(), &QPushButton::clicked, this, [this] { close(); });
    // Files dropped on a module's first page open there.
    for (Module m : {Module::Quick, Module::Query, Module::Update, Module::Delete}) {
        module(m).pages[0]->setAcceptDrops(true);
        module(m).pages[0]->installEventFilter(this);
    }
}

void MainWindow::connectLineOperations() {
    auto on = [this](QWidget* page, const char* caption, std::function<void()> action) {
        if (QPushButton* b = findButton(page, caption))
            connect(b, &QPushButton::clicked, this, std::move(action));
    };
    QWidget* files = lines_.filesPage;
    auto& d = linesDialog_;
    auto& m = messages_;
    on(files, "去重复行，保留一条", [&d, &m] { lines::quickDedupe(d, m); });
    on(files, "取AB共有数", [&d, &m] { lines::quickCompare(d, m, lines::Compare::Common); });
    on(files, "取B中不含A数", [&d, &m] { lines::quickCompare(d, m, lines::Compare::BNotA); });
    on(files, "取A中不含B数", [&d, &m] { lines::quickCompare(d, m, lines::Compare::ANotB); });
    on(files, "合并AB", [&d, &m] { lines::quickMerge(d, m); });
    on(files, "去半角引号", [&d, &m] { lines::quickUnquote(d, m); });
    on(files, "去首尾空格及空行", [&d, &m] { lines::quickTrim(d, m); });

    // The boxes through the edit-box interface, for the life of the window.
    boxA_ = std::make_unique<QtTextBox>(lines_.a);
    boxB_ = std::make_unique<QtTextBox>(lines_.b);
    boxResult_ = std::make_unique<QtTextBox>(lines_.result);
    paste_ = std::make_unique<lines::PasteBoxes>(lines::PasteBoxes{
        *boxA_, *boxB_, *boxResult_, messages_, workingDatabase_.programDirectory()});
    lines::PasteBoxes* boxes = paste_.get();
    QWidget* paste = lines_.pastePage;
    on(paste, "剔除表A重复行", [boxes] { lines::pasteDedupe(*boxes, boxes->a); });
    on(paste, "剔除表B重复行", [boxes] { lines::pasteDedupe(*boxes, boxes->b); });
    on(paste, "剔除结果表重复行", [boxes] { lines::pasteDedupe(*boxes, boxes->result); });
    on(paste, "清空AB表", [boxes] { lines::pasteClear(*boxes); });
    on(paste, "去A表半角引号", [boxes] { lines::pasteUnquoteA(*boxes); });
    on(paste, "取AB共有数", [boxes] { lines::pasteCompare(*boxes, lines::Compare::Common); });
    on(paste, "取B中不含A数", [boxes] { lines::pasteCompare(*boxes, lines::Compare::BNotA); });
    on(paste, "取A中不含B数", [boxes] { lines::pasteCompare(*boxes, lines::Compare::ANotB); });
    on(paste, "合并AB", [boxes] { lines::pasteMerge(*boxes); });
    on(paste, "去A表首尾空格及空行", [boxes] { lines::pasteTrimA(*boxes); });
    on(paste, "复制表A", [this, boxes] { lines::copyToClipboard(boxes->a, clipboard_); });
    on(paste, "复制表B", [this, boxes] { lines::copyToClipboard(boxes->b, clipboard_); });
    on(paste, "复制结果表", [this, boxes] { lines::copyToClipboard(boxes->result, clipboard_); });
}

MainWindow::~MainWindow() {
    work::setRunner({});
    dataReset();
}

QWidget* MainWindow::introductionPage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* heading = new QLabel(QStringLiteral("Quillex情况介绍"), page);
    QFont f = heading->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    heading->setFont(f);
    auto* text = new QTextEdit(page);
    text->setReadOnly(true);
    text->setPlainText(QStringLiteral(
        "本程序帮助不熟悉 SQL 的办公用户比较和整理表格数据。\n\n"
        "可读入 dBASE、Excel（xls、xlsx）、CSV、自定义分隔符的文本文件和 Access 数据库中的表，"
        "显示各列的名称和类型，并按需修改类型。\n\n"
        "两表操作：取一个表中不含另一个表的数据、两表共有的数据、相似的数据。\n"
        "单表操作：合并相同行并统计笔数或求和，删除重复记录，按长度或重复次数筛选。\n"
        "高级查询、更新和删除：用条件表格组合条件，不必书写 SQL。\n"
        "快捷操作：对文本文件和粘贴的列表按行去重、合并、求交集和差集。\n\n"
        "每个结果都可以保存为以上六种文件之一。"));
    auto* link =
        new QLabel(QString("<a href=\"%1\">%1</a>").arg(QString::fromUtf8(kAddress)), page);
    link->setOpenExternalLinks(true);
    v->addWidget(heading, 0, Qt::AlignHCenter);
    v->addWidget(text, 1);
    v->addWidget(link, 0, Qt::AlignRight);
    return page;
}

QWidget* MainWindow::quickPage() {
    quickTabs_ = buildQuickPage(this, module(Module::Quick), lines_);
    // Switching between the line operations and the module leaves the module: a data reset.
    connect(quickTabs_, &QTabWidget::currentChanged, this, [this](int) { dataReset(); });
    return quickTabs_;
}

QWidget* MainWindow::aboutPage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* link =
        new QLabel(QString("<a href=\"%1\">%1</a>").arg(QString::fromUtf8(kAddress)), page);
    link->setOpenExternalLinks(true);
    auto* text = new QLabel(
        QStringLiteral("当前版本：3.1 全功能版\n\n"
                       "本程序在本机完成所有处理，不会修改您读入的源文件。\n"
                       "读入的数据保存在程序目录下的临时工作库中，切换模块或退出程序时自动清除。"),
        page);
    text->setWordWrap(true);
    v->addWidget(link);
    v->addWidget(text, 1, Qt::AlignTop);
    return page;
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (started_) return;
    started_ = true;
    // Start-up, once the window is visible: files of an earlier run go, the icon comes.
    dataReset();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(windowIcon(), this);
        connect(tray_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger) restore();
                });
        tray_->show();
    }
}

void MainWindow::openFilesFromOutside(const std::vector<std::string>& paths) {
    navigate(1);
    quickTabs_->setCurrentIndex(1);
    QWidget* first = module(Module::Quick).pages[0];
    for (QWidget* w = first->parentWidget(); w; w = w->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            tabs->setCurrentWidget(first);
            break;
        }
    openFiles(Module::Quick, paths);
}

void MainWindow::openFiles(Module m, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        // What the open dialog would offer now: after a first file, only its family.
        if (exchange::isSourceKind(exchange::extensionOf(path)) &&
            !exchange::filterOffers(openDialog_.filter(), path)) {
            messages_.show("不能打开“" + exchange::fileNameOf(path) +
                           "”：已打开的文件只能与同一类的文件一起读入（" +
                           (openDialog_.filter() == exchange::kXlsxFilter
                                ? std::string("Excel2007 文件")
                                : std::string("除 Excel2007 以外的文件")) +
                           "）。要读入它，请先清除读入的数据。");
            continue;
        }
        openDialog_.presetAnswer(path);
        module(m).import.open->click();
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    auto localFiles = [](const QMimeData* data) {
        std::vector<std::string> paths;
        if (data && data->hasUrls())
            for (const QUrl& url : data->urls())
                if (url.isLocalFile()) paths.push_back(fromQt(url.toLocalFile()));
        return paths;
    };
    for (Module m : {Module::Quick, Module::Query, Module::Update, Module::Delete}) {
        if (watched != module(m).pages[0]) continue;
        if (event->type() == QEvent::DragEnter) {
            auto* drag = static_cast<QDragEnterEvent*>(event);
            if (!localFiles(drag->mimeData()).empty()) drag->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            std::vector<std::string> paths = localFiles(drop->mimeData());
            if (paths.empty()) return false;
            drop->acceptProposedAction();
            openFiles(m, paths);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) dataReset();
}

void MainWindow::navigate(int page) {
    dataReset();
    for (int i = 0; i < 5; ++i) nav_[static_cast<std::size_t>(i)]->setSelected(i + 1 == page);
    pages_->setCurrentIndex(page);
}

int MainWindow::currentPage() const {
    return pages_->currentIndex();
}

void MainWindow::minimise() {
    // Without a notification area a hidden window could not be brought back: iconify instead.
    if (tray_)
        hide();
    else
        showMinimized();
}

void MainWindow::restore() {
    showNormal();
    raise();
    activateWindow();
}

bool MainWindow::headerRowOnShownPage() const {
    int page = pages_->currentIndex();
    const ModuleControls* shown = nullptr;
    if (page == 1 && quickTabs_->currentIndex() == 1)
        shown = &modules_[static_cast<std::size_t>(Module::Quick)];
    else if (page >= 2 && page <= 4)
        shown = &modules_[static_cast<std::size_t>(page - 1)];
    // Only a cleared box on the page the user is on reads the first row as data.
    return !shown || shown->import.header->isChecked();
}

void MainWindow::dataReset() {
    workingDatabase_.deleteFiles();
    // Both dialogs offer every source kind again.
    openDialog_.setFilter(exchange::kFullFilter);
    saveDialog_.setFilter(exchange::kFullFilter);
    for (Module m : {Module::Quick, Module::Query, Module::Update, Module::Delete})
        resetModule(m, module(m));
}

}  // namespace qx::app
