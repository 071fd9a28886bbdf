// The controls the operations touch, without Qt: the program passes Qt-backed ones, tests pass
// the in-memory ones of memory_controls.h. Texts are UTF-8.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qx::ui {

class ListBox {
  public:
    virtual ~ListBox() = default;
    virtual int count() const = 0;
    virtual std::string item(int index) const = 0;
    virtual void addItem(const std::string& text) = 0;
    virtual void removeItem(int index) = 0;
    virtual void clear() = 0;
    virtual int selectedIndex() const = 0;  // -1: none
    virtual void setSelectedIndex(int index) = 0;
    std::string selectedText() const {
        int i = selectedIndex();
        return i >= 0 && i < count() ? item(i) : std::string();
    }
};

class ComboBox {
  public:
    virtual ~ComboBox() = default;
    virtual int count() const = 0;
    virtual std::string item(int index) const = 0;
    virtual void addItem(const std::string& text) = 0;
    virtual void clear() = 0;
    virtual int currentIndex() const = 0;  // -1: nothing picked
    virtual void setCurrentIndex(int index) = 0;
    virtual std::string text() const = 0;  // what the box shows
    virtual bool isVisible() const = 0;
    virtual void setVisible(bool visible) = 0;
};

class CheckBox {
  public:
    virtual ~CheckBox() = default;
    virtual bool isChecked() const = 0;
    virtual void setChecked(bool checked) = 0;
    virtual bool isVisible() const = 0;
    virtual void setVisible(bool visible) = 0;
};

// A caption that is only shown or hidden (the labels beside the import options).
class Label {
  public:
    virtual ~Label() = default;
    virtual bool isVisible() const = 0;
    virtual void setVisible(bool visible) = 0;
};

class Button {
  public:
    virtual ~Button() = default;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

class EditBox {
  public:
    virtual ~EditBox() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
    virtual bool isVisible() const = 0;
    virtual void setVisible(bool visible) = 0;
};

// The grid: text cells by row and column from 0, row 0 the header.
class Grid {
  public:
    // Raised before a cell is edited; setting `cancel` refuses the edit.
    using BeforeEdit = std::function<void(int row, int col, bool& cancel)>;

    virtual ~Grid() = default;
    virtual int rows() const = 0;
    virtual void setRows(int rows) = 0;  // keeps the cells of the rows that stay
    virtual int cols() const = 0;
    virtual void setCols(int cols) = 0;
    virtual int row() const = 0;  // the current cell
    virtual int col() const = 0;
    virtual std::string text(int row, int col) const = 0;
    virtual void setText(int row, int col, const std::string& text) = 0;
    virtual int colWidth(int col) const = 0;  // twips
    virtual void setColWidth(int col, int twips) = 0;
    // "a|b|c" picks from a list; "|a|b" also lets the user type.
    virtual std::string colComboList(int col) const = 0;
    virtual void setColComboList(int col, const std::string& list) = 0;
    virtual void clearScrollable() = 0;  // every data cell emptied, the header kept
    virtual void setBeforeEdit(BeforeEdit handler) = 0;
};

// The open and save dialogs: a filter in the "label|pattern|label|pattern" form, a title, and
// the file last chosen.
class FileDialog {
  public:
    virtual ~FileDialog() = default;
    virtual std::string filter() const = 0;
    virtual void setFilter(const std::string& filter) = 0;
    virtual std::string title() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual std::string fileName() const = 0;
    virtual void setFileName(const std::string& name) = 0;
    // Shows the dialog; false when the user cancels (the file name then stays as it was).
    virtual bool showOpen() = 0;
    virtual bool showSave() = 0;
};

// A modal message with an OK button only and no title.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    virtual void show(const std::string& text) = 0;
};

// The modeless busy notice and the progress notice of long work. From show() to close() the
// notice stands for one step of work: the engine reports to it, and the user may cancel it.
class BusyNotice {
  public:
    virtual ~BusyNotice() = default;
    virtual void show() = 0;
    virtual void close() = 0;
    // Out of sight for a while, the step going on (the progress window takes its place).
    virtual void pause() { close(); }
    virtual void resume() { show(); }
    // Whether the user cancelled the step (still known after close()).
    virtual bool cancelled() const { return false; }
};

class ProgressNotice {
  public:
    virtual ~ProgressNotice() = default;
    virtual void show() = 0;
    // Any thread: the work may run away from the window's thread.
    virtual void setPercent(int percent) = 0;
    virtual void close() = 0;
};

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
};

// "label|pattern|…" as the dialogs take it, to pairs of label and pattern. A trailing "|"
// (the result filters end with one) adds nothing.
std::vector<std::pair<std::string, std::string>> filterPairs(const std::string& filter);

}  // namespace qx::ui
