// SPDX-License-Identifier: GPL-3.0-or-later
// The arrangement of the design window: which of its four spaces are shown (bits 1
// top tool bar, 2 3-D view, 4 side-pane column, 8 step bar), the side-pane column's
// place (400 wide at the right edge, folded out of sight, or the whole width in full
// screen), the fold and full-screen buttons of the tool bar, and the rectangles that
// follow for a window size. Plain logic: the window applies the rectangles. GUI
// thread only.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>

class NSButtonEx;
class RVDesignToolBarPort;

// What the layout reads and tells of the window around it.
class RVDMLayoutHost {
public:
    virtual ~RVDMLayoutHost() = default;
    // The tool bar whose two right-edge buttons follow the layout; null without one.
    virtual RVDesignToolBarPort* layoutToolBar() = 0;
    // Id of the active pane, 0 without one.
    virtual int layoutActivePaneId() = 0;
    // Width of the window's root view, 0 without one.
    virtual double layoutRootWidth() = 0;
    // The 3-D view's split flag.
    virtual void layoutSetRenderSplit(bool split) = 0;
    // The step-information pane (8), when active, is told its full-screen flag.
    virtual void layoutUpdatePaneFullScreen(bool fullScreen) = 0;
    // Visibility or rectangles changed.
    virtual void layoutChanged() = 0;
};

struct RVDMLayoutGeometry {
    QRect top, centre, bottom;       // in the root view
    QRect left, right;               // in the centre
    QRect rightTab, rightPane;       // in the right column
    bool topShown = false, leftShown = false, rightShown = false, bottomShown = false;
};

class RVDMLayout {
public:
    static constexpr std::uint64_t kTop = 1, kLeft = 2, kRight = 4, kBottom = 8;
    static constexpr int kBarHeight = 64;
    static constexpr int kColumnWidth = 400;
    static constexpr int kTabHeight = 90;

    explicit RVDMLayout(RVDMLayoutHost& host) : m_host(host) {}

    // Plain sets, no layout pass (the window's start).
    void resetState(std::uint64_t style, bool split, bool fullScreen);

    void setSpace(std::uint64_t style);
    void showSpace(std::uint64_t style);
    void hideSpace(std::uint64_t style);
    bool isExist(std::uint64_t style) const { return (m_spaceStyle & style) == style; }
    std::uint64_t currentSpaceStyle() const { return m_spaceStyle; }
    void updateCustomConstraints();

    void setSplitViewDidPosition();
    void splitViewDidPosition(double position);
    void OnBnClickedShowSplite();
    void OnBnClickedFullScreen();
    void updateHidePane();
    void updateFullScreen(bool fullScreen);

    bool splitState() const { return m_splitState; }
    void setSplitState(bool split) { m_splitState = split; }
    bool isFullScreen() const { return m_isFullScreen; }
    void setFullScreen(bool fullScreen) { m_isFullScreen = fullScreen; }

    // The rectangles for a root view of that size.
    RVDMLayoutGeometry geometry(QSize root) const;

    // The image a button was last given here (its resource name); "" when none.
    static QString buttonImage(const NSButtonEx* button);
    static void setButtonImage(NSButtonEx* button, const QString& name);

private:
    RVDMLayoutHost& m_host;
    std::uint64_t m_spaceStyle = kTop;
    bool m_splitState = true;
    bool m_isFullScreen = false;
    // The constraints now in force: the 3-D view box's left offset, and the column
    // either at the right edge (offset from it) or over the whole width.
    int m_leftOffset = 0;
    bool m_columnFull = false;
    int m_columnOffset = 0;
    bool m_topShown = true, m_leftShown = true, m_rightShown = true, m_bottomShown = false;
};
