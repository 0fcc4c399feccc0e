// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>

#include "core/scheme/QvScheme.h"

namespace {

std::unique_ptr<QvSchemeAttachLink>& AttachLink()
{
    static std::unique_ptr<QvSchemeAttachLink> link;
    return link;
}

} // namespace

void QvSetSchemeAttachLink(std::unique_ptr<QvSchemeAttachLink> link) { AttachLink() = std::move(link); }

const QvSchemeAttachLink* QvGetSchemeAttachLink() { return AttachLink().get(); }

QvAttachStepList* QvScheme::GetAttachStepList(const QvToothBase* tooth) const
{
    const QvSchemeAttachLink* link = QvGetSchemeAttachLink();
    if (!link || !tooth)
        return nullptr;
    for (QvAttachStepList* list : m_attachLists)
        if (list && link->GetTooth(*list) == tooth)
            return list;
    return nullptr;
}

QvBracketList* QvScheme::GetBracketList()
{
    if (!m_pBracketList)
        if (const QvSchemeAttachLink* link = QvGetSchemeAttachLink())
            m_pBracketList = link->NewBracketList();
    return m_pBracketList;
}

void QvScheme::DeleteBracketList()
{
    // Only the attachment library can have made one.
    if (m_pBracketList)
        if (const QvSchemeAttachLink* link = QvGetSchemeAttachLink())
            link->DestroyBracketList(m_pBracketList);
    m_pBracketList = nullptr;
}

void QvScheme::ClearAttachments()
{
    if (const QvSchemeAttachLink* link = QvGetSchemeAttachLink())
        for (QvAttachStepList* list : m_attachLists)
            if (list)
                link->DestroyList(list, m_pModel);
    m_attachLists.clear();
}

bool QvScheme::CopyEndAttachments()
{
    const QvSchemeAttachLink* link = QvGetSchemeAttachLink();
    std::vector<QvAttachStepList*> kept;
    if (link)
    {
        std::vector<QvToothBase*> teeth;
        GetTeeth(teeth);
        for (QvToothBase* tooth : teeth)
        {
            const QvTreatStep* finalStep = FindFinalStep(tooth);
            const QvAttachStepList* list = finalStep ? GetAttachStepList(tooth) : nullptr;
            if (!list)
                continue;
            if (QvAttachStepList* copy = link->CopyEndList(*list, finalStep->m_nStep))
                kept.push_back(copy);
        }
    }
    ClearAttachments();
    m_attachLists = std::move(kept);
    return true;
}
