// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/RVDMLayout.h"

#include "app/design/RVDesignBarPorts.h"
#include "app/platform/Folders.h"
#include "app/shell/widgets/NSButtonEx.h"

#include <QVariant>

namespace {

const char* const kImageProperty = "rvImageName";

void Show(NSButtonEx* button, bool shown)
{
    if (button)
        button->setHidden(!shown);
}

} // namespace

QString RVDMLayout::buttonImage(const NSButtonEx* button)
{
    return button ? button->property(kImageProperty).toString() : QString();
}

void RVDMLayout::setButtonImage(NSButtonEx* button, const QString& name)
{
    if (!button)
        return;
    button->setImage(platform::PathForResource(name, QStringLiteral("png")));
    button->setProperty(kImageProperty, name);
}

void RVDMLayout::resetState(std::uint64_t style, bool split, bool fullScreen)
{
    m_spaceStyle = style;
    m_splitState = split;
    m_isFullScreen = fullScreen;
}

void RVDMLayout::setSpace(std::uint64_t style)
{
    m_spaceStyle = style;
    updateCustomConstraints();
}

void RVDMLayout::showSpace(std::uint64_t style)
{
    m_spaceStyle |= style;
    updateCustomConstraints();
}

void RVDMLayout::hideSpace(std::uint64_t style)
{
    for (std::uint64_t bit : {kTop, kLeft, kRight, kBottom})
        if ((style & bit) && (m_spaceStyle & bit))
            m_spaceStyle &= ~bit;
    updateCustomConstraints();
}

void RVDMLayout::updateCustomConstraints()
{
    if (m_spaceStyle & kLeft) {
        m_leftOffset = 0;
        m_columnFull = false;
        m_columnOffset = (m_spaceStyle & kRight) ? -kColumnWidth : 0;
    } else if (m_spaceStyle & kRight) {
        m_leftOffset = -1;
        m_columnFull = true;
        m_columnOffset = 0;
    }
    m_topShown = m_spaceStyle & kTop;
    m_bottomShown = m_spaceStyle & kBottom;
    m_leftShown = m_spaceStyle & kLeft;
    m_rightShown = m_spaceStyle & kRight;
    m_host.layoutChanged();
    setSplitViewDidPosition();
}

void RVDMLayout::setSplitViewDidPosition()
{
    splitViewDidPosition(isExist(kLeft | kRight) ? double(kColumnWidth) : m_host.layoutRootWidth());
}

void RVDMLayout::splitViewDidPosition(double position)
{
    RVDesignToolBarPort* bar = m_host.layoutToolBar();
    NSButtonEx* right = bar ? bar->menuRightBtn() : nullptr;
    NSButtonEx* left = bar ? bar->menuLeftBtn() : nullptr;
    const int id = m_host.layoutActivePaneId();
    const bool atColumn = position == double(kColumnWidth);
    setButtonImage(right, atColumn ? QStringLiteral("右") : QStringLiteral("左"));
    if (id == 7 || id == 8) {
        if (atColumn) {
            Show(left, true);
            Show(right, true);
        } else {
            Show(left, m_isFullScreen);
            Show(right, !m_isFullScreen);
        }
    } else {
        Show(left, false);
        if (atColumn && !m_isFullScreen)
            Show(right, true);
    }
}

void RVDMLayout::OnBnClickedShowSplite()
{
    RVDesignToolBarPort* bar = m_host.layoutToolBar();
    NSButtonEx* right = bar ? bar->menuRightBtn() : nullptr;
    NSButtonEx* left = bar ? bar->menuLeftBtn() : nullptr;
    if (isExist(kLeft | kRight)) {
        setButtonImage(right, QStringLiteral("右"));
        Show(right, true);
        Show(left, true);
        setSpace(kTop | kLeft | kBottom);
    } else {
        setButtonImage(right, QStringLiteral("左"));
        Show(right, true);
        Show(left, false);
        setSpace(kTop | kLeft | kRight | kBottom);
    }
    updateHidePane();
}

void RVDMLayout::OnBnClickedFullScreen()
{
    RVDesignToolBarPort* bar = m_host.layoutToolBar();
    NSButtonEx* right = bar ? bar->menuRightBtn() : nullptr;
    NSButtonEx* left = bar ? bar->menuLeftBtn() : nullptr;
    const bool split = isExist(kLeft | kRight);
    setButtonImage(left, split ? QStringLiteral("小2") : QStringLiteral("大2"));
    setButtonImage(right, QStringLiteral("右"));
    m_isFullScreen = split;
    if (split)
        hideSpace(kLeft);
    else
        showSpace(kLeft | kRight | kBottom);
    updateFullScreen(m_isFullScreen);
}

void RVDMLayout::updateHidePane()
{
    m_splitState = isExist(kLeft | kRight);
    m_host.layoutSetRenderSplit(m_splitState);
}

void RVDMLayout::updateFullScreen(bool fullScreen)
{
    if (m_host.layoutActivePaneId() == 8)
        m_host.layoutUpdatePaneFullScreen(fullScreen);
}

RVDMLayoutGeometry RVDMLayout::geometry(QSize root) const
{
    RVDMLayoutGeometry g;
    g.topShown = m_topShown;
    g.bottomShown = m_bottomShown;
    g.leftShown = m_leftShown;
    g.rightShown = m_rightShown;
    // The stack closes up around hidden bars.
    const int topHeight = m_topShown ? kBarHeight : 0;
    const int bottomHeight = m_bottomShown ? kBarHeight : 0;
    const int width = root.width();
    const int centreHeight = std::max(0, root.height() - topHeight - bottomHeight);
    g.top = QRect(0, 0, width, topHeight);
    g.centre = QRect(0, topHeight, width, centreHeight);
    g.bottom = QRect(0, topHeight + centreHeight, width, bottomHeight);
    if (m_columnFull)
        g.right = QRect(0, 0, width, centreHeight);
    else
        g.right = QRect(width + m_columnOffset, 0, kColumnWidth, centreHeight);
    // The 3-D view box ends where the column begins.
    g.left = QRect(m_leftOffset, 0, std::max(0, g.right.x() - m_leftOffset), centreHeight);
    g.rightTab = QRect(0, 0, g.right.width(), kTabHeight);
    g.rightPane = QRect(0, kTabHeight, g.right.width(), std::max(0, centreHeight - kTabHeight));
    return g;
}
