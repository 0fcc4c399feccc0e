// SPDX-License-Identifier: GPL-3.0-or-later
// Meshes with holes of chosen sizes and the checks a closed result must pass, shared by
// the hole-filling and bridging tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"
#include "testing/MeshRealTeeth.h"

namespace holetest {

inline double SignedVolume(const QvMesh& mesh)
{
    double volume = 0.0;
    for (const QvFace& f : mesh.m_faces)
    {
        const QvPoint& a = mesh.m_vertices[f.m_vertices[0]].m_point;
        const QvPoint& b = mesh.m_vertices[f.m_vertices[1]].m_point;
        const QvPoint& c = mesh.m_vertices[f.m_vertices[2]].m_point;
        const QvVector va(a[0], a[1], a[2]);
        const QvVector vb(b[0], b[1], b[2]);
        const QvVector vc(c[0], c[1], c[2]);
        volume += va.Dot(vb.Cross(vc)) / 6.0;
    }
    return volume;
}

inline double FaceArea(const QvMesh& mesh, int f)
{
    const QvFace& face = mesh.m_faces[f];
    const QvPoint& a = mesh.m_vertices[face.m_vertices[0]].m_point;
    const QvPoint& b = mesh.m_vertices[face.m_vertices[1]].m_point;
    const QvPoint& c = mesh.m_vertices[face.m_vertices[2]].m_point;
    return (b - a).Cross(c - a).Length() / 2.0;
}

inline double Area(const QvMesh& mesh)
{
    double area = 0.0;
    for (int f = 0; f < static_cast<int>(mesh.m_faces.size()); ++f)
        area += FaceArea(mesh, f);
    return area;
}

inline QvPoint Centroid(const QvMesh& mesh, int f)
{
    QvPoint c(0.0, 0.0, 0.0);
    for (const int v : mesh.m_faces[f].m_vertices)
        c += mesh.m_vertices[v].m_point;
    return c / 3.0;
}

// Removes a compact disc of faces around the face nearest the direction so that the new
// hole has exactly `boundary` vertices, away from existing holes.
inline bool PunchHole(QvMesh& mesh, const QvVector& direction, int boundary)
{
    std::vector<std::array<QvPoint, 3>> removed;
    return qvtest::PunchHole(mesh, direction, boundary, removed);
}

// The boundary loop with exactly `size` vertices; empty when there is none.
inline std::vector<int> LoopOfSize(const QvMesh& mesh, std::size_t size)
{
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    for (const std::vector<int>& loop : loops)
        if (loop.size() == size)
            return loop;
    return {};
}

// Unit sphere (32768 faces) with holes of the given boundary sizes, at +x, -x, +y, -y, +z.
inline QvMesh SphereWithHoles(const std::vector<int>& sizes)
{
    QvMesh mesh = qvtest::MakeSphere(6, 1.0);
    const QvVector directions[] = {QvVector(1, 0, 0), QvVector(-1, 0, 0), QvVector(0, 1, 0), QvVector(0, -1, 0),
                                   QvVector(0, 0, 1)};
    for (std::size_t i = 0; i < sizes.size() && i < 5; ++i)
        EXPECT_TRUE(PunchHole(mesh, directions[i], sizes[i])) << "hole of " << sizes[i];
    return mesh;
}

// Closed, edge- and vertex-manifold, consistently oriented, outward, no stray vertex.
inline ::testing::AssertionResult IsClosedOrientedManifold(const QvMesh& mesh)
{
    const std::string broken = qvtest::FindMeshInvariantViolation(mesh);
    if (!broken.empty())
        return ::testing::AssertionFailure() << broken;
    for (const QvEdge& e : mesh.m_edges)
        if (e.IsBoundary())
            return ::testing::AssertionFailure() << "boundary edge " << e.m_index;
    std::vector<int> ordered;
    std::vector<int> all;
    for (int v = 0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
    {
        if (mesh.m_vertices[v].m_edges.empty())
            return ::testing::AssertionFailure() << "vertex " << v << " without edges";
        ordered.clear();
        mesh.GetVertexFaces(v, ordered, true);
        mesh.GetVertexFaces(v, all, false);
        if (ordered.size() != all.size())
            return ::testing::AssertionFailure() << "vertex " << v << " joins more than one fan";
    }
    if (!qvtest::IsConsistentlyOriented(mesh))
        return ::testing::AssertionFailure() << "faces disagree in orientation";
    if (!(SignedVolume(mesh) > 0.0))
        return ::testing::AssertionFailure() << "faces point inwards";
    return ::testing::AssertionSuccess();
}

} // namespace holetest
