// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshLocalParameterize.h"
#include "core/mesh/QvParameterizeMgr.h"
#include "core/mesh/QvSurfaceCurveTracer.h"
#include "testing/MeshFixtures.h"

namespace {

class SurfaceCurveTracer : public ::testing::Test
{
protected:
    void SetUp() override { QvParameterizeMgr::Instance()->RemoveAll(); }
    void TearDown() override { QvParameterizeMgr::Instance()->RemoveAll(); }
};

double Cross2(const QvPoint& o, const QvPoint& a, const QvPoint& b)
{
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

// Edges whose inside the open segment p-q crosses properly (a planar mesh).
std::set<int> EdgesCrossed(const QvMesh& mesh, const QvPoint& p, const QvPoint& q)
{
    std::set<int> out;
    for (const QvEdge& e : mesh.m_edges)
    {
        const QvPoint& a = mesh.m_vertices[e.m_vertices[0]].m_point;
        const QvPoint& b = mesh.m_vertices[e.m_vertices[1]].m_point;
        if (Cross2(p, q, a) * Cross2(p, q, b) < 0 && Cross2(a, b, p) * Cross2(a, b, q) < 0)
            out.insert(e.m_index);
    }
    return out;
}

double DistanceToSegment(const QvPoint& x, const QvPoint& a, const QvPoint& b)
{
    const QvVector ab = b - a;
    const double t = std::clamp((x - a).Dot(ab) / ab.SquaredLength(), 0.0, 1.0);
    return x.Distance(a + ab * t);
}

std::vector<int> VertexSampleIndices(const std::vector<QvSurfacePoint>& samples)
{
    std::vector<int> out;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (samples[i].m_kind == kQvSurfaceOnVertex)
            out.push_back(static_cast<int>(i));
    return out;
}

// Every sample lies on the mesh element it names, with weights that add up to 1.
void ExpectOnMesh(const QvMesh& mesh, const std::vector<QvSurfacePoint>& samples)
{
    for (const QvSurfacePoint& s : samples)
    {
        if (s.m_kind == kQvSurfaceOnVertex)
        {
            EXPECT_EQ(s.m_point, mesh.m_vertices[s.m_element].m_point);
            continue;
        }
        ASSERT_EQ(s.m_kind, kQvSurfaceOnEdge);
        const QvEdge& e = mesh.m_edges[s.m_element];
        EXPECT_EQ(s.m_vertex1, e.m_vertices[0]);
        EXPECT_EQ(s.m_vertex2, e.m_vertices[1]);
        EXPECT_NEAR(s.m_weight1 + s.m_weight2, 1.0, 1e-15);
        EXPECT_GE(s.m_weight2, 0.0);
        EXPECT_LE(s.m_weight2, 1.0);
        EXPECT_LT(DistanceToSegment(s.m_point, mesh.m_vertices[e.m_vertices[0]].m_point,
                                    mesh.m_vertices[e.m_vertices[1]].m_point),
                  1e-12);
    }
}

TEST_F(SurfaceCurveTracer, ChainAcrossAStripCrossesEveryEdgeOnceInOrder)
{
    // 6 x 3 grid: the straight chain from (0, 0) to (5, 2) meets no vertex on the way.
    QvMesh grid = qvtest::MakeGrid(6, 3);
    const QvPoint from = grid.m_vertices[0].m_point, to = grid.m_vertices[17].m_point;
    QvSurfaceCurveTracer tracer(&grid, {0, 17});
    ASSERT_TRUE(tracer.Run(false));
    const std::vector<QvSurfacePoint>& samples = tracer.GetSamples();
    ExpectOnMesh(grid, samples);

    ASSERT_GE(samples.size(), 2u);
    EXPECT_EQ(samples.front().m_kind, kQvSurfaceOnVertex);
    EXPECT_EQ(samples.front().m_element, 0);
    EXPECT_EQ(samples.back().m_kind, kQvSurfaceOnVertex);
    EXPECT_EQ(samples.back().m_element, 17);
    std::multiset<int> crossed;
    double along = -1.0;
    for (std::size_t i = 1; i + 1 < samples.size(); ++i)
    {
        crossed.insert(samples[i].m_element);
        // On the straight line (the flat copy of a plane is an affine image), in order.
        EXPECT_LT(DistanceToSegment(samples[i].m_point, from, to), 1e-5);
        const double t = (samples[i].m_point - from).Dot(to - from);
        EXPECT_GT(t, along);
        along = t;
    }
    const std::set<int> expected = EdgesCrossed(grid, from, to);
    EXPECT_EQ(crossed, std::multiset<int>(expected.begin(), expected.end()));
}

TEST_F(SurfaceCurveTracer, OpenAndClosedChainsGiveOneVertexSampleEach)
{
    QvMesh cap = qvtest::MakeCrownCap(10, 32);
    // Ring 6, a quarter turn apart.
    const std::vector<int> chain = {1 + 5 * 32, 1 + 5 * 32 + 8, 1 + 5 * 32 + 16, 1 + 5 * 32 + 24};
    for (const bool closed : {false, true})
    {
        QvSurfaceCurveTracer tracer(&cap, chain);
        ASSERT_TRUE(tracer.Run(closed));
        const std::vector<QvSurfacePoint>& samples = tracer.GetSamples();
        ExpectOnMesh(cap, samples);
        const std::vector<int> at = VertexSampleIndices(samples);
        ASSERT_EQ(at.size(), chain.size());
        for (std::size_t k = 0; k < chain.size(); ++k)
        {
            EXPECT_EQ(samples[at[k]].m_element, chain[k]);
            if (k > 0)
                EXPECT_GT(at[k] - at[k - 1], 1) << "no crossing between chain vertices " << k - 1 << " and " << k;
        }
        EXPECT_EQ(at.front(), 0);
        if (closed)
            EXPECT_GT(static_cast<int>(samples.size()) - 1, at.back()) << "closing segment without crossings";
        else
            EXPECT_EQ(at.back(), static_cast<int>(samples.size()) - 1);
    }
}

TEST_F(SurfaceCurveTracer, FittedCurvePassesThroughTheChainAndSkipsCrowdedCrossings)
{
    QvMesh cap = qvtest::MakeCrownCap(24, 72);
    const std::vector<int> chain = {1 + 3 * 72 + 5, 1 + 12 * 72 + 20, 1 + 20 * 72 + 30, 1 + 14 * 72 + 50};
    QvSurfaceCurveTracer tracer(&cap, chain);
    ASSERT_TRUE(tracer.Run(false));
    const QvBSplineCurve* curve = tracer.GetCurve();
    ASSERT_NE(curve, nullptr);
    for (const int v : chain)
    {
        double t = 0;
        QvPoint closest;
        ASSERT_TRUE(curve->ClosestPoint(cap.m_vertices[v].m_point, t, closest));
        EXPECT_LT(closest.Distance(cap.m_vertices[v].m_point), 1e-6);
    }

    // Fitting points between two chain vertices: the crossings farther than the mean edge
    // length from the last kept point.
    const double mean = QvParameterizeMgr::Instance()->GetMeanEdgeLength(&cap);
    ASSERT_GT(mean, 0.0);
    const std::vector<QvSurfacePoint>& samples = tracer.GetSamples();
    const std::vector<int> at = VertexSampleIndices(samples);
    const std::vector<int>& anchors = tracer.GetAnchorIndices();
    ASSERT_EQ(anchors.size(), chain.size());
    EXPECT_EQ(anchors.front(), 0);
    bool someSkipped = false;
    for (std::size_t k = 0; k + 1 < at.size(); ++k)
    {
        QvPoint last = samples[at[k]].m_point;
        int kept = 0;
        for (int i = at[k] + 1; i < at[k + 1]; ++i)
            if (samples[i].m_point.Distance(last) > mean)
            {
                ++kept;
                last = samples[i].m_point;
            }
        EXPECT_EQ(anchors[k + 1] - anchors[k] - 1, kept);
        someSkipped = someSkipped || kept < at[k + 1] - at[k] - 1;
    }
    EXPECT_TRUE(someSkipped);
}

TEST_F(SurfaceCurveTracer, WithoutFittingThereIsNoCurve)
{
    QvMesh cap = qvtest::MakeCrownCap(8, 24);
    QvSurfaceCurveTracer tracer(&cap, {1 + 3 * 24, 1 + 6 * 24 + 12});
    tracer.SetFitCurve(false);
    ASSERT_TRUE(tracer.Run(false));
    EXPECT_EQ(tracer.GetCurve(), nullptr);
    EXPECT_GT(tracer.GetSamples().size(), 2u);
}

TEST_F(SurfaceCurveTracer, UncachedMeshIsFlattenedByTheRunAndUnflattenableOnesFail)
{
    QvParameterizeMgr* cache = QvParameterizeMgr::Instance();
    QvMesh cap = qvtest::MakeCrownCap(6, 16);
    ASSERT_EQ(cache->FindFlatMesh(&cap), nullptr);
    QvSurfaceCurveTracer tracer(&cap, {1, 1 + 5 * 16 + 8});
    ASSERT_TRUE(tracer.Run(false));
    EXPECT_NE(cache->FindFlatMesh(&cap), nullptr);

    struct Case
    {
        const char* name;
        QvMesh* mesh;
        std::vector<int> chain;
    };
    QvMesh cube = qvtest::MakeCube();
    const Case cases[] = {
        {"no mesh", nullptr, {0, 1}},
        {"one chain vertex", &cap, {3}},
        {"vertex outside the mesh", &cap, {0, 9999}},
        {"closed mesh, no flat copy", &cube, {0, 7}},
    };
    for (const Case& c : cases)
    {
        QvSurfaceCurveTracer failing(c.mesh, c.chain);
        EXPECT_FALSE(failing.Run(false)) << c.name;
    }
    EXPECT_EQ(cache->FindFlatMesh(&cube), nullptr);
}

TEST_F(SurfaceCurveTracer, WalkNeverLeavesTheLocalPatch)
{
    QvMesh crown = qvtest::MakeCrown(3);
    std::vector<std::pair<double, int>> around;
    int top = -1;
    for (const QvVertex& v : crown.m_vertices)
    {
        if (std::fabs(v.m_point[2]) < 1e-12)
            around.emplace_back(std::atan2(v.m_point[1], v.m_point[0]), v.m_index);
        if (top == -1 || v.m_point[2] > crown.m_vertices[top].m_point[2])
            top = v.m_index;
    }
    std::sort(around.begin(), around.end());
    std::vector<int> loop;
    for (const auto& a : around)
        loop.push_back(a.second);
    ASSERT_EQ(loop.size(), 32u);

    QvParameterizeMgr* cache = QvParameterizeMgr::Instance();
    cache->AddLocalMesh(&crown, loop, top);
    ASSERT_NE(cache->FindFlatMesh(&crown), nullptr);
    QvMeshLocalParameterize classes(&crown, loop, top);

    // Chains that hug or run along the border, where the flat curve bulges out of the patch.
    const std::vector<std::vector<int>> chains = {
        {loop[0], top, loop[16]}, {loop[0], loop[5], loop[10], loop[15]}, {loop[2], loop[9], top, loop[24], loop[30]}};
    int crossings = 0;
    for (const auto& chain : chains)
        for (const bool closed : {false, true})
        {
            QvSurfaceCurveTracer tracer(&crown, chain);
            ASSERT_TRUE(tracer.Run(closed));
            ExpectOnMesh(crown, tracer.GetSamples());
            for (const QvSurfacePoint& s : tracer.GetSamples())
            {
                if (s.m_kind != kQvSurfaceOnEdge)
                    continue;
                ++crossings;
                EXPECT_NE(classes.m_edgeClasses[s.m_element], kQvPatchOutside);
                EXPECT_GE(s.m_point[2], -1e-12);
            }
        }
    EXPECT_GT(crossings, 0);
    cache->RemoveMesh(&crown);
}

TEST_F(SurfaceCurveTracer, CollapsedAndZeroAreaFacesAreNeverEntered)
{
    // Face 0 is a real triangle; face 1 across its edge 1-2 has a corner left out at
    // (-1, -1, -1); face 2 across edge 2-0 has its corners on a line; face 3 is collapsed
    // at (-1, -1, -1) as a left-out patch face is.
    QvMesh flat;
    flat.AddVertex(QvPoint(0, 0, 0));
    flat.AddVertex(QvPoint(1, 0, 0));
    flat.AddVertex(QvPoint(0, 1, 0));
    flat.AddVertex(QvPoint(-1, -1, -1));
    flat.AddVertex(QvPoint(0, 2, 0));
    flat.AddVertex(QvPoint(-1, -1, -1));
    flat.AddVertex(QvPoint(-1, -1, -1));
    ASSERT_TRUE(flat.AddFace(0, 1, 2, 0));
    ASSERT_TRUE(flat.AddFace(2, 1, 3, 0));
    ASSERT_TRUE(flat.AddFace(0, 2, 4, 0));
    ASSERT_TRUE(flat.AddFace(3, 1, 5, 0));
    ASSERT_TRUE(flat.AddFace(3, 5, 6, 0));
    QvSurfaceCurveTracer tracer(&flat, {0, 1});

    for (const QvPoint& p : {QvPoint(5, 5, 0), QvPoint(-3, 0.2, 0), QvPoint(0.25, 0.25, 0)})
        EXPECT_TRUE(tracer.IsPointInFace(&flat, p, 4));
    EXPECT_TRUE(tracer.IsPointInFace(&flat, QvPoint(0.5, 0.5, 0), 0)); // on an edge
    EXPECT_TRUE(tracer.IsPointInFace(&flat, QvPoint(0, 0, 0), 0));     // on a corner
    EXPECT_FALSE(tracer.IsPointInFace(&flat, QvPoint(0.6, 0.6, 0), 0));
    EXPECT_FALSE(tracer.IsPointInFace(nullptr, QvPoint(0, 0, 0), 0));

    EXPECT_TRUE(tracer.IsWalkableFace(&flat, 0));
    EXPECT_FALSE(tracer.IsWalkableFace(&flat, 1));
    EXPECT_FALSE(tracer.IsWalkableFace(&flat, 2));
    EXPECT_FALSE(tracer.IsWalkableFace(&flat, 4));
    int face = -1, edge = -1;
    EXPECT_FALSE(tracer.FindNeighborFace(&flat, QvPoint(0.6, 0.6, 0), 0, face, edge));
    EXPECT_FALSE(tracer.FindNeighborFace(&flat, QvPoint(0, 0.5, 0), 0, face, edge));
    EXPECT_EQ(face, -1);

    // Around vertex 2 only face 0 may start a walk, wherever the curve heads.
    std::unique_ptr<QvBSplineCurve> away(QvBSplineCurve::Interpolate({QvPoint(0, 1, 0), QvPoint(3, 3, 0)}, false));
    ASSERT_TRUE(away);
    double t = 0;
    EXPECT_EQ(tracer.FindStartFace(&flat, away.get(), 2, t, 0.0, 1e-6), -1);
    std::unique_ptr<QvBSplineCurve> in(QvBSplineCurve::Interpolate({QvPoint(0, 1, 0), QvPoint(0.2, 0.2, 0)}, false));
    EXPECT_EQ(tracer.FindStartFace(&flat, in.get(), 2, t, 0.0, 1e-6), 0);
    EXPECT_NEAR(t, 1e-6, 1e-18);
}

TEST_F(SurfaceCurveTracer, WeightsComeFromTheCachedFlatCopy)
{
    QvMesh cap = qvtest::MakeCrownCap(6, 16);
    QvSurfaceCurveTracer tracer(&cap, {1, 40});
    QvSurfacePoint inFace;
    inFace.m_kind = kQvSurfaceInFace;
    inFace.m_element = 20;
    EXPECT_FALSE(tracer.ComputeWeights(inFace)); // nothing cached yet
    EXPECT_EQ(inFace.m_kind, kQvSurfaceNone);

    QvParameterizeMgr::Instance()->AddMesh(&cap);
    const QvMesh* flat = QvParameterizeMgr::Instance()->FindFlatMesh(&cap);
    ASSERT_NE(flat, nullptr);
    const QvFace& f = flat->m_faces[20];
    const QvPoint r = flat->m_vertices[f.m_vertices[0]].m_point, s = flat->m_vertices[f.m_vertices[1]].m_point,
                  t = flat->m_vertices[f.m_vertices[2]].m_point;
    inFace.m_kind = kQvSurfaceInFace;
    inFace.m_point = QvPoint(0.2 * r[0] + 0.5 * s[0] + 0.3 * t[0], 0.2 * r[1] + 0.5 * s[1] + 0.3 * t[1], 0);
    ASSERT_TRUE(tracer.ComputeWeights(inFace));
    EXPECT_EQ(inFace.m_vertex1, f.m_vertices[0]);
    EXPECT_EQ(inFace.m_vertex3, f.m_vertices[2]);
    EXPECT_NEAR(inFace.m_weight1, 0.2, 1e-12);
    EXPECT_NEAR(inFace.m_weight2, 0.5, 1e-12);
    EXPECT_NEAR(inFace.m_weight3, 0.3, 1e-12);

    QvSurfacePoint onEdge;
    onEdge.m_kind = kQvSurfaceOnEdge;
    onEdge.m_element = 7;
    const QvEdge& e = flat->m_edges[7];
    const QvPoint a = flat->m_vertices[e.m_vertices[0]].m_point, b = flat->m_vertices[e.m_vertices[1]].m_point;
    onEdge.m_point = a + (b - a) * 0.25;
    ASSERT_TRUE(tracer.ComputeWeights(onEdge));
    EXPECT_NEAR(onEdge.m_weight1, 0.75, 1e-12);
    EXPECT_NEAR(onEdge.m_weight2, 0.25, 1e-12);

    QvSurfacePoint vertex;
    vertex.m_kind = kQvSurfaceOnVertex;
    vertex.m_element = 3;
    EXPECT_FALSE(tracer.ComputeWeights(vertex));
    EXPECT_EQ(vertex.m_kind, kQvSurfaceOnVertex);

    // The band's second border is held at one flat point: its edges have no flat length
    // and the faces on them no flat area, so samples there cannot be weighted.
    QvMesh band = qvtest::MakeBand(8, 3);
    std::vector<std::vector<int>> loops;
    band.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 2u);
    QvParameterizeMgr::Instance()->AddMesh(&band);
    const QvMesh* bandFlat = QvParameterizeMgr::Instance()->FindFlatMesh(&band);
    ASSERT_NE(bandFlat, nullptr);
    const int collapsedEdge = band.FindEdge(loops[1][0], loops[1][1]);
    ASSERT_NE(collapsedEdge, -1);
    QvSurfaceCurveTracer onBand(&band, {0, 1});
    QvSurfacePoint zeroLength;
    zeroLength.m_kind = kQvSurfaceOnEdge;
    zeroLength.m_element = collapsedEdge;
    zeroLength.m_point = bandFlat->m_vertices[loops[1][0]].m_point;
    EXPECT_FALSE(onBand.ComputeWeights(zeroLength));
    EXPECT_EQ(zeroLength.m_kind, kQvSurfaceNone);
    QvSurfacePoint zeroArea;
    zeroArea.m_kind = kQvSurfaceInFace;
    zeroArea.m_element = band.m_edges[collapsedEdge].m_faces[0];
    zeroArea.m_point = zeroLength.m_point;
    EXPECT_FALSE(onBand.ComputeWeights(zeroArea));
    EXPECT_EQ(zeroArea.m_kind, kQvSurfaceNone);

    QvSurfacePoint stray;
    stray.m_kind = kQvSurfaceOnEdge;
    stray.m_element = static_cast<int>(flat->m_edges.size());
    EXPECT_FALSE(tracer.ComputeWeights(stray));
    EXPECT_EQ(stray.m_kind, kQvSurfaceNone);
}

} // namespace
