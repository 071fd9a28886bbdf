// The busy and progress notices and the five column dialogs (layout; their behaviour comes with
// the operations).
#pragma once

#include <QDialog>
#include <QWidget>

#include "platform/ui/controls.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace qx::app {

// "系统正在处理中…": modeless, drawn at once when shown.
class BusyWindow : public QWidget, public ui::BusyNotice {
  public:
    explicit BusyWindow(QWidget* parent = nullptr);
    void show() override;
    void close() override { QWidget::hide(); }
};

// The similar-rows progress: the bar and the percentage; setPercent lets pending events run.
class ProgressWindow : public QWidget, public ui::ProgressNotice {
  public:
    explicit ProgressWindow(QWidget* parent = nullptr);
    void show() override;
    void setPercent(int percent) override;
    void close() override { QWidget::hide(); }
    QString percentText() const;

  private:
    QLabel* percent_;
    QProgressBar* bar_;
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
