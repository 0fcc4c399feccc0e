// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvAuxObject.h"

#include "core/model/QvEntityAnonymous.h"
#include "core/render/QvGL.h"
#include "core/render/QvMaterial.h"
#include "core/render/QvRenderStatus.h"

QvAuxObject::QvAuxObject(bool withOwner) : m_pRender(QvRenderStatus::Instance()->GetRender())
{
    if (withOwner)
        m_pRelEntites.insert(new QvEntityAnonymous);
}

QvAuxObject::~QvAuxObject()
{
    for (QvEntity* entity : m_pRelEntites)
        if (entity->GetType() == kQvTypeEntityAnonymous)
            delete entity;
}

QvTypeCode QvAuxObject::GetType() const { return kQvTypeAuxObject; }

bool QvAuxObject::IsKindOf(QvTypeCode code) const { return code == kQvTypeAuxObject || QvObject::IsKindOf(code); }

QvEntity* QvAuxObject::GetOwner() const
{
    for (QvEntity* entity : m_pRelEntites)
        if (entity->GetType() == kQvTypeEntityAnonymous)
            return entity;
    return nullptr;
}

void QvAuxObject::DrawPasses(QvView* view)
{
    if (!IsShown())
        return;
    if (m_bFrontMost)
    {
        DrawPass(view, kQvPassFrontMost);
        return;
    }
    DrawPass(view, kQvPassVisible);
    if (m_bDrawHidden)
        DrawPass(view, kQvPassHidden);
}

void QvAuxObject::BeginPass(std::int32_t pass)
{
    if (pass == kQvPassFrontMost)
    {
        glDisable(GL_DEPTH_TEST);
        return;
    }
    glEnable(GL_DEPTH_TEST);
    if (pass == kQvPassHidden)
    {
        // What lies behind the model, dimmed and modulated by what is already there.
        glDepthFunc(GL_GREATER);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_DST_COLOR);
        glDepthMask(GL_FALSE);
    }
    else
    {
        glDepthFunc(GL_LEQUAL);
    }
}

QvColor QvAuxObject::PassColor(std::int32_t pass, bool honourSelection) const
{
    if (pass == kQvPassHidden)
        return QvAuxScaled(m_clr, 0.3);
    if (honourSelection && IsSelectedState())
        return GetSelectedColor();
    return m_clr;
}

void QvAuxColor3(const QvColor& clr)
{
    glColor3ub(static_cast<GLubyte>(clr.m_r & 0xFF), static_cast<GLubyte>(clr.m_g & 0xFF),
               static_cast<GLubyte>(clr.m_b & 0xFF));
}

void QvAuxColor4(const QvColor& clr, std::uint8_t alpha)
{
    glColor4ub(static_cast<GLubyte>(clr.m_r & 0xFF), static_cast<GLubyte>(clr.m_g & 0xFF),
               static_cast<GLubyte>(clr.m_b & 0xFF), alpha);
}

QvColor QvAuxScaled(const QvColor& clr, double factor)
{
    return QvColor(static_cast<std::int32_t>(clr.m_r * factor), static_cast<std::int32_t>(clr.m_g * factor),
                   static_cast<std::int32_t>(clr.m_b * factor));
}
