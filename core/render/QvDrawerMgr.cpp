// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvDrawerMgr.h"

#include "core/render/QvDrawer.h"
#include "core/render/QvDrawers.h"

QvDrawerMgr::QvDrawerMgr()
{
    m_drawers.emplace(kQvTypeJaw, new QvJawDrawer);
    m_drawers.emplace(kQvTypeGum, new QvGumDrawer);
    m_drawers.emplace(kQvTypeTooth, new QvToothDrawer);
    m_drawers.emplace(kQvTypeMesh, new QvMeshDrawer);
    m_drawers.emplace(kQvTypeAttachment, new QvAttachmentDrawer);
    m_drawers.emplace(kQvTypeJawBone, new QvJawBoneDrawer);
    m_drawers.emplace(kQvTypeBracket, new QvBracketDrawer);
    m_drawers.emplace(kQvTypeVirtualTooth, new QvToothVirtualDrawer);
}

QvDrawerMgr::~QvDrawerMgr()
{
    for (auto& [code, drawer] : m_drawers)
        delete drawer;
}

QvDrawerMgr* QvDrawerMgr::Instance()
{
    static QvDrawerMgr instance;
    return &instance;
}

QvDrawer* QvDrawerMgr::GetDrawer(QvTypeCode code) const
{
    const auto it = m_drawers.find(code);
    return it == m_drawers.end() ? nullptr : it->second;
}

void QvDrawerMgr::SetDrawer(QvTypeCode code, QvDrawer* drawer)
{
    const auto it = m_drawers.find(code);
    if (it != m_drawers.end())
    {
        if (it->second == drawer)
            return;
        delete it->second;
        if (drawer == nullptr)
        {
            m_drawers.erase(it);
            return;
        }
        it->second = drawer;
        return;
    }
    if (drawer != nullptr)
        m_drawers.emplace(code, drawer);
}
