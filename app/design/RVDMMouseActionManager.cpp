// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/RVDMMouseActionManager.h"

RVDMMouseActionManager& RVDMMouseActionManager::shared()
{
    static RVDMMouseActionManager manager;
    return manager;
}

void RVDMMouseActionManager::addDelegate(const std::shared_ptr<RVDMMouseActionDelegate>& receiver)
{
    shared().m_delegates.add(receiver);
}

void RVDMMouseActionManager::digitalModelMoveTo(const QvGDIPoint& point)
{
    for (const auto& receiver : shared().m_delegates.snapshot())
        receiver->digitalModelMoveTo(point);
}

void RVDMMouseActionManager::digitalModelRotateTo(const QvGDIPoint& point)
{
    for (const auto& receiver : shared().m_delegates.snapshot())
        receiver->digitalModelRotateTo(point);
}

void RVDMMouseActionManager::digitalModelScaleBy(double delta)
{
    for (const auto& receiver : shared().m_delegates.snapshot())
        receiver->digitalModelScaleBy(delta);
}
