// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvScheme.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_set>

#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvSchemeDetail.h"

namespace {

bool IsAnyOf(const QvTreatStep* step, std::initializer_list<int> types)
{
    return step && std::find(types.begin(), types.end(), step->m_nType) != types.end();
}

bool InJaw(const QvTreatStep* step, bool upper) { return step->m_pTooth && step->m_pTooth->IsUpper() == upper; }

} // namespace

QvScheme::QvScheme() : m_targetMgr(this) {}

QvScheme::~QvScheme() { Clear(true); }

void QvScheme::DeleteStepLists()
{
    for (QvTreatStepList* list : m_stepLists)
        delete list;
    m_stepLists.clear();
}

void QvScheme::Clear(bool deleteVirtualTeeth)
{
    DeleteStepLists();
    if (deleteVirtualTeeth)
    {
        for (QvToothBase* tooth : m_virtualTeeth)
        {
            // Only this very tooth is unregistered: another entity may hold an equal id.
            if (m_pModel)
            {
                if (m_pModel->FindEntity(tooth->GetID()) == tooth)
                    m_pModel->RemoveEntity(tooth->GetID(), false);
                std::erase(m_pModel->m_virtualTeeth, static_cast<QvEntity*>(tooth));
            }
            delete tooth;
        }
        m_virtualTeeth.clear();
    }
    m_hiddenTeeth.clear();
    m_extractedTeeth.clear();
    m_targetMgr.Clear();
    if (m_pCollisionStore)
        m_pCollisionStore->Clear();
    ClearAttachments();
    DeleteBracketList();
    DeleteRecords();
    m_pModel = nullptr;
}

void QvScheme::CopyFrom(const QvScheme& other, bool copyVirtualTeeth)
{
    // Clearing first would empty other too.
    if (&other == this)
        return;
    Clear(copyVirtualTeeth);

    QvToothCloneMap clones;
    if (copyVirtualTeeth)
    {
        for (QvToothBase* source : other.m_virtualTeeth)
        {
            const auto* virtualSource = dynamic_cast<const QvVirtualTooth*>(source);
            if (!virtualSource)
                continue;
            auto* clone = new QvVirtualTooth();
            *clone = *virtualSource;
            m_virtualTeeth.push_back(clone);
            clones[source] = clone;
        }
    }

    m_stepLists.reserve(other.m_stepLists.size());
    for (const QvTreatStepList* source : other.m_stepLists)
    {
        auto* list = new QvTreatStepList();
        list->CopyFrom(*source);
        if (copyVirtualTeeth)
            for (QvTreatStep* step : list->m_steps)
                if (step->m_pTooth && step->m_pTooth->IsKindOf(kQvTypeVirtualTooth))
                    if (const auto it = clones.find(step->m_pTooth); it != clones.end())
                        step->m_pTooth = it->second;
        m_stepLists.push_back(list);
    }

    m_nValue = other.m_nValue;
    m_hiddenTeeth = other.m_hiddenTeeth;
    m_extractedTeeth = other.m_extractedTeeth;
    m_strText1 = other.m_strText1;
    m_strName = other.m_strName;
    m_pModel = other.m_pModel;
    m_targetMgr = other.m_targetMgr;

    if (const QvSchemeAttachLink* link = QvGetSchemeAttachLink())
    {
        for (const QvAttachStepList* list : other.m_attachLists)
            if (list)
                m_attachLists.push_back(link->CopyList(*list));
        if (other.m_pBracketList)
            if (QvBracketList* brackets = GetBracketList())
                link->CopyBracketList(*brackets, *other.m_pBracketList);
    }

    if (other.m_pOcclusalPlane1)
        m_pOcclusalPlane1 = new QvOcclusalPlane(*other.m_pOcclusalPlane1);
    if (other.m_pOcclusalPlane2)
        m_pOcclusalPlane2 = new QvOcclusalPlane(*other.m_pOcclusalPlane2);
    if (other.m_pArchForm1)
        m_pArchForm1 = new QvArchForm(*other.m_pArchForm1);
    if (other.m_pArchForm2)
        m_pArchForm2 = new QvArchForm(*other.m_pArchForm2);

    m_gumMgr = other.m_gumMgr;

    if (other.m_pClinicalInfo)
        m_pClinicalInfo = new QvClinicalInfo(*other.m_pClinicalInfo);

    if (other.m_pCollisionStore)
        if (std::unique_ptr<QvSchemeStore> copy =
                other.m_pCollisionStore->CloneFor(*this, copyVirtualTeeth ? &clones : nullptr))
            m_pCollisionStore = std::move(copy);
}

void QvScheme::CreateInitialSteps()
{
    if (m_stepLists.empty())
        m_stepLists.push_back(new QvTreatStepList());
    if (m_pModel)
    {
        // One pass over the steps instead of a search per tooth.
        std::unordered_set<const QvToothBase*> placed;
        for (const auto& [tooth, step] : InitialSteps())
            placed.insert(tooth);
        QvTreatStepList* first = m_stepLists.front();
        std::unordered_set<const QvToothBase*> inFirst;
        for (const QvTreatStep* step : first->m_steps)
            inFirst.insert(step->m_pTooth);
        const QvMatrix identity = qvscheme::Identity4();
        for (QvEntity* entity : m_pModel->m_teeth)
        {
            auto* tooth = static_cast<QvToothBase*>(entity);
            if (IsExtracted(tooth) || IsHidden(tooth) || !placed.insert(tooth).second)
                continue;
            // A tooth with another step at 0 is refused there, with the message.
            if (inFirst.count(tooth) != 0)
                InsertTreatStep(tooth, 0, kQvStepInitial, identity);
            else
                first->AddNewStep(tooth, 0, kQvStepInitial, identity);
        }
    }
    m_hiddenTeeth.clear();
}

std::unordered_map<const QvToothBase*, QvTreatStep*> QvScheme::InitialSteps() const
{
    std::unordered_map<const QvToothBase*, QvTreatStep*> initial;
    for (const QvTreatStepList* list : m_stepLists)
        for (QvTreatStep* step : list->m_steps)
            if (step->m_nType == kQvStepInitial)
                initial.emplace(step->m_pTooth, step);
    return initial;
}

bool QvScheme::IsExtracted(const QvToothBase* tooth) const
{
    return m_extractedTeeth.count(const_cast<QvToothBase*>(tooth)) != 0;
}

bool QvScheme::IsHidden(const QvToothBase* tooth) const
{
    return m_hiddenTeeth.count(const_cast<QvToothBase*>(tooth)) != 0;
}

// ---- Storage -------------------------------------------------------------------

void QvScheme::AppendListsUpTo(int step)
{
    while (static_cast<int>(m_stepLists.size()) <= step)
    {
        auto* list = new QvTreatStepList();
        if (!m_stepLists.empty())
            list->m_jawMatrix = m_stepLists.back()->m_jawMatrix;
        m_stepLists.push_back(list);
    }
}

QvTreatStep* QvScheme::InsertTreatStep(QvToothBase* tooth, int step, int type, const QvMatrix& matrix)
{
    if (!tooth || step < 0)
        return nullptr;
    if (GetTreatStep(step, tooth))
    {
        std::puts("add treatstep failed, find same step for same tooth! memory maybe leak!!!");
        return nullptr;
    }
    AppendListsUpTo(step);
    return m_stepLists[static_cast<std::size_t>(step)]->AddNewStep(tooth, step, type, matrix);
}

QvTreatStep* QvScheme::InsertTreatStep(QvToothBase* tooth, int step, int type)
{
    return InsertTreatStep(tooth, step, type, qvscheme::Identity4());
}

QvTreatStep* QvScheme::InsertStep(QvTreatStep* step)
{
    if (!step || step->m_nStep < 0)
        return nullptr;
    const int s = step->m_nStep;
    if (step->m_pTooth && GetTreatStep(s, step->m_pTooth))
        return nullptr;
    AppendListsUpTo(s);
    return m_stepLists[static_cast<std::size_t>(s)]->AddStep(step);
}

// ---- Queries ---------------------------------------------------------------------

QvTreatStep* QvScheme::GetTreatStep(int step, const QvToothBase* tooth) const
{
    if (step < 0 || step >= static_cast<int>(m_stepLists.size()) || !tooth)
        return nullptr;
    return m_stepLists[static_cast<std::size_t>(step)]->FindStep(tooth);
}

QvTreatStep* QvScheme::GetInitialStep(const QvToothBase* tooth) const
{
    if (!tooth)
        return nullptr;
    for (const QvTreatStepList* list : m_stepLists)
        if (QvTreatStep* step = list->FindStep(tooth); step && step->m_nType == kQvStepInitial)
            return step;
    return nullptr;
}

QvTreatStep* QvScheme::FindFinalStep(const QvToothBase* tooth) const
{
    if (!tooth)
        return nullptr;
    for (std::size_t i = m_stepLists.size(); i-- > 0;)
        if (QvTreatStep* step = m_stepLists[i]->FindStep(tooth); step && step->m_nType == kQvStepFinal)
            return step;
    return nullptr;
}

QvTreatStep* QvScheme::FindPrevKeyStep(int step, const QvToothBase* tooth) const
{
    if (step <= 0 || !tooth)
        return nullptr;
    const int last = static_cast<int>(m_stepLists.size()) - 1;
    for (int i = std::min(step - 1, last); i >= 0; --i)
        if (QvTreatStep* found = m_stepLists[static_cast<std::size_t>(i)]->FindStep(tooth);
            IsAnyOf(found, {kQvStepKey, kQvStepInitial, kQvStepFinal}))
            return found;
    return nullptr;
}

QvTreatStep* QvScheme::FindNextKeyStep(int step, const QvToothBase* tooth) const
{
    if (!tooth)
        return nullptr;
    for (std::size_t i = static_cast<std::size_t>(std::max(step + 1, 0)); i < m_stepLists.size(); ++i)
        if (QvTreatStep* found = m_stepLists[i]->FindStep(tooth);
            IsAnyOf(found, {kQvStepKey, kQvStepFinal, kQvStepOverCorrectionEnd}))
            return found;
    return nullptr;
}

void QvScheme::GetToothSteps(const QvToothBase* tooth, std::vector<QvTreatStep*>& out) const
{
    if (!tooth)
        return;
    for (const QvTreatStepList* list : m_stepLists)
        if (QvTreatStep* step = list->FindStep(tooth))
            out.push_back(step);
}

void QvScheme::GetTeeth(std::vector<QvToothBase*>& out) const
{
    if (!m_pModel)
        return;
    for (QvEntity* entity : m_pModel->m_teeth)
    {
        auto* tooth = static_cast<QvToothBase*>(entity);
        if (!IsExtracted(tooth) && !IsHidden(tooth))
            out.push_back(tooth);
    }
}

int QvScheme::GetStepCount() const
{
    for (std::size_t i = m_stepLists.size(); i-- > 0;)
        if (!m_stepLists[i]->m_steps.empty())
            return static_cast<int>(i) + 1;
    return 0;
}

int QvScheme::GetTreatStepCount() const
{
    for (std::size_t i = m_stepLists.size(); i-- > 0;)
        for (const QvTreatStep* step : m_stepLists[i]->m_steps)
            if (step->m_nType == kQvStepFinal || step->m_nType == kQvStepInitial)
                return step->m_nStep + 1;
    return 0;
}

int QvScheme::GetJawStepCount(bool upper) const
{
    for (std::size_t i = m_stepLists.size(); i-- > 0;)
        for (const QvTreatStep* step : m_stepLists[i]->m_steps)
            if (InJaw(step, upper))
                return step->m_nStep + 1;
    return 1;
}

int QvScheme::GetOverCorrectionStepCount(bool upper) const
{
    const int treatCount = GetTreatStepCount();
    for (int k = GetStepCount() - 1; k >= 0; --k)
        for (const QvTreatStep* step : m_stepLists[static_cast<std::size_t>(k)]->m_steps)
            if (step->m_nType == kQvStepOverCorrectionEnd && InJaw(step, upper))
                return treatCount > 0 ? k - (treatCount - 1) : k + 1;
    return 0;
}

int QvScheme::GetJawLastStep(bool upper) const
{
    const int last = GetTreatStepCount() - 1;
    for (int k = std::min(last, static_cast<int>(m_stepLists.size()) - 1); k >= 0; --k)
        for (const QvTreatStep* step : m_stepLists[static_cast<std::size_t>(k)]->m_steps)
            if (InJaw(step, upper))
                return k;
    return 0;
}

int QvScheme::GetLowerJawFinalStep() const
{
    const int last = GetTreatStepCount() - 1;
    for (int k = std::min(last, static_cast<int>(m_stepLists.size()) - 1); k >= 0; --k)
        for (const QvTreatStep* step : m_stepLists[static_cast<std::size_t>(k)]->m_steps)
            if ((step->m_nType == kQvStepFinal && InJaw(step, false)) || step->m_nType == kQvStepInitial)
                return k;
    return 0;
}

int QvScheme::GetMaxListSize() const
{
    std::size_t most = 0;
    for (const QvTreatStepList* list : m_stepLists)
        most = std::max(most, list->m_steps.size());
    return static_cast<int>(most);
}

QvTreatStep* QvScheme::FindOverCorrectionEnd(const QvToothBase* tooth) const
{
    if (!tooth)
        return nullptr;
    for (std::size_t i = m_stepLists.size(); i-- > 0;)
        if (QvTreatStep* step = m_stepLists[i]->FindStep(tooth); step && step->m_nType == kQvStepOverCorrectionEnd)
            return step;
    return nullptr;
}

int QvScheme::GetOverCorrectionCount() const
{
    const int treatCount = GetTreatStepCount();
    const int count = GetStepCount();
    return treatCount > 0 ? count - (treatCount - 1) - 1 : count;
}
