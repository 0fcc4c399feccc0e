// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvRenderStatus.h"

#include "core/render/QvOpenGLRender.h"

QvRenderStatus::QvRenderStatus() : m_pRender(new QvOpenGLRender) {}

QvRenderStatus::~QvRenderStatus()
{
    delete m_pRender;
    m_pRender = nullptr;
}

QvRenderStatus* QvRenderStatus::Instance()
{
    static QvRenderStatus instance;
    return &instance;
}

void QvRenderStatus::ResetForTests()
{
    QvOpenGLRender* fresh = new QvOpenGLRender;
    delete m_pRender;
    m_pRender = fresh;
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
