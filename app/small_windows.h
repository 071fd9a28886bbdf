// The busy and progress notices and the five column dialogs (layout; their behaviour comes with
// the operations).
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "platform/ui/controls.h"
#include "platform/work/progress.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qx::app {

class ProgressWindow;

// "系统正在处理中…": modeless, drawn at once when shown; below its two labels what is being
// done and how far it has come, and "取消". From show() to close() it stands for one step.
class BusyWindow : public QWidget, public ui::BusyNotice {
  public:
    explicit BusyWindow(QWidget* parent = nullptr);
    ~BusyWindow() override;
    void show() override;
    void close() override;
    void pause() override { QWidget::hide(); }
    void resume() override;
    bool cancelled() const override { return progress_ && progress_->cancelled(); }

    // Runs `work` on a thread of its own while this thread keeps answering: the windows paint,
    // move and minimise, the progress is shown a few times a second, and all other input to
    // the program is held back until the work is done ("取消" and Esc stop it). `shownElsewhere`:
    // the progress window shows the work, so this notice stays out of sight.
    void runWork(const std::function<void()>& work, ProgressWindow* shownElsewhere);
    // Input to `passes` goes through while work runs (the title bar: moving, minimising).
    void setPassThrough(std::function<bool(QObject*)> passes) { passes_ = std::move(passes); }
    void cancel();
    QString statusText() const;
    QPushButton* cancelButton() const { return cancel_; }
    // Called after every refresh of the progress text while work runs (tests look on).
    std::function<void()> onRefresh;
    // Called with the progress of each piece of work as the notice comes up for it, before the
    // work starts (tests stop the work at a chosen point with its onReport).
    std::function<void(work::Progress&)> onBegin;

  private:
    void refresh();
    bool eventFilter(QObject* watched, QEvent* event) override;

    QLabel* status_;
    QPushButton* cancel_;
    QTimer* timer_;
    std::unique_ptr<work::Progress> progress_;
    work::Progress* previous_ = nullptr;
    bool active_ = false;
    QElapsedTimer elapsed_;
    std::function<bool(QObject*)> passes_;
    ProgressWindow* shownElsewhere_ = nullptr;
};

// The similar-rows progress: the bar and the percentage. The percentage may be set from the
// working thread; the window's own thread draws it.
class ProgressWindow : public QWidget, public ui::ProgressNotice {
  public:
    explicit ProgressWindow(QWidget* parent = nullptr);
    void show() override;
    void setPercent(int percent) override;
    void close() override { QWidget::hide(); }
    QString percentText() const;
    void refresh();

  private:
    QLabel* percent_;
    QProgressBar* bar_;
    std::atomic<int> pending_{0};
};

enum class ColumnDialogKind { MergeCount, MergeSum, DedupByColumn, LengthFilter, RepeatFilter };

// One of the five modal column dialogs.
class ColumnDialog : public QDialog {
  public:
    ColumnDialog(ColumnDialogKind kind, QWidget* parent = nullptr);
    QListWidget* list() const { return list_; }
    QListWidget* secondList() const { return second_; }  // the summed column (MergeSum)
    QComboBox* condition() const { return condition_; }  // LengthFilter, RepeatFilter
    QLineEdit* value() const { return value_; }
    QPushButton* okButton() const { return ok_; }

  private:
    QListWidget* list_ = nullptr;
    QListWidget* second_ = nullptr;
    QComboBox* condition_ = nullptr;
    QLineEdit* value_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace qx::app
