// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <map>
#include <set>
#include <vector>

#include "core/geometry/QvInterpolation.h"
#include "core/geometry/QvLine.h"
#include "core/mesh/QvFillHoleCommand.h"
#include "core/mesh/tests/HoleFixtures.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using holetest::IsClosedOrientedManifold;

struct Counts
{
    std::size_t vertices;
    std::size_t edges;
    std::size_t faces;
    bool operator==(const Counts&) const = default;
};

Counts CountsOf(const QvMesh& mesh) { return {mesh.m_vertices.size(), mesh.m_edges.size(), mesh.m_faces.size()}; }

double Perimeter(const QvMesh& mesh, const std::vector<int>& loop)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < loop.size(); ++i)
        sum += mesh.m_vertices[loop[i]].m_point.Distance(mesh.m_vertices[loop[(i + 1) % loop.size()]].m_point);
    return sum;
}

// Signed distances of the vertices the fill created from the unit sphere.
std::pair<double, double> RadialOffsetRange(const QvMesh& mesh, std::size_t firstVertex)
{
    double low = 1e300;
    double high = -1e300;
    for (std::size_t v = firstVertex; v < mesh.m_vertices.size(); ++v)
    {
        const QvPoint& p = mesh.m_vertices[v].m_point;
        const double offset = QvVector(p[0], p[1], p[2]).Length() - 1.0;
        low = std::min(low, offset);
        high = std::max(high, offset);
    }
    return {low, high};
}

TEST(FillHoleSmooth, ClosesSphereHolesOnTheSphere)
{
    const std::vector<int> sizes{3, 4, 12, 121};
    const double closedVolume = holetest::SignedVolume(qvtest::MakeSphere(6, 1.0));
    QvMesh mesh = holetest::SphereWithHoles(sizes);
    QvMesh flat = mesh;
    const std::size_t firstFace = mesh.m_faces.size();
    const std::size_t firstVertex = mesh.m_vertices.size();

    QvFillHoleCommand command(&mesh);
    QvFillHoleCommand flatCommand(&flat);
    for (const int size : sizes)
    {
        SCOPED_TRACE(::testing::Message() << "hole of " << size);
        const std::vector<int> loop = holetest::LoopOfSize(mesh, static_cast<std::size_t>(size));
        ASSERT_EQ(loop.size(), static_cast<std::size_t>(size));
        EXPECT_TRUE(command.FillLoopSmooth(loop, 5));
        EXPECT_EQ(command.GetExtractedPatch(), nullptr);
        EXPECT_TRUE(command.GetFlatPatch().IsEmpty());
        EXPECT_GT(flatCommand.FillLoop(holetest::LoopOfSize(flat, static_cast<std::size_t>(size)), 5), 0);
    }
    EXPECT_TRUE(IsClosedOrientedManifold(mesh));
    for (std::size_t f = firstFace; f < mesh.m_faces.size(); ++f)
        EXPECT_EQ(mesh.m_faces[f].m_tag, 5);

    // The resampled patch continues the sphere's curve from the ring around the hole: it
    // gives back more than half the volume that the flat fill loses, and its vertices
    // lie between the sphere and the largest hole's flat cap (about 0.1 below it).
    const double volume = holetest::SignedVolume(mesh);
    const double flatVolume = holetest::SignedVolume(flat);
    EXPECT_NEAR(volume, closedVolume, 0.005 * closedVolume);
    EXPECT_LT(std::fabs(volume - closedVolume), 0.5 * std::fabs(flatVolume - closedVolume));
    EXPECT_GT(mesh.m_vertices.size(), firstVertex + 50);
    const auto [low, high] = RadialOffsetRange(mesh, firstVertex);
    EXPECT_GT(low, -0.06);
    EXPECT_LT(high, 0.01);
}

TEST(FillHoleSmooth, RefusalsAndEarlyEnds)
{
    // A closed octahedron without two neighbouring faces: a four-vertex hole whose piece
    // (every face touches a loop vertex) closes up completely once roughly filled.
    QvMesh octahedron;
    for (const QvPoint& p : {QvPoint(1, 0, 0), QvPoint(-1, 0, 0), QvPoint(0, 1, 0), QvPoint(0, -1, 0),
                             QvPoint(0, 0, 1), QvPoint(0, 0, -1)})
        octahedron.AddVertex(p);
    const int faces[8][3] = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4}, {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
    for (int f = 2; f < 8; ++f)
        ASSERT_TRUE(octahedron.AddFace(faces[f][0], faces[f][1], faces[f][2], 0));

    // A hole whose perimeter is 40.5 (a square of side 10.125 on a grid).
    QvMesh big = qvtest::MakeGrid(4, 4, 10.125);
    for (int f = static_cast<int>(big.m_faces.size()) - 1; f >= 0; --f)
    {
        const QvPoint c = holetest::Centroid(big, f);
        if (c[0] > 10.125 && c[0] < 20.25 && c[1] > 10.125 && c[1] < 20.25)
            big.RemoveFace(f, false);
    }
    ASSERT_DOUBLE_EQ(Perimeter(big, {5, 6, 10, 9}), 40.5);

    QvMesh triangle = holetest::SphereWithHoles({3});

    struct Case
    {
        const char* name;
        QvMesh* mesh;
        std::vector<int> loop;
        bool result;
        bool closed;    // the hole is closed afterwards
        bool unchanged; // element counts as before
    };
    const Case cases[] = {
        {"empty loop", &triangle, {}, false, false, true},
        {"perimeter 40.5", &big, {5, 6, 10, 9}, false, false, true},
        {"vertex out of range", &big, {5, 6, 10, 999}, false, false, true},
        {"three vertices: the rough fill", &triangle, holetest::LoopOfSize(triangle, 3), true, true, false},
        // The rough fill that closed it is taken back, so the next strategy finds the hole.
        {"piece without a boundary", &octahedron, {0, 4, 1, 2}, false, false, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const Counts before = CountsOf(*c.mesh);
        QvFillHoleCommand command(c.mesh);
        EXPECT_EQ(command.FillLoopSmooth(c.loop, 2), c.result);
        if (c.unchanged)
        {
            EXPECT_EQ(CountsOf(*c.mesh), before);
        }
        if (c.closed)
        {
            EXPECT_TRUE(c.mesh->IsClosed());
        }
        EXPECT_TRUE(qvtest::MeshInvariantsHold(*c.mesh));
    }
}

TEST(FillHoleSmooth, FailedStitchRemovesTheFacesAndVerticesItAdded)
{
    // A flat grid with its centre cell open; the flat patch is a fan around a centre
    // point, but its last face repeats the first, whose side 5-6 then has two faces.
    QvMesh mesh = qvtest::MakeGrid(4, 4, 1.0);
    for (int f = static_cast<int>(mesh.m_faces.size()) - 1; f >= 0; --f)
    {
        const QvPoint c = holetest::Centroid(mesh, f);
        if (c[0] > 1 && c[0] < 2 && c[1] > 1 && c[1] < 2)
            mesh.RemoveFace(f, false);
    }
    const Counts before = CountsOf(mesh);
    QvFillHoleCommand command(&mesh);
    QvMesh& flat = const_cast<QvMesh&>(command.GetFlatPatch());
    for (const QvPoint& p : {QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(1, 1, 0), QvPoint(0, 1, 0),
                             QvPoint(0.5, 0.5, 0), QvPoint(0.9, 0.9, 0)})
        flat.AddVertex(p);
    const std::map<int, int> corners{{0, 5}, {1, 6}, {2, 10}, {3, 9}};
    QvMultiquadricInterpolator lift({QvPoint(1, 1, 0), QvPoint(2, 1, 0), QvPoint(2, 2, 0), QvPoint(1, 2, 0)},
                                    {0, 1, 1, 0}, {0, 0, 1, 1}, 0.02);
    ASSERT_TRUE(lift.Solve());

    ASSERT_TRUE(flat.AddFace(0, 1, 4, 0));
    ASSERT_TRUE(flat.AddFace(1, 2, 4, 0));
    ASSERT_TRUE(flat.AddFace(2, 3, 4, 0));
    ASSERT_TRUE(flat.AddFace(3, 0, 4, 0));
    QvMesh good = mesh;
    QvFillHoleCommand goodCommand(&good);
    const_cast<QvMesh&>(goodCommand.GetFlatPatch()) = flat;
    ASSERT_TRUE(goodCommand.StitchPatch(lift, corners, 4));
    // Flat vertex 5 belongs to no face: it does not become a stray vertex.
    EXPECT_EQ(good.m_vertices.size(), before.vertices + 1);
    EXPECT_EQ(good.m_faces.size(), before.faces + 4);
    EXPECT_LT(good.m_vertices.back().m_point.Distance(QvPoint(1.5, 1.5, 0)), 1e-9);
    std::vector<std::vector<int>> loops;
    good.GetBoundaryLoops(loops);
    EXPECT_EQ(loops.size(), 1u);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(good));

    // The third face lies over the side 5-6 again: the stitch is refused part way.
    QvMesh refused;
    for (const QvVertex& v : flat.m_vertices)
        refused.AddVertex(v.m_point);
    ASSERT_TRUE(refused.AddFace(0, 1, 4, 0));
    ASSERT_TRUE(refused.AddFace(1, 2, 4, 0));
    ASSERT_TRUE(refused.AddFace(0, 1, 5, 0));
    flat = refused;
    EXPECT_FALSE(command.StitchPatch(lift, corners, 4));
    EXPECT_EQ(CountsOf(mesh), before);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));

    flat.Clear();
    EXPECT_FALSE(command.StitchPatch(lift, corners, 4));
}

TEST(FillHoleSmooth, InsideTestAndSegments)
{
    const std::vector<QvPoint> square{QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(1, 1, 0), QvPoint(0, 1, 0)};
    std::vector<QvLineSeg> segments;
    QvFillHoleCommand::MakePolygonSegments(square, segments);
    ASSERT_EQ(segments.size(), 4u);

    struct Case
    {
        const char* name;
        QvPoint p;
        bool inside;
    };
    const Case cases[] = {
        {"centre", QvPoint(0.5, 0.5, 0), true},
        {"outside", QvPoint(1.5, 0.5, 0), false},
        {"on the outline", QvPoint(0, 0.5, 0), false},
        {"within 0.001 of a crossing", QvPoint(1.0005, 0.5, 0), false},
        {"just inside", QvPoint(0.99, 0.5, 0), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QvFillHoleCommand::IsInsidePolygon(c.p, segments, -10000.0), c.inside) << c.name;
    const std::vector<QvLineSeg> two(segments.begin(), segments.begin() + 2);
    EXPECT_FALSE(QvFillHoleCommand::IsInsidePolygon(QvPoint(0.5, 0.5, 0), two, -10000.0));

    // Consecutive coincident points give one segment less.
    std::vector<QvPoint> repeated = square;
    repeated.insert(repeated.begin() + 2, QvPoint(1, 0, 0));
    std::vector<QvLineSeg> fewer;
    QvFillHoleCommand::MakePolygonSegments(repeated, fewer);
    EXPECT_EQ(fewer.size(), 4u);
}

TEST(FillHoleSmooth, ExtractPatchModes)
{
    QvMesh mesh = qvtest::MakeGrid(4, 4, 1.0);
    QvFillHoleCommand command(&mesh);
    std::vector<int> boundary;
    struct Case
    {
        const char* name;
        std::vector<int> loop;
        int count;
        int mode;
        std::size_t faces;
        std::size_t boundaryEntries;
    };
    // Vertex 5 is interior (six faces around it), vertex 0 a corner with one or two.
    std::vector<int> around5;
    mesh.GetVertexFaces(5, around5, false);
    const Case cases[] = {
        {"last faces", {mesh.m_faces.back().m_vertices[0]}, 3, 1, 3, 1},
        {"around the loop", {5}, 0, 2, around5.size(), 1},
        {"unknown mode", {5}, 0, 7, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        boundary.clear();
        ASSERT_TRUE(command.ExtractPatch(c.loop, boundary, c.count, c.mode));
        ASSERT_NE(command.GetExtractedPatch(), nullptr);
        EXPECT_EQ(command.GetExtractedPatch()->m_faces.size(), c.faces);
        EXPECT_EQ(boundary.size(), c.boundaryEntries);
        EXPECT_TRUE(qvtest::MeshInvariantsHold(*command.GetExtractedPatch()));
    }
    // Mode 3 takes the faces around the interior one-ring neighbours: vertex 1 on the
    // border has the interior vertex 5 above it, and perhaps 6 across a diagonal.
    boundary.clear();
    ASSERT_TRUE(command.ExtractPatch({1}, boundary, 0, 3));
    std::set<int> expected;
    std::vector<int> ring;
    std::vector<int> around;
    mesh.GetNeighborVertices(1, ring);
    for (const int w : ring)
        if (!mesh.IsBoundaryVertex(w))
        {
            mesh.GetVertexFaces(w, around, false);
            expected.insert(around.begin(), around.end());
        }
    EXPECT_GE(expected.size(), around5.size());
    EXPECT_EQ(command.GetExtractedPatch()->m_faces.size(), expected.size());
    EXPECT_FALSE(command.ExtractPatch({}, boundary, 0, 4));
}

} // namespace
