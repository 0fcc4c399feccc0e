// SPDX-License-Identifier: GPL-3.0-or-later
// The drawers by entity type code.
#pragma once

#include <map>

#include "core/base/QvTypeCodes.h"

class QvDrawer;

class QvDrawerMgr
{
public:
    // Registers the drawer of every drawable entity kind.
    QvDrawerMgr();
    QvDrawerMgr(const QvDrawerMgr&) = delete;
    QvDrawerMgr& operator=(const QvDrawerMgr&) = delete;
    virtual ~QvDrawerMgr();

    static QvDrawerMgr* Instance();

    // The drawer registered for exactly this code, or null.
    QvDrawer* GetDrawer(QvTypeCode code) const;
    // Takes ownership; replaces (and deletes) a drawer registered for the code. Null
    // only removes it.
    void SetDrawer(QvTypeCode code, QvDrawer* drawer);

private:
    std::map<QvTypeCode, QvDrawer*> m_drawers;
};
