// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvStreamIO.h"
#include "testing/ByteSweep.h"
#include "testing/PointSets.h"

namespace {

const double kPi = std::acos(-1.0);

void ExpectVector(const QvVector& v, double x, double y, double z, double tol, const char* what = "")
{
    EXPECT_NEAR(v[0], x, tol) << what;
    EXPECT_NEAR(v[1], y, tol) << what;
    EXPECT_NEAR(v[2], z, tol) << what;
}

void ExpectPoint(const QvPoint& p, double x, double y, double z, double tol, const char* what = "")
{
    EXPECT_NEAR(p[0], x, tol) << what;
    EXPECT_NEAR(p[1], y, tol) << what;
    EXPECT_NEAR(p[2], z, tol) << what;
}

void ExpectQuaternion(const QvQuaternion& q, double w, double x, double y, double z, double tol)
{
    EXPECT_NEAR(q.m_w, w, tol);
    EXPECT_NEAR(q.m_x, x, tol);
    EXPECT_NEAR(q.m_y, y, tol);
    EXPECT_NEAR(q.m_z, z, tol);
}

QvFrame WorldFrame() { return QvFrame(QvPoint(0, 0, 0), QvVector(1, 0, 0), QvVector(0, 1, 0)); }

// A proper orthonormal frame from a random rotation.
QvFrame RandomFrame(qvtest::Rng& rng, const QvVector& axis)
{
    const QvMatrix r(axis, qvtest::Uniform(rng, -kPi, kPi));
    const QvPoint o(qvtest::Uniform(rng, -50, 50), qvtest::Uniform(rng, -50, 50), qvtest::Uniform(rng, -50, 50));
    return QvFrame(o, QvVector(r[0][0], r[1][0], r[2][0]), QvVector(r[0][1], r[1][1], r[2][1]));
}

TEST(FrameAxes, ConstructionKeepsYAsGiven)
{
    const QvFrame f(QvPoint(1, 2, 3), QvVector(2, 0, 0), QvVector(1, 1, 0));
    ExpectVector(f.m_dirX, 1, 0, 0, 0.0);
    ExpectVector(f.m_dirY, std::sqrt(0.5), std::sqrt(0.5), 0, 2e-16);
    ExpectVector(f.m_dirZ, 0, 0, 1, 1e-16);
    EXPECT_TRUE(f.IsValid());

    QvFrame fresh;
    EXPECT_FALSE(fresh.IsValid());
    ExpectVector(fresh.m_dirZ, 0, 0, 0, 0.0);

    // Degenerate axes never fail: a zero vector becomes the x axis.
    QvFrame g;
    g.SetAxes(QvVector(0, 0, 0), QvVector(0, 3, 0));
    ExpectVector(g.m_dirX, 1, 0, 0, 0.0);
    ExpectVector(g.m_dirZ, 0, 0, 1, 0.0);
    ExpectPoint(g.m_centre, 0, 0, 0, 0.0);
}

TEST(FrameAxes, EqualityUsesTheKernelTolerances)
{
    const QvFrame a = WorldFrame();
    QvFrame b = a;
    EXPECT_TRUE(a == a);
    EXPECT_TRUE(a == b);
    b.m_centre = QvPoint(9e-8, 0, 0);
    EXPECT_TRUE(a == b);
    b.m_centre = QvPoint(1e-7, 0, 0);
    EXPECT_FALSE(a == b) << "points are equal only below 1e-7";
    b = a;
    b.m_dirY = QvVector(0, 1 + 1e-7, 0);
    EXPECT_TRUE(a == b) << "vector components differ by less than 1e-7 in single precision";
    b.m_dirZ = QvVector(0, 0, 1 + 2e-7);
    EXPECT_FALSE(a == b);
}

TEST(FrameFit, RectangleCornersSortedAndUnsorted)
{
    const std::vector<QvPoint> pts = {{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {2, 1, 0}};
    std::unique_ptr<QvFrame> sorted(QvFrame::FitPoints(pts, true));
    ASSERT_TRUE(sorted);
    ExpectPoint(sorted->m_centre, 1, 0.5, 0, 0.0);
    ExpectVector(sorted->m_dirX, 0, 0, 1, 0.0);
    ExpectVector(sorted->m_dirY, 0, 1, 0, 0.0);
    ExpectVector(sorted->m_dirZ, -1, 0, 0, 0.0);

    std::unique_ptr<QvFrame> raw(QvFrame::FitPoints(pts, false));
    ASSERT_TRUE(raw);
    ExpectVector(raw->m_dirX, 1, 0, 0, 0.0);
    ExpectVector(raw->m_dirY, 0, 1, 0, 0.0);
    ExpectVector(raw->m_dirZ, 0, 0, 1, 0.0);
}

TEST(FrameFit, DegenerateAndTiltedSets)
{
    EXPECT_EQ(QvFrame::FitPoints({}, true), nullptr);
    EXPECT_EQ(QvFrame::FitPoints({{0, 0, 0}, {1, 1, 1}}, true), nullptr);

    std::unique_ptr<QvFrame> line(QvFrame::FitPoints(qvtest::CollinearPoints(3, {0, 0, 0}, {1, 2, 3}), true));
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->IsValid());
    // The greatest spread lies along the line, and it is the frame's Z (X x Y).
    QvVector dir(1, 2, 3);
    dir.Normalize();
    EXPECT_NEAR(std::fabs(line->m_dirZ.Dot(dir)), 1.0, 1e-9);

    // A noisy tilted disc: sorted X is its normal. The eigen solve stops at an absolute
    // 1e-6, so sets of millimetre size and up are what it resolves.
    const QvMatrix tilt(QvVector(1, -2, 0.5), 0.8);
    for (double scale : {1.0, 1e3})
    {
        std::vector<QvPoint> pts;
        for (const QvPoint& p : qvtest::RandomPointsInCube(200, 8))
            pts.push_back(tilt * QvPoint(p[0] * scale, 0.5 * p[1] * scale, 0.01 * p[2] * scale) +
                          QvVector(3, 4, 5));
        std::unique_ptr<QvFrame> f(QvFrame::FitPoints(pts, true));
        ASSERT_TRUE(f) << scale;
        const QvVector normal = tilt * QvVector(0, 0, 1);
        const QvVector wide = tilt * QvVector(1, 0, 0);
        EXPECT_NEAR(std::fabs(f->m_dirX.Dot(normal)), 1.0, 1e-3) << scale;
        EXPECT_NEAR(std::fabs(f->m_dirZ.Dot(wide)), 1.0, 1e-2) << scale;
        EXPECT_NEAR(f->m_dirX.Cross(f->m_dirY).Dot(f->m_dirZ), 1.0, 1e-9) << "right-handed";
    }
}

TEST(FrameMotion, IdentityTranslationAndRandomFrames)
{
    const QvFrame world = WorldFrame();
    std::unique_ptr<QvMatrix> self(world.GetTransformTo(world));
    ASSERT_EQ(self->m_row, 4);
    ASSERT_EQ(self->m_col, 4);
    EXPECT_TRUE(self->IsIdentity());

    const QvFrame moved(QvPoint(1, 2, 3), QvVector(1, 0, 0), QvVector(0, 1, 0));
    std::unique_ptr<QvMatrix> shift(world.GetTransformTo(moved));
    EXPECT_EQ((*shift)[0][3], 1.0);
    EXPECT_EQ((*shift)[1][3], 2.0);
    EXPECT_EQ((*shift)[2][3], 3.0);
    EXPECT_EQ((*shift)[3][3], 1.0);
    EXPECT_EQ((*shift)[3][0], 0.0);

    qvtest::Rng rng(21);
    const std::vector<QvVector> axes = qvtest::RandomUnitVectors(100, 22);
    for (std::size_t i = 0; i + 1 < axes.size(); i += 2)
    {
        const QvFrame a = RandomFrame(rng, axes[i]);
        const QvFrame b = RandomFrame(rng, axes[i + 1]);
        std::unique_ptr<QvMatrix> m(a.GetTransformTo(b));
        QvFrame carried = a;
        carried.Transform(*m);
        EXPECT_TRUE(carried == b) << i;
        // A point riding on a keeps its local coordinates in b.
        const QvPoint local = a.m_centre + a.m_dirX * 2.0 - a.m_dirZ * 0.5;
        const QvPoint expected = b.m_centre + b.m_dirX * 2.0 - b.m_dirZ * 0.5;
        EXPECT_LT(((*m) * local).Distance(expected), 1e-12) << i;

        const QvTransform t = a.GetRigidTransformTo(b);
        EXPECT_EQ(t.m_scale, 1.0);
        ASSERT_EQ(t.m_rotation.m_row, 3);
        for (int r = 0; r < 3; ++r)
        {
            EXPECT_EQ(t.m_translation[r], (*m)[r][3]);
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(t.m_rotation[r][c], (*m)[r][c]);
        }
    }
}

TEST(FrameMotion, DegenerateFrameIsTakenAsWorldAligned)
{
    QvFrame blank;
    blank.m_centre = QvPoint(1, 1, 1);
    const QvFrame target(QvPoint(5, 0, 0), QvVector(0, 1, 0), QvVector(-1, 0, 0));
    std::unique_ptr<QvMatrix> m(blank.GetTransformTo(target));
    std::unique_ptr<QvMatrix> fromWorld(
        QvFrame(QvPoint(1, 1, 1), QvVector(1, 0, 0), QvVector(0, 1, 0)).GetTransformTo(target));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR((*m)[r][c], (*fromWorld)[r][c], 1e-15) << r << ", " << c;
    ExpectPoint((*m) * blank.m_centre, 5, 0, 0, 1e-15);
}

TEST(FrameMotion, TransformByThreeAndFourRows)
{
    const QvFrame start(QvPoint(1, 0, 0), QvVector(1, 0, 0), QvVector(0, 1, 0));
    const QvMatrix quarter(QvVector(0, 0, 1), kPi / 2);

    QvFrame rotated = start;
    rotated.Transform(quarter);
    ExpectPoint(rotated.m_centre, 0, 1, 0, 1e-15, "about the world origin");
    ExpectVector(rotated.m_dirX, 0, 1, 0, 1e-15);
    ExpectVector(rotated.m_dirY, -1, 0, 0, 1e-15);

    QvMatrix place(4, 4);
    place.SetIdentity();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            place[r][c] = 2.0 * quarter[r][c]; // scaled: the axes come back normalised
    place[0][3] = 10;
    place[2][3] = -1;
    QvFrame placed = start;
    placed.Transform(place);
    ExpectPoint(placed.m_centre, 10, 2, -1, 1e-14);
    ExpectVector(placed.m_dirX, 0, 1, 0, 1e-15);
    ExpectVector(placed.m_dirZ, 0, 0, 1, 1e-15);
}

TEST(FrameStream, FrameAndTransformRoundTrips)
{
    const QvFrame f(QvPoint(1.5, -2, 1e-9), QvVector(1, 1, 0), QvVector(0, 1, 3));
    const std::string fb = qvtest::BytesOf([&](std::ostream& os) { f.Write(os, true); });
    ASSERT_EQ(fb.size(), 96u);
    double z0 = 0;
    std::memcpy(&z0, fb.data() + 72, 8);
    EXPECT_EQ(z0, f.m_dirZ[0]) << "origin, X, Y, then Z";
    QvFrame g;
    std::istringstream fs(fb);
    ASSERT_TRUE(g.Read(fs, true));
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { g.Write(os, false); }), fb);
    qvtest::ExpectReaderSurvivesDamage(fb, [](std::istream& s) {
        QvFrame r;
        return r.Read(s, true);
    });

    // A failed read leaves the frame as it was.
    std::istringstream shortStream(fb.substr(0, 80));
    QvFrame kept = WorldFrame();
    EXPECT_FALSE(kept.Read(shortStream, true));
    EXPECT_TRUE(kept == WorldFrame());

    QvTransform t = WorldFrame().GetRigidTransformTo(f);
    t.m_scale = 2.75;
    const std::string tb = qvtest::BytesOf([&](std::ostream& os) { t.Write(os, true); });
    ASSERT_EQ(tb.size(), 112u);
    std::int32_t rows = 0;
    std::memcpy(&rows, tb.data() + 24, 4);
    EXPECT_EQ(rows, 3) << "translation first, then the matrix form";
    QvTransform u;
    std::istringstream ts(tb);
    ASSERT_TRUE(u.Read(ts, true));
    EXPECT_EQ(u.m_scale, 2.75);
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { u.Write(os, true); }), tb);
    qvtest::ExpectReaderSurvivesDamage(tb, [](std::istream& s) {
        QvTransform r;
        return r.Read(s, true);
    });
}

TEST(FrameStream, TransformRefusesARotationSmallerThanThreeByThree)
{
    QvTransform t;
    t.m_rotation.Create(2, 2);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { t.Write(os, true); });
    QvTransform kept;
    kept.m_scale = 4.0;
    std::istringstream is(bytes);
    EXPECT_FALSE(kept.Read(is, true));
    EXPECT_EQ(kept.m_scale, 4.0);
    EXPECT_EQ(kept.m_rotation.m_row, 3);
    EXPECT_TRUE(kept.m_rotation.IsIdentity());
}

TEST(Quaternion, FromMatrixBranches)
{
    struct Case
    {
        std::vector<double> m;
        double w, x, y, z;
    } cases[] = {
        {{1, 0, 0, 0, 1, 0, 0, 0, 1}, 1, 0, 0, 0},
        {{1, 0, 0, 0, -1, 0, 0, 0, -1}, 0, 1, 0, 0},
        {{-1, 0, 0, 0, 1, 0, 0, 0, -1}, 0, 0, 1, 0},
        {{-1, 0, 0, 0, -1, 0, 0, 0, 1}, 0, 0, 0, 1},
        // Tied diagonal: the lower index leads.
        {{0, 1, 0, 1, 0, 0, 0, 0, -1}, 0, std::sqrt(0.5), std::sqrt(0.5), 0},
        // Not a rotation: the result is normalised anyway.
        {{2, 0, 0, 0, 2, 0, 0, 0, 2}, 1, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        QvQuaternion fromArray;
        fromArray.SetFromArray(c.m.data());
        ExpectQuaternion(fromArray, c.w, c.x, c.y, c.z, 1e-15);
        QvMatrix m(4, 4);
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k)
                m[r][k] = c.m[3 * r + k];
        m[3][3] = 7; // outside the 3 x 3 block: ignored
        const QvQuaternion fromMatrix(m);
        EXPECT_EQ(fromMatrix.m_w, fromArray.m_w);
        EXPECT_EQ(fromMatrix.m_z, fromArray.m_z);
    }

    const QvQuaternion axes = QvQuaternion::FromAxes(QvVector(0, 1, 0), QvVector(-1, 0, 0), QvVector(0, 0, 1));
    ExpectQuaternion(axes, std::sqrt(0.5), 0, 0, std::sqrt(0.5), 1e-15);
}

TEST(Quaternion, RotationRoundTrips)
{
    qvtest::Rng rng(31);
    const std::vector<QvVector> axes = qvtest::RandomUnitVectors(1000, 32);
    double worst = 0.0;
    for (std::size_t i = 0; i < axes.size(); ++i)
    {
        // Include angles near pi, where the trace branch gives way to the diagonal one.
        const double angle = i % 10 == 0 ? kPi - 1e-3 * qvtest::Uniform(rng, 0, 1) : qvtest::Uniform(rng, -kPi, kPi);
        const QvMatrix r(axes[i], angle);
        const QvQuaternion q(r);
        EXPECT_NEAR(q.m_w * q.m_w + q.m_x * q.m_x + q.m_y * q.m_y + q.m_z * q.m_z, 1.0, 1e-15);
        QvMatrix back(4, 4);
        back[3][3] = 5.0;
        q.ToMatrix(back);
        EXPECT_EQ(back[3][3], 5.0);
        EXPECT_EQ(back[0][3], 0.0);
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                worst = std::max(worst, std::fabs(back[a][b] - r[a][b]));
        // The quaternion's own axis and angle match the rotation's.
        const QvQuaternion again = QvQuaternion::FromAxes(QvVector(r[0][0], r[1][0], r[2][0]),
                                                          QvVector(r[0][1], r[1][1], r[2][1]),
                                                          QvVector(r[0][2], r[1][2], r[2][2]));
        EXPECT_EQ(again.m_w, q.m_w);
    }
    EXPECT_LT(worst, 1e-12);
}

TEST(Quaternion, BetweenTwoVectors)
{
    const QvQuaternion opposite = QvQuaternion::FromTwoVectors(QvVector(1, 0, 0), QvVector(-1, 0, 0));
    EXPECT_EQ(opposite.m_w, -1.0341155355510722e-13);
    EXPECT_EQ(opposite.m_x, 0.0);
    EXPECT_EQ(opposite.m_y, 0.0);
    EXPECT_EQ(opposite.m_z, 1.0);

    struct Case
    {
        QvVector from, to;
        double w, x, y, z;
    } exact[] = {
        {{0, 0, 2}, {0, 0, -1}, -1.0341155355510722e-13, 0, 1, 0},          // tie of x and y: x
        {{0, 3, 0}, {0, -1, 0}, -1.0341155355510722e-13, 0, 0, -1},         // tie of x and z: x
        {{0, 0.6, 0.8}, {0, -0.6, -0.8}, -1.0341155355510722e-13, 0, 0.8, -0.6},
        {{1, 2, 3}, {2, 4, 6}, 1, 0, 0, 0},
        {{0, 0, 0}, {5, 0, 0}, 1, 0, 0, 0}, // a zero vector is the x axis
    };
    for (const Case& c : exact)
    {
        const QvQuaternion q = QvQuaternion::FromTwoVectors(c.from, c.to);
        ExpectQuaternion(q, c.w, c.x, c.y, c.z, 1e-15);
    }

    // A general pair: the half angle comes from a single-precision arc cosine.
    const QvVector from(1, 0, 0), to(1, 1, 0);
    const QvQuaternion q = QvQuaternion::FromTwoVectors(from, to);
    const double h = 0.5 * static_cast<double>(std::acos(static_cast<float>(std::sqrt(0.5))));
    EXPECT_EQ(q.m_w, std::cos(h));
    EXPECT_EQ(q.m_z, std::sin(h));
    EXPECT_EQ(q.m_x, 0.0);

    qvtest::Rng rng(41);
    const std::vector<QvVector> dirs = qvtest::RandomUnitVectors(200, 42);
    for (std::size_t i = 0; i + 1 < dirs.size(); i += 2)
    {
        QvMatrix m(3, 3);
        QvQuaternion::FromTwoVectors(dirs[i] * 3.0, dirs[i + 1]).ToMatrix(m);
        const QvVector turned = m * dirs[i];
        ExpectVector(turned, dirs[i + 1][0], dirs[i + 1][1], dirs[i + 1][2], 1e-6);
    }
}

TEST(Quaternion, InverseTable)
{
    struct Case
    {
        QvQuaternion in, out;
    } cases[] = {
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
        {{2, 0, 0, 0}, {0.5, 0, 0, 0}},
        {{0.5, 0.5, -0.5, 0.5}, {0.5, -0.5, 0.5, -0.5}},
        {{1, 1, 1, 1}, {0.25, -0.25, -0.25, -0.25}},
        {{std::nan(""), 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases)
    {
        const QvQuaternion copy = c.in.Inverse();
        QvQuaternion q = c.in;
        q.Invert();
        for (const QvQuaternion& r : {copy, q})
            ExpectQuaternion(r, c.out.m_w, c.out.m_x, c.out.m_y, c.out.m_z, 0.0);
    }

    // The inverse of a unit quaternion is the reverse rotation.
    const QvQuaternion q(QvMatrix(QvVector(1, 2, 3), 1.1));
    QvMatrix forward(3, 3), backward(3, 3);
    q.ToMatrix(forward);
    q.Inverse().ToMatrix(backward);
    forward.Transpose();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(forward[r][c], backward[r][c], 1e-15);
}

TEST(Quaternion, StreamForms)
{
    const QvQuaternion q(1, 2, 3, 4);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { q.Write(os); });
    ASSERT_EQ(bytes.size(), 32u);
    double first = 0;
    std::memcpy(&first, bytes.data(), 8);
    EXPECT_EQ(first, 1.0) << "w first";
    QvQuaternion back(0, 0, 0, 0);
    std::istringstream is(bytes);
    ASSERT_TRUE(back.Read(is));
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { back.Write(os); }), bytes);
    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& s) {
        QvQuaternion r;
        return r.Read(s);
    });

    std::istringstream shortStream(bytes.substr(0, 31));
    QvQuaternion kept(9, 8, 7, 6);
    EXPECT_FALSE(kept.Read(shortStream));
    ExpectQuaternion(kept, 9, 8, 7, 6, 0.0);

    const std::string floats = qvtest::BytesOf([&](std::ostream& os) { q.WriteFloat(os); });
    ASSERT_EQ(floats.size(), 16u);
    float f[4];
    std::memcpy(f, floats.data(), 16);
    EXPECT_EQ(f[0], 2.0f);
    EXPECT_EQ(f[1], 3.0f);
    EXPECT_EQ(f[2], 4.0f);
    EXPECT_EQ(f[3], 1.0f);
    const QvQuaternion fine(0.1, 1.0 / 3.0, 0, 0);
    const std::string narrowed = qvtest::BytesOf([&](std::ostream& os) { fine.WriteFloat(os); });
    std::memcpy(f, narrowed.data(), 16);
    EXPECT_EQ(f[0], static_cast<float>(1.0 / 3.0));
    EXPECT_EQ(f[3], 0.1f);
}

} // namespace
