// The main window's own title bar: icon, title, minimise and close; dragging it moves the window.
#pragma once

#include <QWidget>

class QPushButton;

namespace qx::app {

class TitleBar : public QWidget {
  public:
    explicit TitleBar(const QString& title, QWidget* parent = nullptr);
    QPushButton* minimiseButton() const { return minimise_; }
    QPushButton* closeButton() const { return close_; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QPushButton* minimise_;
    QPushButton* close_;
    QPoint grab_;
    bool dragging_ = false;
};

// The program's icon, drawn in code.
QIcon programIcon();

}  // namespace qx::app
