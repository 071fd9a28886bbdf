// A navigation picture button: a neutral picture drawn in code with the button's word, in a
// plain and a selected look.
#pragma once

#include <QAbstractButton>

namespace qx::app {

class NavButton : public QAbstractButton {
    Q_OBJECT

  public:
    NavButton(const QString& word, QWidget* parent = nullptr);
    void setSelected(bool selected);
    bool isSelected() const { return selected_; }
    QSize sizeHint() const override { return {80, 80}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool selected_ = false;
};

}  // namespace qx::app
