// SPDX-License-Identifier: GPL-3.0-or-later
// Meshes with holes of chosen sizes and the checks a closed result must pass, shared by
// the hole-filling and bridging tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <queue>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

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
// hole has exactly `boundary` vertices. The disc keeps away from existing holes. Every
// face added to the disc changes the boundary count by one (a face on one side with a
// fresh apex adds one, a face filling a notch removes one), so the count is met exactly.
inline bool PunchHole(QvMesh& mesh, const QvVector& direction, int boundary)
{
    const int faceCount = static_cast<int>(mesh.m_faces.size());
    QvVector dir = direction;
    dir.Normalize();
    int seed = -1;
    double best = -1e300;
    for (int f = 0; f < faceCount; ++f)
    {
        const QvPoint c = Centroid(mesh, f);
        const double score = QvVector(c[0], c[1], c[2]).Dot(dir);
        if (score > best)
        {
            best = score;
            seed = f;
        }
    }
    if (seed == -1 || boundary < 3)
        return false;

    const QvPoint origin = Centroid(mesh, seed);
    std::vector<char> inRegion(faceCount, 0);
    std::vector<int> regionFacesAt(mesh.m_vertices.size(), 0);
    std::vector<int> region;
    const auto touchesHole = [&mesh](int f) {
        for (const int v : mesh.m_faces[f].m_vertices)
            if (mesh.IsBoundaryVertex(v))
                return true;
        return false;
    };
    using Entry = std::pair<double, int>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> candidates;
    const auto take = [&](int f) {
        inRegion[f] = 1;
        region.push_back(f);
        for (const int v : mesh.m_faces[f].m_vertices)
            ++regionFacesAt[v];
        for (const int e : mesh.m_faces[f].m_edges)
        {
            const int g = mesh.m_edges[e].GetOtherFace(f);
            if (g != -1 && !inRegion[g])
                candidates.emplace(Centroid(mesh, g).Distance(origin), g);
        }
    };
    if (touchesHole(seed))
        return false;
    take(seed);
    int count = 3;
    while (count != boundary)
    {
        if (candidates.empty())
            return false;
        const int c = candidates.top().second;
        candidates.pop();
        if (inRegion[c] || touchesHole(c))
            continue;
        int shared = 0;
        int apex = -1;
        const QvFace& face = mesh.m_faces[c];
        for (int k = 0; k < 3; ++k)
        {
            const int g = mesh.m_edges[face.m_edges[k]].GetOtherFace(c);
            if (g != -1 && inRegion[g])
                ++shared;
        }
        if (shared == 1)
        {
            for (int k = 0; k < 3; ++k)
            {
                const QvEdge& side = mesh.m_edges[face.m_edges[k]];
                const int g = side.GetOtherFace(c);
                if (g != -1 && inRegion[g])
                    apex = face.GetThirdVertex(side.m_vertices[0], side.m_vertices[1]);
            }
            if (regionFacesAt[apex] != 0)
                continue;
            ++count;
        }
        else if (shared == 2)
            --count;
        else
            continue;
        take(c);
    }
    std::sort(region.begin(), region.end(), std::greater<int>());
    for (const int f : region)
        mesh.RemoveFace(f, true);
    return true;
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
