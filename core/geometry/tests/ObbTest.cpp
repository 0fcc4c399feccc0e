// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvOBB.h"
#include "testing/PointSets.h"

namespace {

// Independent description of a box for the oracles: axes as the columns of R.
struct Box
{
    Eigen::Matrix3d R;
    Eigen::Vector3d c;
    Eigen::Vector3d h;
};

QvVector ToQv(const Eigen::Vector3d& v) { return QvVector(v.x(), v.y(), v.z()); }

QvOBB ToObb(const Box& b)
{
    QvFrame f;
    f.m_centre = QvPoint(b.c.x(), b.c.y(), b.c.z());
    f.m_dirX = ToQv(b.R.col(0));
    f.m_dirY = ToQv(b.R.col(1));
    f.m_dirZ = ToQv(b.R.col(2));
    return QvOBB(f, b.h.x(), b.h.y(), b.h.z());
}

QvFrame WorldFrame(const QvPoint& centre)
{
    return QvFrame(centre, QvVector(1, 0, 0), QvVector(0, 1, 0));
}

Eigen::Matrix3d RandomRotation(qvtest::Rng& rng)
{
    std::normal_distribution<double> n(0.0, 1.0);
    Eigen::Quaterniond q(n(rng), n(rng), n(rng), n(rng));
    q.normalize();
    return q.toRotationMatrix();
}

Box RandomBox(qvtest::Rng& rng, double spread, double minHalf, double maxHalf)
{
    Box b;
    b.R = RandomRotation(rng);
    b.c = Eigen::Vector3d(qvtest::Uniform(rng, -spread, spread), qvtest::Uniform(rng, -spread, spread),
                          qvtest::Uniform(rng, -spread, spread));
    b.h = Eigen::Vector3d(qvtest::Uniform(rng, minHalf, maxHalf), qvtest::Uniform(rng, minHalf, maxHalf),
                          qvtest::Uniform(rng, minHalf, maxHalf));
    return b;
}

// Candidate axis k in the order A0, A1, A2, B0, B1, B2, A0xB0, A0xB1, ..., A2xB2.
Eigen::Vector3d CandidateAxis(const Box& a, const Box& b, int k)
{
    if (k < 3)
        return a.R.col(k);
    if (k < 6)
        return b.R.col(k - 3);
    return a.R.col((k - 6) / 3).cross(b.R.col((k - 6) % 3));
}

// Gap between the two boxes' projections on every candidate axis (positive: separated there);
// parallel edge pairs have no axis and get -inf.
std::array<double, 15> Gaps(const Box& a, const Box& b)
{
    std::array<double, 15> gaps;
    const Eigen::Vector3d t = b.c - a.c;
    for (int k = 0; k < 15; ++k)
    {
        Eigen::Vector3d L = CandidateAxis(a, b, k);
        if (L.norm() < 1e-9)
        {
            gaps[k] = -std::numeric_limits<double>::infinity();
            continue;
        }
        L.normalize();
        const double ra = (a.R.transpose() * L).cwiseAbs().dot(a.h);
        const double rb = (b.R.transpose() * L).cwiseAbs().dot(b.h);
        gaps[k] = std::abs(t.dot(L)) - ra - rb;
    }
    return gaps;
}

double MaxGap(const Box& a, const Box& b)
{
    const std::array<double, 15> g = Gaps(a, b);
    return *std::max_element(g.begin(), g.end());
}

bool Inside(const Box& b, const Eigen::Vector3d& p, double shrink)
{
    const Eigen::Vector3d local = b.R.transpose() * (p - b.c);
    return (local.cwiseAbs().array() <= b.h.array() * shrink).all();
}

// Extreme point of the box along dir; features parallel to the direction's normal plane are
// taken at their middle, so an edge or face answers its midpoint or centre.
Eigen::Vector3d Support(const Box& b, const Eigen::Vector3d& dir)
{
    Eigen::Vector3d p = b.c;
    for (int i = 0; i < 3; ++i)
    {
        const double d = b.R.col(i).dot(dir);
        if (std::abs(d) > 1e-9)
            p += b.R.col(i) * (d > 0 ? b.h[i] : -b.h[i]);
    }
    return p;
}

const char* const kAxisNames[15] = {"A0",      "A1",      "A2",      "B0",      "B1",
                                    "B2",      "A0 x B0", "A0 x B1", "A0 x B2", "A1 x B0",
                                    "A1 x B1", "A1 x B2", "A2 x B0", "A2 x B1", "A2 x B2"};

TEST(ObbSeparation, UnitBoxesApartAndTouching)
{
    const QvOBB a(WorldFrame(QvPoint(0, 0, 0)), 1, 1, 1);
    struct Case
    {
        QvPoint centre;
        bool separated;
    } cases[] = {
        {{2.5, 0, 0}, true}, {{2, 0, 0}, false}, {{0, -2.0000001, 0}, true}, {{0, 0, 2}, false},
        {{2, 2, 2}, false}, // corner to corner
        {{1, 0.5, 0}, false}, {{0, 0, 0}, false},
    };
    for (const Case& c : cases)
    {
        const QvOBB b(WorldFrame(c.centre), 1, 1, 1);
        EXPECT_EQ(a.IsOutside(b), c.separated) << c.centre[0] << "," << c.centre[1] << "," << c.centre[2];
        EXPECT_EQ(b.IsOutside(a), c.separated);
    }
}

// For every candidate axis: boxes placed so that their supporting features along that axis
// lie a small gap apart are separated only by that axis, and overlap when pushed together.
TEST(ObbSeparation, EachOfTheFifteenAxesSeparatesAlone)
{
    qvtest::Rng rng(1106);
    for (int k = 0; k < 15; ++k)
    {
        int constructed = 0;
        for (int trial = 0; trial < 200 && constructed < 12; ++trial)
        {
            Box a = RandomBox(rng, 1.0, 0.3, 2.0);
            Box b = RandomBox(rng, 1.0, 0.3, 2.0);
            Eigen::Vector3d L = CandidateAxis(a, b, k);
            if (L.norm() < 0.2)
                continue;
            L.normalize();
            const Eigen::Vector3d touch = Support(a, L) - Support(b, -L);
            const double eps = 1e-3;

            b.c += touch + eps * L;
            const std::array<double, 15> gaps = Gaps(a, b);
            bool onlyK = gaps[k] > 0.5 * eps;
            for (int j = 0; j < 15; ++j)
                if (j != k && gaps[j] > -0.01)
                    onlyK = false;
            if (!onlyK)
                continue; // a degenerate draw: another axis nearly separates too
            ++constructed;
            EXPECT_TRUE(ToObb(a).IsOutside(ToObb(b))) << kAxisNames[k] << " trial " << trial;
            // Seen from B the same axis is the edge pair with the roles exchanged.
            EXPECT_TRUE(ToObb(b).IsOutside(ToObb(a))) << kAxisNames[k] << " reversed, trial " << trial;

            b.c -= 2.0 * eps * L;
            ASSERT_LT(MaxGap(a, b), 0.0);
            EXPECT_FALSE(ToObb(a).IsOutside(ToObb(b))) << kAxisNames[k] << " pushed together, trial " << trial;
            EXPECT_FALSE(ToObb(b).IsOutside(ToObb(a))) << kAxisNames[k] << " pushed together, trial " << trial;
        }
        EXPECT_GE(constructed, 12) << "too few usable constructions for " << kAxisNames[k];
    }
}

// A fixed pair that only A1 x B0 separates, written out so that the row is pinned by literals.
TEST(ObbSeparation, EdgePairA1xB0Literal)
{
    // A: world box; B: turned about X, Y and Z so that its X edges are skew to A's Y edges.
    Box a{Eigen::Matrix3d::Identity(), Eigen::Vector3d::Zero(), Eigen::Vector3d(1, 1, 1)};
    Box b{(Eigen::AngleAxisd(0.6, Eigen::Vector3d::UnitZ()) * Eigen::AngleAxisd(0.5, Eigen::Vector3d::UnitY()) *
           Eigen::AngleAxisd(0.7, Eigen::Vector3d::UnitX()))
              .toRotationMatrix(),
          Eigen::Vector3d::Zero(), Eigen::Vector3d(1.5, 0.5, 0.4)};
    Eigen::Vector3d L = a.R.col(1).cross(b.R.col(0)).normalized();
    b.c = Support(a, L) - Support(b, -L) + 1e-4 * L + b.c;
    const std::array<double, 15> gaps = Gaps(a, b);
    for (int j = 0; j < 15; ++j)
    {
        if (j != 9)
        {
            ASSERT_LT(gaps[j], 0.0) << kAxisNames[j];
        }
    }
    ASSERT_GT(gaps[9], 0.0);
    EXPECT_TRUE(ToObb(a).IsOutside(ToObb(b)));
}

// Boxes whose axes are parallel up to a quarter-turn rotation, built with rounding as a
// placement would be, or tilted by a hair: the parallel edge pairs must not separate
// overlapping boxes through rounding in the dot products.
TEST(ObbSeparation, ParallelEdgePairsFollowTheFaceAxes)
{
    const double quarter = std::numbers::pi / 2;
    qvtest::Rng rng(31);
    int overlapping = 0;
    for (int turn = 0; turn < 64; ++turn)
        for (int i = 0; i < 150; ++i)
        {
            Box a = RandomBox(rng, 1.0, 0.05, 2.0);
            Box b = RandomBox(rng, 1.0, 0.05, 2.0);
            Eigen::Matrix3d P = (Eigen::AngleAxisd(quarter * (turn & 3), Eigen::Vector3d::UnitX()) *
                                 Eigen::AngleAxisd(quarter * ((turn >> 2) & 3), Eigen::Vector3d::UnitY()) *
                                 Eigen::AngleAxisd(quarter * (turn >> 4), Eigen::Vector3d::UnitZ()))
                                    .toRotationMatrix();
            if (i % 3 == 0)
                P = P * Eigen::AngleAxisd(1e-8, RandomRotation(rng).col(0)).toRotationMatrix();
            b.R = a.R * P;
            b.c = a.c + a.R * Eigen::Vector3d(qvtest::Uniform(rng, -1, 1) * (a.h.x() + b.h.x()),
                                              qvtest::Uniform(rng, -1, 1) * (a.h.y() + b.h.y()),
                                              qvtest::Uniform(rng, -1, 1) * (a.h.z() + b.h.z()));
            const double gap = MaxGap(a, b);
            if (std::abs(gap) < 1e-9)
                continue;
            overlapping += gap < 0;
            ASSERT_EQ(ToObb(a).IsOutside(ToObb(b)), gap > 0) << "turn " << turn << " pair " << i << " gap " << gap;
            ASSERT_EQ(ToObb(b).IsOutside(ToObb(a)), gap > 0) << "turn " << turn << " pair " << i << " gap " << gap;
        }
    EXPECT_GT(overlapping, 2000);
}

// Against the brute-force separating-axis check, with point sampling as a second witness
// for overlaps; a quarter of the pairs share or swap axes so that edge pairs are parallel.
TEST(ObbSeparation, RandomPairsAgreeWithOracles)
{
    qvtest::Rng rng(20240611);
    int separated = 0, overlapping = 0;
    for (int i = 0; i < 10000; ++i)
    {
        Box a = RandomBox(rng, 2.5, 0.05, 2.0);
        Box b = RandomBox(rng, 2.5, 0.05, 2.0);
        if (i % 8 == 0)
            b.R = a.R;
        else if (i % 8 == 1)
            b.R = a.R * Eigen::AngleAxisd(std::numbers::pi / 2, Eigen::Vector3d::UnitZ()).toRotationMatrix();
        const double gap = MaxGap(a, b);
        if (std::abs(gap) < 1e-9)
            continue; // touching within rounding: either answer is right
        const bool expected = gap > 0;
        (expected ? separated : overlapping)++;
        const QvOBB qa = ToObb(a), qb = ToObb(b);
        ASSERT_EQ(qa.IsOutside(qb), expected) << "pair " << i << " gap " << gap;
        ASSERT_EQ(qb.IsOutside(qa), expected) << "pair " << i << " gap " << gap;

        if (i % 10 != 0)
            continue;
        std::uniform_real_distribution<double> u(-0.999, 0.999);
        for (int s = 0; s < 200; ++s)
        {
            const Eigen::Vector3d p = a.c + a.R * Eigen::Vector3d(u(rng) * a.h.x(), u(rng) * a.h.y(), u(rng) * a.h.z());
            if (Inside(b, p, 0.999))
            {
                ASSERT_FALSE(expected) << "pair " << i << ": a point lies in both boxes";
                ASSERT_FALSE(qa.IsOutside(qb)) << "pair " << i;
                break;
            }
        }
    }
    // Both answers must be well represented for the comparison to mean anything.
    EXPECT_GT(separated, 1500);
    EXPECT_GT(overlapping, 1500);
}

// Moving both boxes by one rigid motion keeps the answer; the copy-with-matrix constructor and
// Transform agree.
TEST(ObbTransform, RigidMotionKeepsSeparationAndHalfSizes)
{
    qvtest::Rng rng(77);
    for (int i = 0; i < 500; ++i)
    {
        const Box a = RandomBox(rng, 2.0, 0.1, 1.5);
        const Box b = RandomBox(rng, 2.0, 0.1, 1.5);
        if (std::abs(MaxGap(a, b)) < 1e-6)
            continue;
        const Eigen::Matrix3d R = RandomRotation(rng);
        const Eigen::Vector3d t(qvtest::Uniform(rng, -50, 50), qvtest::Uniform(rng, -50, 50), qvtest::Uniform(rng, -50, 50));
        QvMatrix m(4, 4);
        for (int r = 0; r < 3; ++r)
        {
            for (int c = 0; c < 3; ++c)
                m[r][c] = R(r, c);
            m[r][3] = t[r];
        }
        m[3][3] = 1.0;

        QvOBB movedA = ToObb(a);
        movedA.Transform(m);
        const QvOBB movedB(ToObb(b), m);
        EXPECT_EQ(movedA.IsOutside(movedB), ToObb(a).IsOutside(ToObb(b))) << i;

        const Eigen::Vector3d c = R * a.c + t;
        EXPECT_NEAR(movedA.m_frame.m_centre[0], c.x(), 1e-9);
        EXPECT_NEAR(movedA.m_frame.m_centre[1], c.y(), 1e-9);
        EXPECT_NEAR(movedA.m_frame.m_centre[2], c.z(), 1e-9);
        const Eigen::Vector3d z = R * a.R.col(2);
        EXPECT_NEAR(movedA.m_frame.m_dirZ[0], z.x(), 1e-12);
        EXPECT_NEAR(movedA.m_frame.m_dirZ[1], z.y(), 1e-12);
        EXPECT_NEAR(movedA.m_frame.m_dirZ[2], z.z(), 1e-12);
        for (int k = 0; k < 3; ++k)
        {
            EXPECT_EQ(movedA.m_halfSize[k], a.h[k]);
            EXPECT_EQ(movedB.m_halfSize[k], b.h[k]);
        }
    }
}

TEST(ObbTransform, TranslationAndQuarterTurn)
{
    const QvOBB box(WorldFrame(QvPoint(1, 2, 3)), 1, 2, 3);
    // Quarter turn about z, then (10, 0, 0).
    const double data[16] = {0, -1, 0, 10, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    QvMatrix m;
    m.Create(4, 4, data);
    const QvOBB moved(box, m);
    EXPECT_EQ(moved.m_frame.m_centre, QvPoint(8, 1, 3));
    EXPECT_EQ(moved.m_frame.m_dirX, QvVector(0, 1, 0));
    EXPECT_EQ(moved.m_frame.m_dirY, QvVector(-1, 0, 0));
    EXPECT_EQ(moved.m_frame.m_dirZ, QvVector(0, 0, 1));
    EXPECT_EQ(moved.m_halfSize[1], 2.0);
    // The source box is untouched.
    EXPECT_EQ(box.m_frame.m_centre, QvPoint(1, 2, 3));

    // Ranks follow the half sizes and answer the moved axes.
    EXPECT_EQ(moved.GetAxisByExtent(1), QvVector(0, 0, 1));
    EXPECT_EQ(moved.GetAxisByExtent(2), QvVector(-1, 0, 0));
}

TEST(ObbFit, WorldBoxCorners)
{
    std::unique_ptr<QvOBB> box(QvOBB::FromPoints(qvtest::BoxCorners(2, 4, 6)));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->m_frame.m_dirX, QvVector(1, 0, 0));
    EXPECT_EQ(box->m_frame.m_dirY, QvVector(0, 1, 0));
    EXPECT_EQ(box->m_frame.m_dirZ, QvVector(0, 0, 1));
    EXPECT_EQ(box->m_frame.m_centre, QvPoint(1, 2, 3));
    EXPECT_NEAR(box->m_halfSize[0], 1.0, 1e-12);
    EXPECT_NEAR(box->m_halfSize[1], 2.0, 1e-12);
    EXPECT_NEAR(box->m_halfSize[2], 3.0, 1e-12);
}

TEST(ObbFit, TooFewPointsGiveNull)
{
    EXPECT_EQ(QvOBB::FromPoints({}), nullptr);
    EXPECT_EQ(QvOBB::FromPoints({QvPoint(1, 2, 3), QvPoint(4, 5, 6)}), nullptr);
}

// Every fitted box holds its points and is tight: each face touches one of them. Runs over
// the unit fixture and its 1e-3 and 1e3 scalings, and a rotated slab.
TEST(ObbFit, HoldsItsPointsTightly)
{
    qvtest::Rng rng(5);
    const Eigen::Matrix3d R = RandomRotation(rng);
    std::vector<QvPoint> slab;
    for (const QvPoint& p : qvtest::RandomPointsInCube(400, 11))
    {
        const Eigen::Vector3d q = R * Eigen::Vector3d(4 * p[0], p[1], 0.2 * p[2]) + Eigen::Vector3d(3, -1, 2);
        slab.emplace_back(q.x(), q.y(), q.z());
    }
    const std::vector<std::vector<QvPoint>> sets = {
        qvtest::RandomPointsInCube(300, 3),
        qvtest::Scaled(qvtest::RandomPointsInCube(300, 3), 1e-3),
        qvtest::Scaled(qvtest::RandomPointsInCube(300, 3), 1e3),
        qvtest::RandomPointsOnSphere(300, 4, QvPoint(5, 5, 5), 2.0),
        slab,
    };
    for (std::size_t s = 0; s < sets.size(); ++s)
    {
        std::unique_ptr<QvOBB> box(QvOBB::FromPoints(sets[s]));
        ASSERT_NE(box, nullptr) << s;
        const QvFrame& f = box->m_frame;
        const QvVector axes[3] = {f.m_dirX, f.m_dirY, f.m_dirZ};
        double scale = 0;
        for (int i = 0; i < 3; ++i)
            scale = std::max(scale, box->m_halfSize[i]);
        const double tol = 1e-9 * scale;
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_GE(box->m_halfSize[i], 0.0);
            double lo = 1e300, hi = -1e300;
            for (const QvPoint& p : sets[s])
            {
                const double t = (p - f.m_centre).Dot(axes[i]);
                lo = std::min(lo, t);
                hi = std::max(hi, t);
            }
            EXPECT_NEAR(lo, -box->m_halfSize[i], tol) << "set " << s << " axis " << i;
            EXPECT_NEAR(hi, box->m_halfSize[i], tol) << "set " << s << " axis " << i;
        }
    }
    // The slab's thin direction is found: its smallest half size is about 0.2.
    std::unique_ptr<QvOBB> box(QvOBB::FromPoints(slab));
    const double smallest = std::min({box->m_halfSize[0], box->m_halfSize[1], box->m_halfSize[2]});
    EXPECT_NEAR(smallest, 0.2, 0.01);
}

TEST(ObbAxisByExtent, RankTable)
{
    const QvVector X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1), none(0, 0, 0);
    struct Case
    {
        double hx, hy, hz;
        QvVector r1, r2, r3;
    } cases[] = {
        {3, 1, 2, X, Z, Y}, {3, 2, 1, X, Y, Z}, {3, 1, 1, X, Z, Z}, {2, 1, 3, Z, X, Y}, {2, 1, 2, Z, X, Y},
        {2, 3, 1, Y, X, Z}, {2, 2, 1, Y, X, Z}, {1, 3, 2, Y, Z, X}, {1, 2, 3, Z, Y, X}, {1, 1, 1, Z, Z, X},
        {1, 2, 2, Z, Z, X},
    };
    for (const Case& c : cases)
    {
        const QvOBB box(WorldFrame(QvPoint(0, 0, 0)), c.hx, c.hy, c.hz);
        EXPECT_EQ(box.GetAxisByExtent(1), c.r1) << c.hx << "," << c.hy << "," << c.hz;
        EXPECT_EQ(box.GetAxisByExtent(2), c.r2) << c.hx << "," << c.hy << "," << c.hz;
        EXPECT_EQ(box.GetAxisByExtent(3), c.r3) << c.hx << "," << c.hy << "," << c.hz;
        EXPECT_EQ(box.GetAxisByExtent(0), none);
        EXPECT_EQ(box.GetAxisByExtent(4), none);
        EXPECT_EQ(box.GetAxisByExtent(-1), none);
    }
}

TEST(ObbLine, Table)
{
    const QvOBB box(WorldFrame(QvPoint(0, 0, 0)), 1, 1, 1);
    struct Case
    {
        QvPoint point;
        QvVector direction;
        bool outside;
    } cases[] = {
        {{0, 0, 5}, {0, 0, 1}, false},
        {{1.5, 0, 0}, {0, 0, 1}, true},
        {{0.999, 0, 0}, {1e-9, 0, 1}, false}, // parallel to the X slab by the 1e-8 rule
        {{1.001, 0, 0}, {1e-9, 0, 1}, true},
        {{1, 1, 7}, {0, 0, -3}, false},       // along an edge
        {{3, 0, 0}, {-1, 1, 0}, true},        // diagonal passing the corner at distance sqrt(2)/2
        {{2, 0, 0}, {-1, 1, 0}, false},       // through the corner (1, 1)
        {{-5, -5, -5}, {1, 1, 1}, false},     // the space diagonal
        {{0, 0, 0}, {0, 0, 0}, false},        // zero direction normalises to X
        {{0, 2, 0}, {0, 0, 0}, true},
        {{0.5, 0.5, 30}, {1e-3, 1e-3, -1}, false},
        {{0.5, 0.5, 3000}, {1e-3, 1e-3, -1}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(box.IsLineOutside(QvLine(c.point, c.direction)), c.outside)
            << c.point[0] << "," << c.point[1] << "," << c.point[2];
}

// A rotated box against lines whose nearest approach is known: lines through an interior point
// pass, lines offset sideways beyond the box's bounding sphere miss.
TEST(ObbLine, RotatedBoxAgainstKnownLines)
{
    qvtest::Rng rng(42);
    for (int i = 0; i < 2000; ++i)
    {
        const Box b = RandomBox(rng, 3.0, 0.1, 2.0);
        const QvOBB box = ToObb(b);
        const Eigen::Vector3d d = RandomRotation(rng).col(0);
        std::uniform_real_distribution<double> u(-0.99, 0.99);
        const Eigen::Vector3d inner = b.c + b.R * Eigen::Vector3d(u(rng) * b.h.x(), u(rng) * b.h.y(), u(rng) * b.h.z());
        const Eigen::Vector3d p = inner + qvtest::Uniform(rng, -20, 20) * d;
        EXPECT_FALSE(box.IsLineOutside(QvLine(QvPoint(p.x(), p.y(), p.z()), ToQv(d * 3.0)))) << i;

        const Eigen::Vector3d side = d.unitOrthogonal();
        const Eigen::Vector3d q = b.c + side * (b.h.norm() * 1.001) + qvtest::Uniform(rng, -20, 20) * d;
        EXPECT_TRUE(box.IsLineOutside(QvLine(QvPoint(q.x(), q.y(), q.z()), ToQv(d)))) << i;
    }
}

TEST(ObbCorners, OrderAndPlacement)
{
    const QvOBB box(WorldFrame(QvPoint(0, 0, 0)), 1, 2, 3);
    QvPoint corners[8];
    box.GetCorners(corners);
    const QvPoint expected[8] = {{-1, -2, -3}, {-1, -2, 3}, {1, -2, 3}, {1, -2, -3},
                                 {-1, 2, -3},  {-1, 2, 3},  {1, 2, 3},  {1, 2, -3}};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(corners[k], expected[k]) << k;

    // A rotated, moved box: each corner sits at +-h along each axis from the centre.
    qvtest::Rng rng(9);
    const Box b = RandomBox(rng, 5.0, 0.2, 3.0);
    ToObb(b).GetCorners(corners);
    for (int k = 0; k < 8; ++k)
    {
        const Eigen::Vector3d local =
            b.R.transpose() * (Eigen::Vector3d(corners[k][0], corners[k][1], corners[k][2]) - b.c);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(std::abs(local[i]), b.h[i], 1e-12);
        EXPECT_EQ(local[0] > 0, k == 2 || k == 3 || k == 6 || k == 7) << k;
        EXPECT_EQ(local[1] > 0, k >= 4) << k;
        EXPECT_EQ(local[2] > 0, k == 1 || k == 2 || k == 5 || k == 6) << k;
    }
}

} // namespace
