// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/NSButtonEx.h"

#include "app/platform/Folders.h"
#include "app/shell/widgets/ImageStrips.h"

#include <QMouseEvent>
#include <QPainter>

NSButtonEx::NSButtonEx(QWidget* parent) : QWidget(parent)
{
    setStatus(m_nButtonText);
}

QList<QImage> NSButtonEx::getArrayWithPath(const QString& path)
{
    m_arrImg.clear();
    return widgets::imagesWithContentsOfFile(path, widgets::kStripFrames);
}

void NSButtonEx::setStrip(const QString& path, Style style)
{
    m_nButtonStyle = style;
    m_arrImg = getArrayWithPath(path);
    update();
}

void NSButtonEx::setImage(const QString& path)
{
    setStrip(path, kStrip);
}

void NSButtonEx::setImageWithLine(const QString& path)
{
    setStrip(path, kStripWithLine);
}

void NSButtonEx::setImageWithItem(const IconItem& item)
{
    setStrip(platform::PathForResource(item.iconName(), QStringLiteral("png")), kIconItem);
}

void NSButtonEx::setEnable(bool enable)
{
    if (enable) {
        m_nButtonStatus &= ~unsigned(kDisabled);
        update();
    } else if (!(m_nButtonStatus & kDisabled)) {
        m_nButtonStatus |= kDisabled;
        update();
    }
}

int NSButtonEx::indexForStatus(unsigned status)
{
    if (status & kDisabled)
        return 0;
    if (status & kMouseOver)
        return 2;
    if (status & kNormal)
        return 1;
    if (status & kPressed)
        return 3;
    return 1;
}

int NSButtonEx::shownFrame() const
{
    if (m_arrImg.isEmpty() || m_nButtonStyle == kIconItem)
        return -1;
    return indexForStatus(m_nButtonStatus);
}

void NSButtonEx::update()
{
    if (m_nButtonStyle == kIconItem)
        setStatus(m_nButtonText);
    QWidget::update();
}

void NSButtonEx::setStatus(unsigned textState)
{
    m_textColor = textState == 2 ? QColor(25, 168, 233) : QColor(153, 153, 153);
}

void NSButtonEx::paintEvent(QPaintEvent*)
{
    const int frame = shownFrame();
    if (frame < 0 || frame >= m_arrImg.size() || m_arrImg[frame].isNull())
        return;
    const QImage& image = m_arrImg[frame];
    // The strip sits on the bottom-left corner, as the tool bars were laid out for.
    const int lift = m_nButtonStyle == kStripWithLine ? 10 : 0;
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, height() - image.height() - lift), image);
}

void NSButtonEx::mousePressEvent(QMouseEvent*)
{
    if (!isEnable())
        return;
    m_nButtonStatus = kPressed;
    m_nButtonText = 2;
    update();
}

void NSButtonEx::mouseReleaseEvent(QMouseEvent*)
{
    if (!isEnable())
        return;
    // Where the release happens is not examined: a press dragged out still acts.
    if (m_nButtonStatus == kPressed) {
        m_nButtonStatus = kMouseOver;
        m_nButtonText = 2;
        if (hasAction())
            performAction();
    } else {
        m_nButtonStatus = kNormal;
    }
    update();
}

void NSButtonEx::enterEvent(QEnterEvent*)
{
    if (!isEnable())
        return;
    m_nButtonStatus |= kMouseOver;
    m_nButtonText = 2;
    update();
}

void NSButtonEx::leaveEvent(QEvent*)
{
    if (!isEnable())
        return;
    m_nButtonStatus &= ~unsigned(kMouseOver);
    m_nButtonText = 1;
    update();
}

void NSCheckBoxEx::setChecked(bool checked)
{
    m_bChecked = checked;
    m_nButtonStatus = (checked ? kPressed : kNormal) | (m_nButtonStatus & kDisabled);
    update();
}

void NSCheckBoxEx::mousePressEvent(QMouseEvent*)
{
    if (!isEnable())
        return;
    m_bChecked = !m_bChecked;
    const bool checked = m_bChecked;
    if (hasAction())
        performAction();
    // The look follows the press, even when the action changed the flag again.
    m_nButtonStatus = checked ? kPressed : kNormal;
    update();
}
