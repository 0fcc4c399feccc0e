// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/gum/QvCreateGumCommandOld.h"
#include "core/gum/QvGumRingOps.h"

#include <algorithm>
#include <limits>

#include "core/base/QvTypeCodes.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPolyline.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothBase.h"

double QvGumEdgeLengthCache::Get(const std::vector<QvToothBase*>& ordered)
{
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_lengths.find(ordered);
        if (found != m_lengths.end())
            return found->second;
    }
    const double length = QvCreateGumCommandOld::MeanEdgeLength(ordered);
    std::lock_guard lock(m_mutex);
    m_lengths.emplace(ordered, length);
    return length;
}

QvCreateGumCommandOld::QvCreateGumCommandOld(const QvFrame& jawFrame, const std::map<QvToothBase*, QvMatrix*>& teeth,
                                             QvGumEdgeLengthCache* lengths)
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
    m_dMeanEdgeLength = lengths ? lengths->Get(m_orderedTeeth) : MeanEdgeLength(m_orderedTeeth);
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
    return GumMeanEdgeLength(std::vector<QvMesh*>(teeth.begin(), teeth.end()));
}

const QvPoint& QvCreateGumCommandOld::Pos(int vertex) const
{
    return m_pGumMesh->m_vertices[static_cast<std::size_t>(vertex)].m_point;
}

void QvCreateGumCommandOld::OrderTeeth(const QvFrame& jawFrame)
{
    GumArchOrder(m_teeth, jawFrame, m_orderedTeeth);
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

bool QvCreateGumCommandOld::EnsureCrownLoops()
{
    if (m_teeth.size() < 2)
        return false;
    for (QvToothBase* tooth : m_orderedTeeth)
    {
        GumEnsureCrownLoop(tooth);
        if (tooth->GetBoundaryLoop()->size() < 3)
            return false;
    }
    return true;
}

bool QvCreateGumCommandOld::Execute()
{
    if (m_teeth.size() < 2 || m_pGumMesh || !m_toothInfos.empty())
        return false;
    if (!EnsureCrownLoops())
        return false;
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
