// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvDrawerMgr.h"

#include "core/render/QvDrawer.h"

QvDrawerMgr::QvDrawerMgr() = default;

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
