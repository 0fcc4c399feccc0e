// SPDX-License-Identifier: GPL-3.0-or-later
// The operation hub: forwards every toggle of the design tool bar, every button of
// the view-direction tool bar and every step switch to the registered receivers, in
// registration order, then redraws once (not after showMoveData and openRotateView).
// It changes no state of its own around a broadcast. The tool bars register
// themselves (weakly) so that others can read their state; without a bar its
// states read as off. GUI thread only.
#pragma once

#include "app/design/RVDMWeakList.h"

#include <memory>

class QvScheme;
class QvView;

// What the hub and the view bridge need of the design tool bar.
class RVDMToolBarState {
public:
    virtual ~RVDMToolBarState() = default;
    virtual bool isAttachmentChecked() const = 0;
    virtual bool isCompareChecked() const = 0;
    virtual bool isCollisionChecked() const = 0;
    virtual bool isGapChecked() const = 0;
    virtual bool isIPRChecked() const = 0;
    virtual void setCompareChecked(bool checked) = 0;
    virtual void uncheckCollisionAndGap() = 0;
};

// What they need of the view-direction tool bar.
class RVDMSubToolBarState {
public:
    virtual ~RVDMSubToolBarState() = default;
    virtual bool gumState() const = 0;
    virtual void setGumState(bool on) = 0;
    virtual bool enableTwoCompView() const = 0;
    virtual void setEnableTwoCompView(bool on) = 0;
};

// Receivers answer the messages they care for; the rest do nothing.
class RV3DOprationDelegate {
public:
    virtual ~RV3DOprationDelegate() = default;
    virtual void toolBarShowFDI(RVDMToolBarState*, bool) {}
    virtual void toolBarShowSection(RVDMToolBarState*, bool) {}
    virtual void toolBarShowCollision(RVDMToolBarState*, bool) {}
    virtual void toolBarShowIPR(RVDMToolBarState*, bool) {}
    virtual void toolBarShowAtt(RVDMToolBarState*, bool) {}
    virtual void toolBarShowGap(RVDMToolBarState*, bool) {}
    virtual void toolBarShowCompare(RVDMToolBarState*, bool) {}
    virtual void toolBarShowGrid(RVDMToolBarState*, bool) {}
    virtual void toolBarShowDistMeasure(RVDMToolBarState*, bool) {}
    virtual void toolBarShowTargetDesign(RVDMToolBarState*, bool) {}
    virtual void toolBarShowMoveData(RVDMToolBarState*, bool) {}
    virtual void toolBarShowBracket(RVDMToolBarState*, bool) {}
    virtual void subToolBarShowUpperJaw(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowLowerJaw(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowFaceUpperJaw(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowFaceLowerJaw(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowRight(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowFront(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowLeft(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowBack(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowGum(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowRoot(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowJawBone(RVDMSubToolBarState*, bool) {}
    virtual void subToolBarShowMultiView(RVDMSubToolBarState*, bool) {}
    virtual void switchStep(int step, QvScheme* scheme, QvView* view) {}
    virtual void openRotateView() {}
};

class RVDMOprationManager {
public:
    static RVDMOprationManager& shared();

    void addDelegate(const std::shared_ptr<RV3DOprationDelegate>& receiver) { m_delegates.add(receiver); }
    void removeDelegate(const RV3DOprationDelegate* receiver) { m_delegates.remove(receiver); }
    const RVDMWeakList<RV3DOprationDelegate>& delegates() const { return m_delegates; }

    void toolBarShowFDI(RVDMToolBarState* bar, bool on);
    void toolBarShowSection(RVDMToolBarState* bar, bool on);
    void toolBarShowCollision(RVDMToolBarState* bar, bool on);
    void toolBarShowIPR(RVDMToolBarState* bar, bool on);
    void toolBarShowAtt(RVDMToolBarState* bar, bool on);
    void toolBarShowGap(RVDMToolBarState* bar, bool on);
    void toolBarShowCompare(RVDMToolBarState* bar, bool on);
    void toolBarShowGrid(RVDMToolBarState* bar, bool on);
    void toolBarShowDistMeasure(RVDMToolBarState* bar, bool on);
    void toolBarShowTargetDesign(RVDMToolBarState* bar, bool on);
    void toolBarShowMoveData(RVDMToolBarState* bar, bool on);
    void toolBarShowBracket(RVDMToolBarState* bar, bool on);
    void subToolBarShowUpperJaw(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowLowerJaw(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowFaceUpperJaw(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowFaceLowerJaw(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowRight(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowFront(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowLeft(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowBack(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowGum(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowRoot(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowJawBone(RVDMSubToolBarState* bar, bool on);
    void subToolBarShowMultiView(RVDMSubToolBarState* bar, bool on);
    void switchStep(int step, QvScheme* scheme, QvView* view);
    void openRotateView();

    // toolBarShowAtt with the bar's attachment state.
    void updateAttachment();
    // subToolBarShowFront with YES.
    void showFront();
    // Sets the bar's gum state, then subToolBarShowGum.
    void showGum(bool on);
    // The bar's gum state on, without a broadcast.
    void resetGumStatus();
    void resetCollisionAndGapStatus();
    void setEnableTwoCompView(bool on);
    // The bar's flag (not the stored one).
    bool enableTwoCompView() const;
    bool showAttachment() const;
    bool showCompare() const;
    bool showGum() const;

    void setToolBar(std::weak_ptr<RVDMToolBarState> bar) { m_toolBar = std::move(bar); }
    void setSubToolBar(std::weak_ptr<RVDMSubToolBarState> bar) { m_subToolBar = std::move(bar); }
    std::shared_ptr<RVDMToolBarState> toolBar() const { return m_toolBar.lock(); }
    std::shared_ptr<RVDMSubToolBarState> subToolBar() const { return m_subToolBar.lock(); }

    void ResetForTests();

private:
    RVDMOprationManager() = default;
    template <typename Method, typename... Args>
    void Broadcast(bool redraw, Method method, Args... args);

    RVDMWeakList<RV3DOprationDelegate> m_delegates;
    std::weak_ptr<RVDMToolBarState> m_toolBar;
    std::weak_ptr<RVDMSubToolBarState> m_subToolBar;
    bool m_enableTwoCompView = false;
};
