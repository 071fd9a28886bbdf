// The small windows.
#include "app/small_windows.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <thread>

namespace qx::app {

namespace {

QString s(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QLabel* labelFor(QWidget* parent, const char* caption, QWidget* buddy) {
    auto* l = new QLabel(s(caption), parent);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

BusyWindow::BusyWindow(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint) {
    setFixedSize(269, 170);
    setStyleSheet("BusyWindow { border: 1px solid #6f8fb0; background: white; }");
    auto* v = new QVBoxLayout(this);
    auto* busy = new QLabel(s("系统正在处理中…"), this);
    QFont f = busy->font();
    f.setPointSize(f.pointSize() + 4);
    busy->setFont(f);
    v->addWidget(busy, 0, Qt::AlignCenter);
    v->addWidget(new QLabel(s("请耐心等待，时间长短取决于数据量"), this), 0, Qt::AlignCenter);
    status_ = new QLabel(this);
    status_->setObjectName("busyStatus");
    v->addWidget(status_, 0, Qt::AlignCenter);
    cancel_ = new QPushButton(s("取消"), this);
    v->addWidget(cancel_, 0, Qt::AlignCenter);
    connect(cancel_, &QPushButton::clicked, this, [this] { cancel(); });
    timer_ = new QTimer(this);
    timer_->setInterval(200);
    connect(timer_, &QTimer::timeout, this, [this] { refresh(); });
}

BusyWindow::~BusyWindow() {
    if (active_) work::setCurrent(previous_);
}

void BusyWindow::show() {
    if (!active_) {
        progress_ = std::make_unique<work::Progress>();
        previous_ = work::setCurrent(progress_.get());
        active_ = true;
        elapsed_.start();
        status_->clear();
        cancel_->setEnabled(true);
        if (onBegin) onBegin(*progress_);
    }
    QWidget::show();
    raise();
    repaint();
}

void BusyWindow::resume() {
    QWidget::show();
    raise();
}

void BusyWindow::close() {
    QWidget::hide();
    if (active_) work::setCurrent(previous_);
    active_ = false;
}

void BusyWindow::cancel() {
    if (!progress_ || progress_->cancelled()) return;
    progress_->cancel();
    cancel_->setEnabled(false);
    status_->setText(s("正在取消…"));
}

QString BusyWindow::statusText() const {
    return status_->text();
}

void BusyWindow::refresh() {
    if (progress_ && !progress_->cancelled())
        status_->setText(QString::fromStdString(work::describe(
            progress_->snapshot(), elapsed_.isValid() ? elapsed_.elapsed() / 1000 : 0)));
    if (shownElsewhere_) shownElsewhere_->refresh();
    if (onRefresh) onRefresh();
}

void BusyWindow::runWork(const std::function<void()>& work, ProgressWindow* shownElsewhere) {
    // A step outside any routine that shows the notice (an index made before an operation)
    // shows it for its own time.
    bool own = !active_;
    if (own && !shownElsewhere) show();
    std::unique_ptr<work::Progress> spare;
    work::Progress* progress = work::current();
    if (!progress) {
        spare = std::make_unique<work::Progress>();
        progress = spare.get();
    }
    shownElsewhere_ = shownElsewhere;
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&] {
        work::Scope scope(progress);
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    qApp->installEventFilter(this);
    timer_->start();
    loop.exec();
    worker.join();
    timer_->stop();
    qApp->removeEventFilter(this);
    refresh();
    shownElsewhere_ = nullptr;
    if (own && !shownElsewhere) close();
    if (failure) std::rethrow_exception(failure);
}

bool BusyWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) cancel();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && (w->window() == this || (passes_ && passes_(watched)))) return false;
            return true;
        }
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::Close:
            // Nothing may start, navigate, reset or close underneath the work.
            return watched->isWidgetType();
        default:
            return false;
    }
}

ProgressWindow::ProgressWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint) {
    setFixedSize(477, 94);
    auto* g = new QGridLayout(this);
    percent_ = new QLabel(s("0%"), this);
    auto* total = new QLabel(s("总进度：1/1"), this);
    QFont hei = total->font();
    hei.setFamilies({s("黑体"), s("SimHei"), s("Noto Sans CJK SC")});
    total->setFont(hei);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    bar_->setFixedSize(438, 24);
    g->addWidget(new QLabel(s("当前数据库进度："), this), 0, 0);
    g->addWidget(percent_, 0, 1);
    g->addWidget(total, 0, 2, Qt::AlignRight);
    g->addWidget(bar_, 1, 0, 1, 3, Qt::AlignCenter);
}

void ProgressWindow::show() {
    pending_ = 0;
    percent_->setText(s("0%"));
    bar_->setValue(0);
    QWidget::show();
    raise();
    repaint();
}

void ProgressWindow::setPercent(int percent) {
    pending_ = percent;
    if (QThread::currentThread() == thread()) refresh();
}

void ProgressWindow::refresh() {
    int percent = pending_;
    if (bar_->value() == percent && percent_->text() == QString::number(percent) + "%") return;
    bar_->setValue(percent);
    percent_->setText(QString::number(percent) + "%");
}

QString ProgressWindow::percentText() const {
    return percent_->text();
}

ColumnDialog::ColumnDialog(ColumnDialogKind kind, QWidget* parent) : QDialog(parent) {
    setModal(true);
    auto* g = new QGridLayout(this);
    g->setSizeConstraint(QLayout::SetMinimumSize);  // the laid-out size, grown where text needs it
    list_ = new QListWidget(this);
    ok_ = new QPushButton(s("确定"), this);
    auto conditionBox = [&] {
        condition_ = new QComboBox(this);
        condition_->addItems({">", "<", "=", ">=", "<="});
        condition_->setCurrentIndex(-1);  // nothing picked until the user picks
        value_ = new QLineEdit(this);
    };
    switch (kind) {
        case ColumnDialogKind::MergeCount:
            setWindowTitle(s("分类汇总，统计笔数"));
            resize(183, 269);
            g->addWidget(labelFor(this, "请指定要合并相同行的列", list_), 0, 0);
            g->addWidget(list_, 1, 0);
            g->addWidget(ok_, 2, 0);
            break;
        case ColumnDialogKind::MergeSum:
            setWindowTitle(s("分类汇总"));
            resize(292, 255);
            second_ = new QListWidget(this);
            g->addWidget(labelFor(this, "请指定要合并相同行的列", list_), 0, 0);
            g->addWidget(labelFor(this, "请指定要相加的列", second_), 0, 1);
            g->addWidget(list_, 1, 0);
            g->addWidget(second_, 1, 1);
            g->addWidget(ok_, 2, 0, 1, 2);
            break;
        case ColumnDialogKind::DedupByColumn:
            setWindowTitle(s("删除指定列重复，保留首条"));
            resize(229, 282);
            g->addWidget(labelFor(this, "请选择你指定的列", list_), 0, 0);
            g->addWidget(list_, 1, 0);
            g->addWidget(ok_, 2, 0);
            break;
        case ColumnDialogKind::LengthFilter:
        case ColumnDialogKind::RepeatFilter: {
            bool length = kind == ColumnDialogKind::LengthFilter;
            setWindowTitle(s(length ? "设置指定列长度条件" : "设置某列重复指定条件次数窗口"));
            resize(length ? 277 : 434, length ? 254 : 244);
            conditionBox();
            g->addWidget(
                labelFor(this, length ? "1.选中要指定条件的列" : "1.选中要指定重复条件的列", list_),
                0, 0);
            g->addWidget(list_, 1, 0, 4, 1);
            g->addWidget(
                labelFor(this, length ? "2.选择需要的条件" : "2.选择重复的条件", condition_), 0, 1);
            g->addWidget(condition_, 1, 1);
            g->addWidget(
                labelFor(this, length ? "3.输入字符长度（如5）" : "3.输入相同内容的条数（如1）",
                         value_),
                2, 1);
            g->addWidget(value_, 3, 1);
            auto* note = new QLabel(
                s(length ? "1个汉字长度也是1\r\n\r\n1个符号长度也是1\r\n\r\n1个字母长度也是1"
                         : "\r\n    说明：如果设置条件为 "
                           "=1，则相同条数为1，代表选出的是不重复的数据\r\n\r\n"
                           "    >1则是选重复的数据\r\n\r\n    "
                           "=2则是选有相同2条数据的记录，即重复1次\r\n\r\n    以此类推"),
                this);
            note->setWordWrap(true);
            note->setMinimumHeight(note->heightForWidth(length ? 120 : 250));  // wrapped, never cut
            g->addWidget(note, 4, 1);
            g->addWidget(ok_, 5, 0, 1, 2);
            break;
        }
    }
}

}  // namespace qx::app
