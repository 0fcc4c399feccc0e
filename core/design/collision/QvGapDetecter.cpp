// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/collision/QvGapDetecter.h"

#include <algorithm>
#include <cmath>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvKDTree.h"
#include "core/geometry/QvLine.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvToothBase.h"
#include "core/scheme/QvGapInfo.h"

namespace {

constexpr double kNoGap = 1e10;

void AppendPlaced(const QvMesh& mesh, const QvMatrix& placement, std::vector<QvPoint>& out)
{
    for (const QvVertex& v : mesh.m_vertices)
        out.push_back(placement * v.m_point);
}

void AppendSectionPoints(const QvMesh& mesh, const QvPlane& plane, std::vector<QvPoint>& out, bool& cut)
{
    std::vector<std::vector<QvSectionPoint>> sections;
    mesh.IntersectPlane(plane, sections);
    cut = !sections.empty();
    for (const std::vector<QvSectionPoint>& section : sections)
        for (const QvSectionPoint& entry : section)
            out.push_back(entry.m_point);
}

} // namespace

QvGapDetecter::QvGapDetecter(QvToothBase* first, const QvMatrix& firstPlacement, QvToothBase* second,
                             const QvMatrix& secondPlacement)
    : m_pFirst(first), m_firstPlacement(firstPlacement), m_pSecond(second), m_secondPlacement(secondPlacement)
{
}

QvGapDetecter::~QvGapDetecter() = default;

void QvGapDetecter::BuildPlanes()
{
    if (!m_pFirst || !m_pSecond)
        return;
    std::vector<QvPoint> points;
    points.reserve(m_pFirst->m_vertices.size() + m_pSecond->m_vertices.size());
    AppendPlaced(*m_pFirst, m_firstPlacement, points);
    AppendPlaced(*m_pSecond, m_secondPlacement, points);
    const std::unique_ptr<QvFrame> frame(QvFrame::FitPoints(points, true));
    if (!frame)
        return;
    const std::unique_ptr<QvLine> axis = GetToothAxis(m_pFirst);
    if (!axis)
        return;
    QvVector v = axis->GetDirection();
    v.Normalize();

    const double a = frame->m_dirX.Dot(v);
    const double b = frame->m_dirY.Dot(v);
    const double c = frame->m_dirZ.Dot(v);
    const bool xMostAligned =
        a != 0.0 && std::fabs(b) <= std::fabs(a) && std::fabs(c) <= std::max(std::fabs(a), std::fabs(b));
    // Never section across the tooth's long axis: the sections would be rings around
    // single teeth instead of profiles through both.
    const QvVector normal = xMostAligned ? frame->m_dirY : frame->m_dirX;

    for (int i = 0; i < 3; ++i)
        m_planes.push_back(std::make_unique<QvPlane>(frame->m_centre, normal));
    m_planes[1]->Offset(kPlaneStep);
    m_planes[2]->Reverse();
    m_planes[2]->Offset(kPlaneStep);
}

std::unique_ptr<QvLine> QvGapDetecter::GetToothAxis(const QvToothBase* tooth) const
{
    if (!tooth)
        return nullptr;
    std::vector<QvPoint> points;
    points.reserve(tooth->m_vertices.size());
    for (const QvVertex& v : tooth->m_vertices)
        points.push_back(v.m_point);
    const std::unique_ptr<QvFrame> frame(QvFrame::FitPoints(points, true));
    if (!frame)
        return nullptr;
    frame->Transform(tooth == m_pFirst ? m_firstPlacement : m_secondPlacement);
    return std::make_unique<QvLine>(frame->m_centre, frame->m_dirZ);
}

void QvGapDetecter::PlaceCopies()
{
    if (m_pPlacedFirst)
        return;
    // QvMesh::Transform only: a tooth's own override would also carry its frame, root
    // and cut line, none of which a section needs.
    auto first = std::make_unique<QvMesh>(static_cast<const QvMesh&>(*m_pFirst));
    first->QvMesh::Transform(m_firstPlacement);
    auto second = std::make_unique<QvMesh>(static_cast<const QvMesh&>(*m_pSecond));
    second->QvMesh::Transform(m_secondPlacement);
    m_pPlacedFirst = std::move(first);
    m_pPlacedSecond = std::move(second);
}

bool QvGapDetecter::MeasureOnPlane(const QvPlane* plane, double& distance, QvPoint& point)
{
    if (!m_pFirst || !m_pSecond || !plane)
        return false;
    PlaceCopies();

    std::vector<QvPoint> a, b;
    bool cutA = false, cutB = false;
    AppendSectionPoints(*m_pPlacedFirst, *plane, a, cutA);
    if (!cutA)
        return false;
    AppendSectionPoints(*m_pPlacedSecond, *plane, b, cutB);
    if (!cutB)
        return false;

    const QvKDTree tree(a);
    double best = kNoGap;
    QvPoint mid(0.0, 0.0, 0.0);
    for (const QvPoint& q : b)
    {
        QvPoint p;
        int index = -1;
        const double d = tree.FindNearest(q, p, index);
        if (index >= 0 && d < best)
        {
            best = d;
            mid = QvPoint((p[0] + q[0]) / 2.0, (p[1] + q[1]) / 2.0, (p[2] + q[2]) / 2.0);
        }
    }
    distance = best;
    point = mid;
    return true;
}

bool QvGapDetecter::Detect()
{
    m_planes.clear();
    m_pResult.reset();
    BuildPlanes();

    double best = kNoGap;
    int index = -1;
    QvPoint at(0.0, 0.0, 0.0);
    for (std::size_t i = 0; i < m_planes.size(); ++i)
    {
        double d = 0.0;
        QvPoint p;
        if (MeasureOnPlane(m_planes[i].get(), d, p) && d < best)
        {
            best = d;
            at = p;
            index = static_cast<int>(i);
        }
    }
    if (index < 0)
        return false;

    // The centre plane is never walked: it has no outward side.
    if (index != 0)
        for (int step = 0; step < kMaxWalk; ++step)
        {
            QvPlane* plane = m_planes[static_cast<std::size_t>(index)].get();
            plane->Offset(kPlaneStep);
            double d = 0.0;
            QvPoint p;
            if (!MeasureOnPlane(plane, d, p) || !(d <= best))
                break;
            best = d;
            at = p;
        }

    m_pResult = std::make_unique<QvGapInfo>(m_pFirst, m_pSecond, kQvGapKindGap, at, best);
    return best > 0.0;
}
