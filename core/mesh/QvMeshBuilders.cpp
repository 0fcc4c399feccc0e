// SPDX-License-Identifier: GPL-3.0-or-later
// Meshes made from other geometry: a filled planar outline and a welded triangle soup.
#include <array>
#include <cmath>
#include <cstddef>
#include <map>
#include <memory>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPolyline.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/QvTriangleCommand.h"

namespace {

bool IsFinite(const QvPoint& p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

// Unit normal of the outline's plane, turning the way the first corner turns. The first
// corner alone is not enough: when it is straight or nearly so its cross product is zero or
// noise, and QvVector::Normalize would make it (1, 0, 0). The area vector of the whole
// outline gives the direction; the first corner only picks the side. False when the
// outline encloses no area.
bool OutlineNormal(const std::vector<QvPoint>& p, QvVector& normal)
{
    const std::size_t n = p.size();
    QvVector area(0.0, 0.0, 0.0);
    for (std::size_t i = 1; i + 1 < n; ++i)
        area += (p[i] - p[0]).Cross(p[i + 1] - p[0]);
    const double length = area.Length();
    if (!(length > 0.0) || !std::isfinite(length))
        return false;
    normal = area / length;
    const QvVector corner = (p[1] - p[0]).Cross(p[2] - p[1]);
    if (corner.Dot(normal) < 0.0)
        normal = -normal;
    return true;
}

} // namespace

std::unique_ptr<QvMesh> QvMesh::CreateFromPolygon(const QvPolyline& outline)
{
    if (!outline.IsClosed())
        return nullptr;
    const std::vector<QvPoint> points(outline.m_points.begin(), outline.m_points.end() - 1);
    const std::size_t n = points.size();
    if (n < 3)
        return nullptr;
    for (const QvPoint& p : points)
        if (!IsFinite(p))
            return nullptr;

    QvVector normal;
    if (!OutlineNormal(points, normal))
        return nullptr;
    const QvMatrix rotation(normal, QvVector(0.0, 0.0, 1.0));

    std::vector<double> coordinates;
    std::vector<std::int32_t> segments;
    coordinates.reserve(2 * n);
    segments.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i)
    {
        const QvPoint flat = rotation * points[i];
        coordinates.push_back(flat[0]);
        coordinates.push_back(flat[1]);
        segments.push_back(static_cast<std::int32_t>(i));
        segments.push_back(static_cast<std::int32_t>((i + 1) % n));
    }

    QvTriangleCommand triangulation(coordinates, segments);
    // A self-crossing or degenerate outline has no filling; an empty mesh would pass for one.
    if (!triangulation.Execute())
        return nullptr;
    const std::vector<double>& outPoints = triangulation.m_outputPoints;
    const std::vector<std::int32_t>& triangles = triangulation.m_outputTriangles;

    auto mesh = std::make_unique<QvMesh>();
    const int faceCount = static_cast<int>(triangles.size() / 3);
    if (outPoints.size() == coordinates.size())
    {
        // Nothing inserted: keep the outline points exactly as given.
        mesh->Reserve(static_cast<int>(n), faceCount, 0);
        for (const QvPoint& p : points)
            mesh->AddVertex(p);
    }
    else
    {
        // Inserted points exist only in the plane: put every vertex back on the plane
        // through the first point, so that old and new ones agree.
        const std::size_t outCount = outPoints.size() / 2;
        mesh->Reserve(static_cast<int>(outCount), faceCount, 0);
        const double z0 = (rotation * points[0])[2];
        QvMatrix back(rotation);
        static_cast<void>(back.Invert()); // a rotation always inverts
        for (std::size_t i = 0; i < outCount; ++i)
            mesh->AddVertex(back * QvPoint(outPoints[2 * i], outPoints[2 * i + 1], z0));
    }

    for (int f = 0; f < faceCount; ++f)
    {
        // A face the mesh refuses is left out; the rest still fill the outline.
        static_cast<void>(mesh->AddFace(triangles[3 * f], triangles[3 * f + 1], triangles[3 * f + 2], 0));
    }
    mesh->UpdateFaceNormals();
    std::vector<int> others;
    for (int f = 1; f < static_cast<int>(mesh->m_faces.size()); ++f)
        others.push_back(f);
    mesh->OrientFaces(others);
    mesh->UpdateBBox();
    return mesh;
}

bool QvMesh::BuildFromTriangleSoup(const std::vector<QvPoint>& corners)
{
    // Indices start at 0: merging into a mesh that already has vertices would join the
    // new triangles to the wrong ones.
    if (!m_vertices.empty() || !m_edges.empty() || !m_faces.empty())
        return false;

    std::map<QvPoint, int, QvPointTolerantLess> indexOf(QvPointTolerantLess(1e-7));
    std::vector<QvPoint> distinct;
    std::vector<std::array<int, 3>> kept;
    const std::size_t triangleCount = corners.size() / 3;
    for (std::size_t t = 0; t < triangleCount; ++t)
    {
        const QvPoint* c = &corners[3 * t];
        // A corner that is not a number has no place in the tolerant order.
        if (!IsFinite(c[0]) || !IsFinite(c[1]) || !IsFinite(c[2]))
            continue;
        std::array<int, 3> ids{};
        for (int k = 0; k < 3; ++k)
        {
            const auto found = indexOf.find(c[k]);
            if (found != indexOf.end())
            {
                ids[k] = found->second;
                continue;
            }
            ids[k] = static_cast<int>(distinct.size());
            distinct.push_back(c[k]);
            indexOf.emplace(c[k], ids[k]);
        }
        if (ids[0] != ids[1] && ids[1] != ids[2] && ids[2] != ids[0])
            kept.push_back(ids);
    }

    const int faceCount = static_cast<int>(kept.size());
    Reserve(static_cast<int>(distinct.size()), faceCount, faceCount + faceCount / 2 + 1);
    for (const QvPoint& p : distinct)
        AddVertex(p);
    for (const std::array<int, 3>& f : kept)
    {
        // Faces that would give an edge a third face are left out.
        static_cast<void>(AddFace(f[0], f[1], f[2], 0));
    }
    UpdateFaceNormals();
    UpdateBBox();
    return true;
}
