// SPDX-License-Identifier: GPL-3.0-or-later
// The crossing guard of the fills and the virtual roots against CGAL's exact
// self-intersection test, on pairs of triangles that touch, nearly touch, share a side or
// a corner: the guard must call exactly the pairs CGAL calls, a hair's breadth included.
#include <gtest/gtest.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>
#include <CGAL/Surface_mesh.h>

#include <array>
#include <cctype>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshCrossings.h"

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;

struct Pair
{
    const char* name;
    std::vector<QvPoint> points;
    std::array<int, 3> older; // the face already there
    std::array<int, 3> added; // the face the guard judges
    bool crosses;
};

bool CgalCalls(const Pair& c)
{
    SurfaceMesh sm;
    std::vector<SurfaceMesh::Vertex_index> v;
    for (const QvPoint& p : c.points)
        v.push_back(sm.add_vertex(Kernel::Point_3(p[0], p[1], p[2])));
    sm.add_face(v[c.older[0]], v[c.older[1]], v[c.older[2]]);
    sm.add_face(v[c.added[0]], v[c.added[1]], v[c.added[2]]);
    std::vector<std::pair<SurfaceMesh::Face_index, SurfaceMesh::Face_index>> pairs;
    CGAL::Polygon_mesh_processing::self_intersections(sm, std::back_inserter(pairs));
    return !pairs.empty();
}

constexpr double kHair = 1e-13; // far below the old guard's rounding band of 1e-12

const Pair kPairs[] = {
    {"apart by a hair above the face",
     {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.2, 0.2, kHair}, {0.3, 0.2, 1}, {0.2, 0.3, 1}},
     {0, 1, 2}, {3, 4, 5}, false},
    {"corner on the face",
     {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.2, 0.2, 0}, {0.3, 0.2, 1}, {0.2, 0.3, 1}},
     {0, 1, 2}, {3, 4, 5}, true},
    {"piercing",
     {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.2, 0.2, -1}, {0.3, 0.2, 1}, {0.2, 0.3, 1}},
     {0, 1, 2}, {3, 4, 5}, true},
    {"shared side, folded flat onto the face", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.5, 0.2, 0}},
     {0, 1, 2}, {1, 0, 3}, true},
    {"shared side, folded to a hair above the face", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.5, 0.2, kHair}},
     {0, 1, 2}, {1, 0, 3}, false},
    {"shared side, flat and opposite", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.5, -0.2, 0}},
     {0, 1, 2}, {1, 0, 3}, false},
    {"shared corner, far side through the face", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3, 0.3, -0.5}, {0.3, 0.3, 0.5}},
     {0, 1, 2}, {0, 3, 4}, true},
    {"shared corner, lying a hair above the face",
     {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.4, 0.2, kHair}, {0.2, 0.4, kHair}},
     {0, 1, 2}, {0, 3, 4}, false},
    {"added face without area", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {6, 6, 6}, {7, 7, 7}},
     {0, 1, 2}, {3, 4, 5}, true},
};

class CrossingGuard : public ::testing::TestWithParam<Pair>
{
};

TEST_P(CrossingGuard, CallsThePairAsCgalDoes)
{
    const Pair& c = GetParam();
    QvMesh mesh;
    for (const QvPoint& p : c.points)
        mesh.AddVertex(p);
    ASSERT_TRUE(mesh.AddFace(c.older.data(), 0));
    ASSERT_TRUE(mesh.AddFace(c.added.data(), 0));
    EXPECT_EQ(CgalCalls(c), c.crosses);
    EXPECT_EQ(QvFacesCross(mesh, {1}, {0}), c.crosses);
    EXPECT_EQ(QvPatchCrosses(mesh, 1), c.crosses);
    // The last face against the surface near its corners, or against the patch before it.
    const std::vector<int> corners(c.added.begin(), c.added.end());
    EXPECT_EQ(QvLastFaceCrosses(mesh, QvFacesNearVertices(mesh, corners, 1), 1), c.crosses);
    EXPECT_EQ(QvLastFaceCrosses(mesh, {}, 0), c.crosses);
    // Neither face is judged against the other when only the older is listed as other.
    EXPECT_EQ(QvFacesCross(mesh, {}, {0, 1}), false);
}

INSTANTIATE_TEST_SUITE_P(Pairs, CrossingGuard, ::testing::ValuesIn(kPairs), [](const auto& info) {
    std::string name;
    for (const char ch : std::string(info.param.name))
        if (std::isalnum(static_cast<unsigned char>(ch)))
            name += ch;
    return name;
});

} // namespace
