// Navigation buttons drawn in code.
#include "app/nav_button.h"

#include <QPainter>
#include <QPainterPath>

namespace qx::app {

NavButton::NavButton(const QString& word, QWidget* parent) : QAbstractButton(parent) {
    setText(word);
    setFixedSize(80, 80);
    setCursor(Qt::PointingHandCursor);
}

void NavButton::setSelected(bool selected) {
    selected_ = selected;
    update();
}

void NavButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF box = rect().adjusted(4, 4, -4, -4);
    QColor fill = selected_ ? QColor(0x2f, 0x6f, 0xb3)
                            : (underMouse() ? QColor(0xe4, 0xee, 0xf8) : QColor(0xf4, 0xf6, 0xf9));
    QColor ink = selected_ ? Qt::white : QColor(0x2f, 0x4f, 0x6f);
    p.setPen(QPen(QColor(0x9c, 0xb4, 0xcc), 1));
    p.setBrush(fill);
    p.drawRoundedRect(box, 10, 10);
    // A small table symbol above the word.
    QRectF sheet(box.center().x() - 14, box.top() + 10, 28, 22);
    p.setPen(QPen(ink, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(sheet);
    p.drawLine(QPointF(sheet.left(), sheet.top() + 7), QPointF(sheet.right(), sheet.top() + 7));
    p.drawLine(QPointF(sheet.left() + 9, sheet.top()), QPointF(sheet.left() + 9, sheet.bottom()));
    p.setPen(ink);
    p.drawText(QRectF(box.left(), box.top() + 38, box.width(), 26), Qt::AlignCenter, text());
}

}  // namespace qx::app
