// SPDX-License-Identifier: GPL-3.0-or-later
// Small meshes and placements for the OBB-tree and collision tests.
#pragma once

#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "core/design/QvOBBTree.h"
#include "core/geometry/QvMatrix.h"
#include "core/mesh/QvMesh.h"
#include "testing/MeshFixtures.h"
#include "testing/PointSets.h"

namespace qvtest {

// Rotation by angle about axis, then translation by t.
inline QvMatrix Rigid(const QvVector& axis, double angle, const QvVector& t)
{
    const QvMatrix r(axis, angle);
    QvMatrix m(4, 4);
    m.SetIdentity();
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
            m[i][j] = r[i][j];
        m[i][3] = t[i];
    }
    return m;
}

inline QvMatrix Translation(const QvVector& t) { return Rigid(QvVector(0.0, 0.0, 1.0), 0.0, t); }

inline QvMatrix Identity4()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

// A skew rotation, so that no mesh edge or vertex lines up with the coordinate axes.
inline QvMatrix Skew(const QvVector& t) { return Rigid(QvVector(0.3, -0.7, 0.55), 0.9, t); }

// One triangle (a, b, c) as a mesh.
inline QvMesh Triangle(const QvPoint& a, const QvPoint& b, const QvPoint& c)
{
    QvMesh mesh;
    mesh.AddVertex(a);
    mesh.AddVertex(b);
    mesh.AddVertex(c);
    (void)mesh.AddFace(0, 1, 2, 0);
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    return mesh;
}

// A closed sphere whose vertices are pushed in or out at random by up to `bumps` of
// the radius: a small closed mesh that is not symmetric.
inline QvMesh BumpySphere(int levels, double radius, double bumps, std::uint64_t seed)
{
    QvMesh mesh = MakeSphere(levels, radius);
    Rng rng(seed);
    for (QvVertex& v : mesh.m_vertices)
        v.m_point *= 1.0 + Uniform(rng, -bumps, bumps);
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    return mesh;
}

// n independent random triangles of edge about `size` in [-1, 1]^3.
inline QvMesh TriangleSoup(int n, double size, std::uint64_t seed)
{
    Rng rng(seed);
    std::vector<QvPoint> corners;
    for (int i = 0; i < n; ++i)
    {
        const QvPoint c(Uniform(rng, -1, 1), Uniform(rng, -1, 1), Uniform(rng, -1, 1));
        for (int k = 0; k < 3; ++k)
            corners.push_back(c + QvVector(Uniform(rng, -size, size), Uniform(rng, -size, size),
                                           Uniform(rng, -size, size)));
    }
    QvMesh mesh;
    mesh.BuildFromTriangleSoup(corners);
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    return mesh;
}

// The crossing face pairs of a segment list, as face indices.
inline std::set<std::pair<int, int>> FacePairs(const std::vector<QvTriSegment>& segments)
{
    std::set<std::pair<int, int>> pairs;
    for (const QvTriSegment& s : segments)
        pairs.emplace(s.m_pFirst->m_nIndex, s.m_pSecond->m_nIndex);
    return pairs;
}

inline bool IsFinite(const QvPoint& p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

} // namespace qvtest
