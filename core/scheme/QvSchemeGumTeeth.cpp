// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvPolyline.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeDetail.h"

namespace {

bool IsExtractedState(const QvToothBase* tooth)
{
    return tooth->GetType() == kQvTypeTooth && static_cast<const QvTooth*>(tooth)->GetState() == kQvToothExtracted;
}

// The tooth's placement at the step; the identity without one.
QvMatrix PlacementAt(const QvScheme& scheme, int step, const QvToothBase* tooth)
{
    const QvTreatStep* found = scheme.FindStep(step, tooth);
    return found ? found->m_matrix : qvscheme::Identity4();
}

} // namespace

std::vector<QvToothBase*> QvScheme::GetGumTeeth(int step)
{
    std::vector<QvToothBase*> teeth;
    GetTeeth(teeth);
    std::vector<QvToothBase*> jaws[2]; // upper, lower
    bool hasExtracted[2] = {false, false};
    for (QvToothBase* tooth : teeth)
    {
        const int j = tooth->IsUpper() ? 0 : 1;
        jaws[j].push_back(tooth);
        hasExtracted[j] = hasExtracted[j] || IsExtractedState(tooth);
    }
    if (!hasExtracted[0] && !hasExtracted[1])
        return teeth;

    std::vector<QvToothBase*> result;
    for (int j = 0; j < 2; ++j)
    {
        const std::vector<QvToothBase*>& jaw = jaws[j];
        if (!hasExtracted[j])
        {
            result.insert(result.end(), jaw.begin(), jaw.end());
            continue;
        }
        QvPolyline centres;
        for (const QvToothBase* tooth : jaw)
            centres.m_points.push_back(PlacementAt(*this, step, tooth) * tooth->GetCenter());
        std::vector<int> order;
        if (!centres.SortByNearestNeighbour(order))
            continue;
        std::vector<QvToothBase*> arch;
        for (const int i : order)
            arch.push_back(jaw[static_cast<std::size_t>(i)]);

        std::vector<bool> selected(arch.size());
        for (std::size_t i = 0; i < arch.size(); ++i)
            selected[i] = !IsExtractedState(arch[i]);
        for (std::size_t i = 0; i < arch.size(); ++i)
        {
            if (!IsExtractedState(arch[i]))
                continue;
            std::vector<QvToothBase*> neighbours;
            if (i > 0 && selected[i - 1])
                neighbours.push_back(arch[i - 1]);
            if (i + 1 < arch.size() && !IsExtractedState(arch[i + 1]))
                neighbours.push_back(arch[i + 1]);
            selected[i] = IsToothWithinNeighbours(step, arch[i], neighbours);
        }
        for (std::size_t i = 0; i < arch.size(); ++i)
            if (selected[i])
                result.push_back(arch[i]);
    }
    return result;
}

bool QvScheme::IsToothWithinNeighbours(int step, QvToothBase* tooth, const std::vector<QvToothBase*>& neighbours)
{
    if (!tooth || neighbours.empty() || !m_pModel)
        return false;
    const QvJaw* jaw = m_pModel->GetJaw(tooth->IsUpper());
    if (!jaw)
        return false;
    const QvLine axis(jaw->m_frame.m_centre, jaw->m_frame.m_dirZ);
    const auto height = [&axis](const QvPoint& p) {
        double t = 0.0;
        (void)axis.ClosestPoint(p, &t);
        return t;
    };

    double highest = 2.2250738585072014e-308;
    for (const QvToothBase* neighbour : neighbours)
    {
        if (!neighbour)
            continue;
        const QvMatrix placement = PlacementAt(*this, step, neighbour);
        for (const int v : neighbour->m_boundaryLoop)
            if (v >= 0 && static_cast<std::size_t>(v) < neighbour->m_vertices.size())
            {
                const QvPoint& p = neighbour->m_vertices[static_cast<std::size_t>(v)].m_point;
                highest = std::max(highest, height(placement * p));
            }
    }

    const QvMatrix placement = PlacementAt(*this, step, tooth);
    if (tooth->m_boundaryLoop.empty())
        tooth->UpdateBoundaryLoop();
    int total = 0;
    int below = 0;
    for (const int v : tooth->m_boundaryLoop)
    {
        if (v < 0 || static_cast<std::size_t>(v) >= tooth->m_vertices.size())
            continue;
        ++total;
        if (height(placement * tooth->m_vertices[static_cast<std::size_t>(v)].m_point) <= highest)
            ++below;
    }
    if (total == 0)
        return false;
    return below > 0 && below >= static_cast<int>(0.7 * total + 0.5);
}
