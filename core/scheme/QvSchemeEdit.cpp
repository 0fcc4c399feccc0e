// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeDetail.h"

namespace {

// The frame around every edit of one tooth's steps: bite steps out and the tooth's
// steps jaw-relative while it is open; the jaw transform and the bite steps back
// whichever way the edit leaves.
class EditFrame
{
public:
    EditFrame(QvScheme& scheme, QvToothBase* tooth) : m_scheme(scheme), m_tooth(tooth)
    {
        m_scheme.RemoveBiteSteps();
        m_scheme.StripJawTransform(m_tooth);
    }
    EditFrame(const EditFrame&) = delete;
    EditFrame& operator=(const EditFrame&) = delete;
    ~EditFrame()
    {
        m_scheme.ApplyJawTransform(m_tooth);
        m_scheme.AddBiteSteps();
    }

private:
    QvScheme& m_scheme;
    QvToothBase* m_tooth;
};

} // namespace

QvTreatStep* QvScheme::AddTreatStep(QvToothBase* tooth, int step, int type, const QvMatrix& matrix)
{
    if (!tooth || step < 0)
        return nullptr;
    EditFrame frame(*this, tooth);
    QvTreatStep* added = InsertTreatStep(tooth, step, type, matrix);
    AlignOverCorrectionSteps();
    return added;
}

QvTreatStep* QvScheme::AddTreatStep(QvToothBase* tooth, int step, int type)
{
    return AddTreatStep(tooth, step, type, qvscheme::Identity4());
}

void QvScheme::TakeToothSteps(const QvToothBase* tooth, int first, std::vector<QvTreatStep*>& out)
{
    if (!tooth || first < 0 || first >= static_cast<int>(m_stepLists.size()))
        return;
    for (std::size_t i = static_cast<std::size_t>(first); i < m_stepLists.size(); ++i)
        if (QvTreatStep* step = m_stepLists[i]->TakeStep(tooth))
        {
            step->m_pStepList = nullptr;
            out.push_back(step);
        }
}

void QvScheme::CollectToothSteps(const QvToothBase* tooth, int first, std::vector<QvTreatStep*>& out) const
{
    if (!tooth || first < 0)
        return;
    for (std::size_t i = static_cast<std::size_t>(first); i < m_stepLists.size(); ++i)
        if (QvTreatStep* step = m_stepLists[i]->FindStep(tooth))
            out.push_back(step);
}

bool QvScheme::ShiftToothSteps(QvToothBase* tooth, int from, int to)
{
    if (!tooth || to < 0)
        return false;
    std::vector<QvTreatStep*> taken;
    TakeToothSteps(tooth, from, taken);
    if (taken.empty())
        return true;
    const int d = to - from;
    AppendListsUpTo(taken.back()->m_nStep + d);
    for (QvTreatStep* step : taken)
    {
        step->m_nStep += d;
        // A step refused for a number the tooth already uses would belong nowhere.
        if (!InsertStep(step))
            delete step;
    }
    return true;
}

void QvScheme::AlignOverCorrectionSteps()
{
    const int n = GetTreatStepCount();
    std::vector<QvToothBase*> teeth;
    GetTeeth(teeth);
    for (QvToothBase* tooth : teeth)
    {
        const QvTreatStep* finalStep = FindFinalStep(tooth);
        if (!finalStep)
            continue;
        const QvTreatStep* after = nullptr;
        for (std::size_t i = static_cast<std::size_t>(std::max(finalStep->m_nStep + 1, 0));
             i < m_stepLists.size() && !after; ++i)
            after = m_stepLists[i]->FindStep(tooth);
        // Already in place: moving would only reorder the lists.
        if (after && after->m_nType != kQvStepBite && after->m_nStep != n)
            ShiftToothSteps(tooth, after->m_nStep, n);
    }
}

bool QvScheme::RemoveKeyStep(int step, QvToothBase* tooth)
{
    if (!tooth || step < 0 || step >= static_cast<int>(m_stepLists.size()))
        return false;
    QvTreatStep* removed = m_stepLists[static_cast<std::size_t>(step)]->TakeStep(tooth);
    if (!removed)
        return false;
    EditFrame frame(*this, tooth);
    delete removed;
    ShiftToothSteps(tooth, step + 1, step);
    QvTreatStep* previous = FindPrevKeyStep(step, tooth);
    QvTreatStep* next = FindNextKeyStep(step, tooth);
    if (previous && next)
        InterpolateSteps(previous, next);
    return true;
}

bool QvScheme::MoveToothStep(int from, int to, QvToothBase* tooth)
{
    if (!tooth || from == to || to < 0 || !GetTreatStep(from, tooth))
        return false;
    EditFrame frame(*this, tooth);
    // Looked up again: a bite step at from went with the bite steps.
    const QvTreatStep* moved = GetTreatStep(from, tooth);
    if (!moved)
        return false;
    if (moved->m_nType == kQvStepInitial)
        ShiftToothSteps(tooth, from, to);
    else
    {
        if (to > from)
        {
            ShiftToothSteps(tooth, from, to);
            for (int s = from; s < to; ++s)
                InsertTreatStep(tooth, s, kQvStepMoving);
        }
        else
        {
            std::vector<QvTreatStep*> taken;
            TakeToothSteps(tooth, to, taken);
            for (QvTreatStep* step : taken)
            {
                if (step->m_nStep >= from)
                {
                    step->m_nStep -= from - to;
                    if (InsertStep(step))
                        continue;
                }
                delete step;
            }
        }
        QvTreatStep* previous = FindPrevKeyStep(to, tooth);
        QvTreatStep* landed = GetTreatStep(to, tooth);
        if (previous)
            InterpolateSteps(previous, landed);
    }
    AlignOverCorrectionSteps();
    return true;
}

bool QvScheme::RemoveToothSteps(const QvToothBase* tooth)
{
    if (!tooth)
        return false;
    std::vector<QvTreatStep*> taken;
    TakeToothSteps(tooth, 0, taken);
    for (QvTreatStep* step : taken)
        delete step;
    return true;
}

bool QvScheme::ResetSteps(bool keepFirstOnly)
{
    if (keepFirstOnly)
    {
        if (m_stepLists.empty())
            CreateInitialSteps();
        else
        {
            for (std::size_t i = 1; i < m_stepLists.size(); ++i)
                delete m_stepLists[i];
            m_stepLists.resize(1);
        }
        return true;
    }
    std::vector<QvToothBase*> teeth;
    GetTeeth(teeth);
    teeth.insert(teeth.end(), m_virtualTeeth.begin(), m_virtualTeeth.end());
    for (QvToothBase* tooth : teeth)
    {
        const QvTreatStep* initial = GetInitialStep(tooth);
        if (!initial)
            continue;
        if (initial->m_nStep != 0)
            MoveToothStep(initial->m_nStep, 0, tooth);
        if (const QvTreatStep* finalStep = FindFinalStep(tooth))
            MoveToothStep(finalStep->m_nStep, 1, tooth);
    }
    return true;
}

bool QvScheme::InsertStepAfter(int after, QvToothBase* tooth, int type)
{
    if (type != kQvStepHold && type != kQvStepMoving)
        return false;
    if (!tooth || after < 0 || after >= static_cast<int>(m_stepLists.size()) - 1 || !GetTreatStep(after, tooth))
        return false;
    EditFrame frame(*this, tooth);
    const QvTreatStep* at = GetTreatStep(after, tooth);
    if (!at)
        return false;
    const QvMatrix held = at->m_matrix;
    ShiftToothSteps(tooth, after + 1, after + 2);
    if (type == kQvStepHold)
        InsertTreatStep(tooth, after + 1, kQvStepHold, held);
    else if (InsertTreatStep(tooth, after + 1, kQvStepMoving))
        InterpolateSteps(FindPrevKeyStep(after + 1, tooth), FindNextKeyStep(after + 1, tooth));
    return true;
}

bool QvScheme::SetStepType(int step, const QvToothBase* tooth, int type)
{
    QvTreatStep* found = GetTreatStep(step, tooth);
    if (!found)
        return false;
    found->m_nType = type;
    return true;
}
