// SPDX-License-Identifier: GPL-3.0-or-later
// Box-like teeth for the gap and manager tests.
//
// Corners are numbered x-major, then z, then y (corner 4 ix + 2 iz + iy), so that the
// corners come in pairs mirrored in y and z: for a box centred on y = z = 0 the
// covariance of its corners has exact zeros off the diagonal and the principal axes
// are exactly the coordinate axes. Sections of such boxes by planes z = c are then
// computed without rounding in x.
#pragma once

#include <array>
#include <utility>
#include <vector>

#include "core/mesh/QvMesh.h"

namespace qvcontacttest {

// Eight corners in the order above; faces wound outwards, two triangles a side.
inline void FillHexahedron(QvMesh& mesh, const std::array<QvPoint, 8>& corners)
{
    mesh.Clear();
    for (const QvPoint& p : corners)
        mesh.AddVertex(p);
    QvPoint centre(0.0, 0.0, 0.0);
    for (const QvPoint& p : corners)
        centre += p;
    centre /= 8.0;
    // Each side as a cycle of corners.
    const int sides[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 4, 6, 2}, {1, 5, 7, 3}, {0, 4, 5, 1}, {2, 6, 7, 3}};
    for (const auto& side : sides)
    {
        int a = side[0], b = side[1], c = side[2], d = side[3];
        const QvVector n = (corners[b] - corners[a]).Cross(corners[c] - corners[b]);
        if (n.Dot(corners[a] - centre) < 0.0)
            std::swap(b, d);
        (void)mesh.AddFace(a, b, c, 0);
        (void)mesh.AddFace(a, c, d, 0);
    }
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
}

inline std::array<QvPoint, 8> BoxCorners(const QvPoint& lo, const QvPoint& hi)
{
    std::array<QvPoint, 8> corners;
    for (int ix = 0; ix < 2; ++ix)
        for (int iz = 0; iz < 2; ++iz)
            for (int iy = 0; iy < 2; ++iy)
                corners[static_cast<std::size_t>(4 * ix + 2 * iz + iy)] =
                    QvPoint(ix ? hi[0] : lo[0], iy ? hi[1] : lo[1], iz ? hi[2] : lo[2]);
    return corners;
}

inline void FillBox(QvMesh& mesh, const QvPoint& lo, const QvPoint& hi) { FillHexahedron(mesh, BoxCorners(lo, hi)); }

// A closed box whose every side is an n x n grid of quads (two triangles each), wound
// outwards: fine enough that some faces of one box lie wholly inside another box it
// bites into, which the collision depth needs.
inline void FillGridBox(QvMesh& mesh, const QvPoint& lo, const QvPoint& hi, int n)
{
    std::vector<QvPoint> soup;
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side)
        {
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            auto at = [&](int i, int j) {
                QvPoint p;
                p[axis] = side ? hi[axis] : lo[axis];
                p[u] = lo[u] + (hi[u] - lo[u]) * i / n;
                p[v] = lo[v] + (hi[v] - lo[v]) * j / n;
                return p;
            };
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j)
                {
                    QvPoint a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
                    // (b - a) x (c - b) points along +axis; the low side turns round.
                    if (!side)
                        std::swap(b, d);
                    for (const QvPoint& p : {a, b, c, a, c, d})
                        soup.push_back(p);
                }
        }
    mesh.Clear();
    mesh.BuildFromTriangleSoup(soup);
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
}

// Vertex positions, for checking that a mesh was left as it was.
inline std::vector<QvPoint> Positions(const QvMesh& mesh)
{
    std::vector<QvPoint> out;
    for (const QvVertex& v : mesh.m_vertices)
        out.push_back(v.m_point);
    return out;
}

// Bit-for-bit equality (QvPoint's own == is tolerant).
inline bool SamePositions(const std::vector<QvPoint>& a, const std::vector<QvPoint>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int k = 0; k < 3; ++k)
            if (a[i][k] != b[i][k])
                return false;
    return true;
}

} // namespace qvcontacttest
