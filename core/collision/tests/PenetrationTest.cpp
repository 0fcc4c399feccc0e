// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "core/collision/QvCollisionDetecter.h"
#include "core/design/tests/CollisionFixtures.h"
#include "core/geometry/QvLine.h"
#include "core/scheme/QvGapInfo.h"

namespace {

using qvtest::Identity4;
using qvtest::IsFinite;
using qvtest::Rigid;
using qvtest::Translation;
using qvtest::Triangle;

std::vector<int> FaceIndices(const std::vector<QvOBBFace*>& faces)
{
    std::vector<int> indices;
    for (const QvOBBFace* f : faces)
        indices.push_back(f->m_nIndex);
    return indices;
}

// ---------------------------------------------------------------- inside test

TEST(PenetrationPatches, InsideTestCases)
{
    // Cube [0, 2]^3; vertical lines at (0.3, 0.6) miss every diagonal of its faces.
    QvMesh cube = qvtest::MakeCube(2.0);
    QvMesh strip = qvtest::MakeTwoTriangleStrip();
    QvOBBTree cubeTree(&cube);
    QvOBBTree stripTree(&strip);
    QvMesh probe = qvtest::MakeSphere(0);
    QvOBBTree probeTree(&probe);
    QvCollisionDetecter detecter(&probeTree, &cubeTree);
    const QvVector up(0, 0, 1);
    const QvVector down(0, 0, -1);
    struct Case
    {
        const char* name;
        QvPoint p;
        QvVector dir;
        QvOBBTree* other;
        bool inside;
    };
    const Case cases[] = {
        {"inside", {0.3, 0.6, 1.0}, up, &cubeTree, true},
        {"inside, line downwards", {0.3, 0.6, 1.0}, down, &cubeTree, true},
        {"above", {0.3, 0.6, 3.0}, up, &cubeTree, false},
        {"below", {0.3, 0.6, -1.0}, down, &cubeTree, false},
        // Level with the first crossing along the line: p comes first in the list, no
        // exchange puts a crossing of equal key before it, so it counts as outside.
        {"on the entry face", {0.3, 0.6, 0.0}, up, &cubeTree, false},
        {"on the entry face, line downwards", {0.3, 0.6, 2.0}, down, &cubeTree, false},
        {"beside", {5.0, 5.0, 1.0}, up, &cubeTree, false},
        {"one crossing of an open mesh", {0.25, 0.25, -1.0}, up, &stripTree, false},
        {"no tree", {0.3, 0.6, 1.0}, up, nullptr, false},
    };
    for (const Case& c : cases)
    {
        const QvLine line(c.p, c.dir);
        EXPECT_EQ(detecter.IsPointInside(&line, c.other, c.p), c.inside) << c.name;
    }
    EXPECT_FALSE(detecter.IsPointInside(nullptr, &cubeTree, QvPoint(0.3, 0.6, 1.0)));
}

// ---------------------------------------------------------------- depth of two spheres

struct SphereOverlap
{
    double radius;
    double overlap; // 2r - d
};

class SphereDepth : public ::testing::TestWithParam<SphereOverlap>
{
};

TEST_P(SphereDepth, DepthIsTheOverlapAndTheDeepestPointLiesMidway)
{
    const double r = GetParam().radius;
    const double overlap = GetParam().overlap;
    const double d = 2.0 * r - overlap;
    QvVector dir(0.31, -0.62, 0.72); // skew: rays along the contour normal miss edges
    dir.Normalize();
    const QvVector ca(-3.0, 1.5, 0.25);
    QvMesh a = qvtest::MakeSphere(5, r);
    QvMesh b = qvtest::MakeSphere(5, r);
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    ta.SetPlacement(Rigid(QvVector(1, 2, 0.5), 0.35, ca));
    tb.SetPlacement(Rigid(QvVector(-1, 0.2, 1), 1.05, ca + dir * d));

    QvCollisionDetecter detecter(&ta, &tb);
    ASSERT_TRUE(detecter.Detect());
    ASSERT_EQ(detecter.m_regionOrder.size(), 1u);
    ASSERT_EQ(detecter.m_patches.size(), 2u);
    ASSERT_EQ(detecter.m_pairs.size(), 1u);
    // One patch per mesh, bounded by the region's faces of that mesh.
    for (const auto& patch : detecter.m_patches)
    {
        const bool onA = patch->m_pMesh == &a;
        EXPECT_EQ(patch->m_regions, std::vector<int>{0});
        EXPECT_EQ(FaceIndices(patch->m_boundaryFaces), onA ? detecter.m_regionFacesA[0] : detecter.m_regionFacesB[0]);
        EXPECT_FALSE(patch->m_faces.empty());
        for (const QvOBBFace* f : patch->m_faces)
            EXPECT_FALSE(f->m_marks[1]);
    }

    const QvGapInfo* info = detecter.GetGapInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->m_nKind, kQvGapKindContact);
    EXPECT_NEAR(info->m_dDistance, overlap, 0.05 * overlap);
    const QvPoint middle(ca[0] + dir[0] * d / 2.0, ca[1] + dir[1] * d / 2.0, ca[2] + dir[2] * d / 2.0);
    EXPECT_LT(info->m_point.Distance(middle), 0.1 * r);

    // Per-vertex depths: none negative or above the depth, the contour at 0.
    for (const auto* depths : {&info->m_firstContacts, &info->m_secondContacts})
    {
        ASSERT_FALSE(depths->empty());
        double largest = 0.0;
        for (const auto& [vertex, depth] : *depths)
        {
            EXPECT_TRUE(std::isfinite(depth));
            EXPECT_GE(depth, 0.0);
            largest = std::max(largest, depth);
        }
        EXPECT_LE(largest, info->m_dDistance);
    }
    for (const auto& [face, region] : detecter.m_faceRegionA)
        for (const int c : a.m_faces[static_cast<std::size_t>(face)].m_vertices)
            EXPECT_EQ(info->m_firstContacts.at(&a.m_vertices[static_cast<std::size_t>(c)]), 0.0);
    for (const auto& [face, region] : detecter.m_faceRegionB)
        for (const int c : b.m_faces[static_cast<std::size_t>(face)].m_vertices)
            EXPECT_EQ(info->m_secondContacts.at(&b.m_vertices[static_cast<std::size_t>(c)]), 0.0);
    // Faces involved: the patch, then the contour.
    EXPECT_EQ(info->m_firstFaces.size(),
              detecter.m_pairs[0].m_pA->m_faces.size() + detecter.m_faceRegionA.size());
}

INSTANTIATE_TEST_SUITE_P(Overlaps, SphereDepth,
                         ::testing::Values(SphereOverlap{2.0, 0.25}, SphereOverlap{2.0, 0.5}, SphereOverlap{2.0, 1.2},
                                           SphereOverlap{5.0, 0.8}));

// ---------------------------------------------------------------- patches

TEST(PenetrationPatches, GrazingSideGetsNoPatch)
{
    // A cube's corner pokes 0.3 into a finely meshed sphere: every cube triangle that
    // reaches inside also reaches outside, so only the sphere has a patch, nothing can
    // be paired and the record keeps depth 0 with the segments.
    QvMesh cube = qvtest::MakeCube(2.0);
    QvMesh sphere = qvtest::MakeSphere(5, 3.0);
    QvVector diagonal(1, 1, 1);
    diagonal.Normalize();
    QvOBBTree tc(&cube);
    QvOBBTree ts(&sphere);
    const QvMatrix turn = Rigid(QvVector(0.2, -0.4, 1), 0.5, QvVector(0, 0, 0));
    tc.SetPlacement(turn);
    ts.SetPlacement(turn * Rigid(QvVector(0.3, 0.1, 0.9), 0.8, QvVector(2, 2, 2) + diagonal * (3.0 - 0.3)));

    QvCollisionDetecter detecter(&tc, &ts);
    ASSERT_TRUE(detecter.Detect());
    ASSERT_EQ(detecter.m_regionOrder.size(), 1u);
    ASSERT_EQ(detecter.m_patches.size(), 1u);
    EXPECT_EQ(detecter.m_patches[0]->m_pMesh, &sphere);
    EXPECT_TRUE(detecter.m_pairs.empty());
    ASSERT_NE(detecter.GetGapInfo(), nullptr);
    EXPECT_EQ(detecter.GetGapInfo()->m_dDistance, 0.0);
    EXPECT_FALSE(detecter.GetGapInfo()->m_segments.empty());
}

TEST(PenetrationPatches, TwoRegionsAroundOneInsideSurface)
{
    // A long ellipsoid runs through a sphere: its surface inside the sphere is one
    // tube between two loops, while the sphere has a disc inside the ellipsoid at each.
    QvMesh rod = qvtest::MakeSphere(5);
    QvMatrix stretch(4, 4);
    stretch.SetIdentity();
    stretch[0][0] = 6.0;
    rod.Transform(stretch);
    QvMesh ball = qvtest::MakeSphere(5, 3.0);
    QvOBBTree tr(&rod);
    QvOBBTree tb(&ball);
    tr.SetPlacement(Rigid(QvVector(0.3, 0.5, 0.8), 0.6, QvVector(1, 2, 3)));
    tb.SetPlacement(Rigid(QvVector(-0.7, 0.1, 0.4), 1.3, QvVector(1, 2, 3)));

    QvCollisionDetecter detecter(&tr, &tb);
    ASSERT_TRUE(detecter.Detect());
    ASSERT_EQ(detecter.m_regionOrder.size(), 2u);
    // The first region's tube patch reaches both loops; the second finds no seed on the rod.
    std::vector<const QvContactPatch*> onRod;
    std::vector<const QvContactPatch*> onBall;
    for (const auto& patch : detecter.m_patches)
        (patch->m_pMesh == &rod ? onRod : onBall).push_back(patch.get());
    ASSERT_EQ(onRod.size(), 1u);
    EXPECT_EQ(onRod[0]->m_regions, (std::vector<int>{0, 1}));
    ASSERT_EQ(onBall.size(), 2u);
    EXPECT_EQ(onBall[0]->m_pMesh, &ball);
    // Grouped by the rod's one patch: the discs merge into the first of them.
    ASSERT_EQ(detecter.m_pairs.size(), 1u);
    EXPECT_EQ(detecter.m_pairs[0].m_pA, onRod[0]);
    EXPECT_EQ(detecter.m_pairs[0].m_pB->m_regions, (std::vector<int>{0, 1}));
    ASSERT_NE(detecter.GetGapInfo(), nullptr);
    // The tube lies about 1 deep inside the ball, at the rod's radius from its axis.
    EXPECT_GT(detecter.GetGapInfo()->m_dDistance, 0.5);
    EXPECT_TRUE(IsFinite(detecter.GetGapInfo()->m_point));
}

// ---------------------------------------------------------------- merging and pairing

// Two meshes of several faces each, and patches made by hand on them.
class PatchPairing : public ::testing::Test
{
protected:
    PatchPairing() : m_meshA(qvtest::MakeGrid(4, 4)), m_meshB(qvtest::MakeGrid(4, 4)), m_treeA(&m_meshA), m_treeB(&m_meshB)
    {
    }

    std::unique_ptr<QvContactPatch> Patch(bool onA, std::vector<int> faces, std::vector<int> boundary,
                                          std::vector<int> regions)
    {
        QvOBBTree& tree = onA ? m_treeA : m_treeB;
        auto patch = std::make_unique<QvContactPatch>();
        patch->m_pMesh = tree.GetMesh();
        for (const int f : faces)
            patch->m_faces.push_back(tree.GetFace(f));
        for (const int f : boundary)
            patch->m_boundaryFaces.push_back(tree.GetFace(f));
        patch->m_regions = std::move(regions);
        return patch;
    }

    QvMesh m_meshA;
    QvMesh m_meshB;
    QvOBBTree m_treeA;
    QvOBBTree m_treeB;
};

TEST_F(PatchPairing, PatchesOfOneMeshSharingARegionMergeBeforePairing)
{
    QvCollisionDetecter detecter(&m_treeA, &m_treeB);
    detecter.m_patches.push_back(Patch(true, {3, 1}, {7, 2}, {0}));
    detecter.m_patches.push_back(Patch(false, {4}, {5}, {1}));
    detecter.m_patches.push_back(Patch(true, {9, 0}, {2, 5}, {0, 1}));
    detecter.PairPatches();

    ASSERT_EQ(detecter.m_patches.size(), 2u); // the merged patch is gone
    const QvContactPatch* a = detecter.m_patches[0].get();
    EXPECT_EQ(FaceIndices(a->m_faces), (std::vector<int>{3, 1, 9, 0}));
    EXPECT_EQ(FaceIndices(a->m_boundaryFaces), (std::vector<int>{2, 5, 7}));
    EXPECT_EQ(a->m_regions, (std::vector<int>{0, 1}));
    ASSERT_EQ(detecter.m_pairs.size(), 1u);
    EXPECT_EQ(detecter.m_pairs[0].m_pA, a);
    EXPECT_EQ(detecter.m_pairs[0].m_pB, detecter.m_patches[1].get());
}

TEST_F(PatchPairing, MergingFollowsRegionsJustTakenOver)
{
    // A0 {0} takes A1 {0, 1}, and with it region 1, through which A2 {1} follows.
    QvCollisionDetecter detecter(&m_treeA, &m_treeB);
    detecter.m_patches.push_back(Patch(true, {0}, {}, {0}));
    detecter.m_patches.push_back(Patch(true, {1}, {}, {0, 1}));
    detecter.m_patches.push_back(Patch(true, {2}, {}, {1}));
    detecter.m_patches.push_back(Patch(false, {0}, {}, {1}));
    detecter.PairPatches();
    ASSERT_EQ(detecter.m_patches.size(), 2u);
    EXPECT_EQ(FaceIndices(detecter.m_patches[0]->m_faces), (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(detecter.m_pairs.size(), 1u);
}

TEST_F(PatchPairing, PairingGroupsBySideWithFewerPatches)
{
    struct Case
    {
        const char* name;
        std::vector<std::vector<int>> regionsA;
        std::vector<std::vector<int>> regionsB;
        std::size_t pairs;
        std::size_t patchesAfter;
    };
    const Case cases[] = {
        // Three regions, one A patch on each, one B patch touching all three: grouped
        // by B, the second and third A patches merge into the first, one pair.
        {"B touches three A patches", {{0}, {1}, {2}}, {{0, 1, 2}}, 1, 4},
        {"one A patch touching two B patches", {{0, 1}}, {{0}, {1}}, 1, 3},
        {"two separate pairs", {{0}, {1}}, {{1}, {0}}, 2, 4},
        {"no shared region", {{0}}, {{1}}, 0, 2},
        {"one side only", {{0}, {1}}, {}, 0, 2},
        {"single patch", {{0}}, {}, 0, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QvCollisionDetecter detecter(&m_treeA, &m_treeB);
        int face = 0;
        for (const auto& regions : c.regionsA)
            detecter.m_patches.push_back(Patch(true, {face++}, {}, regions));
        for (const auto& regions : c.regionsB)
            detecter.m_patches.push_back(Patch(false, {face++}, {}, regions));
        detecter.PairPatches();
        EXPECT_EQ(detecter.m_pairs.size(), c.pairs);
        EXPECT_EQ(detecter.m_patches.size(), c.patchesAfter);
        for (const QvPatchPair& pair : detecter.m_pairs)
        {
            EXPECT_EQ(pair.m_pA->m_pMesh, &m_meshA);
            EXPECT_EQ(pair.m_pB->m_pMesh, &m_meshB);
        }
    }
    // The grouped case in detail: the first A patch holds all three A faces.
    QvCollisionDetecter detecter(&m_treeA, &m_treeB);
    for (int i = 0; i < 3; ++i)
        detecter.m_patches.push_back(Patch(true, {i}, {}, {i}));
    detecter.m_patches.push_back(Patch(false, {0}, {}, {0, 1, 2}));
    detecter.PairPatches();
    ASSERT_EQ(detecter.m_pairs.size(), 1u);
    EXPECT_EQ(detecter.m_pairs[0].m_pA, detecter.m_patches[0].get());
    EXPECT_EQ(FaceIndices(detecter.m_pairs[0].m_pA->m_faces), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(detecter.m_pairs[0].m_pA->m_regions, (std::vector<int>{0, 1, 2}));
}

// ---------------------------------------------------------------- depth bookkeeping

TEST(PenetrationDepth, EqualMaximaTakeTheDeepestPointFromTheSecondMesh)
{
    // Mesh B is mesh A turned half round the origin: both directions measure the same
    // distances, and the deepest point comes from B's vertices.
    const QvPoint p0(1.0, 0.2, 0.1), p1(0.3, 1.1, -0.2), p2(0.6, 0.4, 0.9);
    QvMesh a = Triangle(p0, p1, p2);
    QvMesh b = Triangle(p0 * -1.0, p1 * -1.0, p2 * -1.0);
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    QvCollisionDetecter detecter(&ta, &tb);
    auto pa = std::make_unique<QvContactPatch>();
    pa->m_pMesh = &a;
    pa->m_faces = {ta.GetFace(0)};
    auto pb = std::make_unique<QvContactPatch>();
    pb->m_pMesh = &b;
    pb->m_faces = {tb.GetFace(0)};
    detecter.m_pairs.push_back(QvPatchPair{pa.get(), pb.get()});
    detecter.m_patches.push_back(std::move(pa));
    detecter.m_patches.push_back(std::move(pb));
    detecter.MeasurePenetration();

    // By hand: samples of A are its centroid and corners; B's corners look for them.
    const std::vector<QvPoint> samplesA{(p0 + QvVector(p1[0], p1[1], p1[2]) + QvVector(p2[0], p2[1], p2[2])) / 3.0,
                                        p0, p1, p2};
    double largest = 0.0;
    QvPoint expected;
    for (const QvPoint& q : {p0 * -1.0, p1 * -1.0, p2 * -1.0})
    {
        double best = std::numeric_limits<double>::infinity();
        QvPoint nearest;
        for (const QvPoint& s : samplesA)
            if (q.Distance(s) < best)
            {
                best = q.Distance(s);
                nearest = s;
            }
        if (best > largest)
        {
            largest = best;
            expected = QvPoint((q[0] + nearest[0]) / 2.0, (q[1] + nearest[1]) / 2.0, (q[2] + nearest[2]) / 2.0);
        }
    }
    const QvGapInfo* info = detecter.GetGapInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_DOUBLE_EQ(info->m_dDistance, largest);
    EXPECT_LT(info->m_point.Distance(expected), 1e-12);
    EXPECT_GT(info->m_point.Distance(expected * -1.0), 1e-3); // not the A side's point
}

TEST(PenetrationDepth, LaterPairsOverwriteVertexDepths)
{
    // Patch A against two patches of mesh B: the same triangle lifted by 1 and by 3.
    const QvPoint p0(0, 0, 0), p1(1, 0, 0), p2(0, 1, 0);
    QvMesh a = Triangle(p0, p1, p2);
    QvMesh b;
    for (const double lift : {1.0, 3.0})
    {
        const int v0 = b.AddVertex(p0 + QvVector(0, 0, lift));
        const int v1 = b.AddVertex(p1 + QvVector(0, 0, lift));
        const int v2 = b.AddVertex(p2 + QvVector(0, 0, lift));
        ASSERT_TRUE(b.AddFace(v0, v1, v2, 0));
    }
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    QvCollisionDetecter detecter(&ta, &tb);
    for (int k = 0; k < 3; ++k)
    {
        auto patch = std::make_unique<QvContactPatch>();
        patch->m_pMesh = k == 0 ? &a : &b;
        patch->m_faces = {k == 0 ? ta.GetFace(0) : tb.GetFace(k - 1)};
        detecter.m_patches.push_back(std::move(patch));
    }
    detecter.m_pairs.push_back(QvPatchPair{detecter.m_patches[0].get(), detecter.m_patches[1].get()});
    detecter.m_pairs.push_back(QvPatchPair{detecter.m_patches[2].get(), detecter.m_patches[0].get()});
    detecter.MeasurePenetration();

    const QvGapInfo* info = detecter.GetGapInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_DOUBLE_EQ(info->m_dDistance, 3.0);
    for (const QvVertex& v : a.m_vertices)
        EXPECT_DOUBLE_EQ(info->m_firstContacts.at(const_cast<QvVertex*>(&v)), 3.0);
    EXPECT_DOUBLE_EQ(info->m_secondContacts.at(&b.m_vertices[0]), 1.0);
    EXPECT_DOUBLE_EQ(info->m_secondContacts.at(&b.m_vertices[3]), 3.0);
    EXPECT_EQ(info->m_firstFaces.size(), 2u); // A's face once per pair
    EXPECT_EQ(info->m_secondFaces.size(), 2u);
}

TEST(PenetrationDepth, SamplesAreCentroidsEdgeThirdsAndVertices)
{
    // The strip's two faces as one patch: 2 centroids, the shared edge (the only
    // inner one) at its thirds, then the 4 vertices.
    QvMesh strip = qvtest::MakeTwoTriangleStrip();
    QvMesh other = qvtest::MakeTwoTriangleStrip();
    QvOBBTree ts(&strip);
    QvOBBTree to(&other);
    QvCollisionDetecter detecter(&ts, &to);
    QvContactPatch patch;
    patch.m_pMesh = &strip;
    patch.m_faces = {ts.GetFace(1), ts.GetFace(0)};
    const QvMatrix m = Translation(QvVector(0, 0, 2));
    std::vector<QvPatchVertex> vertices;
    std::vector<QvPoint> points;
    detecter.SamplePatch(&patch, m, vertices, points);
    ASSERT_EQ(vertices.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ(vertices[i].m_pVertex, &strip.m_vertices[i]);
        EXPECT_EQ(vertices[i].m_point, m * strip.m_vertices[i].m_point);
    }
    const int diagonal = strip.FindEdge(1, 2);
    const QvPoint e0 = m * strip.m_vertices[static_cast<std::size_t>(strip.m_edges[diagonal].m_vertices[0])].m_point;
    const QvPoint e1 = m * strip.m_vertices[static_cast<std::size_t>(strip.m_edges[diagonal].m_vertices[1])].m_point;
    const std::vector<QvPoint> expected{
        QvPoint(1.0 / 3.0, 1.0 / 3.0, 2.0), QvPoint(2.0 / 3.0, 2.0 / 3.0, 2.0), e0 + (e1 - e0) / 3.0,
        e0 + (e1 - e0) * 2.0 / 3.0,         vertices[0].m_point,              vertices[1].m_point,
        vertices[2].m_point,                vertices[3].m_point};
    ASSERT_EQ(points.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_LT(points[i].Distance(expected[i]), 1e-12) << i;
}

} // namespace
