// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvAttachGeoPressureSpot.h"

#include <cmath>

#include "core/model/QvToothBase.h"

namespace {

constexpr int kSphereSegments = 20;

// Takes over a built mesh: elements, box and colours, then marks and re-boxes.
void TakeMesh(QvMesh& target, const QvMesh& built)
{
    target.CopyMeshData(built);
    target.m_bModified = true;
    target.UpdateBBox();
}

} // namespace

std::unique_ptr<QvMesh> CreateSphereMesh(const QvPoint& centre, int segments, double radius)
{
    if (segments < 2)
        return nullptr;
    const int n = segments;
    const int around = 2 * n;
    auto mesh = std::make_unique<QvMesh>();
    mesh->Reserve(2 + (n - 1) * around, 2 * around + (n - 2) * 2 * around, 0);
    const QvVector x(1.0, 0.0, 0.0);
    const QvVector y(0.0, 1.0, 0.0);
    const QvVector z(0.0, 0.0, 1.0);
    mesh->AddVertex(centre + z * radius);
    mesh->AddVertex(centre - z * radius);

    std::vector<std::vector<int>> rings(static_cast<std::size_t>(n - 1));
    for (int k = 1; k <= n - 1; ++k)
    {
        const double theta = k * kQvPi / n;
        std::vector<int>& ring = rings[static_cast<std::size_t>(k - 1)];
        ring.reserve(static_cast<std::size_t>(around));
        for (int j = 0; j < around; ++j)
        {
            const double phi = j * kQvPi / n;
            const QvPoint p = centre + x * (radius * std::sin(theta) * std::cos(phi)) +
                              y * (radius * std::sin(theta) * std::sin(phi)) + z * (radius * std::cos(theta));
            ring.push_back(mesh->AddVertex(p));
        }
    }

    bool ok = true;
    const std::vector<int>& first = rings.front();
    for (int j = 0; j < around; ++j)
    {
        const int jn = (j + 1) % around;
        ok = mesh->AddFace(0, first[j], first[jn], 0) && ok;
    }
    std::vector<int> last(rings.back().rbegin(), rings.back().rend());
    for (int j = 0; j < around; ++j)
    {
        const int jn = (j + 1) % around;
        ok = mesh->AddFace(1, last[j], last[jn], 0) && ok;
    }
    for (std::size_t k = 0; k + 1 < rings.size(); ++k)
    {
        const std::vector<int>& a = rings[k];
        const std::vector<int>& b = rings[k + 1];
        for (int j = 0; j < around; ++j)
        {
            const int jn = (j + 1) % around;
            ok = mesh->AddFace(a[j], b[jn], a[jn], 0) && ok;
            ok = mesh->AddFace(b[j], b[jn], a[j], 0) && ok;
        }
    }
    if (!ok)
        return nullptr;
    mesh->UpdateFaceNormals();
    mesh->UpdateBBox();
    return mesh;
}

bool QvMeanEdgeLength(const QvMesh& mesh, double& length)
{
    if (mesh.m_edges.empty())
        return false;
    double sum = 0.0;
    for (const QvEdge& e : mesh.m_edges)
        sum += mesh.m_vertices[static_cast<std::size_t>(e.m_vertices[0])].m_point.Distance(
            mesh.m_vertices[static_cast<std::size_t>(e.m_vertices[1])].m_point);
    length = sum / static_cast<double>(mesh.m_edges.size());
    return true;
}

bool QvAttachGeoPressureSpot::BuildGeometry(QvToothBase* tooth, const std::vector<int>& vertices,
                                            const double* params)
{
    if (!tooth || !params || vertices.empty())
        return false;
    const int v = vertices.front();
    if (v < 0 || v >= static_cast<int>(tooth->m_vertices.size()))
        return false;
    const QvPoint p = tooth->m_vertices[static_cast<std::size_t>(v)].m_point;
    QvVector normal = tooth->GetVertexNormal(v);
    normal.Negate();
    normal.Normalize();
    const double depth = params[2] - params[0];
    const QvPoint centre = p + normal * depth;
    std::unique_ptr<QvMesh> sphere = CreateSphereMesh(centre, kSphereSegments, params[0]);
    if (!sphere)
        return false;
    TakeMesh(*this, *sphere);
    return true;
}
