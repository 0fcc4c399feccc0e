// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/MenuBar.h"

#include "app/platform/Folders.h"

#include <QEnterEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

MenuBar::MenuBar(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void MenuBar::configureIconItems(const QList<IconItem>& items)
{
    m_iconItems = items;
    rebuildIndexItems();
    update();
}

void MenuBar::updateIconItems(const QList<IconItem>& items)
{
    m_replaceItems = items;
    m_considerSelected = false;
    rebuildIndexItems();
    update();
}

void MenuBar::rebuildIndexItems()
{
    m_indexItems.clear();
    for (qint64 i = 0; i < m_iconItems.size(); ++i)
        for (const IconItem& item : m_replaceItems)
            if (item.iconName() == m_iconItems[i].iconName()) {
                m_indexItems.append(i);
                break;
            }
}

void MenuBar::setSelectedIndex(qint64 index)
{
    m_selectedIndex = index;
    update();
}

void MenuBar::setConsiderSelected(bool value)
{
    m_considerSelected = value;
    update();
}

bool MenuBar::isIconDisabled(qint64 index) const
{
    return !m_considerSelected && m_indexItems.contains(index);
}

QString MenuBar::imagePathAtIndex(qint64 index) const
{
    if (index < 0 || index >= m_iconItems.size())
        return {};
    const QString& name = m_iconItems[index].iconName();
    bool disabled = false;
    if (!m_considerSelected)
        for (const IconItem& item : m_replaceItems)
            disabled = disabled || item.iconName() == name;
    if (disabled)
        return name + QStringLiteral("_disable");
    if (m_highlighted && index == m_hightlightedIndex)
        return name + QStringLiteral("_select");
    return name;
}

void MenuBar::calculateImageData()
{
    m_dataArray.clear();
    double originX = 0;
    for (qint64 i = 0; i < m_iconItems.size(); ++i) {
        const QString path = platform::PathForResource(imagePathAtIndex(i), QStringLiteral("png"));
        MenuBarData data;
        data.index = i;
        data.originX = originX;
        if (!path.isEmpty())
            data.image = QImage(path);
        data.size = data.image.isNull() ? QSizeF() : QSizeF(data.image.size());
        originX += data.size.width();
        m_dataArray.push_back(std::move(data));
    }
}

double MenuBar::iconOriginXAtIndex(qint64 index) const
{
    if (index < 0 || index >= qint64(m_dataArray.size()))
        return 0;
    const MenuBarData& data = m_dataArray[size_t(index)];
    return firstIconsOriginX() + kIconSpacing * double(index) + data.originX + data.size.width();
}

QRectF MenuBar::iconRect(qint64 index) const
{
    if (index < 0 || index >= qint64(m_dataArray.size()))
        return {};
    const MenuBarData& data = m_dataArray[size_t(index)];
    return {iconOriginXAtIndex(index) - data.size.width(), (height() - data.size.height()) / 2, data.size.width(),
            data.size.height()};
}

qint64 MenuBar::indexOfPoint(const QPointF& point) const
{
    const double x = point.x();
    if (x > width() || x < 0)
        return kNotFound;
    for (const MenuBarData& data : m_dataArray) {
        const double right = iconOriginXAtIndex(data.index);
        if (right > x && x > right - data.size.width())
            return data.index;
    }
    return kNotFound;
}

QString MenuBar::stringForToolTip(const QPointF& point) const
{
    const qint64 index = indexOfPoint(point);
    if (index == kNotFound || index >= m_iconItems.size())
        return QString(QStringLiteral(""));
    const QString& text = m_iconItems[index].tooltipName();
    return text.isEmpty() ? QStringLiteral("") : text;
}

void MenuBar::addTooltips()
{
    m_toolTipRects.clear();
    for (qint64 i = 0; i < qint64(m_dataArray.size()); ++i)
        m_toolTipRects.push_back(iconRect(i));
}

void MenuBar::paintEvent(QPaintEvent*)
{
    if (m_iconItems.isEmpty())
        return;
    if (m_selectedIndex >= m_iconItems.size())
        m_selectedIndex = m_iconItems.size() - 1;
    calculateImageData();
    addTooltips();
    QPainter painter(this);
    drawIcons(painter);
}

void MenuBar::drawIcons(QPainter& painter)
{
    for (const MenuBarData& data : m_dataArray)
        if (!data.image.isNull())
            painter.drawImage(iconRect(data.index), data.image);
}

void MenuBar::mousePressEvent(QMouseEvent* event)
{
    // The layout of the last drawing may be of other icons by now.
    calculateImageData();
    const qint64 index = indexOfPoint(event->position());
    if (index < 0 || index >= m_iconItems.size() || !m_allowedEnabled)
        return;
    if (isIconDisabled(index))
        return;
    if (m_delegate)
        m_delegate->menuBarDidSelectIconAtIndex(*this, index);
}

void MenuBar::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    calculateImageData();
    const qint64 index = indexOfPoint(event->position());
    if (!m_highlighted || index != m_hightlightedIndex) {
        m_highlighted = true;
        m_hightlightedIndex = index;
        update();
    }
}

void MenuBar::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (m_highlighted) {
        m_highlighted = false;
        update();
    }
}

bool MenuBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        calculateImageData();
        const QString text = stringForToolTip(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}
