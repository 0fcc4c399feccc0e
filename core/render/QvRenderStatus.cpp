// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvRenderStatus.h"

#include "core/render/QvOpenGLRender.h"
#include "core/render/QvOpenGLSelect.h"
#include "core/render/aux/QvAuxRender.h"

QvRenderStatus::QvRenderStatus()
    : m_pRender(new QvOpenGLRender), m_pAuxRender(new QvAuxRender), m_pSelector(new QvOpenGLSelect)
{
}

QvRenderStatus::~QvRenderStatus()
{
    // Objects hold the renderer: they go first.
    delete m_pAuxRender;
    m_pAuxRender = nullptr;
    delete m_pRender;
    m_pRender = nullptr;
    delete m_pSelector;
    m_pSelector = nullptr;
}

QvRenderStatus* QvRenderStatus::Instance()
{
    static QvRenderStatus instance;
    return &instance;
}

void QvRenderStatus::ResetForTests()
{
    m_pAuxRender->Clear();
    QvOpenGLRender* fresh = new QvOpenGLRender;
    delete m_pRender;
    m_pRender = fresh;
    delete m_pSelector;
    m_pSelector = new QvOpenGLSelect;
    SetDefaults();
}

void QvRenderStatus::SetDefaults()
{
    m_renderMode = kQvRenderSolid;
    m_pickMask = kQvDefaultPickMask;
    m_lastMousePoint = QvGDIPoint();
    m_pickedStencilKind = 0;
    m_rubberBand = QvGDIRect();
    m_bFlag1 = false;
    m_bFlag2 = false;
    m_bSmoothNormals = false;
    m_bAltToothMaterial = false;
    m_bBackgroundImage = true;
    m_bTwoSideLighting = true;
    m_bWindowYUp = false;
    m_backingScale = 1.0;
    m_bAttachHiddenPass = false;
    m_bPowerSecondMesh = true;
}
