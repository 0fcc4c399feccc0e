// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "core/collision/QvCollisionDetecter.h"
#include "core/design/tests/CollisionFixtures.h"
#include "core/model/QvTooth.h"
#include "core/scheme/QvGapInfo.h"

namespace {

using qvtest::Identity4;
using qvtest::Rigid;
using qvtest::Translation;
using qvtest::Triangle;

// A mesh with the faces of both meshes, b moved by m.
QvMesh Joined(const QvMesh& a, QvMesh b, const QvMatrix& m)
{
    QvMesh joined(a);
    b.Transform(m);
    std::map<int, int> oldToNew;
    EXPECT_TRUE(joined.AppendMesh(b, oldToNew));
    joined.UpdateFaceNormals();
    joined.UpdateBBox();
    return joined;
}

std::vector<QvPoint> Positions(const QvMesh& mesh)
{
    std::vector<QvPoint> positions;
    for (const QvVertex& v : mesh.m_vertices)
        positions.push_back(v.m_point);
    return positions;
}

bool SameMatrix(const QvMatrix& a, const QvMatrix& b)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (a[i][j] != b[i][j])
                return false;
    return true;
}

TEST(CollisionDetecter, NoCrossingTrianglesMeansNoCollision)
{
    // A small sphere inside a large one: the boxes overlap, the surfaces never meet.
    QvMesh outer = qvtest::MakeSphere(3, 2.0);
    QvMesh inner = qvtest::MakeSphere(3, 0.5);
    QvOBBTree ta(&outer);
    QvOBBTree tb(&inner);
    tb.SetPlacement(Translation(QvVector(0.3, -0.2, 0.1)));
    QvCollisionDetecter detecter(&ta, &tb);
    EXPECT_FALSE(detecter.Detect());
    EXPECT_EQ(detecter.GetGapInfo(), nullptr);
    EXPECT_TRUE(detecter.m_segments.empty());
    EXPECT_TRUE(detecter.m_faceRegionA.empty());

    QvCollisionDetecter missing(&ta, nullptr);
    EXPECT_FALSE(missing.Detect());
    EXPECT_EQ(missing.GetGapInfo(), nullptr);
}

TEST(CollisionDetecter, OneIntersectionLoopIsOneRegionWithAFittedPlane)
{
    QvMesh a = qvtest::MakeSphere(4);
    QvMesh b = qvtest::MakeSphere(4);
    QvVector dir(0.4, 0.8, -0.45);
    dir.Normalize();
    const QvPoint ca(1.0, 2.0, 3.0);
    const double d = 1.3;
    const QvMatrix ma = Rigid(QvVector(1, 1, 0), 0.3, QvVector(ca[0], ca[1], ca[2]));
    const QvMatrix mb = Rigid(QvVector(0, 1, 1), 1.2, QvVector(ca[0], ca[1], ca[2]) + dir * d);
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    ta.SetPlacement(ma);
    tb.SetPlacement(mb);
    const std::vector<QvPoint> before = Positions(a);

    QvCollisionDetecter detecter(&ta, &tb);
    ASSERT_TRUE(detecter.Detect());

    std::set<int> regions;
    for (const auto& entry : detecter.m_faceRegionA)
        regions.insert(entry.second);
    for (const auto& entry : detecter.m_faceRegionB)
        regions.insert(entry.second);
    EXPECT_EQ(regions, std::set<int>{0});
    EXPECT_EQ(detecter.m_regionOrder, std::vector<int>{0});
    // Every crossing face is in its mesh's region, and marked as crossing.
    for (const QvTriSegment& s : detecter.m_segments)
    {
        EXPECT_EQ(detecter.m_faceRegionA.count(s.m_pFirst->m_nIndex), 1u);
        EXPECT_EQ(detecter.m_faceRegionB.count(s.m_pSecond->m_nIndex), 1u);
        EXPECT_TRUE(s.m_pFirst->m_marks[1] && s.m_pSecond->m_marks[1]);
    }
    std::vector<int> facesA;
    for (const auto& entry : detecter.m_faceRegionA)
        facesA.push_back(entry.first);
    EXPECT_EQ(detecter.m_regionFacesA[0], facesA);

    // The loop is a circle around the line of centres, halfway between them.
    ASSERT_NE(detecter.m_regionPlanes[0], nullptr);
    const QvPlane& plane = *detecter.m_regionPlanes[0];
    EXPECT_GT(std::fabs(plane.GetNormal().Dot(dir)), 0.999);
    EXPECT_LT(plane.Distance(ca + dir * (d / 2.0), false), 0.01);

    // Detection moves neither mesh nor tree.
    EXPECT_EQ(Positions(a), before);
    EXPECT_TRUE(SameMatrix(ta.GetPlacement(), ma));
    EXPECT_TRUE(SameMatrix(tb.GetPlacement(), mb));
}

TEST(CollisionDetecter, SeparateLoopsAreSeparateRegionsLongestFirst)
{
    // A long ellipsoid crossed near both ends by two spheres of one mesh; the smaller
    // sphere at the low end gives the shorter contour.
    QvMesh a = qvtest::MakeSphere(4);
    QvMatrix stretch(4, 4);
    stretch.SetIdentity();
    stretch[0][0] = 6.0;
    a.Transform(stretch);
    const QvMesh big = qvtest::MakeSphere(3, 0.9);
    const QvMesh joinedB = Joined(qvtest::MakeSphere(3, 0.5), big, Translation(QvVector(9.0, 0.0, 0.0)));
    QvMesh b(joinedB);
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    ta.SetPlacement(Rigid(QvVector(0.2, 0.3, 1), 0.7, QvVector(0, 0, 0)));
    tb.SetPlacement(Rigid(QvVector(0.2, 0.3, 1), 0.7, QvVector(0, 0, 0)) * Translation(QvVector(-4.5, 0.7, 0.3)));

    QvCollisionDetecter detecter(&ta, &tb);
    ASSERT_TRUE(detecter.Detect());
    ASSERT_EQ(detecter.m_regionFacesA.size(), 2u);
    // Ids follow the lowest crossing face of mesh A.
    EXPECT_LT(detecter.m_regionFacesA[0].front(), detecter.m_regionFacesA[1].front());
    std::map<int, int> segmentsPerRegion;
    for (const QvTriSegment& s : detecter.m_segments)
        ++segmentsPerRegion[detecter.m_faceRegionA[s.m_pFirst->m_nIndex]];
    ASSERT_EQ(detecter.m_regionOrder.size(), 2u);
    EXPECT_GT(segmentsPerRegion[detecter.m_regionOrder[0]], segmentsPerRegion[detecter.m_regionOrder[1]]);
    EXPECT_NE(detecter.m_regionPlanes[0], nullptr);
    EXPECT_NE(detecter.m_regionPlanes[1], nullptr);
}

TEST(CollisionDetecter, RegionsJoinThroughSharedVertices)
{
    // Mesh A: two triangles in z = 0, either sharing one corner (a bow tie) or apart.
    // Mesh B: a triangle in y = 0 crossing both, so 2 segments: too few for a contour.
    struct Case
    {
        const char* name;
        bool shareCorner;
        std::size_t regions;
    };
    for (const Case& c : {Case{"bow tie", true, 1}, Case{"apart", false, 2}})
    {
        QvMesh a;
        const int centre = a.AddVertex(QvPoint(0, 0, 0));
        const int r1 = a.AddVertex(QvPoint(1, 0.2, 0));
        const int r2 = a.AddVertex(QvPoint(1, -0.2, 0));
        const int left = c.shareCorner ? centre : a.AddVertex(QvPoint(-0.1, 0, 0));
        const int l1 = a.AddVertex(QvPoint(-1, -0.2, 0));
        const int l2 = a.AddVertex(QvPoint(-1, 0.2, 0));
        ASSERT_TRUE(a.AddFace(centre, r1, r2, 0));
        ASSERT_TRUE(a.AddFace(left, l1, l2, 0));
        QvMesh b = Triangle(QvPoint(-2, 0, -1), QvPoint(2, 0, -1), QvPoint(0.05, 0, 1));
        QvOBBTree ta(&a);
        QvOBBTree tb(&b);
        QvCollisionDetecter detecter(&ta, &tb);
        ASSERT_TRUE(detecter.Detect()) << c.name;
        EXPECT_EQ(detecter.m_regionFacesA.size(), c.regions) << c.name;
        EXPECT_EQ(detecter.m_faceRegionA.size(), 2u) << c.name;
        // Under 3 segments per region: in the maps, but without plane or order.
        EXPECT_TRUE(detecter.m_regionOrder.empty()) << c.name;
        EXPECT_TRUE(detecter.m_regionPlanes.empty()) << c.name;
        EXPECT_TRUE(detecter.m_patches.empty()) << c.name;
    }
}

TEST(CollisionDetecter, CrossingWithoutPatchesGivesAZeroDepthRecordWithSegments)
{
    QvMesh a = Triangle(QvPoint(0, 0, 0), QvPoint(2, 0, 0), QvPoint(0, 2, 0));
    QvMesh b = Triangle(QvPoint(0.2, 0.5, -1), QvPoint(1.0, 0.5, -1), QvPoint(0.6, 0.5, 1));
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    QvCollisionDetecter detecter(&ta, &tb);
    ASSERT_TRUE(detecter.Detect());
    EXPECT_EQ(detecter.m_faceRegionA, (std::map<int, int>{{0, 0}}));
    EXPECT_EQ(detecter.m_faceRegionB, (std::map<int, int>{{0, 0}}));
    EXPECT_TRUE(detecter.m_regionOrder.empty());
    const QvGapInfo* info = detecter.GetGapInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->m_nKind, kQvGapKindContact);
    EXPECT_EQ(info->m_dDistance, 0.0);
    EXPECT_EQ(info->m_point, QvPoint(0, 0, 0));
    EXPECT_TRUE(info->m_firstFaces.empty() && info->m_secondFaces.empty());
    EXPECT_TRUE(info->m_firstContacts.empty() && info->m_secondContacts.empty());
    ASSERT_EQ(info->m_segments.size(), 1u);
    EXPECT_EQ(info->m_segments[0].m_pFirst, &a.m_faces[0]);
    EXPECT_EQ(info->m_segments[0].m_pSecond, &b.m_faces[0]);
    EXPECT_LT(info->m_segments[0].m_start.Distance(QvPoint(0.4, 0.5, 0)) +
                  info->m_segments[0].m_end.Distance(QvPoint(0.8, 0.5, 0)),
              1e-12);
    // Plain meshes are no teeth.
    EXPECT_EQ(info->m_pFirst, nullptr);
    EXPECT_EQ(info->m_pSecond, nullptr);
}

TEST(CollisionDetecter, ZeroAreaFacesLeaveEveryResultFinite)
{
    // Sphere A with slivers where it meets B: some corners pulled onto a neighbour
    // (two equal corners) and some onto the middle of an opposite edge (collinear).
    QvMesh a = qvtest::MakeSphere(4);
    QvMesh b = qvtest::MakeSphere(4);
    const QvMatrix mb = qvtest::Skew(QvVector(1.1, 0.4, 0.2));
    int near = 0;
    int collapsed = 0;
    for (QvFace& f : a.m_faces)
    {
        QvPoint& p0 = a.m_vertices[static_cast<std::size_t>(f.m_vertices[0])].m_point;
        const QvPoint& p1 = a.m_vertices[static_cast<std::size_t>(f.m_vertices[1])].m_point;
        const QvPoint& p2 = a.m_vertices[static_cast<std::size_t>(f.m_vertices[2])].m_point;
        // Every seventh face near B's surface.
        if (std::fabs((mb * QvPoint(0, 0, 0)).Distance(p0) - 1.0) > 0.05 || near++ % 7 != 0)
            continue;
        p0 = collapsed++ % 2 == 0 ? p1 : QvPoint((p1[0] + p2[0]) / 2, (p1[1] + p2[1]) / 2, (p1[2] + p2[2]) / 2);
    }
    ASSERT_GT(collapsed, 10);
    a.UpdateFaceNormals();
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    tb.SetPlacement(mb);
    QvCollisionDetecter detecter(&ta, &tb);
    ASSERT_TRUE(detecter.Detect());
    const QvGapInfo* info = detecter.GetGapInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(std::isfinite(info->m_dDistance));
    EXPECT_TRUE(qvtest::IsFinite(info->m_point));
    for (const QvGapSegment& s : info->m_segments)
        EXPECT_TRUE(qvtest::IsFinite(s.m_start) && qvtest::IsFinite(s.m_end));
    for (const auto* depths : {&info->m_firstContacts, &info->m_secondContacts})
        for (const auto& entry : *depths)
            EXPECT_TRUE(std::isfinite(entry.second));
    for (const auto& entry : detecter.m_regionPlanes)
    {
        if (!entry.second)
            continue;
        for (const double c : entry.second->m_coef)
            EXPECT_TRUE(std::isfinite(c));
    }
}

TEST(CollisionDetecter, RecordNamesTheTeeth)
{
    QvTooth first;
    QvTooth second;
    first.CopyMeshData(qvtest::MakeSphere(3));
    second.CopyMeshData(qvtest::MakeSphere(3));
    QvOBBTree ta(&first);
    QvOBBTree tb(&second);
    tb.SetPlacement(qvtest::Skew(QvVector(1.2, 0.5, 0.3)));
    QvCollisionDetecter detecter(&ta, &tb);
    ASSERT_TRUE(detecter.Detect());
    ASSERT_NE(detecter.GetGapInfo(), nullptr);
    EXPECT_EQ(detecter.GetGapInfo()->m_pFirst, &first);
    EXPECT_EQ(detecter.GetGapInfo()->m_pSecond, &second);
}

} // namespace
