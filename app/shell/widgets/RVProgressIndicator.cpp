// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/RVProgressIndicator.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>

RVProgressIndicator::RVProgressIndicator(QWidget* parent) : QWidget(parent), m_spin(new QTimer(this))
{
    setAttribute(Qt::WA_NoSystemBackground);
    m_spin->setInterval(80);
    connect(m_spin, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
    QWidget::hide();
}

bool RVProgressIndicator::isSpinning() const
{
    return m_spin->isActive();
}

void RVProgressIndicator::show()
{
    if (m_displayCount == 0) {
        QWidget* host = m_contentView;
        if (!host && QApplication::activeWindow())
            host = QApplication::activeWindow();
        if (host) {
            if (parentWidget() != host) {
                if (parentWidget())
                    parentWidget()->removeEventFilter(this);
                setParent(host);
            }
            host->installEventFilter(this);
            setGeometry(host->rect());
            raise();
            QWidget::show();
        }
        m_spin->start();
    }
    ++m_displayCount;
}

void RVProgressIndicator::hide()
{
    m_displayCount = std::max<qint64>(0, m_displayCount - 1);
    if (m_displayCount == 0)
        Detached();
}

// Removed from its host, by us or by anyone: the count starts again.
void RVProgressIndicator::Detached()
{
    m_displayCount = 0;
    m_spin->stop();
    if (parentWidget())
        parentWidget()->removeEventFilter(this);
    QWidget::hide();
}

bool RVProgressIndicator::event(QEvent* event)
{
    if (event->type() == QEvent::ParentAboutToChange && m_displayCount > 0)
        Detached();
    return QWidget::event(event);
}

bool RVProgressIndicator::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void RVProgressIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0.5, 0.5, 0.5, 0.5));
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    for (int i = 0; i < 12; ++i) {
        const double a = (m_angle + i * 30) * M_PI / 180.0;
        QColor c(40, 40, 40);
        c.setAlphaF(0.2 + 0.8 * i / 11.0);
        painter.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre + QPointF(std::cos(a), std::sin(a)) * 8, centre + QPointF(std::cos(a), std::sin(a)) * 15);
    }
}

// The covered widgets get no clicks while the overlay is up.
void RVProgressIndicator::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}
void RVProgressIndicator::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}
void RVProgressIndicator::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}
void RVProgressIndicator::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
}
void RVProgressIndicator::wheelEvent(QWheelEvent* event)
{
    event->accept();
}
