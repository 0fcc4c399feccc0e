// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "testing/ByteSweep.h"
#include "core/geometry/tests/GeometryTestUtil.h"
#include "testing/PointSets.h"

namespace {

using qvtest::Rng;
using qvtest::Uniform;
using qvtest::ExpectNear;
using qvtest::RandomPoint;
using qvtest::RandomUnit;

void ExpectSameBits(const QvPoint& a, const QvPoint& b, const char* what = "")
{
    EXPECT_EQ(std::memcmp(a.m_coord, b.m_coord, sizeof a.m_coord), 0) << what;
}

QvPlane PlaneOf(double a, double b, double c, double d)
{
    QvPlane p;
    p.m_coef[0] = a;
    p.m_coef[1] = b;
    p.m_coef[2] = c;
    p.m_coef[3] = d;
    return p;
}

TEST(Plane, ThreePointConstructor)
{
    const QvPlane flat(QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(1, 1, 0));
    ExpectNear(flat.GetNormal(), QvVector(0, 0, 1), 0.0);
    EXPECT_EQ(flat.m_coef[3], 0.0);

    // Collinear points: the zero cross product normalises to the x axis.
    const QvPlane line(QvPoint(0, 0, 0), QvPoint(1, 1, 1), QvPoint(2, 2, 2));
    ExpectNear(line.GetNormal(), QvVector(1, 0, 0), 0.0);
    EXPECT_EQ(line.m_coef[3], 0.0);

    // Orientation follows (p2 - p1) x (p3 - p2); the three points lie on the plane.
    const QvPoint p1(1, 2, 3), p2(4, -1, 2), p3(0, 5, -2);
    const QvPlane general(p1, p2, p3);
    EXPECT_NEAR(general.GetNormal().Length(), 1.0, 1e-15);
    for (const QvPoint& p : {p1, p2, p3})
        EXPECT_NEAR(general.Distance(p, true), 0.0, 1e-13);
    EXPECT_GT(general.GetNormal().Dot((p2 - p1).Cross(p3 - p2)), 0.0);
}

TEST(Plane, DistanceProjectionReverseOffset)
{
    QvPlane plane(QvPoint(0, 0, 5), QvVector(0, 0, 2));
    ExpectNear(plane.GetNormal(), QvVector(0, 0, 1), 0.0);
    EXPECT_EQ(plane.m_coef[3], -5.0);
    EXPECT_EQ(plane.Distance(QvPoint(0, 0, 2), true), -3.0);
    EXPECT_EQ(plane.Distance(QvPoint(0, 0, 2), false), 3.0);
    ExpectNear(plane.ProjectPoint(QvPoint(1, 2, 2)), QvPoint(1, 2, 5), 0.0);
    ExpectNear(plane.ProjectVector(QvVector(1, 2, 7)), QvVector(1, 2, 0), 0.0);

    QvPlane offset;
    offset.Copy(plane);
    offset.Offset(1.0); // moves by -1 along the normal
    EXPECT_EQ(offset.Distance(QvPoint(3, 3, 4), true), 0.0);

    plane.Reverse();
    EXPECT_EQ(plane.Distance(QvPoint(0, 0, 2), true), 3.0);
    EXPECT_EQ(plane.Distance(QvPoint(0, 0, 5), true), 0.0);

    // A zero normal becomes the x axis.
    const QvPlane zero(QvPoint(2, 3, 4), QvVector(0, 0, 0));
    ExpectNear(zero.GetNormal(), QvVector(1, 0, 0), 0.0);
    EXPECT_EQ(zero.m_coef[3], -2.0);
}

TEST(Plane, GetPoint)
{
    struct Case
    {
        const char* name;
        QvPlane plane;
        QvPoint point;
    } cases[] = {
        {"z = 5", QvPlane(QvPoint(0, 0, 5), QvVector(0, 0, 1)), {0, 0, 5}},
        {"through (2,0,0) normal (1,1,0)", QvPlane(QvPoint(2, 0, 0), QvVector(1, 1, 0)), {2, 0, 0}},
        {"x skipped when it passes the zero test", PlaneOf(5e-8, 0.5, 0, -1), {0, 2, 0}},
        {"no usable normal: the origin", PlaneOf(5e-8, -5e-8, 0, 3), {0, 0, 0}},
        {"default plane: the origin", QvPlane(), {0, 0, 0}},
    };
    for (const Case& c : cases)
        ExpectNear(c.plane.GetPoint(), c.point, 1e-15, c.name);
}

TEST(Plane, IntersectLine)
{
    const QvPlane plane(QvPoint(0, 0, 2), QvVector(0, 0, 1));
    QvPoint out(9, 9, 9);
    ASSERT_TRUE(plane.IntersectLine(QvLine(QvPoint(1, 1, 0), QvVector(1, 0, 1)), out));
    ExpectNear(out, QvPoint(3, 1, 2), 1e-14);

    // Parallel (also within the zero test): false, out untouched.
    for (const QvVector& dir : {QvVector(1, 0, 0), QvVector(1, 0, 5e-8)})
    {
        out.Set(9, 9, 9);
        EXPECT_FALSE(plane.IntersectLine(QvLine(QvPoint(0, 0, 0), dir), out));
        ExpectNear(out, QvPoint(9, 9, 9), 0.0);
    }
}

TEST(Plane, IntersectSegment)
{
    const QvPlane z0(QvPoint(0, 0, 0), QvVector(0, 0, 1));
    const QvPoint untouched(9, 9, 9);
    struct Case
    {
        const char* name;
        QvLineSeg seg;
        bool meets;
        QvPoint out;
        bool exactBits; // the answer is the end point itself, not a computed point near it
    } cases[] = {
        {"through", {{0, 0, -1}, {0, 0, 1}}, true, {0, 0, 0}, false},
        {"slanted", {{-1, 0, -1}, {3, 0, 3}}, true, {0, 0, 0}, false},
        {"in the plane within 1e-7: the start", {{0, 0, 1e-8}, {1, 0, 1e-8}}, true, {0, 0, 1e-8}, true},
        {"parallel above", {{0, 0, 1e-6}, {1, 0, 1e-6}}, false, untouched, false},
        {"stops 0.5e-7 short: snapped to the end", {{0, 0, 1}, {0, 0, 0.5e-7}}, true, {0, 0, 0.5e-7}, true},
        {"starts 0.5e-7 off: snapped to the start", {{0.25, 0, -0.5e-7}, {1, 0, 1}}, true, {0.25, 0, -0.5e-7}, true},
        {"ends on the plane", {{0, 1, 1}, {0, 1, 0}}, true, {0, 1, 0}, true},
        {"stops short", {{0, 0, 1}, {0, 0, 1e-3}}, false, untouched, false},
        {"starts beyond", {{0, 0, -1e-3}, {0, 0, -1}}, false, untouched, false},
        {"zero length on the plane", {{4, 4, 0}, {4, 4, 0}}, true, {4, 4, 0}, true},
        {"zero length off the plane", {{4, 4, 1}, {4, 4, 1}}, false, untouched, false},
    };
    for (const Case& c : cases)
    {
        QvPoint out = untouched;
        EXPECT_EQ(z0.IntersectSegment(c.seg, out), c.meets) << c.name;
        if (c.exactBits)
            ExpectSameBits(out, c.out, c.name);
        else
            ExpectNear(out, c.out, 1e-15, c.name);
    }
}

TEST(Plane, IntersectSegmentPropertyOnRandomData)
{
    Rng rng(17);
    int crossings = 0;
    for (int i = 0; i < 3000; ++i)
    {
        const double scale = i % 3 == 0 ? 1e-3 : (i % 3 == 1 ? 1.0 : 1e3);
        const QvPlane plane(RandomPoint(rng, -scale, scale), RandomUnit(rng));
        const QvLineSeg seg(RandomPoint(rng, -scale, scale), RandomPoint(rng, -scale, scale));
        const double ds = plane.Distance(seg.m_start, true);
        const double de = plane.Distance(seg.m_end, true);
        QvPoint out(1e30, 1e30, 1e30);
        const bool meets = plane.IntersectSegment(seg, out);
        // Ends clearly on opposite sides: the segment must meet the plane.
        const double margin = 1e-9 * scale + 1e-6;
        if ((ds > margin && de < -margin) || (ds < -margin && de > margin))
        {
            EXPECT_TRUE(meets) << i;
            ++crossings;
        }
        // Ends clearly on one side: it must not.
        if ((ds > margin && de > margin) || (ds < -margin && de < -margin))
        {
            EXPECT_FALSE(meets) << i;
        }
        if (meets)
        {
            // Snapping moves the answer by less than 1e-7.
            EXPECT_LT(plane.Distance(out, false), 1e-7 + 1e-12 * scale) << i;
            EXPECT_LT(seg.Distance(out), 1e-7) << i;
        }
        else
        {
            EXPECT_EQ(out[0], 1e30);
        }
    }
    EXPECT_GT(crossings, 500);
}

TEST(Plane, IntersectPlane)
{
    const QvPlane z0(QvPoint(0, 0, 0), QvVector(0, 0, 1));
    const QvPlane x0(QvPoint(0, 0, 0), QvVector(1, 0, 0));
    QvLine line;
    ASSERT_TRUE(z0.IntersectPlane(x0, line));
    ExpectNear(line.m_point, QvPoint(0, 0, 0), 1e-15);
    ExpectNear(line.m_direction, QvVector(0, 1, 0), 0.0);
    ASSERT_TRUE(x0.IntersectPlane(z0, line));
    ExpectNear(line.m_direction, QvVector(0, -1, 0), 0.0);

    // Parallel planes, also opposite normals or within the zero test: false, out untouched.
    const QvPlane cases[] = {
        QvPlane(QvPoint(0, 0, 3), QvVector(0, 0, 1)),
        QvPlane(QvPoint(0, 0, 3), QvVector(0, 0, -1)),
        QvPlane(QvPoint(0, 0, 3), QvVector(5e-8, 0, 1)),
    };
    for (const QvPlane& other : cases)
    {
        QvLine kept(QvPoint(7, 7, 7), QvVector(0, 0, 1));
        EXPECT_FALSE(z0.IntersectPlane(other, kept));
        ExpectNear(kept.m_point, QvPoint(7, 7, 7), 0.0);
    }
}

TEST(Plane, IntersectPlaneLiesOnBothPlanes)
{
    Rng rng(23);
    for (int i = 0; i < 500; ++i)
    {
        const QvPlane a(RandomPoint(rng, -50, 50), RandomUnit(rng));
        const QvPlane b(RandomPoint(rng, -50, 50), RandomUnit(rng));
        if (a.GetNormal().Cross(b.GetNormal()).Length() < 0.05)
            continue;
        QvLine line;
        ASSERT_TRUE(a.IntersectPlane(b, line));
        for (const double t : {0.0, -30.0, 45.0})
        {
            const QvPoint p = line.m_point + line.m_direction * t;
            EXPECT_NEAR(a.Distance(p, true), 0.0, 1e-9) << i;
            EXPECT_NEAR(b.Distance(p, true), 0.0, 1e-9) << i;
        }
        EXPECT_NEAR(line.m_direction.Length(), 1.0, 1e-14);
    }
}

QvMatrix Placement(const QvVector& axis, double angle, const QvVector& shift)
{
    const QvMatrix r(axis, angle);
    QvMatrix m(4, 4);
    m.SetIdentity();
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
            m[i][j] = r[i][j];
        m[i][3] = shift[i];
    }
    return m;
}

TEST(Plane, TransformMovesPlaneWithItsPoints)
{
    Rng rng(29);
    for (int i = 0; i < 200; ++i)
    {
        const QvPoint origin = RandomPoint(rng, -20, 20);
        QvPlane plane(origin, RandomUnit(rng));
        const QvPlane before = plane;
        const QvMatrix m = Placement(RandomUnit(rng), Uniform(rng, -3, 3),
                                     QvVector(Uniform(rng, -9, 9), Uniform(rng, -9, 9), Uniform(rng, -9, 9)));
        plane.Transform(m);
        EXPECT_NEAR(plane.GetNormal().Length(), 1.0, 1e-14);
        ExpectNear(plane.GetNormal(), m * before.GetNormal(), 1e-12);
        // Points of the plane and points off it keep their signed distance.
        for (int k = 0; k < 4; ++k)
        {
            const QvPoint onPlane = before.ProjectPoint(RandomPoint(rng, -20, 20));
            const QvPoint off = onPlane + before.GetNormal() * 2.5;
            EXPECT_NEAR(plane.Distance(m * onPlane, true), 0.0, 1e-10) << i;
            EXPECT_NEAR(plane.Distance(m * off, true), 2.5, 1e-10) << i;
        }
    }

    // A 3 x 3 matrix rotates about the origin: z = 5 turned a quarter about x becomes y = -5.
    QvPlane z5(QvPoint(0, 0, 5), QvVector(0, 0, 1));
    z5.Transform(QvMatrix(QvVector(1, 0, 0), std::acos(-1.0) / 2));
    ExpectNear(z5.GetNormal(), QvVector(0, -1, 0), 1e-15);
    EXPECT_NEAR(z5.Distance(QvPoint(0, -5, 0), true), 0.0, 1e-14);
}

TEST(Plane, FitPoints)
{
    EXPECT_EQ(QvPlane::FitPoints({}), nullptr);
    EXPECT_EQ(QvPlane::FitPoints({QvPoint(0, 0, 0), QvPoint(1, 0, 0)}), nullptr);

    std::unique_ptr<QvPlane> flat(QvPlane::FitPoints(qvtest::GridPoints(5, 4, 1, 0.5, QvPoint(1, 1, 2))));
    ASSERT_TRUE(flat);
    EXPECT_NEAR(std::fabs(flat->GetNormal()[2]), 1.0, 1e-12);
    EXPECT_NEAR(flat->Distance(QvPoint(0, 0, 2), false), 0.0, 1e-12);
}

TEST(Plane, FitPointsMatchesSmallestPrincipalAxis)
{
    // Millimetre and metre-sized sets; the eigen solve stops at an absolute off-diagonal bound, so
    // micrometre-sized sets are fitted only coarsely.
    for (const double scale : {1.0, 1e3})
    {
        Rng rng(31);
        const QvVector n = RandomUnit(rng);
        const QvPlane truth(RandomPoint(rng, -1, 1), n);
        std::vector<QvPoint> pts;
        for (int i = 0; i < 300; ++i)
        {
            const QvPoint p = truth.ProjectPoint(RandomPoint(rng, -2, 2)) + n * Uniform(rng, -0.01, 0.01);
            pts.push_back(p * scale);
        }
        // Oracle: the right singular vector of the smallest singular value of the centred points.
        Eigen::MatrixXd a(pts.size(), 3);
        Eigen::Vector3d c = Eigen::Vector3d::Zero();
        for (const QvPoint& p : pts)
            c += Eigen::Vector3d(p[0], p[1], p[2]);
        c /= static_cast<double>(pts.size());
        for (std::size_t i = 0; i < pts.size(); ++i)
            a.row(static_cast<Eigen::Index>(i)) = Eigen::Vector3d(pts[i][0], pts[i][1], pts[i][2]) - c;
        const Eigen::JacobiSVD<Eigen::MatrixXd> svd(a, Eigen::ComputeThinV);
        const Eigen::Vector3d normal = svd.matrixV().col(2);

        std::unique_ptr<QvPlane> fit(QvPlane::FitPoints(pts));
        ASSERT_TRUE(fit) << scale;
        const QvVector fn = fit->GetNormal();
        EXPECT_NEAR(std::fabs(fn[0] * normal[0] + fn[1] * normal[1] + fn[2] * normal[2]), 1.0, 1e-9) << scale;
        EXPECT_NEAR(fit->Distance(QvPoint(c[0], c[1], c[2]), false), 0.0, 1e-9 * scale) << scale;
    }
}

TEST(Plane, StreamFormRoundTripsAndSurvivesDamage)
{
    const QvPlane plane = PlaneOf(0.6, -0.8, 0.0, -1e300);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { plane.Write(os); });
    ASSERT_EQ(bytes.size(), 32u);
    double first = 0.0;
    std::memcpy(&first, bytes.data(), 8);
    EXPECT_EQ(first, 0.6);

    QvPlane back;
    std::istringstream is(bytes);
    ASSERT_TRUE(back.Read(is));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(back.m_coef[i], plane.m_coef[i]);
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { back.Write(os); }), bytes);

    // A short record leaves the plane as it was.
    QvPlane kept = PlaneOf(1, 2, 3, 4);
    std::istringstream shortStream(bytes.substr(0, 31));
    EXPECT_FALSE(kept.Read(shortStream));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(kept.m_coef[i], i + 1.0);

    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& s) {
        QvPlane p;
        return p.Read(s);
    });
}

} // namespace
