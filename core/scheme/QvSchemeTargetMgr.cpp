// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvSchemeTargetMgr.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvModel.h"
#include "core/model/QvToothBase.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeDetail.h"
#include "core/scheme/QvTreatStepList.h"

std::ostream& QvSchemeTarget::Write(std::ostream& os, int /*version*/) const
{
    qvio::WriteString(os, m_strName);
    qvio::WriteI32(os, m_nId);
    return os;
}

bool QvSchemeTarget::Read(std::istream& is, int /*version*/)
{
    std::string name;
    std::int32_t id = 0;
    if (!qvio::ReadString(is, name) || !qvio::ReadI32(is, id))
        return false;
    m_strName = std::move(name);
    m_nId = id < 1 ? 1 : id;
    return true;
}

QvSchemeTargetMgr::QvSchemeTargetMgr(QvScheme* owner) : m_pOwner(owner) {}

QvSchemeTargetMgr::~QvSchemeTargetMgr() { DeleteSnapshots(); }

void QvSchemeTargetMgr::DeleteSnapshots()
{
    for (QvTreatStepList* list : m_snapshots)
        delete list;
    m_snapshots.clear();
}

QvSchemeTargetMgr& QvSchemeTargetMgr::operator=(const QvSchemeTargetMgr& other)
{
    if (this == &other)
        return *this;
    DeleteSnapshots();
    m_snapshots.reserve(other.m_snapshots.size());
    for (const QvTreatStepList* source : other.m_snapshots)
    {
        auto* list = new QvTreatStepList();
        list->CopyFrom(*source);
        m_snapshots.push_back(list);
    }
    m_entries = other.m_entries;
    m_nCurrent = other.m_nCurrent;
    return *this;
}

void QvSchemeTargetMgr::Clear()
{
    DeleteSnapshots();
    m_entries.clear();
    m_nCurrent = -1;
}

int QvSchemeTargetMgr::FindIndex(int id) const
{
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].m_nId == id)
            return static_cast<int>(i);
    return -1;
}

int QvSchemeTargetMgr::GetCurrentId() const
{
    if (m_nCurrent < 0 || m_nCurrent >= static_cast<int>(m_entries.size()))
        return 2;
    return m_entries[static_cast<std::size_t>(m_nCurrent)].m_nId;
}

bool QvSchemeTargetMgr::ApplyTarget(int id)
{
    const int index = FindIndex(id);
    if (index < 0 || !m_pOwner)
        return false;
    const QvTreatStepList* snapshot = m_snapshots[static_cast<std::size_t>(index)];
    if (QvModel* model = m_pOwner->GetModel())
        for (QvEntity* entity : model->m_teeth)
        {
            auto* tooth = static_cast<QvToothBase*>(entity);
            if (m_pOwner->IsExtracted(tooth))
                continue;
            QvTreatStep* finalStep = m_pOwner->FindFinalStep(tooth);
            const QvTreatStep* saved = snapshot->FindStep(tooth);
            if (!finalStep || !saved)
                continue;
            if (!tooth->IsUpper() && finalStep->m_pStepList)
                finalStep->m_matrix = finalStep->m_pStepList->m_jawMatrix * saved->m_matrix;
            else
                finalStep->m_matrix = saved->m_matrix;
        }
    m_pOwner->RemoveBiteSteps();
    m_pOwner->AddBiteSteps();
    m_nCurrent = index;
    return true;
}

void QvSchemeTargetMgr::Capture(int id)
{
    RemoveEntry(id);
    auto* list = new QvTreatStepList();
    if (m_pOwner && m_pOwner->GetModel())
    {
        const int t = m_pOwner->GetTreatStepCount();
        for (QvEntity* entity : m_pOwner->GetModel()->m_teeth)
        {
            auto* tooth = static_cast<QvToothBase*>(entity);
            if (m_pOwner->IsExtracted(tooth) || m_pOwner->IsHidden(tooth))
                continue;
            if (const QvTreatStep* step = m_pOwner->FindStep(t, tooth))
                list->AddNewStep(tooth, 0, kQvStepFinal, step->GetJawRelativeMatrix());
        }
    }
    m_snapshots.push_back(list);
    m_entries.push_back(QvSchemeTarget{MakeDateText(), id});
    m_nCurrent = static_cast<std::int32_t>(m_entries.size()) - 1;
}

void QvSchemeTargetMgr::RecaptureCurrent()
{
    const int id = GetCurrentId();
    if (m_nCurrent >= 0 && id != 2)
        Capture(id);
}

void QvSchemeTargetMgr::UpdateTooth(QvToothBase* tooth, int id)
{
    const int index = FindIndex(id);
    if (index < 0 || !tooth || !m_pOwner || !m_pOwner->GetModel())
        return;
    const std::vector<QvEntity*>& teeth = m_pOwner->GetModel()->m_teeth;
    if (std::find(teeth.begin(), teeth.end(), static_cast<QvEntity*>(tooth)) == teeth.end())
        return;
    if (m_pOwner->IsExtracted(tooth) || m_pOwner->IsHidden(tooth))
        return;
    const QvTreatStep* step = m_pOwner->FindStep(m_pOwner->GetTreatStepCount(), tooth);
    if (!step)
        return;
    const QvMatrix matrix = step->GetJawRelativeMatrix();
    QvTreatStepList* snapshot = m_snapshots[static_cast<std::size_t>(index)];
    if (QvTreatStep* saved = snapshot->FindStep(tooth))
        saved->m_matrix = matrix;
    else
        snapshot->AddNewStep(tooth, 0, kQvStepFinal, matrix);
}

void QvSchemeTargetMgr::RemoveEntry(int id)
{
    const int index = FindIndex(id);
    if (index < 0)
        return;
    delete m_snapshots[static_cast<std::size_t>(index)];
    m_snapshots.erase(m_snapshots.begin() + index);
    m_entries.erase(m_entries.begin() + index);
    m_nCurrent = static_cast<std::int32_t>(m_entries.size()) - 1;
}

void QvSchemeTargetMgr::RemoveTooth(const QvToothBase* tooth)
{
    for (QvTreatStepList* snapshot : m_snapshots)
        if (QvTreatStep* step = snapshot->FindStep(tooth))
            snapshot->RemoveStep(step);
}

QvMatrix QvSchemeTargetMgr::GetTargetMatrix(const QvToothBase* tooth, int id) const
{
    if (const int index = FindIndex(id); index >= 0)
    {
        const QvTreatStep* saved = m_snapshots[static_cast<std::size_t>(index)]->FindStep(tooth);
        return saved ? saved->m_matrix : qvscheme::Identity4();
    }
    const QvTreatStep* finalStep = m_pOwner ? m_pOwner->FindFinalStep(tooth) : nullptr;
    return finalStep ? finalStep->GetJawRelativeMatrix() : qvscheme::Identity4();
}

std::string QvSchemeTargetMgr::MakeDateText()
{
    const QvDate today = QvToday();
    char text[40];
    std::snprintf(text, sizeof(text), "%d/%d/%d", today.year, today.month, today.day);
    return text;
}

// ---- Stored forms --------------------------------------------------------------------

std::ostream& QvSchemeTargetMgr::WriteForm(std::ostream& os, int version, Form form) const
{
    qvio::WriteI32(os, static_cast<std::int32_t>(m_entries.size()));
    for (std::size_t i = 0; i < m_entries.size(); ++i)
    {
        if (form == Form::Scheme)
            m_snapshots[i]->Write(os, version);
        else
            m_snapshots[i]->WriteDocument(os, version);
        m_entries[i].Write(os, version);
    }
    qvio::WriteI32(os, m_nCurrent);
    return os;
}

bool QvSchemeTargetMgr::ReadForm(std::istream& is, int version, QvModel* model, Form form,
                                  const QvToothCandidates* candidates)
{
    std::int32_t count = 0;
    // Smallest entry: an empty snapshot, an empty name and the id.
    if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, 12))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    // Read whole before anything changes: after a snapshot that fails the stream
    // position means nothing, so the store stops there and stays as it was.
    std::vector<std::unique_ptr<QvTreatStepList>> snapshots;
    std::vector<QvSchemeTarget> entries;
    bool dropped = false;
    for (std::int32_t i = 0; i < count; ++i)
    {
        auto list = std::make_unique<QvTreatStepList>();
        const bool ok = form == Form::Scheme ? list->Read(is, version, model, candidates)
                                            : list->ReadDocument(is, version, model, candidates);
        QvSchemeTarget entry;
        std::int32_t id = 0;
        if (!ok || !qvio::ReadString(is, entry.m_strName) || !qvio::ReadI32(is, id))
            return false;
        if (form == Form::Legacy && id < 2)
        {
            dropped = true;
            continue;
        }
        entry.m_nId = id < 1 ? 1 : id;
        snapshots.push_back(std::move(list));
        entries.push_back(std::move(entry));
    }
    std::int32_t current = -1;
    if (!qvio::ReadI32(is, current))
        return false;
    if (dropped || current < -1 || current >= static_cast<std::int32_t>(entries.size()))
        current = -1;

    DeleteSnapshots();
    for (auto& list : snapshots)
        m_snapshots.push_back(list.release());
    m_entries = std::move(entries);
    m_nCurrent = current;
    return true;
}

std::ostream& QvSchemeTargetMgr::Write(std::ostream& os, int version) const
{
    return version > 8194 ? WriteForm(os, version, Form::Scheme) : os;
}

bool QvSchemeTargetMgr::Read(std::istream& is, int version, QvModel* model, const QvToothCandidates* candidates)
{
    return version > 8194 ? ReadForm(is, version, model, Form::Scheme, candidates) : true;
}

std::ostream& QvSchemeTargetMgr::WriteDocument(std::ostream& os, int version) const
{
    return WriteForm(os, version, Form::Document);
}

bool QvSchemeTargetMgr::ReadDocument(std::istream& is, int version, QvModel* model,
                                      const QvToothCandidates* candidates)
{
    return version >= 1028 ? ReadForm(is, version, model, Form::Document, candidates) : true;
}

std::ostream& QvSchemeTargetMgr::WriteLegacy(std::ostream& os, int version) const
{
    return version >= 516 && version <= 520 ? WriteForm(os, version, Form::Legacy) : os;
}

bool QvSchemeTargetMgr::ReadLegacy(std::istream& is, int version, QvModel* model)
{
    if (version > 520)
        return false;
    return version >= 516 ? ReadForm(is, version, model, Form::Legacy) : true;
}
