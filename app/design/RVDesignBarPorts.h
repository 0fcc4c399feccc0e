// SPDX-License-Identifier: GPL-3.0-or-later
// What the design window calls on its bars: the design tool bar above the 3-D view,
// the treatment-step bar below it and the view-direction bar floating over it. The
// bars implement these and register a maker for each; without a maker the window
// goes on without that bar (its box stays empty). GUI thread only.
#pragma once

#include <QString>

#include <functional>

class NSButtonEx;
class QWidget;

// Receives the two right-edge buttons of the design tool bar.
class RivelaMenuBarDelegate {
public:
    virtual ~RivelaMenuBarDelegate() = default;
    virtual void OnBnClickedShowSplite() = 0;
    virtual void OnBnClickedFullScreen() = 0;
};

// The design tool bar (64 high, full width).
class RVDesignToolBarPort {
public:
    virtual ~RVDesignToolBarPort() = default;
    // The bar itself; whoever places it becomes its Qt parent.
    virtual QWidget* widget() = 0;

    virtual void setMenuDelegate(RivelaMenuBarDelegate* delegate) = 0;
    // Called by the bar after clicks on its section, distance, target-design and
    // bracket-design boxes.
    virtual void setUpdateSplitViewHandler(std::function<void()> handler) = 0;
    virtual void showMenuBar() = 0;
    virtual void createAuxPane() = 0;
    virtual void removeAuxPane() = 0;
    // Boxes back to their creation states (IPR on, the rest off), no broadcast.
    virtual void reset() = 0;
    virtual void setAttachBtnEnable(bool attachEnable, bool bracketBtnEnable) = 0;
    virtual void setIsApproveSchemeStep(bool approve) = 0;
    // The target-design box's check state.
    virtual bool isTargetDesignChecked() const = 0;

    // Fold-in/out and full-screen buttons at the right edge, and the rotate-mode button.
    virtual NSButtonEx* menuRightBtn() = 0;
    virtual NSButtonEx* menuLeftBtn() = 0;
    virtual NSButtonEx* rotateTypeBtn() = 0;
};

// The treatment-step bar (64 high, full width).
class RVStepBarPort {
public:
    virtual ~RVStepBarPort() = default;
    virtual QWidget* widget() = 0;

    // The step counts of the current scheme as decimal text ("%d").
    virtual void setUpStep(const QString& text) = 0;
    virtual void setDownStep(const QString& text) = 0;
    virtual void setUpExceedStep(const QString& text) = 0;
    virtual void setDownExceedStep(const QString& text) = 0;
    // Rebuilds the bar for the open case (after the four texts are set).
    virtual void createAuxPane() = 0;
    virtual void SetTargetStep(bool on) = 0;
    // Stops playback, moves to the step and, with play, switches the views to it.
    virtual bool didSelectStep(int step, bool play) = 0;
};

// The view-direction bar over the 3-D view (at its intrinsic size).
class RVSubToolBarPort {
public:
    virtual ~RVSubToolBarPort() = default;
    virtual QWidget* widget() = 0;
    // Back to one view; nothing when one view is shown.
    virtual void quitTwoCompView() = 0;
    virtual void setEnableTwoCompView(bool enable) = 0;
};

// Makers of the bars. Each answers a new bar whose widget has no parent yet.
struct RVDesignBarMakers {
    std::function<RVDesignToolBarPort*()> aboveBar;
    std::function<RVStepBarPort*()> belowBar;
    std::function<RVSubToolBarPort*()> subToolBar;
};

void RegisterDesignBars(RVDesignBarMakers makers);
const RVDesignBarMakers& DesignBars();
