// The title bar.
#include "app/title_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace qx::app {

QIcon programIcon() {
    QPixmap pix(64, 64);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x2f, 0x6f, 0xb3));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(4, 4, 56, 56, 12, 12);
    p.setPen(QPen(Qt::white, 4));
    p.drawRect(16, 18, 32, 28);
    p.drawLine(16, 28, 48, 28);
    p.drawLine(28, 18, 28, 46);
    return QIcon(pix);
}

TitleBar::TitleBar(const QString& title, QWidget* parent) : QWidget(parent) {
    setFixedHeight(24);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 0, 0);
    layout->setSpacing(8);
    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon().pixmap(20, 20));
    auto* label = new QLabel(title, this);
    label->setStyleSheet("color: white;");
    minimise_ = new QPushButton(QStringLiteral("—"), this);
    close_ = new QPushButton(QStringLiteral("×"), this);
    for (QPushButton* b : {minimise_, close_}) {
        b->setFixedSize(32, 24);
        b->setFlat(true);
        b->setStyleSheet(
            "QPushButton { color: white; border: none; } QPushButton:hover { background: #5a8fc8; "
            "}");
    }
    minimise_->setToolTip(QStringLiteral("最小化"));
    close_->setToolTip(QStringLiteral("关闭"));
    layout->addWidget(icon);
    layout->addWidget(label);
    layout->addStretch();
    layout->addWidget(minimise_);
    layout->addWidget(close_);
}

void TitleBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(0x3d, 0x7c, 0xc0));
    g.setColorAt(1, QColor(0x2a, 0x5f, 0x9c));
    p.fillRect(rect(), g);
}

void TitleBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        grab_ = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
    }
}

void TitleBar::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton))
        window()->move(event->globalPosition().toPoint() - grab_);
}

}  // namespace qx::app
