// SPDX-License-Identifier: GPL-3.0-or-later
// The scheme's tooth sets, its attachments by tooth and step, a few step queries and
// the setters of its shape and clinical records.
#include <algorithm>

#include "core/design/QvAttachStepList.h"
#include "core/design/QvAttachment.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeAttachLinkImpl.h"

namespace {

void SetMember(std::set<QvToothBase*>& set, QvToothBase* tooth, bool in)
{
    if (!tooth)
        return;
    if (in)
        set.insert(tooth);
    else
        set.erase(tooth);
}

// Copies first, so that a set given its own contents keeps them.
void ReplaceSet(std::set<QvToothBase*>& set, const std::set<QvToothBase*>& teeth)
{
    std::set<QvToothBase*> copy = teeth;
    copy.erase(nullptr);
    set = std::move(copy);
}

// The first list of the tooth and its index; null when none.
QvAttachStepList* FirstList(const std::vector<QvAttachStepList*>& lists, const QvToothBase* tooth, std::size_t* index)
{
    if (!tooth)
        return nullptr;
    for (std::size_t i = 0; i < lists.size(); ++i)
        if (lists[i] && lists[i]->GetTooth() == tooth)
        {
            if (index)
                *index = i;
            return lists[i];
        }
    return nullptr;
}

} // namespace

// ---- Tooth sets ------------------------------------------------------------------------

void QvScheme::SetExtracted(QvToothBase* tooth, bool extracted) { SetMember(m_extractedTeeth, tooth, extracted); }

void QvScheme::SetHidden(QvToothBase* tooth, bool hidden) { SetMember(m_hiddenTeeth, tooth, hidden); }

void QvScheme::SetExtractedTeeth(const std::set<QvToothBase*>& teeth) { ReplaceSet(m_extractedTeeth, teeth); }

void QvScheme::SetHiddenTeeth(const std::set<QvToothBase*>& teeth) { ReplaceSet(m_hiddenTeeth, teeth); }

// ---- Attachments -------------------------------------------------------------------------

void QvScheme::GetAttachmentsAtStep(const QvToothBase* tooth, int step, std::vector<QvAttachment*>& out) const
{
    if (const QvAttachStepList* list = FirstList(m_attachLists, tooth, nullptr))
        for (QvAttachment* attachment : list->GetAttachments())
            if (attachment && attachment->IsInStep(step))
                out.push_back(attachment);
}

void QvScheme::GetAllAttachments(std::vector<QvAttachment*>& out) const
{
    for (const QvAttachStepList* list : m_attachLists)
        if (list)
            for (QvAttachment* attachment : list->GetAttachments())
                if (attachment)
                    out.push_back(attachment);
}

void QvScheme::CollectAttachments(std::vector<QvAttachment*>& out) const { GetAllAttachments(out); }

void QvScheme::RemoveToothAttachments(QvToothBase* tooth)
{
    std::size_t index = 0;
    QvAttachStepList* list = FirstList(m_attachLists, tooth, &index);
    if (!list)
        return;
    // An attachment listed twice is destroyed once.
    std::vector<QvAttachment*> attachments = list->GetAttachments();
    std::sort(attachments.begin(), attachments.end());
    attachments.erase(std::unique(attachments.begin(), attachments.end()), attachments.end());
    list->Clear();
    for (QvAttachment* attachment : attachments)
        QvDestroySchemeAttachment(attachment, m_pModel);
    delete list;
    m_attachLists.erase(m_attachLists.begin() + static_cast<std::ptrdiff_t>(index));
}

void QvScheme::AddAttachment(QvToothBase* tooth, QvAttachment* attachment)
{
    if (!tooth || !attachment)
        return;
    QvAttachStepList* list = FirstList(m_attachLists, tooth, nullptr);
    if (!list)
    {
        list = new QvAttachStepList(tooth, {});
        m_attachLists.push_back(list);
    }
    list->AddAttachment(attachment);
}

void QvScheme::RemoveAttachment(QvToothBase* tooth, QvAttachment* attachment)
{
    QvAttachStepList* list = FirstList(m_attachLists, tooth, nullptr);
    if (!list || !attachment)
        return;
    // An attachment the list does not hold is not the scheme's to destroy here.
    const std::vector<QvAttachment*>& held = list->GetAttachments();
    if (std::find(held.begin(), held.end(), attachment) == held.end())
        return;
    list->RemoveAttachment(attachment);
    QvDestroySchemeAttachment(attachment, m_pModel);
}

// ---- Steps -------------------------------------------------------------------------------

void QvScheme::RemoveTreatSteps(const std::vector<QvTreatStep*>& steps)
{
    for (QvTreatStep* step : steps)
        for (QvTreatStepList* list : m_stepLists)
            if (list && list->RemoveStep(step))
                break;
}

QvTreatStep* QvScheme::FindNextStep(int step, const QvToothBase* tooth) const
{
    if (!tooth)
        return nullptr;
    for (std::size_t i = static_cast<std::size_t>(std::max(step + 1, 0)); i < m_stepLists.size(); ++i)
        if (QvTreatStep* found = m_stepLists[i]->FindStep(tooth))
            return found;
    return nullptr;
}

QvTreatStep* QvScheme::FindPrevFixedStep(int count, const QvToothBase* tooth) const
{
    if (!tooth || count <= 0)
        return nullptr;
    const int last = static_cast<int>(m_stepLists.size()) - 1;
    for (int i = std::min(count - 1, last); i >= 0; --i)
        if (QvTreatStep* found = m_stepLists[static_cast<std::size_t>(i)]->FindStep(tooth);
            found && found->m_nType != kQvStepHold)
            return found;
    return nullptr;
}

bool QvScheme::HasBite(int step) const
{
    if (step < 0 || step >= static_cast<int>(m_stepLists.size()))
        return false;
    const QvTreatStepList* list = m_stepLists[static_cast<std::size_t>(step)];
    return list && list->m_bBite;
}

// ---- Records -------------------------------------------------------------------------------

namespace {

void CopyPlane(QvOcclusalPlane*& member, const QvOcclusalPlane* plane)
{
    if (!plane)
        return;
    if (!member)
        member = new QvOcclusalPlane(*plane);
    else
        *member = *plane;
}

void CopyArchForm(QvArchForm*& member, const QvArchForm* form)
{
    if (!form)
        return;
    if (!member)
        member = new QvArchForm();
    *member = *form;
}

} // namespace

void QvScheme::SetOcclusalPlane(const QvOcclusalPlane* plane) { CopyPlane(m_pOcclusalPlane1, plane); }

void QvScheme::SetOcclusalPlane2(const QvOcclusalPlane* plane) { CopyPlane(m_pOcclusalPlane2, plane); }

void QvScheme::SetArchForm(const QvArchForm* form) { CopyArchForm(m_pArchForm1, form); }

void QvScheme::SetArchForm2(const QvArchForm* form) { CopyArchForm(m_pArchForm2, form); }

void QvScheme::SetClinicalInfo(const QvClinicalInfo* info)
{
    if (!info)
        return;
    if (!m_pClinicalInfo)
        m_pClinicalInfo = new QvClinicalInfo();
    *m_pClinicalInfo = *info;
}

void QvScheme::DeleteShapeRecords()
{
    delete m_pOcclusalPlane1;
    delete m_pOcclusalPlane2;
    delete m_pArchForm1;
    delete m_pArchForm2;
    m_pOcclusalPlane1 = nullptr;
    m_pOcclusalPlane2 = nullptr;
    m_pArchForm1 = nullptr;
    m_pArchForm2 = nullptr;
}

void QvScheme::DeleteRecords()
{
    DeleteShapeRecords();
    delete m_pClinicalInfo;
    m_pClinicalInfo = nullptr;
}
