// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/model/QvAirway.h"
#include "testing/ByteSweep.h"
#include "testing/MeshFixtures.h"

namespace {

QvAirway AirwayOf(const QvMesh& mesh)
{
    QvAirway airway;
    airway.CopyMeshData(mesh);
    airway.UpdateFaceNormals();
    return airway;
}

// A closed box [0, a] x [0, b] x [0, c] built from the unit cube.
QvAirway Box(double a, double b, double c)
{
    QvAirway airway = AirwayOf(qvtest::MakeCube());
    QvMatrix scale(4, 4);
    scale.SetIdentity();
    scale[0][0] = a;
    scale[1][1] = b;
    scale[2][2] = c;
    airway.Transform(scale);
    airway.UpdateFaceNormals();
    return airway;
}

// Drops the faces whose three corners share z == level (one side of a box).
void RemoveSide(QvMesh& mesh, double level)
{
    for (int f = static_cast<int>(mesh.m_faces.size()) - 1; f >= 0; --f)
    {
        bool onSide = true;
        for (const int v : mesh.m_faces[f].m_vertices)
            onSide = onSide && std::fabs(mesh.m_vertices[v].m_point.m_coord[2] - level) < 1e-9;
        if (onSide)
            mesh.RemoveFace(f, false);
    }
}

TEST(Airway, TypeCodesFlagAndDefaults)
{
    QvAirway airway;
    EXPECT_EQ(airway.GetType(), 0x20001000u);
    for (const QvTypeCode code : {0x20001000u, 4u, 2u, 1u})
        EXPECT_TRUE(airway.IsKindOf(code)) << code;
    EXPECT_FALSE(airway.IsKindOf(0x80));
    EXPECT_TRUE(airway.m_bFirstFlag);
    EXPECT_FALSE(airway.m_frame.IsValid());
    EXPECT_TRUE(airway.m_curve.m_ctrlPoints.empty());
}

TEST(Airway, RecordRoundTripsAndSurvivesDamage)
{
    QvAirway airway = AirwayOf(qvtest::MakeBand(12, 5, 3.0));
    airway.m_frame = QvFrame(QvPoint(1.0, 2.0, 3.0), QvVector(0.0, 1.0, 0.0), QvVector(0.0, 0.0, 1.0));
    const std::unique_ptr<QvBSplineCurve> curve(QvBSplineCurve::Interpolate(
        {QvPoint(0.0, 0.0, 0.0), QvPoint(1.0, 0.5, 2.0), QvPoint(0.0, 1.0, 4.0), QvPoint(-1.0, 0.0, 6.0)}, false));
    ASSERT_NE(curve, nullptr);
    airway.m_curve = *curve;
    airway.m_id = 321;
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { airway.Write(os, 0x413); });

    QvAirway back;
    std::istringstream is(bytes);
    ASSERT_TRUE(back.Read(is, 0x413, nullptr));
    EXPECT_EQ(back.m_id, 321);
    ASSERT_EQ(back.m_vertices.size(), airway.m_vertices.size());
    ASSERT_EQ(back.m_faces.size(), airway.m_faces.size());
    for (std::size_t i = 0; i < airway.m_vertices.size(); ++i)
        EXPECT_EQ(back.m_vertices[i].m_point, airway.m_vertices[i].m_point);
    EXPECT_TRUE(back.m_frame == airway.m_frame);
    EXPECT_EQ(back.m_curve.m_knots.m_values, airway.m_curve.m_knots.m_values);
    ASSERT_EQ(back.m_curve.m_ctrlPoints.size(), airway.m_curve.m_ctrlPoints.size());
    EXPECT_EQ(back.m_curve.m_ctrlPoints[2], airway.m_curve.m_ctrlPoints[2]);

    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& in) {
        QvAirway target;
        return target.Read(in, 0x413, nullptr);
    }, 200);
}

TEST(Airway, FailingMeshLeavesFrameAndCurveUntouched)
{
    QvAirway airway;
    airway.m_frame = QvFrame(QvPoint(5.0, 5.0, 5.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
    const QvFrame before = airway.m_frame;
    std::istringstream is(std::string("\x01\x02\x03", 3));
    EXPECT_FALSE(airway.Read(is, 0x413, nullptr));
    EXPECT_TRUE(airway.m_frame == before);
    EXPECT_TRUE(airway.m_faces.empty());
}

TEST(Airway, AreaAndVolumeOfBoxes)
{
    const QvAirway cube = AirwayOf(qvtest::MakeCube());
    EXPECT_NEAR(cube.GetSurfaceArea(), 6.0, 1e-12);
    EXPECT_NEAR(cube.GetVolume(), 1.0, 1e-12);

    // Unequal sides: the per-axis estimates must still agree on a closed surface.
    const QvAirway box = Box(2.0, 3.0, 0.5);
    EXPECT_NEAR(box.GetSurfaceArea(), 2.0 * (6.0 + 1.0 + 1.5), 1e-12);
    EXPECT_NEAR(box.GetVolume(), 3.0, 1e-12);

    // Without its top the box is open; the hole is closed before measuring, the
    // airway itself is not changed.
    QvAirway open = AirwayOf(qvtest::MakeCube());
    RemoveSide(open, 1.0);
    ASSERT_EQ(open.m_faces.size(), 10u);
    EXPECT_NEAR(open.GetSurfaceArea(), 5.0, 1e-12);
    EXPECT_NEAR(open.GetVolume(), 1.0, 1e-12);
    EXPECT_EQ(open.m_faces.size(), 10u);
}

TEST(Airway, VolumeOfAnOpenTubeAndOfNothing)
{
    // A band closed at both ends by the fill: close to the prism of its polygon.
    const int around = 24;
    const double radius = 2.0;
    const QvAirway tube = AirwayOf(qvtest::MakeBand(around, 6, radius));
    const double height = 5.0 * (6.28318530718 * radius / around);
    const double polygon = 0.5 * around * radius * radius * std::sin(6.28318530718 / around);
    EXPECT_NEAR(tube.GetVolume(), polygon * height, 1e-9 * polygon * height);

    QvAirway empty;
    EXPECT_EQ(empty.GetSurfaceArea(), 0.0);
    EXPECT_EQ(empty.GetVolume(), 0.0);
}

TEST(Airway, VolumeIsMinusOneForANormalThatIsNotANumber)
{
    QvAirway cube = AirwayOf(qvtest::MakeCube());
    ASSERT_TRUE(cube.SetVertexPosition(0, QvPoint(std::nan(""), 0.0, 0.0)));
    EXPECT_EQ(cube.GetVolume(), -1.0);
}

// Two cubes side by side, a cube inside a bigger one (a ring in section), and a band
// whose open end the plane runs along.
TEST(Airway, SectionAreas)
{
    const QvPlane mid(QvPoint(0.0, 0.0, 0.5), QvVector(0.0, 0.0, 1.0));
    EXPECT_NEAR(AirwayOf(qvtest::MakeCube()).GetSectionArea(mid), 1.0, 1e-9);

    QvAirway two = AirwayOf(qvtest::MakeCube());
    QvMesh other = qvtest::MakeCube();
    QvMatrix shift(4, 4);
    shift.SetIdentity();
    shift[0][3] = 3.0;
    other.Transform(shift);
    std::map<int, int> map;
    ASSERT_TRUE(two.AppendMesh(other, map));
    EXPECT_NEAR(two.GetSectionArea(mid), 2.0, 1e-9);

    QvAirway ring = Box(4.0, 4.0, 1.0);
    QvMesh inner = qvtest::MakeCube();
    QvMatrix place(4, 4);
    place.SetIdentity();
    place[0][3] = 1.5;
    place[1][3] = 1.5;
    place[2][3] = -0.5;
    place[2][2] = 2.0;
    inner.Transform(place);
    ASSERT_TRUE(ring.AppendMesh(inner, map));
    // The inner outline is listed once as contained and so takes itself out again:
    // the ring counts with its outer outline.
    EXPECT_NEAR(ring.GetSectionArea(mid), 16.0, 1e-9);

    // A plane that leaves the mesh through its open side cuts open sections only.
    QvAirway open = AirwayOf(qvtest::MakeCube());
    RemoveSide(open, 1.0);
    const QvPlane vertical(QvPoint(0.5, 0.0, 0.0), QvVector(1.0, 0.0, 0.0));
    EXPECT_EQ(open.GetSectionArea(vertical), 0.0);
    EXPECT_NEAR(AirwayOf(qvtest::MakeCube()).GetSectionArea(vertical), 1.0, 1e-9);
}

TEST(Airway, PointInPolygonAndCentroid)
{
    const std::vector<QvAirway::Point2D> square = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
    EXPECT_TRUE(QvAirway::IsPointInPolygon({1, 1}, square));
    EXPECT_FALSE(QvAirway::IsPointInPolygon({3, 1}, square));
    EXPECT_TRUE(QvAirway::IsPointInPolygon({2, 2}, square)); // on a vertex
    EXPECT_TRUE(QvAirway::IsPointInPolygon({2, 1}, square)); // exactly on an edge crossing
    const QvAirway::Point2D c = QvAirway::GetCentroid(square);
    EXPECT_DOUBLE_EQ(c.x, 1.0);
    EXPECT_DOUBLE_EQ(c.y, 1.0);
    EXPECT_DOUBLE_EQ(QvAirway::GetCentroid({}).x, 0.0);
}

TEST(Airway, VertexNormalsFollowTheVertices)
{
    const QvAirway cube = AirwayOf(qvtest::MakeCube());
    std::vector<QvVector> normals(3);
    cube.GetVertexNormals(normals);
    ASSERT_EQ(normals.size(), 8u);
    // Vertex 7 sits at (1, 1, 1): its normal points out along the diagonal.
    EXPECT_GT(normals[7].m_coord[0], 0.0);
    EXPECT_GT(normals[7].m_coord[1], 0.0);
    EXPECT_GT(normals[7].m_coord[2], 0.0);
    EXPECT_NEAR(normals[7].Length(), 1.0, 1e-12);
}

} // namespace
