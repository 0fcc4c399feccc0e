// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/gum/QvCreateGumCommandOld.h"

#include <algorithm>
#include <limits>

#include "core/base/QvTypeCodes.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPolyline.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothBase.h"

QvCreateGumCommandOld::QvCreateGumCommandOld(const QvFrame& jawFrame, const std::map<QvToothBase*, QvMatrix*>& teeth)
    : m_up(jawFrame.m_dirZ)
{
    if (!teeth.empty())
    {
        m_bUpper = teeth.begin()->first && teeth.begin()->first->IsUpper();
        for (const auto& [tooth, matrix] : teeth)
            if (tooth)
                m_teeth.emplace(tooth, matrix);
    }
    OrderTeeth(jawFrame);
    m_dMeanEdgeLength = MeanEdgeLength(m_orderedTeeth);
}

QvCreateGumCommandOld::QvCreateGumCommandOld(const QvFrame& jawFrame, const std::vector<QvToothBase*>& teeth)
    : m_up(jawFrame.m_dirZ)
{
    for (QvToothBase* tooth : teeth)
        if (tooth)
            m_teeth.emplace(tooth, nullptr);
    if (!m_teeth.empty())
        m_bUpper = m_teeth.begin()->first->IsUpper();
    OrderTeeth(jawFrame);
    m_dMeanEdgeLength = MeanEdgeLength(m_orderedTeeth);
}

QvCreateGumCommandOld::~QvCreateGumCommandOld()
{
    for (QvGumToothInfo* info : m_toothInfos)
        delete info;
    delete m_pGumMesh;
}

void QvCreateGumCommandOld::SetBaseParameters(double baseOffset, double outlineScale)
{
    m_dBaseOffset = baseOffset;
    m_dOutlineScale = outlineScale;
}

double QvCreateGumCommandOld::MeanEdgeLength(const std::vector<QvToothBase*>& teeth)
{
    double sum = 0.0;
    std::size_t count = 0;
    for (const QvToothBase* tooth : teeth)
    {
        if (!tooth)
            continue;
        for (const QvEdge& edge : tooth->m_edges)
            sum += tooth->m_vertices[static_cast<std::size_t>(edge.m_vertices[0])].m_point.Distance(
                tooth->m_vertices[static_cast<std::size_t>(edge.m_vertices[1])].m_point);
        count += tooth->m_edges.size();
    }
    return count ? sum / static_cast<double>(count) : 0.0;
}

const QvPoint& QvCreateGumCommandOld::Pos(int vertex) const
{
    return m_pGumMesh->m_vertices[static_cast<std::size_t>(vertex)].m_point;
}

void QvCreateGumCommandOld::OrderTeeth(const QvFrame& jawFrame)
{
    std::vector<QvToothBase*> teeth;
    QvPolyline centres;
    for (const auto& [tooth, matrix] : m_teeth)
    {
        QvPoint c = tooth->GetCenter();
        if (matrix)
            c = *matrix * c;
        teeth.push_back(tooth);
        centres.m_points.push_back(c);
    }
    // Two teeth cannot be fitted by a plane; any order of two is a chain.
    if (QvPlane* plane = QvPlane::FitPoints(centres.m_points))
    {
        for (QvPoint& p : centres.m_points)
            p = plane->ProjectPoint(p);
        delete plane;
    }
    std::vector<int> order;
    if (teeth.size() < 2 || !centres.SortByNearestNeighbour(order) || order.size() != teeth.size())
    {
        order.clear();
        for (std::size_t i = 0; i < teeth.size(); ++i)
            order.push_back(static_cast<int>(i));
    }
    for (const int i : order)
        m_orderedTeeth.push_back(teeth[static_cast<std::size_t>(i)]);
    if (order.size() >= 2)
    {
        const QvVector span = centres.m_points[static_cast<std::size_t>(order.back())] -
                              centres.m_points[static_cast<std::size_t>(order.front())];
        if (span.Dot(jawFrame.m_dirY) > 0.0)
            std::reverse(m_orderedTeeth.begin(), m_orderedTeeth.end());
    }
}

void QvCreateGumCommandOld::BuildBasePlane()
{
    QvVector dir = m_up;
    dir.Normalize();
    double top = std::numeric_limits<double>::lowest();
    const QvPoint origin(0.0, 0.0, 0.0);
    for (const QvToothBase* tooth : m_orderedTeeth)
    {
        const auto it = m_teeth.find(const_cast<QvToothBase*>(tooth));
        const QvMatrix* matrix = it != m_teeth.end() ? it->second : nullptr;
        for (const QvVertex& v : tooth->m_vertices)
        {
            const QvPoint p = matrix ? *matrix * v.m_point : v.m_point;
            top = std::max(top, (p - origin).Dot(dir));
        }
    }
    const double d = top + std::max(3.0, m_dBaseOffset);
    m_basePlane = QvPlane(origin + dir * d, dir);
}

namespace {

// The crown rim, computed when missing. A tooth closed by a grown root has no open
// boundary: its rim is the boundary of the crown faces, as the tooth reader sets it.
void EnsureCrownLoop(QvToothBase* tooth)
{
    if (!tooth->GetBoundaryLoop()->empty())
        return;
    if (tooth->GetType() == kQvTypeTooth && tooth->HasRootFaces())
        static_cast<QvTooth*>(tooth)->UpdateCrownLoop();
    if (tooth->GetBoundaryLoop()->empty())
        tooth->UpdateBoundaryLoop();
}

} // namespace

bool QvCreateGumCommandOld::Execute()
{
    if (m_teeth.size() < 2 || m_pGumMesh || !m_toothInfos.empty())
        return false;
    for (QvToothBase* tooth : m_orderedTeeth)
    {
        EnsureCrownLoop(tooth);
        if (tooth->GetBoundaryLoop()->size() < 3)
            return false;
    }
    if (!(m_dMeanEdgeLength > 0.0))
        return false;
    BuildBasePlane();
    if (!BuildToothInfos())
        return false;
    m_pGumMesh = new QvMesh();
    m_pGumMesh->Reserve(15000, 30000, 45000);
    if (!BuildGumSurface())
        return false;
    if (m_bCapToothRings)
        for (QvGumToothInfo* info : m_toothInfos)
            CapToothRing(info);
    if (m_bStitchBorder)
        StitchBorder();
    m_pGumMesh->UpdateFaceNormals();
    m_pGumMesh->UpdateBBox();
    return true;
}
