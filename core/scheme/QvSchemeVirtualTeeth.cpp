// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstddef>

#include "core/geometry/QvPlane.h"
#include "core/geometry/QvPolyline.h"
#include "core/model/QvModel.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvAutoAdjustPontic.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeDetail.h"

namespace {

bool IsReferencePlaced(const QvToothBase* tooth)
{
    return tooth->GetType() == kQvTypeVirtualTooth && static_cast<const QvVirtualTooth*>(tooth)->m_bReference;
}

// The jaw-relative matrix of the tooth's step at step; null when it has none.
bool JawRelativeAt(const QvScheme& scheme, int step, const QvToothBase* tooth, QvMatrix& out)
{
    const QvTreatStep* found = scheme.FindStep(step, tooth);
    if (!found)
        return false;
    out = found->GetJawRelativeMatrix();
    return true;
}

// Exact comparison: any element that differs, or an unordered pair, is a move.
bool Differ(const QvMatrix& a, const QvMatrix& b)
{
    if (a.m_row != b.m_row || a.m_col != b.m_col)
        return true;
    for (int i = 0; i < a.m_row * a.m_col; ++i)
        if (!(a.m_pData[i] == b.m_pData[i]))
            return true;
    return false;
}

bool IsAllZero(const QvMatrix& m)
{
    for (int i = 0; i < m.m_row * m.m_col; ++i)
        if (m.m_pData[i] != 0.0)
            return false;
    return true;
}

} // namespace

void QvScheme::FindVirtualToothNeighbours(QvToothBase* virtualTooth, std::vector<QvToothBase*>& teeth,
                                          double offsets[2])
{
    offsets[0] = 0.0;
    offsets[1] = 0.0;
    if (!virtualTooth)
        return;
    if (teeth.size() < 3)
        teeth.resize(3, nullptr);
    const bool upper = virtualTooth->IsUpper();
    const int reference = IsReferencePlaced(virtualTooth) ? GetJawLastStep(upper) : 0;

    std::vector<QvToothBase*> candidates;
    for (QvToothBase* tooth : GetGumTeeth(reference))
        if (tooth->IsUpper() == upper)
            candidates.push_back(tooth);
    candidates.push_back(virtualTooth);

    QvPolyline points;
    for (const QvToothBase* tooth : candidates)
    {
        QvPoint p = tooth->GetCenter();
        if (tooth == virtualTooth)
            p = QvOwnPlacement(virtualTooth) * p;
        QvMatrix placement;
        if (JawRelativeAt(*this, reference, tooth, placement))
            p = placement * p;
        points.m_points.push_back(p);
    }
    // No chain (the virtual tooth alone in its jaw) leaves the order empty: no neighbour.
    std::vector<int> order;
    if (!points.SortByNearestNeighbour(order))
        order.clear();
    std::vector<QvToothBase*> arch;
    for (const int i : order)
        arch.push_back(candidates[static_cast<std::size_t>(i)]);

    QvToothBase* first = nullptr;
    QvToothBase* second = nullptr;
    const auto at = std::find(arch.begin(), arch.end(), virtualTooth);
    if (at != arch.end())
    {
        if (at != arch.begin())
            first = *(at - 1);
        if (at + 1 != arch.end())
            second = *(at + 1);
    }

    QvFrame f1 = *virtualTooth->GetFrame();
    f1.Transform(QvOwnPlacement(virtualTooth));
    QvMatrix placement;
    if (JawRelativeAt(*this, reference, virtualTooth, placement))
        f1.Transform(placement);
    QvFrame f0;
    QvFrame f2;
    if (first)
        f0 = QvPonticNeighbourFrame(*first, JawRelativeAt(*this, reference, first, placement) ? &placement : nullptr);
    if (second)
        f2 = QvPonticNeighbourFrame(*second, JawRelativeAt(*this, reference, second, placement) ? &placement : nullptr);
    const QvPonticAxes axes = QvPonticArchAxes(f1, first ? &f0 : nullptr, second ? &f2 : nullptr);
    const QvPoint centre = first && second ? QvPoint((f0.m_centre[0] + f2.m_centre[0]) * 0.5,
                                                     (f0.m_centre[1] + f2.m_centre[1]) * 0.5,
                                                     (f0.m_centre[2] + f2.m_centre[2]) * 0.5)
                                           : f1.m_centre;

    teeth[1] = virtualTooth;
    if (first)
        teeth[0] = first;
    if (second)
        teeth[2] = second;
    offsets[0] = QvPlane(centre, axes.z).Distance(f1.m_centre, true);
    offsets[1] = QvPlane(centre, axes.y).Distance(f1.m_centre, true);
}

bool QvScheme::AdjustVirtualTooth(std::vector<QvToothBase*>& teeth, int step, const double offsets[2],
                                  QvMatrix& result, bool force)
{
    if (teeth.size() < 3 || !teeth[1])
        return false;
    QvToothBase* pontic = teeth[1];
    const bool reference = IsReferencePlaced(pontic);
    std::vector<QvMatrix> matrices(3, qvscheme::Identity4());
    matrices[1] = QvOwnPlacement(pontic);
    bool changed = force;

    for (const std::size_t n : {std::size_t{0}, std::size_t{2}})
    {
        const QvToothBase* neighbour = teeth[n];
        if (!neighbour)
            continue;
        const QvTreatStep* base = nullptr;
        if (reference)
            base = FindFinalStep(neighbour);
        else
        {
            base = GetTreatStep(0, neighbour);
            if (!base)
                base = GetInitialStep(neighbour);
        }
        if (!base)
            continue;
        const QvTreatStep* now = FindStep(step, neighbour);
        if (!now)
            continue;
        matrices[n] = now->GetJawRelativeMatrix();
        if (Differ(matrices[n], base->GetJawRelativeMatrix()))
            changed = true;
    }
    if (!changed)
        return false;

    std::vector<QvToothBase*> list(teeth.begin(), teeth.begin() + 3);
    const bool upper = pontic->IsUpper();
    for (QvToothBase* tooth : GetGumTeeth(step))
    {
        if (tooth->IsUpper() == upper)
            continue;
        list.push_back(tooth);
        QvMatrix placement = qvscheme::Identity4();
        (void)JawRelativeAt(*this, step, tooth, placement);
        matrices.push_back(placement);
    }

    QvAutoAdjustPontic command(list, matrices, false);
    command.SetHeightOffset(offsets[0]);
    command.SetLateralOffset(offsets[1]);
    if (!command.Execute())
        return false;
    // A forced run re-places the pontic on its own placement matrix, which the caller
    // multiplies by the result: the all-zero answer for a pontic without room would
    // wipe that matrix out, so the pontic keeps its placement instead. Unforced runs
    // hand it on, to be stored as a step matrix, where all zero means "no matrix".
    if (force && IsAllZero(command.GetResult()))
        return false;
    result = command.GetResult();
    return true;
}

void QvScheme::SetLowerJawTransform(int step, const QvMatrix& jaw)
{
    // Stored step matrices are finite 4 x 4 placements; another jaw would break them.
    if (!qvscheme::IsFinitePlacement(jaw))
        return;
    std::vector<QvToothBase*> teeth;
    GetTeeth(teeth);
    std::erase_if(teeth, [](const QvToothBase* tooth) { return tooth->IsUpper(); });
    for (QvToothBase* tooth : m_virtualTeeth)
        if (tooth && !tooth->IsUpper())
            teeth.push_back(tooth);

    for (QvToothBase* tooth : teeth)
    {
        QvTreatStep* target = GetTreatStep(step, tooth);
        const QvTreatStep* source = target;
        if (!target)
        {
            target = InsertTreatStep(tooth, step, kQvStepBite, qvscheme::Identity4());
            if (!target)
                continue;
            source = FindPrevKeyStep(step, tooth);
        }
        // A tooth without an earlier key stands at its unmoved (identity) placement.
        QvMatrix placement = source ? source->m_matrix : qvscheme::Identity4();
        if (source && source->GetStepList())
        {
            QvMatrix inverse;
            (void)QvInvertJaw(source->GetStepList()->m_jawMatrix, inverse);
            placement = inverse * placement;
        }
        target->SetMatrix(jaw * placement);
    }

    if (QvTreatStepList* list = GetStepList(step))
    {
        list->m_jawMatrix = jaw;
        list->m_bBite = true;
    }
}
