// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvTreatStepList.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "core/geometry/QvStreamIO.h"
#include "core/scheme/QvSchemeDetail.h"

QvTreatStepList::QvTreatStepList() : m_jawMatrix(qvscheme::Identity4()), m_bBite(false) {}

QvTreatStepList::~QvTreatStepList() { DeleteSteps(); }

void QvTreatStepList::DeleteSteps()
{
    for (QvTreatStep* step : m_steps)
        delete step;
    m_steps.clear();
}

void QvTreatStepList::CopyFrom(const QvTreatStepList& other)
{
    if (&other == this)
        return;
    DeleteSteps();
    m_steps.reserve(other.m_steps.size());
    for (const QvTreatStep* step : other.m_steps)
        AddNewStep(step->m_pTooth, step->m_nStep, step->m_nType, step->m_matrix);
    m_jawMatrix = other.m_jawMatrix;
    m_bBite = other.m_bBite;
}

QvTreatStep* QvTreatStepList::TakeStep(const QvToothBase* tooth)
{
    const auto it = std::find_if(m_steps.begin(), m_steps.end(),
                                 [tooth](const QvTreatStep* step) { return step->m_pTooth == tooth; });
    if (it == m_steps.end())
        return nullptr;
    QvTreatStep* step = *it;
    m_steps.erase(it);
    return step;
}

QvTreatStep* QvTreatStepList::AddNewStep(QvToothBase* tooth, int step, int type, const QvMatrix& matrix)
{
    return AddStep(new QvTreatStep(tooth, step, type, matrix));
}

QvTreatStep* QvTreatStepList::AddStep(QvTreatStep* step)
{
    m_steps.push_back(step);
    step->m_pStepList = this;
    return step;
}

bool QvTreatStepList::RemoveStep(QvTreatStep* step)
{
    const auto it = std::find(m_steps.begin(), m_steps.end(), step);
    if (it == m_steps.end())
        return false;
    m_steps.erase(it);
    delete step;
    return true;
}

std::ostream& QvTreatStepList::WriteForm(std::ostream& os, int version, bool document, bool withJaw) const
{
    qvio::WriteI32(os, static_cast<std::int32_t>(m_steps.size()));
    for (const QvTreatStep* step : m_steps)
    {
        if (document)
            step->WriteDocument(os, version);
        else
            step->Write(os, version);
    }
    if (withJaw)
    {
        qvio::WriteU8(os, m_bBite ? 1 : 0);
        m_jawMatrix.Write(os);
    }
    return os;
}

bool QvTreatStepList::ReadForm(std::istream& is, int version, QvModel* model, bool document, bool withJaw,
                               const QvToothCandidates* candidates)
{
    const qvscheme::StepForm form =
        document ? qvscheme::DocumentStepForm(version) : qvscheme::FileStepForm(version);
    if (form == qvscheme::StepForm::None)
        return false;
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    const std::int32_t n = std::max<std::int32_t>(count, 0);
    if (!qvio::CountFits(is, n, qvscheme::MinStepRecordBytes(form)))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    // Read whole before anything changes: a record that fails leaves the stream at
    // an unknown place, so the list fails with it and stays as it was.
    std::vector<std::unique_ptr<QvTreatStep>> steps;
    std::unordered_set<const QvToothBase*> placed;
    const bool dropsOverCorrection = document && version <= 1027;
    for (std::int32_t i = 0; i < n; ++i)
    {
        auto step = std::make_unique<QvTreatStep>();
        const bool ok = document ? step->ReadDocument(is, version, model, candidates)
                                 : step->Read(is, version, model, candidates);
        if (!ok)
            return false;
        // A step must place a tooth, and a tooth has at most one step per list.
        if (!step->m_pTooth)
            continue;
        if (dropsOverCorrection && step->m_nType == kQvStepOverCorrectionEnd)
            continue;
        if (!placed.insert(step->m_pTooth).second)
            continue;
        steps.push_back(std::move(step));
    }
    std::uint8_t flag = 0;
    QvMatrix jaw;
    if (withJaw && (!qvio::ReadU8(is, flag) || !qvscheme::ReadPlacement(is, jaw)))
        return false;

    DeleteSteps();
    m_steps.reserve(steps.size());
    for (auto& step : steps)
        AddStep(step.release());
    if (withJaw)
    {
        m_bBite = flag != 0;
        m_jawMatrix = jaw;
    }
    return true;
}

std::ostream& QvTreatStepList::WriteDocument(std::ostream& os, int version) const
{
    return WriteForm(os, version, true, qvscheme::DocumentListHasJaw(version));
}

bool QvTreatStepList::ReadDocument(std::istream& is, int version, QvModel* model, const QvToothCandidates* candidates)
{
    return ReadForm(is, version, model, true, qvscheme::DocumentListHasJaw(version), candidates);
}

std::ostream& QvTreatStepList::Write(std::ostream& os, int version) const
{
    if (qvscheme::FileStepForm(version) == qvscheme::StepForm::None)
        return os;
    return WriteForm(os, version, false, qvscheme::FileListHasJaw(version));
}

bool QvTreatStepList::Read(std::istream& is, int version, QvModel* model, const QvToothCandidates* candidates)
{
    return ReadForm(is, version, model, false, qvscheme::FileListHasJaw(version), candidates);
}

std::ostream& QvTreatStepList::WriteWithJaw(std::ostream& os, int version, bool document) const
{
    if (!document && qvscheme::FileStepForm(version) == qvscheme::StepForm::None)
        return os;
    return WriteForm(os, version, document, true);
}

bool QvTreatStepList::ReadWithJaw(std::istream& is, int version, QvModel* model, bool document,
                                  const QvToothCandidates* candidates)
{
    return ReadForm(is, version, model, document, true, candidates);
}
