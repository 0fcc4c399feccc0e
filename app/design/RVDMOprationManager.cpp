// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/RVDMOprationManager.h"

#include "app/design/RVDMDrawStatus.h"

RVDMOprationManager& RVDMOprationManager::shared()
{
    static RVDMOprationManager manager;
    return manager;
}

template <typename Method, typename... Args>
void RVDMOprationManager::Broadcast(bool redraw, Method method, Args... args)
{
    for (const std::shared_ptr<RV3DOprationDelegate>& receiver : m_delegates.snapshot())
        ((*receiver).*method)(args...);
    if (redraw)
        RVDMDrawStatus::shared().display();
}

void RVDMOprationManager::toolBarShowFDI(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowFDI, bar, on);
}

void RVDMOprationManager::toolBarShowSection(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowSection, bar, on);
}

void RVDMOprationManager::toolBarShowCollision(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowCollision, bar, on);
}

void RVDMOprationManager::toolBarShowIPR(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowIPR, bar, on);
}

void RVDMOprationManager::toolBarShowAtt(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowAtt, bar, on);
}

void RVDMOprationManager::toolBarShowGap(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowGap, bar, on);
}

void RVDMOprationManager::toolBarShowCompare(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowCompare, bar, on);
}

void RVDMOprationManager::toolBarShowGrid(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowGrid, bar, on);
}

void RVDMOprationManager::toolBarShowDistMeasure(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowDistMeasure, bar, on);
}

void RVDMOprationManager::toolBarShowTargetDesign(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowTargetDesign, bar, on);
}

void RVDMOprationManager::toolBarShowMoveData(RVDMToolBarState* bar, bool on)
{
    Broadcast(false, &RV3DOprationDelegate::toolBarShowMoveData, bar, on);
}

void RVDMOprationManager::toolBarShowBracket(RVDMToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::toolBarShowBracket, bar, on);
}

void RVDMOprationManager::subToolBarShowUpperJaw(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowUpperJaw, bar, on);
}

void RVDMOprationManager::subToolBarShowLowerJaw(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowLowerJaw, bar, on);
}

void RVDMOprationManager::subToolBarShowFaceUpperJaw(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowFaceUpperJaw, bar, on);
}

void RVDMOprationManager::subToolBarShowFaceLowerJaw(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowFaceLowerJaw, bar, on);
}

void RVDMOprationManager::subToolBarShowRight(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowRight, bar, on);
}

void RVDMOprationManager::subToolBarShowFront(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowFront, bar, on);
}

void RVDMOprationManager::subToolBarShowLeft(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowLeft, bar, on);
}

void RVDMOprationManager::subToolBarShowBack(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowBack, bar, on);
}

void RVDMOprationManager::subToolBarShowGum(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowGum, bar, on);
}

void RVDMOprationManager::subToolBarShowRoot(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowRoot, bar, on);
}

void RVDMOprationManager::subToolBarShowJawBone(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowJawBone, bar, on);
}

void RVDMOprationManager::subToolBarShowMultiView(RVDMSubToolBarState* bar, bool on)
{
    Broadcast(true, &RV3DOprationDelegate::subToolBarShowMultiView, bar, on);
}

void RVDMOprationManager::switchStep(int step, QvScheme* scheme, QvView* view)
{
    Broadcast(true, &RV3DOprationDelegate::switchStep, step, scheme, view);
}

void RVDMOprationManager::openRotateView() { Broadcast(false, &RV3DOprationDelegate::openRotateView); }

void RVDMOprationManager::updateAttachment()
{
    const std::shared_ptr<RVDMToolBarState> bar = toolBar();
    toolBarShowAtt(bar.get(), bar && bar->isAttachmentChecked());
}

void RVDMOprationManager::showFront() { subToolBarShowFront(subToolBar().get(), true); }

void RVDMOprationManager::showGum(bool on)
{
    const std::shared_ptr<RVDMSubToolBarState> bar = subToolBar();
    if (bar)
        bar->setGumState(on);
    subToolBarShowGum(bar.get(), on);
}

void RVDMOprationManager::resetGumStatus()
{
    if (const std::shared_ptr<RVDMSubToolBarState> bar = subToolBar())
        bar->setGumState(true);
}

void RVDMOprationManager::resetCollisionAndGapStatus()
{
    if (const std::shared_ptr<RVDMToolBarState> bar = toolBar())
        bar->uncheckCollisionAndGap();
}

void RVDMOprationManager::setEnableTwoCompView(bool on)
{
    m_enableTwoCompView = on;
    if (const std::shared_ptr<RVDMSubToolBarState> bar = subToolBar())
        bar->setEnableTwoCompView(on);
}

bool RVDMOprationManager::enableTwoCompView() const
{
    const std::shared_ptr<RVDMSubToolBarState> bar = subToolBar();
    return bar && bar->enableTwoCompView();
}

bool RVDMOprationManager::showAttachment() const
{
    const std::shared_ptr<RVDMToolBarState> bar = toolBar();
    return bar && bar->isAttachmentChecked();
}

bool RVDMOprationManager::showCompare() const
{
    const std::shared_ptr<RVDMToolBarState> bar = toolBar();
    return bar && bar->isCompareChecked();
}

bool RVDMOprationManager::showGum() const
{
    const std::shared_ptr<RVDMSubToolBarState> bar = subToolBar();
    return bar && bar->gumState();
}

void RVDMOprationManager::ResetForTests()
{
    m_delegates.clear();
    m_toolBar.reset();
    m_subToolBar.reset();
    m_enableTwoCompView = false;
}
