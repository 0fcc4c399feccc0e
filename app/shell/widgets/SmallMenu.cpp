// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/SmallMenu.h"

#include "app/platform/Folders.h"
#include "app/shell/widgets/ImageStrips.h"

#include <QPainter>

SmallMenuItem::SmallMenuItem(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
}

void SmallMenuItem::setMenuBarItems(const QList<IconItem>& items, qsizetype index)
{
    m_rowIndex = index;
    m_arrImages.clear();
    for (const IconItem& item : items)
        m_arrImages.append(widgets::imagesWithContentsOfFile(
            platform::PathForResource(item.iconName(), QStringLiteral("png")), widgets::kStripFrames));
    if (index >= 0 && index < items.size())
        setToolTip(items[index].tooltipName());
    update();
}

int SmallMenuItem::indexForStatus(unsigned status)
{
    if (status & 2)
        return 0;
    if (status & 4)
        return 2;
    if ((status & 8) && !(status & 1))
        return 3;
    return 1;
}

int SmallMenuItem::shownFrame() const
{
    return m_arrImages.isEmpty() ? -1 : indexForStatus(m_nStatus);
}

void SmallMenuItem::paintEvent(QPaintEvent*)
{
    if (m_rowIndex < 0 || m_rowIndex >= m_arrImages.size())
        return;
    const QList<QImage>& frames = m_arrImages[m_rowIndex];
    const int frame = indexForStatus(m_nStatus);
    if (frame >= frames.size() || frames[frame].isNull())
        return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), frames[frame]);
}

void SmallMenuItem::enterEvent(QEnterEvent*)
{
    m_nStatus = 4;
    update();
}

void SmallMenuItem::leaveEvent(QEvent*)
{
    m_nStatus = 1;
    update();
}

void SmallMenuItem::mousePressEvent(QMouseEvent*)
{
    if (m_action)
        m_action(this);
}

void SmallMenu::addMenuBarItems(const QList<IconItem>& items)
{
    m_arrBackup = items;
    m_arrItems = items.mid(0, std::max<qsizetype>(items.size() - 1, 0));
    initMenuBarItems();
}

void SmallMenu::initMenuBarItems()
{
    // The rows are rebuilt whole: old rows would lie under the new ones and keep
    // reporting clicks with stale positions. The clicked row is still in its own
    // event handler, hence deleteLater.
    for (SmallMenuItem* row : std::as_const(m_rows)) {
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();
    for (qsizetype i = 0; i < m_arrItems.size(); ++i) {
        auto* row = new SmallMenuItem(this);
        row->setGeometry(0, static_cast<int>(kRowHeight * i), kRowWidth, kRowHeight);
        row->setMenuBarItems(m_arrItems, i);
        row->setClickAction([this](SmallMenuItem* sender) { clickAction(sender); });
        row->show();
        m_rows.append(row);
    }
    update();
}

void SmallMenu::clickAction(SmallMenuItem* sender)
{
    const qsizetype index = m_rows.indexOf(sender);
    if (index < 0)
        return;
    m_selectedIndex = index;
    updateMenuBar(index);
    if (m_delegate && index < m_arrTemporare.size())
        m_delegate->replaceItemAtIndex(index, m_arrTemporare[index], m_arrBackup);
}

void SmallMenu::updateMenuBar(qsizetype index)
{
    m_arrTemporare = m_arrBackup;
    if (!m_arrBackup.isEmpty() && index < m_arrBackup.size())
        m_arrBackup.swapItemsAt(index, m_arrBackup.size() - 1);
    m_arrItems = m_arrBackup.mid(0, std::max<qsizetype>(m_arrBackup.size() - 1, 0));
    initMenuBarItems();
}
