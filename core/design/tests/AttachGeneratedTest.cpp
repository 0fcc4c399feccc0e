// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "core/design/QvAttachGeoCutInstruction.h"
#include "core/design/QvAttachGeoPressureSpot.h"
#include "core/design/QvAttachGeoPressureZone.h"
#include "core/design/QvAttachGeoStdPower.h"
#include "core/design/tests/AttachFixtures.h"
#include "core/mesh/QvParameterizeMgr.h"
#include "core/model/QvTooth.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using qvdesigntest::CapVertex;

class GeneratedShapes : public ::testing::Test
{
protected:
    void SetUp() override { QvParameterizeMgr::Instance()->RemoveAll(); }
    void TearDown() override { QvParameterizeMgr::Instance()->RemoveAll(); }
};

int EulerCharacteristic(const QvMesh& mesh)
{
    return static_cast<int>(mesh.m_vertices.size()) - static_cast<int>(mesh.m_edges.size()) +
           static_cast<int>(mesh.m_faces.size());
}

void ExpectClosedSurface(const QvMesh& mesh)
{
    EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
    EXPECT_TRUE(mesh.IsClosed());
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
}

TEST_F(GeneratedShapes, SphereHasTheListedCountsAndIsAClosedOutwardSurface)
{
    const QvPoint centre(1.0, -2.0, 0.5);
    for (const int n : {2, 3, 20})
    {
        SCOPED_TRACE(n);
        std::unique_ptr<QvMesh> sphere = CreateSphereMesh(centre, n, 1.5);
        ASSERT_NE(sphere, nullptr);
        EXPECT_EQ(sphere->m_vertices.size(), static_cast<std::size_t>(2 + (n - 1) * 2 * n));
        EXPECT_EQ(sphere->m_faces.size(), static_cast<std::size_t>(4 * n + (n - 2) * 4 * n));
        ExpectClosedSurface(*sphere);
        EXPECT_EQ(EulerCharacteristic(*sphere), 2);
        for (const QvVertex& v : sphere->m_vertices)
            EXPECT_NEAR(v.m_point.Distance(centre), 1.5, 1e-12);
        // Outward: every face normal points away from the centre.
        for (const QvFace& f : sphere->m_faces)
            EXPECT_GT((sphere->m_vertices[f.m_vertices[0]].m_point - centre).Dot(f.m_normal), 0.0);
        EXPECT_EQ(sphere->m_vertices[0].m_point.Distance(QvPoint(1.0, -2.0, 2.0)), 0.0);
    }
    EXPECT_EQ(CreateSphereMesh(centre, 20, 1.0)->m_vertices.size(), 762u);
    EXPECT_EQ(CreateSphereMesh(centre, 20, 1.0)->m_faces.size(), 1520u);
    EXPECT_EQ(CreateSphereMesh(centre, 1, 1.0), nullptr);
}

TEST_F(GeneratedShapes, PressureSpotIsASphereAtThePickedVertex)
{
    std::unique_ptr<QvTooth> tooth = qvdesigntest::MakeCapTooth(11);
    const int v = CapVertex(4, 5);
    const QvPoint p = tooth->m_vertices[v].m_point;
    QvVector inward = tooth->GetVertexNormal(v);
    inward.Negate();

    struct Row
    {
        double p0, p1, p2;
        double offset; // expected centre distance along the reversed normal
    };
    for (const Row& r : {Row{1.0, 1.0, 1.0, 0.0}, Row{1.0, 1.0, 1.5, 0.5}, Row{0.5, 0.0, 0.25, -0.25}})
    {
        QvAttachGeoPressureSpot spot;
        spot.m_bModified = false;
        const double params[3] = {r.p0, r.p1, r.p2};
        ASSERT_TRUE(spot.BuildGeometry(tooth.get(), {v, CapVertex(2, 0)}, params));
        EXPECT_EQ(spot.m_vertices.size(), 762u);
        EXPECT_EQ(spot.m_faces.size(), 1520u);
        EXPECT_TRUE(spot.m_bModified);
        ExpectClosedSurface(spot);
        const QvPoint expected = p + inward * r.offset;
        const QvPoint mid = spot.m_bbox.GetCentre();
        EXPECT_LT(mid.Distance(expected), 1e-9);
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(spot.m_bbox.m_maxPoint[axis] - spot.m_bbox.m_minPoint[axis], 2.0 * r.p0, 1e-9);
    }
}

TEST_F(GeneratedShapes, FailedBuildsLeaveTheMeshAsItWas)
{
    std::unique_ptr<QvTooth> tooth = qvdesigntest::MakeCapTooth(11);
    const double params[3] = {1.8, 0.2, 0.25};
    const std::vector<int> rim = {CapVertex(10, 0), CapVertex(10, 8), CapVertex(10, 16)};
    struct Case
    {
        const char* what;
        QvToothBase* tooth;
        std::vector<int> vertices;
        bool spot, zone, cut; // which kinds fail
    };
    const Case cases[] = {
        {"no tooth", nullptr, {CapVertex(3, 0)}, true, true, true},
        {"no vertices", tooth.get(), {}, true, true, true},
        {"vertex -1", tooth.get(), {-1, CapVertex(3, 0)}, true, true, true},
        {"vertex past the end", tooth.get(), {CapVertex(3, 0), 100000}, false, true, true},
        {"every vertex on the rim", tooth.get(), rim, false, true, true},
    };
    for (const Case& c : cases)
    {
        QvAttachGeoPressureSpot spot;
        QvAttachGeoPressureZone zone;
        QvAttachGeoCutInstruction cut;
        cut.m_nMaxVertexCount = 4;
        for (QvAttachGeo* geo : {static_cast<QvAttachGeo*>(&spot), static_cast<QvAttachGeo*>(&zone),
                                 static_cast<QvAttachGeo*>(&cut)})
        {
            geo->CopyMeshData(qvdesigntest::MakeCubes(false));
            geo->m_bModified = false;
        }
        if (c.spot)
        {
            EXPECT_FALSE(spot.BuildGeometry(c.tooth, c.vertices, params)) << c.what;
        }
        if (c.zone)
        {
            EXPECT_FALSE(zone.BuildGeometry(c.tooth, c.vertices, params)) << c.what;
        }
        if (c.cut)
        {
            EXPECT_FALSE(cut.BuildGeometry(c.tooth, c.vertices, params)) << c.what;
        }
        for (const QvAttachGeo* geo : {static_cast<QvAttachGeo*>(&spot), static_cast<QvAttachGeo*>(&zone),
                                       static_cast<QvAttachGeo*>(&cut)})
        {
            if ((geo == &spot && !c.spot) || (geo == &zone && !c.zone) || (geo == &cut && !c.cut))
                continue;
            EXPECT_EQ(geo->m_faces.size(), 12u) << c.what;
            EXPECT_FALSE(geo->m_bModified) << c.what;
        }
        EXPECT_EQ(QvParameterizeMgr::Instance()->FindFlatMesh(tooth.get()), nullptr) << c.what;
    }
    // The rim was computed on demand.
    EXPECT_FALSE(tooth->GetBoundaryLoop()->empty());
}

TEST_F(GeneratedShapes, PressureZoneIsAClosedBandAlongThePath)
{
    std::unique_ptr<QvTooth> tooth = qvdesigntest::MakeCapTooth(21);
    const std::vector<int> picked = {CapVertex(5, 2), CapVertex(5, 6), CapVertex(5, 10)};
    QvAttachGeoPressureZone zone;
    zone.m_nMaxVertexCount = 3;
    const double params[3] = {1.8, 0.2, 0.25};
    ASSERT_TRUE(zone.BuildGeometry(tooth.get(), picked, params));
    EXPECT_FALSE(zone.m_faces.empty());
    ExpectClosedSurface(zone);
    EXPECT_TRUE(zone.m_bModified);
    // Every picked vertex lies within the band's reach (half width 0.9, sides 0.2 / 0.25).
    for (int v : picked)
    {
        double nearest = 1e9;
        for (const QvVertex& z : zone.m_vertices)
            nearest = std::min(nearest, z.m_point.Distance(tooth->m_vertices[v].m_point));
        EXPECT_LT(nearest, 1.0);
    }
    // The cache entry lives only during the build.
    EXPECT_EQ(QvParameterizeMgr::Instance()->FindFlatMesh(tooth.get()), nullptr);
}

TEST_F(GeneratedShapes, CutInstructionIsAClosedTubeOrACappedOpenOne)
{
    std::unique_ptr<QvTooth> tooth = qvdesigntest::MakeCapTooth(31);
    const std::vector<int> four = {CapVertex(6, 0), CapVertex(6, 8), CapVertex(6, 16), CapVertex(6, 24)};
    std::vector<int> five = four;
    five.push_back(CapVertex(2, 3)); // the extra entry only marks the path closed

    QvAttachGeoCutInstruction closed;
    closed.m_nMaxVertexCount = 4;
    ASSERT_TRUE(closed.BuildGeometry(tooth.get(), five, nullptr));
    ExpectClosedSurface(closed);
    EXPECT_EQ(EulerCharacteristic(closed), 0) << "a ring-shaped tube without caps";

    QvAttachGeoCutInstruction open;
    open.m_nMaxVertexCount = 4;
    ASSERT_TRUE(open.BuildGeometry(tooth.get(), four, nullptr));
    ExpectClosedSurface(open);
    EXPECT_EQ(EulerCharacteristic(open), 2) << "a capped open tube";

    // Rings of radius 0.3 follow the path one sweep step (twice the mean edge) apart.
    double meanEdge = 0.0;
    ASSERT_TRUE(QvMeanEdgeLength(*tooth, meanEdge));
    for (int v : four)
    {
        double nearest = 1e9;
        for (const QvVertex& t : open.m_vertices)
            nearest = std::min(nearest, t.m_point.Distance(tooth->m_vertices[v].m_point));
        EXPECT_LT(nearest, 0.3 + 2.0 * meanEdge);
    }
    EXPECT_EQ(QvParameterizeMgr::Instance()->FindFlatMesh(tooth.get()), nullptr);
}

TEST_F(GeneratedShapes, PowerSplitKeepsThePartOfFaceZeroAndCentresTheSecondFrame)
{
    QvAttachGeoStdPower power;
    power.CopyMeshData(qvdesigntest::MakeCubes(true));
    power.SetFrame(QvFrame(QvPoint(0, 0, 0), QvVector(0, 2, 0), QvVector(0, 0, 3)));
    const QvPoint face0 = power.m_vertices[power.m_faces[0].m_vertices[0]].m_point;
    power.SplitParts();
    EXPECT_EQ(power.m_vertices.size(), 8u);
    EXPECT_EQ(power.m_faces.size(), 12u);
    ExpectClosedSurface(power);
    bool holdsFace0 = false;
    for (const QvVertex& v : power.m_vertices)
        holdsFace0 = holdsFace0 || v.m_point.Distance(face0) == 0.0;
    EXPECT_TRUE(holdsFace0);
    EXPECT_NEAR(power.m_bbox.m_maxPoint[0], 1.0, 1e-12);

    const QvMesh* second = power.GetSecondMesh();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->m_faces.size(), 12u);
    ExpectClosedSurface(*second);
    EXPECT_TRUE(second->m_bModified);
    EXPECT_LT(power.m_secondFrame.m_centre.Distance(QvPoint(3.5, 0.5, 0.5)), 1e-12);
    EXPECT_LT((power.m_secondFrame.m_dirX - QvVector(0, 1, 0)).Length(), 1e-12);
    EXPECT_LT((power.m_secondFrame.m_dirY - QvVector(0, 0, 1)).Length(), 1e-12);
    EXPECT_LT((power.m_secondFrame.m_dirZ - QvVector(1, 0, 0)).Length(), 1e-12);

    // A single part keeps all its faces and gets no second mesh.
    QvAttachGeoStdPower single;
    single.CopyMeshData(qvdesigntest::MakeCubes(false));
    single.SplitParts();
    EXPECT_EQ(single.m_faces.size(), 12u);
    EXPECT_EQ(single.GetSecondMesh(), nullptr);
}

} // namespace
