// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvAttachGeoPressureZone.h"

#include <algorithm>
#include <istream>
#include <memory>
#include <ostream>

#include "core/design/QvAttachGeoPressureSpot.h"
#include "core/geometry/QvCircle.h"
#include "core/geometry/QvStreamIO.h"
#include "core/mesh/QvCreateSweepMeshCommand.h"
#include "core/mesh/QvParameterizeMgr.h"
#include "core/mesh/QvSurfaceCurveTracer.h"
#include "core/model/QvToothBase.h"

namespace qvattach {

std::ostream& WriteWithCount(const QvAttachGeo& geo, std::ostream& os, int version, std::int32_t count)
{
    if (version > kQvAttachGeoVersion5)
        return os;
    geo.QvAttachGeo::Write(os, version);
    qvio::WriteI32(os, count);
    return os;
}

bool FindBuildAnchor(QvToothBase& tooth, const std::vector<int>& vertices, int& anchor)
{
    const int count = static_cast<int>(tooth.m_vertices.size());
    for (int v : vertices)
        if (v < 0 || v >= count)
            return false;
    if (tooth.GetBoundaryLoop()->empty())
        tooth.UpdateBoundaryLoop();
    const std::vector<int>& rim = *tooth.GetBoundaryLoop();
    anchor = -1;
    for (int v : vertices)
        if (std::find(rim.begin(), rim.end(), v) == rim.end())
        {
            anchor = v;
            break;
        }
    return anchor != -1;
}

} // namespace qvattach

std::ostream& QvAttachGeoPressureZone::Write(std::ostream& os, int version) const
{
    return qvattach::WriteWithCount(*this, os, version, m_nMaxVertexCount);
}

bool QvAttachGeoPressureZone::Read(std::istream& is, int version, QvModel* model)
{
    return ReadBaseWithCount(is, version, model, m_nMaxVertexCount);
}

bool QvAttachGeoPressureZone::BuildGeometry(QvToothBase* tooth, const std::vector<int>& vertices,
                                            const double* params)
{
    if (!tooth || !params || vertices.empty())
        return false;
    int anchor = -1;
    if (!qvattach::FindBuildAnchor(*tooth, vertices, anchor))
        return false;
    double meanEdge = 0.0;
    if (!QvMeanEdgeLength(*tooth, meanEdge))
        return false;

    QvParameterizeMgr* cache = QvParameterizeMgr::Instance();
    cache->AddLocalMesh(tooth, *tooth->GetBoundaryLoop(), anchor);
    QvSurfaceCurveTracer tracer(tooth, vertices);
    tracer.SetFitCurve(false);
    if (!tracer.Run(false))
    {
        cache->RemoveMesh(tooth);
        return false;
    }

    // Extents towards -X, +Y, +X, -Y: width p0, p1 to one side of the path, p2 to the other.
    const double extents[4] = {params[0] / 2.0, params[1], params[0] / 2.0, params[2]};
    QvRect profile(QvFrame(), extents);
    QvCreateSweepMeshCommand sweep(tooth, tracer.GetSamples(), &profile, 2.0 * meanEdge);
    sweep.SetCapEnds(true);
    const bool swept = sweep.Execute();
    cache->RemoveMesh(tooth);
    if (!swept)
        return false;
    std::unique_ptr<QvMesh> band(sweep.GetMesh());
    if (!band)
        return false;
    CopyMeshData(*band);
    m_bModified = true;
    UpdateBBox();
    return true;
}
