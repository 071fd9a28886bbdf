// The Qt side of the control interfaces.
#include "app/controls/qt_controls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTextEdit>

namespace qx::app {

QString toQt(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string fromQt(const QString& s) {
    return s.toUtf8().toStdString();
}

QString qtFilter(const std::string& filter) {
    QStringList parts;
    for (const auto& [label, pattern] : ui::filterPairs(filter)) {
        QString patterns = toQt(pattern).replace(';', ' ');
        QString shown = toQt(label);
        // Qt takes the patterns from a label's closing brackets: a label that already ends
        // with them is shown as it is, not with them twice.
        if (!shown.endsWith("(" + patterns + ")")) shown += " (" + patterns + ")";
        parts << shown;
    }
    return parts.join(";;");
}

int QtListBox::count() const {
    return w_->count();
}
std::string QtListBox::item(int index) const {
    return fromQt(w_->item(index)->text());
}
void QtListBox::addItem(const std::string& text) {
    w_->addItem(toQt(text));
}
void QtListBox::removeItem(int index) {
    delete w_->takeItem(index);
}
void QtListBox::clear() {
    w_->clear();
}
// The selected item, not the current one: a list gives itself a current row when it takes the
// focus, which is no choice of the user's.
int QtListBox::selectedIndex() const {
    const QList<QListWidgetItem*> chosen = w_->selectedItems();
    return chosen.isEmpty() ? -1 : w_->row(chosen.first());
}
void QtListBox::setSelectedIndex(int index) {
    if (index >= 0 && index < count()) {
        w_->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    } else {
        w_->clearSelection();
        w_->setCurrentRow(-1);
    }
}

int QtComboBox::count() const {
    return w_->count();
}
std::string QtComboBox::item(int index) const {
    return fromQt(w_->itemText(index));
}
void QtComboBox::addItem(const std::string& text) {
    w_->addItem(toQt(text));
}
void QtComboBox::clear() {
    w_->clear();
}
int QtComboBox::currentIndex() const {
    return w_->currentIndex();
}
void QtComboBox::setCurrentIndex(int index) {
    w_->setCurrentIndex(index >= 0 && index < count() ? index : -1);
}
std::string QtComboBox::text() const {
    return fromQt(w_->currentText());
}
bool QtComboBox::isVisible() const {
    return !w_->isHidden();
}
void QtComboBox::setVisible(bool visible) {
    w_->setVisible(visible);
}

bool QtCheckBox::isChecked() const {
    return w_->isChecked();
}
void QtCheckBox::setChecked(bool checked) {
    w_->setChecked(checked);
}
bool QtCheckBox::isVisible() const {
    return !w_->isHidden();
}
void QtCheckBox::setVisible(bool visible) {
    w_->setVisible(visible);
}

bool QtButton::isEnabled() const {
    return w_->isEnabled();
}
void QtButton::setEnabled(bool enabled) {
    w_->setEnabled(enabled);
}

std::string QtEditBox::text() const {
    return fromQt(w_->text());
}
void QtEditBox::setText(const std::string& text) {
    w_->setText(toQt(text));
}
bool QtEditBox::isVisible() const {
    return !w_->isHidden();
}
void QtEditBox::setVisible(bool visible) {
    w_->setVisible(visible);
}

std::string QtTextBox::text() const {
    return fromQt(w_->toPlainText());
}
void QtTextBox::setText(const std::string& text) {
    w_->setPlainText(toQt(text));
}
bool QtTextBox::isVisible() const {
    return !w_->isHidden();
}
void QtTextBox::setVisible(bool visible) {
    w_->setVisible(visible);
}

bool QtLabel::isVisible() const {
    return !w_->isHidden();
}
void QtLabel::setVisible(bool visible) {
    w_->setVisible(visible);
}

bool QtFileDialog::show(bool save) {
    std::optional<std::string> answer;
    if (preset_) {
        answer = std::move(preset_);
        preset_.reset();
    } else if (script_) {
        answer = script_(save, title_, filter_);
    } else {
        QString start = fileName_.empty() ? QString() : toQt(fileName_);
        QString chosen =
            save ? QFileDialog::getSaveFileName(parent_, toQt(title_), start, qtFilter(filter_))
                 : QFileDialog::getOpenFileName(parent_, toQt(title_), start, qtFilter(filter_));
        if (!chosen.isEmpty()) answer = fromQt(chosen);
    }
    if (!answer) return false;
    fileName_ = *answer;
    return true;
}

void QtMessageBox::show(const std::string& text) {
    if (script_) return script_(text);
    QMessageBox box(parent_);
    box.setWindowTitle(QString());
    box.setText(toQt(text));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

std::string QtClipboard::text() const {
    return fromQt(QGuiApplication::clipboard()->text());
}
void QtClipboard::setText(const std::string& text) {
    QGuiApplication::clipboard()->setText(toQt(text));
}

}  // namespace qx::app
