// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <cmath>
#include <memory>
#include <vector>

#include "core/geometry/QvCircle.h"
#include "testing/PointSets.h"

namespace {

void ExpectNear(const QvPoint& a, const QvPoint& b, double tol)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

void ExpectNear(const QvVector& a, const QvVector& b, double tol)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

TEST(CircleFromThreePoints, UnitCircleInXY)
{
    std::unique_ptr<QvCircle> c(QvCircle::FromThreePoints(QvPoint(1, 0, 0), QvPoint(0, 1, 0), QvPoint(-1, 0, 0)));
    ASSERT_NE(c, nullptr);
    ExpectNear(c->m_centre, QvPoint(0, 0, 0), 1e-12);
    EXPECT_NEAR(c->m_radius, 1.0, 1e-12);
    ExpectNear(c->m_normal, QvVector(0, 0, 1), 1e-12);
}

// Every random triangle, at every scale: the circle passes through the three corners,
// lies in their plane and has a unit normal.
TEST(CircleFromThreePoints, PassesThroughRandomTriangles)
{
    for (const double scale : {1e-3, 1.0, 1e3})
    {
        const std::vector<QvPoint> pts = qvtest::Scaled(qvtest::RandomPointsInCube(300, 7), scale);
        for (std::size_t i = 0; i + 2 < pts.size(); i += 3)
        {
            std::unique_ptr<QvCircle> c(QvCircle::FromThreePoints(pts[i], pts[i + 1], pts[i + 2]));
            ASSERT_NE(c, nullptr);
            EXPECT_NEAR(c->m_normal.Length(), 1.0, 1e-12);
            for (int k = 0; k < 3; ++k)
            {
                const QvPoint& p = pts[i + k];
                EXPECT_NEAR(p.Distance(c->m_centre), c->m_radius, 1e-8 * c->m_radius);
                EXPECT_NEAR((p - c->m_centre).Dot(c->m_normal), 0.0, 1e-8 * c->m_radius);
            }
        }
    }
}

TEST(CircleFromThreePoints, NoCircleForDegenerateTriples)
{
    const QvPoint a(1, 2, 3), b(4, 0, -1), c(0, 5, 2);
    struct Case
    {
        const char* what;
        QvPoint p1, p2, p3;
    } cases[] = {
        {"on a line", QvPoint(0, 0, 0), QvPoint(1, 1, 1), QvPoint(3, 3, 3)},
        {"on a line, folded back", QvPoint(0, 0, 0), QvPoint(2, 0, 0), QvPoint(1, 0, 0)},
        {"first two equal", a, a, c},
        {"last two equal", a, b, b},
        {"first and last equal", a, b, a},
        {"all equal", a, a, a},
    };
    for (const Case& k : cases)
        EXPECT_EQ(QvCircle::FromThreePoints(k.p1, k.p2, k.p3), nullptr) << k.what;
}

TEST(CircleFitPoints, RecoversCircleDroppingZ)
{
    std::unique_ptr<QvCircle> c(
        QvCircle::FitPoints({QvPoint(1, 0, 5), QvPoint(0, 1, 5), QvPoint(-1, 0, 5), QvPoint(0, -1, 5)}));
    ASSERT_NE(c, nullptr);
    ExpectNear(c->m_centre, QvPoint(0, 0, 0), 1e-12);
    EXPECT_NEAR(c->m_radius, 1.0, 1e-12);
    ExpectNear(c->m_normal, QvVector(0, 0, 1), 0.0);

    // Off the origin and at the fixture scales, including an arc far from the origin.
    struct Case
    {
        double cx, cy, r;
    } cases[] = {{12.0, -7.0, 3.5}, {0.012, 0.004, 0.0035}, {4000.0, -9000.0, 2500.0}, {55.0, 40.0, 0.5}};
    for (const Case& k : cases)
    {
        std::vector<QvPoint> pts;
        for (int i = 0; i < 7; ++i) // an arc of 7 x 20 degrees
        {
            const double t = i * 20.0 * 3.14159265358979 / 180.0;
            pts.emplace_back(k.cx + k.r * std::cos(t), k.cy + k.r * std::sin(t), i * 0.3);
        }
        std::unique_ptr<QvCircle> f(QvCircle::FitPoints(pts));
        ASSERT_NE(f, nullptr);
        EXPECT_NEAR(f->m_centre[0], k.cx, 1e-6 * k.r);
        EXPECT_NEAR(f->m_centre[1], k.cy, 1e-6 * k.r);
        EXPECT_EQ(f->m_centre[2], 0.0);
        EXPECT_NEAR(f->m_radius, k.r, 1e-6 * k.r);
    }
}

// Against the same algebraic fit solved independently: least squares of
// x^2 + y^2 + a x + b y + c = 0 by Eigen's QR, on noisy points.
TEST(CircleFitPoints, AgreesWithLinearLeastSquaresOracle)
{
    qvtest::Rng rng(11);
    for (int round = 0; round < 20; ++round)
    {
        const double cx = qvtest::Uniform(rng, -50, 50), cy = qvtest::Uniform(rng, -50, 50);
        const double r = qvtest::Uniform(rng, 0.5, 20);
        const int n = 5 + round;
        std::vector<QvPoint> pts;
        Eigen::MatrixXd A(n, 3);
        Eigen::VectorXd rhs(n);
        for (int i = 0; i < n; ++i)
        {
            const double t = qvtest::Uniform(rng, 0, 6.0);
            const double rr = r * (1.0 + qvtest::Uniform(rng, -0.05, 0.05));
            const double x = cx + rr * std::cos(t), y = cy + rr * std::sin(t);
            pts.emplace_back(x, y, qvtest::Uniform(rng, -1, 1));
            A.row(i) << x, y, 1.0;
            rhs(i) = -(x * x + y * y);
        }
        const Eigen::Vector3d abc = A.colPivHouseholderQr().solve(rhs);
        const double ocx = -abc(0) / 2, ocy = -abc(1) / 2;
        const double orad = std::sqrt(ocx * ocx + ocy * ocy - abc(2));

        std::unique_ptr<QvCircle> f(QvCircle::FitPoints(pts));
        ASSERT_NE(f, nullptr);
        EXPECT_NEAR(f->m_centre[0], ocx, 1e-6 * r);
        EXPECT_NEAR(f->m_centre[1], ocy, 1e-6 * r);
        EXPECT_NEAR(f->m_radius, orad, 1e-6 * r);
    }
}

TEST(CircleFitPoints, NoCircleForTooFewOrCollinearPoints)
{
    struct Case
    {
        const char* what;
        std::vector<QvPoint> pts;
    } cases[] = {
        {"none", {}},
        {"two", {QvPoint(0, 0, 0), QvPoint(1, 1, 0)}},
        {"x axis", qvtest::CollinearPoints(5, QvPoint(0, 0, 0), QvPoint(4, 0, 0))},
        {"vertical", qvtest::CollinearPoints(5, QvPoint(3, -2, 0), QvPoint(3, 7, 1))},
        {"diagonal far away", qvtest::CollinearPoints(9, QvPoint(60.1, 40.3, 0), QvPoint(61.7, 43.9, 0))},
        {"coincident", {QvPoint(2, 3, 0), QvPoint(2, 3, 1), QvPoint(2, 3, 2)}},
        {"on a line in x-y, spread in z", {QvPoint(0, 0, 0), QvPoint(1, 2, 5), QvPoint(2, 4, -3)}},
    };
    for (const Case& k : cases)
        EXPECT_EQ(QvCircle::FitPoints(k.pts), nullptr) << k.what;
}

TEST(CircleContains, StrictInsideOnly)
{
    const QvCircle c(QvPoint(1, 1, 0), 2.0, QvVector(0, 0, 3));
    ExpectNear(c.m_normal, QvVector(0, 0, 1), 0.0);
    struct Case
    {
        QvPoint q;
        bool inside;
    } cases[] = {
        {QvPoint(1, 1, 0), true},
        {QvPoint(3, 1, 0), false},          // exactly on the circle
        {QvPoint(2.999999, 1, 0), true},
        {QvPoint(1, 1, 1.999999), true},    // the test is a ball, not a disc
        {QvPoint(1, -1.0000001, 0), false},
    };
    for (const Case& k : cases)
        EXPECT_EQ(c.Contains(k.q), k.inside) << k.q[0] << " " << k.q[1] << " " << k.q[2];
}

TEST(CircleStartPoint, TowardsThePlanesAxisPoint)
{
    // Plane z = 3 meets the z axis at (0, 0, 3): the direction from the centre is (-1, -2, 0).
    const QvCircle c(QvPoint(1, 2, 3), 2.0, QvVector(0, 0, 1));
    const double s = 2.0 / std::sqrt(5.0);
    ExpectNear(c.GetStartPoint(), QvPoint(1 - s, 2 - 2 * s, 3), 1e-12);
}

// Wherever the centre lies, also on the axis the plane meets first, the start point is on the circle.
TEST(CircleStartPoint, AlwaysOnTheCircle)
{
    std::vector<QvCircle> circles = {
        QvCircle(QvPoint(0, 0, 0), 0.3, QvVector(0, 0, 1)),
        QvCircle(QvPoint(0, 0, 0), 0.3, QvVector(1, 0, 0)),
        QvCircle(QvPoint(5, 0, 0), 2.0, QvVector(1, 0, 0)),
        QvCircle(QvPoint(0, 0, 0), 1.0, QvVector(1, 1, 1)),
    };
    const std::vector<QvPoint> centres = qvtest::RandomPointsInCube(20, 3, -10, 10);
    const std::vector<QvVector> normals = qvtest::RandomUnitVectors(20, 4);
    for (std::size_t i = 0; i < centres.size(); ++i)
        circles.emplace_back(centres[i], 1.0 + i, normals[i]);
    for (const QvCircle& c : circles)
    {
        const QvPoint p = c.GetStartPoint();
        EXPECT_NEAR(p.Distance(c.m_centre), c.m_radius, 1e-9 * c.m_radius);
        EXPECT_NEAR((p - c.m_centre).Dot(c.m_normal), 0.0, 1e-9 * c.m_radius);
    }
}

TEST(ShapePerimeters, LiteralFormulas)
{
    EXPECT_EQ(QvCircle(QvPoint(), 2.0, QvVector(0, 0, 1)).GetPerimeter(), 2.0 * 6.28318530718);
    const QvFrame f(QvPoint(1, 2, 3), QvVector(1, 0, 0), QvVector(0, 1, 0));
    EXPECT_EQ(QvEllipse(f, 1.0, 1.0).GetPerimeter(), 6.28318530718);
    EXPECT_EQ(QvEllipse(f, 2.0, 0.0).GetPerimeter(), 8.0);
    const QvEllipse e(f, 3.0, 1.5);
    EXPECT_EQ(e.GetA(), 3.0);
    EXPECT_EQ(e.GetB(), 1.5);
    ExpectNear(e.GetCentre(), QvPoint(1, 2, 3), 0.0);
}

TEST(RectFromCorners, CornerIsTheMinusXMinusYCorner)
{
    for (const QvPoint& opposite : {QvPoint(3, 2, 0), QvPoint(100, -5, 7)})
    {
        const QvRect r(QvPoint(0, 0, 0), QvPoint(3, 0, 0), opposite, QvPoint(0, 2, 0));
        EXPECT_DOUBLE_EQ(r.GetWidth(), 3.0);
        EXPECT_DOUBLE_EQ(r.GetHeight(), 2.0);
        double e[4];
        r.GetExtents(e);
        EXPECT_EQ(e[0], 0.0);
        EXPECT_DOUBLE_EQ(e[1], 2.0);
        EXPECT_DOUBLE_EQ(e[2], 3.0);
        EXPECT_EQ(e[3], 0.0);
        ExpectNear(r.GetCentre(), QvPoint(1.5, 1, 0), 1e-12);
        ExpectNear(r.m_frame.m_dirZ, QvVector(0, 0, 1), 1e-12);
    }
}

// The centre is the mean of the four corners as the sweep places them
// (P - e0 X - e3 Y, P - e0 X + e1 Y, P + e2 X + e1 Y, P + e2 X - e3 Y), for every constructor.
TEST(RectCentre, MeanOfTheSweepCorners)
{
    const QvFrame tilted(QvPoint(1, -2, 4), QvVector(1, 1, 0), QvVector(-1, 1, 1));
    const double asym[4] = {1.0, 2.0, 3.0, 0.5};
    const QvRect rects[] = {
        QvRect(tilted, 4.0, 2.0),
        QvRect(tilted, asym),
        QvRect(QvPoint(1, 1, 1), QvPoint(1, 4, 1), QvPoint(), QvPoint(1, 1, 3)),
    };
    for (const QvRect& r : rects)
    {
        double e[4];
        r.GetExtents(e);
        const QvPoint& p = r.m_frame.m_centre;
        const QvVector& x = r.m_frame.m_dirX;
        const QvVector& y = r.m_frame.m_dirY;
        QvPoint sum = p - x * e[0] - y * e[3];
        sum += p - x * e[0] + y * e[1];
        sum += p + x * e[2] + y * e[1];
        sum += p + x * e[2] - y * e[3];
        ExpectNear(r.GetCentre(), sum / 4.0, 1e-12);
    }
    double e[4];
    rects[0].GetExtents(e);
    EXPECT_EQ(e[0], 2.0);
    EXPECT_EQ(e[1], 1.0);
    EXPECT_EQ(e[2], 2.0);
    EXPECT_EQ(e[3], 1.0);
    ExpectNear(rects[0].GetCentre(), QvPoint(1, -2, 4), 1e-12);
    rects[1].GetExtents(e);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(e[i], asym[i]);
    EXPECT_EQ(rects[1].GetWidth(), 4.0);
    EXPECT_EQ(rects[1].GetHeight(), 2.5);
}

TEST(ShapesAsGeometry, DeletedThroughTheBase)
{
    std::unique_ptr<QvGeometry> g(QvCircle::FromThreePoints(QvPoint(1, 0, 0), QvPoint(0, 1, 0), QvPoint(-1, 0, 0)));
    EXPECT_NE(dynamic_cast<QvCircle*>(g.get()), nullptr);
}

} // namespace
