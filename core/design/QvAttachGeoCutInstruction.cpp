// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvAttachGeoCutInstruction.h"

#include <istream>
#include <memory>
#include <ostream>

#include "core/design/QvAttachGeoPressureSpot.h"
#include "core/design/QvAttachGeoPressureZone.h"
#include "core/geometry/QvCircle.h"
#include "core/geometry/QvStreamIO.h"
#include "core/mesh/QvCreateSweepMeshCommand.h"
#include "core/mesh/QvParameterizeMgr.h"
#include "core/mesh/QvSurfaceCurveTracer.h"
#include "core/model/QvToothBase.h"

namespace {
constexpr double kTubeRadius = 0.3;
}

std::ostream& QvAttachGeoCutInstruction::Write(std::ostream& os, int version) const
{
    return qvattach::WriteWithCount(*this, os, version, m_nMaxVertexCount);
}

bool QvAttachGeoCutInstruction::Read(std::istream& is, int version, QvModel* model)
{
    return ReadBaseWithCount(is, version, model, m_nMaxVertexCount);
}

bool QvAttachGeoCutInstruction::BuildGeometry(QvToothBase* tooth, const std::vector<int>& vertices,
                                              const double* /*params*/)
{
    if (!tooth || vertices.empty())
        return false;
    std::vector<int> chain = vertices;
    const bool closed = static_cast<std::int64_t>(chain.size()) == static_cast<std::int64_t>(m_nMaxVertexCount) + 1;
    if (closed)
        chain.pop_back();
    if (chain.empty())
        return false;
    int anchor = -1;
    if (!qvattach::FindBuildAnchor(*tooth, chain, anchor))
        return false;
    double meanEdge = 0.0;
    if (!QvMeanEdgeLength(*tooth, meanEdge))
        return false;

    QvParameterizeMgr* cache = QvParameterizeMgr::Instance();
    cache->AddLocalMesh(tooth, *tooth->GetBoundaryLoop(), anchor);
    QvSurfaceCurveTracer tracer(tooth, chain);
    tracer.SetFitCurve(true);
    if (!tracer.Run(closed) || !tracer.GetCurve())
    {
        cache->RemoveMesh(tooth);
        return false;
    }

    // Orients the tube's first ring by the surface around the first vertex.
    std::vector<int> faces;
    tooth->GetVertexFaces(chain.front(), faces, false);
    QvVector reference(0.0, 0.0, 0.0);
    for (int f : faces)
        reference = reference + tooth->m_faces[static_cast<std::size_t>(f)].m_normal;
    reference.Normalize();

    QvCircle profile(QvPoint(0.0, 0.0, 0.0), kTubeRadius, QvVector(0.0, 0.0, 1.0));
    QvCreateSweepMeshCommand sweep(tracer.GetCurve(), &profile, 2.0 * meanEdge);
    sweep.SetCapEnds(!closed);
    sweep.m_pRefDir = &reference;
    const bool swept = sweep.Execute();
    cache->RemoveMesh(tooth);
    if (!swept)
        return false;
    std::unique_ptr<QvMesh> tube(sweep.GetMesh());
    if (!tube)
        return false;
    CopyMeshData(*tube);
    m_bModified = true;
    UpdateBBox();
    return true;
}
