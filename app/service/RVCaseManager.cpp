// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/RVCaseManager.h"

#include "app/platform/Dispatch.h"

RVCaseManager& RVCaseManager::shared()
{
    static RVCaseManager manager;
    return manager;
}

void RVCaseManager::Relay(void (RVCaseManagerDelegate::*message)())
{
    platform::SyncOnGui([this, message] {
        if (auto* d = dynamic_cast<RVCaseManagerDelegate*>(m_delegate.data()))
            (d->*message)();
    });
}

void RVCaseManager::willSwitchNewCase()
{
    Relay(&RVCaseManagerDelegate::willSwitchNewCase);
}

void RVCaseManager::watchCaseImages()
{
    Relay(&RVCaseManagerDelegate::watchCaseImages);
}

bool RVCaseManager::isSmaeCaseWithLeftCase(const RVCaseInfo& left, const RVCaseInfo& right)
{
    const auto same = [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; };
    if (!same(left.caseNo, right.caseNo) || !same(left.phaseNo, right.phaseNo))
        return false;
    return left.casePhaseId.isEmpty() || same(left.casePhaseId, right.casePhaseId);
}
