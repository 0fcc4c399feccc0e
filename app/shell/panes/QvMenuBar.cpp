// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/panes/QvMenuBar.h"

#include "app/platform/Folders.h"

#include <QEnterEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr double kSpacing = 15;
constexpr double kTopMargin = 10;
} // namespace

QvMenuBar::QvMenuBar(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackgroundColour);
    setPalette(palette);
    setMouseTracking(true);
}

void QvMenuBar::configureIconItems(const QList<IconItem>& items)
{
    m_iconItems = items;
    repaint();
}

void QvMenuBar::setSelectedIndex(qint64 index)
{
    m_selectedIndex = index;
    repaint();
}

QString QvMenuBar::imagePathAtIndex(qint64 index) const
{
    if (index < 0 || index >= m_iconItems.size())
        return {};
    return m_iconItems[index].iconName() + QStringLiteral(".png");
}

void QvMenuBar::calculateImageData()
{
    m_dataArray.clear();
    double offset = 0;
    for (qint64 i = 0; i < m_iconItems.size(); ++i) {
        const QString path = platform::PathForResource(imagePathAtIndex(i), {});
        const QImage strip = path.isEmpty() ? QImage() : QImage(path);
        QvMenuBarData data;
        data.index = i;
        data.originX = offset;
        if (!strip.isNull()) {
            const double q = strip.width() * 0.25;
            const double h = strip.height();
            // Strip 1 (normal) of the four states; a width not divisible by 4 rounds.
            data.image = strip.copy(QRectF(q, 0, q, h).toRect());
            data.size = QSizeF(q, h);
        }
        m_dataArray.push_back(data);
        offset += data.size.width();
    }
}

double QvMenuBar::iconOriginXAtIndex(qint64 index) const
{
    if (index < 0 || index >= qint64(m_dataArray.size()))
        return 0;
    const QvMenuBarData& data = m_dataArray[size_t(index)];
    return firstIconsOriginX() + kSpacing * double(index) + data.originX + data.image.width();
}

qint64 QvMenuBar::indexOfPoint(const QPointF& point) const
{
    const double x = point.x();
    if (x > width() || x < firstIconsOriginX() || m_dataArray.empty())
        return kNotFound;
    // The icon band: from 10 below the top, as high as the first icon.
    const double h0 = m_dataArray.front().size.height();
    if (point.y() < kTopMargin || point.y() > kTopMargin + h0)
        return kNotFound;
    for (const QvMenuBarData& data : m_dataArray) {
        const double r = iconOriginXAtIndex(data.index);
        if (r > x && x > r - data.size.width())
            return data.index;
    }
    return kNotFound;
}

void QvMenuBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), kBackgroundColour);
    if (m_iconItems.isEmpty())
        return;
    if (quint64(m_selectedIndex) >= quint64(m_iconItems.size()))
        m_selectedIndex = m_iconItems.size() - 1;
    calculateImageData();
    drawIcons(painter);
    drawLines(painter);
    drawText(painter);
}

void QvMenuBar::drawIcons(QPainter& painter)
{
    double x = firstIconsOriginX();
    for (const QvMenuBarData& data : m_dataArray) {
        if (!data.image.isNull())
            painter.drawImage(QRectF(QPointF(x, kTopMargin), data.size), data.image);
        x += data.size.width() + kSpacing;
    }
}

void QvMenuBar::drawLines(QPainter& painter)
{
    if (m_dataArray.empty())
        return;
    const QvMenuBarData& first = m_dataArray.front();
    // 8 points below the icons' bottom edge, as wide as the first icon.
    const QRectF line(iconOriginXAtIndex(m_selectedIndex) - first.image.width(), kTopMargin + first.size.height() + 8,
                      first.size.width(), 2);
    painter.fillRect(line, m_considerSelected ? kSelectionColour : kBackgroundColour);
}

void QvMenuBar::drawText(QPainter& painter)
{
    m_strTitle = m_selectedIndex >= 0 && m_selectedIndex < m_iconItems.size()
                     ? m_iconItems[m_selectedIndex].tooltipName()
                     : QString();
    QFont font = painter.font();
    font.setPixelSize(26);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetricsF metrics(font);
    painter.drawText(QPointF(12, height() - 5 - metrics.descent()), m_strTitle);
}

void QvMenuBar::mousePressEvent(QMouseEvent* event)
{
    calculateImageData();
    const qint64 index = indexOfPoint(event->position());
    if (quint64(index) >= quint64(m_iconItems.size()))
        return;
    setSelectedIndex(index);
    if (m_delegate)
        m_delegate->paneMenuBar(*this, index);
}

void QvMenuBar::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    calculateImageData();
    if (indexOfPoint(event->position()) != kNotFound)
        update();
}
