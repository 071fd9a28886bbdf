// The two-circle picture under a set operation's button: which part of A and B it takes.
#pragma once

#include <QWidget>

namespace qx::app {

class SetDiagram : public QWidget {
  public:
    enum class Part { Common, OnlyA, OnlyB, Both, Similar };
    SetDiagram(Part part, const QString& a, const QString& b, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {84, 40}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Part part_;
    QString a_, b_;
};

}  // namespace qx::app
