// Two circles, the part taken filled.
#include "app/set_diagram.h"

#include <QPainter>
#include <QPainterPath>

namespace qx::app {

SetDiagram::SetDiagram(Part part, const QString& a, const QString& b, QWidget* parent)
    : QWidget(parent), part_(part), a_(a), b_(b) {
    setMinimumSize(84, 40);
}

void SetDiagram::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    qreal r = std::min(height() / 2.0 - 2, width() / 4.0);
    QPointF c(width() / 2.0, height() / 2.0);
    QRectF left(c.x() - 1.6 * r, c.y() - r, 2 * r, 2 * r),
        right(c.x() - 0.4 * r, c.y() - r, 2 * r, 2 * r);
    QPainterPath pa, pb;
    pa.addEllipse(left);
    pb.addEllipse(right);
    QPainterPath taken;
    switch (part_) {
        case Part::Common:
            taken = pa.intersected(pb);
            break;
        case Part::OnlyA:
            taken = pa.subtracted(pb);
            break;
        case Part::OnlyB:
            taken = pb.subtracted(pa);
            break;
        case Part::Both:
            taken = pa.united(pb);
            break;
        case Part::Similar:
            taken = pa.intersected(pb);
            break;
    }
    p.fillPath(taken, part_ == Part::Similar ? QColor(0x9c, 0xc3, 0xe6) : QColor(0x4f, 0x81, 0xbd));
    p.setPen(
        QPen(QColor(0x2f, 0x4f, 0x6f), 1.2, part_ == Part::Similar ? Qt::DashLine : Qt::SolidLine));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(left);
    p.drawEllipse(right);
    p.setPen(QColor(0x2f, 0x4f, 0x6f));
    p.drawText(QRectF(left.left(), left.top(), r, 2 * r), Qt::AlignCenter, a_);
    p.drawText(QRectF(right.right() - r, right.top(), r, 2 * r), Qt::AlignCenter, b_);
}

}  // namespace qx::app
