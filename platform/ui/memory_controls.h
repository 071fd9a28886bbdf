// In-memory controls for tests and the command line: they hold what a window would show, and
// the dialogs take their answers from queues filled beforehand.
#pragma once

#include <cassert>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/work/progress.h"

namespace qx::ui {

// Items and the one chosen among them, as list boxes and combo boxes hold them.
template <typename Base>
class MemoryItemList : public Base {
  public:
    int count() const override { return static_cast<int>(items_.size()); }
    std::string item(int index) const override {
        assert(index >= 0 && index < count());
        return items_[static_cast<std::size_t>(index)];
    }
    void addItem(const std::string& text) override { items_.push_back(text); }
    void clear() override {
        items_.clear();
        chosen_ = -1;
    }
    const std::vector<std::string>& items() const { return items_; }

  protected:
    void choose(int index) { chosen_ = index >= 0 && index < count() ? index : -1; }
    std::vector<std::string> items_;
    int chosen_ = -1;
};

class MemoryListBox : public MemoryItemList<ListBox> {
  public:
    int selectedIndex() const override { return chosen_; }
    void setSelectedIndex(int index) override { choose(index); }
    void removeItem(int index) override {
        assert(index >= 0 && index < count());
        items_.erase(items_.begin() + index);
        if (chosen_ == index)
            chosen_ = -1;
        else if (chosen_ > index)
            --chosen_;
    }
};

class MemoryComboBox : public MemoryItemList<ComboBox> {
  public:
    int currentIndex() const override { return chosen_; }
    void setCurrentIndex(int index) override { choose(index); }
    std::string text() const override {
        return chosen_ >= 0 ? items_[static_cast<std::size_t>(chosen_)] : "";
    }
    bool isVisible() const override { return visible_; }
    void setVisible(bool visible) override { visible_ = visible; }

  private:
    bool visible_ = true;
};

class MemoryCheckBox : public CheckBox {
  public:
    bool isChecked() const override { return checked_; }
    void setChecked(bool checked) override { checked_ = checked; }
    bool isVisible() const override { return visible_; }
    void setVisible(bool visible) override { visible_ = visible; }

  private:
    bool checked_ = false;
    bool visible_ = true;
};

class MemoryLabel : public Label {
  public:
    bool isVisible() const override { return visible_; }
    void setVisible(bool visible) override { visible_ = visible; }

  private:
    bool visible_ = true;
};

class MemoryButton : public Button {
  public:
    explicit MemoryButton(bool enabled = true) : enabled_(enabled) {}
    bool isEnabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }

  private:
    bool enabled_;
};

class MemoryEditBox : public EditBox {
  public:
    std::string text() const override { return text_; }
    void setText(const std::string& text) override { text_ = text; }
    bool isVisible() const override { return visible_; }
    void setVisible(bool visible) override { visible_ = visible; }

  private:
    std::string text_;
    bool visible_ = true;
};

class MemoryGrid : public Grid {
  public:
    MemoryGrid(int rows = 2, int cols = 2) { resize(rows, cols); }

    int rows() const override { return rows_; }
    void setRows(int rows) override { resize(rows, cols_); }
    int cols() const override { return cols_; }
    void setCols(int cols) override { resize(rows_, cols); }
    // Until a cell is clicked, the current cell is the first data cell, as in the window's grid.
    int row() const override { return row_ >= 0 ? row_ : (rows_ > 1 ? 1 : 0); }
    int col() const override { return col_ >= 0 ? col_ : 0; }
    std::string text(int row, int col) const override { return cells_[index(row, col)]; }
    void setText(int row, int col, const std::string& text) override {
        cells_[index(row, col)] = text;
    }
    int colWidth(int col) const override {
        return widths_[static_cast<std::size_t>(checkCol(col))];
    }
    void setColWidth(int col, int twips) override {
        widths_[static_cast<std::size_t>(checkCol(col))] = twips;
    }
    std::string colComboList(int col) const override {
        return combos_[static_cast<std::size_t>(checkCol(col))];
    }
    void setColComboList(int col, const std::string& list) override {
        combos_[static_cast<std::size_t>(checkCol(col))] = list;
    }
    void clearScrollable() override {
        for (int r = 1; r < rows_; ++r)
            for (int c = 0; c < cols_; ++c) cells_[index(r, c)].clear();
    }
    void setBeforeEdit(BeforeEdit handler) override { beforeEdit_ = std::move(handler); }

    // What a person does: click a cell (it becomes current), or start editing it (the
    // before-edit event decides; a committed text replaces the cell's). Returns false when
    // the edit was refused.
    void click(int row, int col) {
        index(row, col);
        row_ = row;
        col_ = col;
    }
    bool edit(int row, int col, const std::optional<std::string>& typed = std::nullopt) {
        click(row, col);
        bool cancel = false;
        if (beforeEdit_) beforeEdit_(row, col, cancel);
        if (cancel) return false;
        if (typed) setText(row, col, *typed);
        return true;
    }

  private:
    std::size_t index(int row, int col) const {
        assert(row >= 0 && row < rows_ && col >= 0 && col < cols_);
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) +
               static_cast<std::size_t>(col);
    }
    int checkCol(int col) const {
        assert(col >= 0 && col < cols_);
        return col;
    }
    void resize(int rows, int cols) {
        rows = rows < 0 ? 0 : rows;
        cols = cols < 0 ? 0 : cols;
        std::vector<std::string> cells(static_cast<std::size_t>(rows) *
                                       static_cast<std::size_t>(cols));
        for (int r = 0; r < rows && r < rows_; ++r)
            for (int c = 0; c < cols && c < cols_; ++c)
                cells[static_cast<std::size_t>(r * cols + c)] = cells_[index(r, c)];
        cells_ = std::move(cells);
        widths_.resize(static_cast<std::size_t>(cols), 1000);
        combos_.resize(static_cast<std::size_t>(cols));
        rows_ = rows;
        cols_ = cols;
        // Removing the current row or column makes the one before it current.
        if (row_ >= rows_) row_ = rows_ - 1;
        if (col_ >= cols_) col_ = cols_ - 1;
    }

    int rows_ = 0, cols_ = 0, row_ = -1, col_ = -1;
    std::vector<std::string> cells_, combos_;
    std::vector<int> widths_;
    BeforeEdit beforeEdit_;
};

// Answers come from a queue: a path to choose, or nullopt to cancel. A dialog shown with no
// answer queued is a fault of the test.
class MemoryFileDialog : public FileDialog {
  public:
    std::string filter() const override { return filter_; }
    void setFilter(const std::string& filter) override { filter_ = filter; }
    std::string title() const override { return title_; }
    void setTitle(const std::string& title) override { title_ = title; }
    std::string fileName() const override { return fileName_; }
    void setFileName(const std::string& name) override { fileName_ = name; }
    bool showOpen() override { return answer(); }
    bool showSave() override { return answer(); }

    void queue(std::optional<std::string> answer) { answers_.push_back(std::move(answer)); }
    bool unanswered() const { return unanswered_; }
    std::size_t pending() const { return answers_.size(); }
    int shown() const { return shown_; }

  private:
    bool answer() {
        ++shown_;
        if (answers_.empty()) {
            unanswered_ = true;
            return false;
        }
        auto a = answers_.front();
        answers_.pop_front();
        if (!a) return false;
        fileName_ = *a;
        return true;
    }
    std::string filter_, title_, fileName_;
    std::deque<std::optional<std::string>> answers_;
    bool unanswered_ = false;
    int shown_ = 0;
};

class MemoryMessageBox : public MessageBox {
  public:
    void show(const std::string& text) override { shown_.push_back(text); }
    const std::vector<std::string>& shown() const { return shown_; }
    void clear() { shown_.clear(); }

  private:
    std::vector<std::string> shown_;
};

// The work runs where it is called; the step's progress is the current one of this thread
// while the notice is shown, so that a test (or a signal) can cancel it.
class MemoryBusyNotice : public BusyNotice {
  public:
    void show() override {
        if (!visible_) {
            progress_ = std::make_unique<work::Progress>();
            progress_->onReport = onReport;
            previous_ = work::setCurrent(progress_.get());
        }
        visible_ = true;
        ++shows_;
    }
    void close() override {
        if (visible_ && onClose) onClose();
        if (visible_) work::setCurrent(previous_);
        visible_ = false;
    }
    void pause() override {}
    void resume() override {}
    bool cancelled() const override {
        return work::stopRequested() || (progress_ && progress_->cancelled());
    }
    // Called on each report of the step's progress (on the working thread), for a test to
    // cancel at a chosen point.
    std::function<void(work::Progress&)> onReport;
    // Called as a shown notice closes, for a test to see how far the work had come.
    std::function<void()> onClose;
    bool isVisible() const { return visible_; }
    int shows() const { return shows_; }

  private:
    bool visible_ = false;
    int shows_ = 0;
    std::unique_ptr<work::Progress> progress_;
    work::Progress* previous_ = nullptr;
};

class MemoryProgressNotice : public ProgressNotice {
  public:
    void show() override { visible_ = true; }
    // Where the window would let pending events run, a test may look at the work so far.
    void setPercent(int percent) override {
        percents_.push_back(percent);
        if (onPercent) onPercent(percent);
    }
    std::function<void(int)> onPercent;
    void close() override { visible_ = false; }
    bool isVisible() const { return visible_; }
    const std::vector<int>& percents() const { return percents_; }

  private:
    bool visible_ = false;
    std::vector<int> percents_;
};

class MemoryClipboard : public Clipboard {
  public:
    std::string text() const override { return text_; }
    void setText(const std::string& text) override { text_ = text; }

  private:
    std::string text_;
};

}  // namespace qx::ui
