// The control interfaces of platform/ui over Qt widgets. The dialogs and message boxes can be
// answered by a script (the scenario runner) instead of a person.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "platform/ui/controls.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTextEdit;
class QListWidget;
class QWidget;

namespace qx::app {

QString toQt(const std::string& s);
std::string fromQt(const QString& s);
// "label|pattern|…" to Qt's "label (pattern);;…" form; a label that ends with its pattern in
// brackets, as "CSV文档(逗号分隔符)(*.csv)", stays as it is.
QString qtFilter(const std::string& filter);

class QtListBox : public ui::ListBox {
  public:
    explicit QtListBox(QListWidget* w) : w_(w) {}
    int count() const override;
    std::string item(int index) const override;
    void addItem(const std::string& text) override;
    void removeItem(int index) override;
    void clear() override;
    int selectedIndex() const override;
    void setSelectedIndex(int index) override;

  private:
    QListWidget* w_;
};

class QtComboBox : public ui::ComboBox {
  public:
    explicit QtComboBox(QComboBox* w) : w_(w) {}
    int count() const override;
    std::string item(int index) const override;
    void addItem(const std::string& text) override;
    void clear() override;
    int currentIndex() const override;
    void setCurrentIndex(int index) override;
    std::string text() const override;
    bool isVisible() const override;
    void setVisible(bool visible) override;

  private:
    QComboBox* w_;
};

class QtCheckBox : public ui::CheckBox {
  public:
    explicit QtCheckBox(QCheckBox* w) : w_(w) {}
    bool isChecked() const override;
    void setChecked(bool checked) override;
    bool isVisible() const override;
    void setVisible(bool visible) override;

  private:
    QCheckBox* w_;
};

class QtLabel : public ui::Label {
  public:
    explicit QtLabel(QWidget* w) : w_(w) {}
    bool isVisible() const override;
    void setVisible(bool visible) override;

  private:
    QWidget* w_;
};

class QtButton : public ui::Button {
  public:
    explicit QtButton(QAbstractButton* w) : w_(w) {}
    bool isEnabled() const override;
    void setEnabled(bool enabled) override;

  private:
    QAbstractButton* w_;
};

class QtEditBox : public ui::EditBox {
  public:
    explicit QtEditBox(QLineEdit* w) : w_(w) {}
    std::string text() const override;
    void setText(const std::string& text) override;
    bool isVisible() const override;
    void setVisible(bool visible) override;

  private:
    QLineEdit* w_;
};

// A multi-line box (the help box of the condition builder) as an edit box.
class QtTextBox : public ui::EditBox {
  public:
    explicit QtTextBox(QTextEdit* w) : w_(w) {}
    std::string text() const override;
    void setText(const std::string& text) override;
    bool isVisible() const override;
    void setVisible(bool visible) override;

  private:
    QTextEdit* w_;
};

// A script's answer to a file dialog: a path, or nullopt for a cancel.
using DialogScript = std::function<std::optional<std::string>(bool save, const std::string& title,
                                                              const std::string& filter)>;

class QtFileDialog : public ui::FileDialog {
  public:
    explicit QtFileDialog(QWidget* parent) : parent_(parent) {}
    std::string filter() const override { return filter_; }
    void setFilter(const std::string& filter) override { filter_ = filter; }
    std::string title() const override { return title_; }
    void setTitle(const std::string& title) override { title_ = title; }
    std::string fileName() const override { return fileName_; }
    void setFileName(const std::string& name) override { fileName_ = name; }
    bool showOpen() override { return show(false); }
    bool showSave() override { return show(true); }
    void setScript(DialogScript script) { script_ = std::move(script); }
    // The answer of the next showing, given without showing anything: a file opened from
    // outside the dialog (the command line, a drop) goes the dialog's own way from there.
    void presetAnswer(std::string path) { preset_ = std::move(path); }

  private:
    bool show(bool save);
    QWidget* parent_;
    std::string filter_, title_, fileName_;
    DialogScript script_;
    std::optional<std::string> preset_;
};

// A message with OK only and no title; a script, when set, records it instead.
class QtMessageBox : public ui::MessageBox {
  public:
    explicit QtMessageBox(QWidget* parent) : parent_(parent) {}
    void show(const std::string& text) override;
    void setScript(std::function<void(const std::string&)> script) { script_ = std::move(script); }

  private:
    QWidget* parent_;
    std::function<void(const std::string&)> script_;
};

class QtClipboard : public ui::Clipboard {
  public:
    std::string text() const override;
    void setText(const std::string& text) override;
};

}  // namespace qx::app
