// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "core/geometry/QvPoint.h"
#include "testing/ByteSweep.h"

namespace {

TEST(ZeroTest, StrictBoundAndNaN)
{
    EXPECT_FALSE(IsZero(1e-7));
    EXPECT_TRUE(IsZero(-9.9e-8));
    EXPECT_TRUE(IsZero(0.0));
    EXPECT_FALSE(IsZero(std::nan("")));
    EXPECT_FALSE(IsZero(0.5, 0.5));
    EXPECT_TRUE(IsZero(0.49, 0.5));
}

TEST(PointVectorEquality, BallForPointsBoxForVectors)
{
    EXPECT_TRUE(QvVector(1e-7, 0, 0) == QvVector(0, 0, 0));
    EXPECT_FALSE(QvPoint(6e-8, 6e-8, 6e-8) == QvPoint(0, 0, 0));
    EXPECT_TRUE(QvVector(6e-8, 6e-8, 6e-8) == QvVector(0, 0, 0));
    EXPECT_TRUE(QvVector(1.0000000116860974e-7, 0, 0) != QvVector(0, 0, 0));
    EXPECT_FALSE(QvVector(1.0000000116860974e-7, 0, 0) == QvVector(0, 0, 0));
}

TEST(VectorNormalize, ShortVectorsTable)
{
    struct Case
    {
        QvVector in, out;
    } cases[] = {
        {{0, 0, 9e-8}, {1, 0, 0}},
        {{0, 0, 2e-7}, {0, 0, 1}},
        {{0, 0, -5}, {0, 0, -1}},
        {{0, 0, 0}, {1, 0, 0}},
        {{3, 4, 0}, {0.6, 0.8, 0}},
    };
    for (const Case& c : cases)
    {
        QvVector v = c.in;
        v.Normalize();
        EXPECT_DOUBLE_EQ(v[0], c.out[0]);
        EXPECT_DOUBLE_EQ(v[1], c.out[1]);
        EXPECT_DOUBLE_EQ(v[2], c.out[2]);
    }
}

TEST(VectorAngles, UnsignedAndSigned)
{
    const double pi = std::acos(-1.0);
    EXPECT_DOUBLE_EQ(QvVector(1, 0, 0).Angle(QvVector(-1, 0, 0)), pi);
    EXPECT_EQ(QvVector(1, 0, 0).Angle(QvVector(0, 0, 0)), 0.0);
    EXPECT_DOUBLE_EQ(QvVector(-1, -1, -1).Angle(QvVector(0, 0, 0)), pi); // dot product is -0
    EXPECT_DOUBLE_EQ(QvVector(1, 0, 0).SignedAngle(QvVector(0, 1, 0), QvVector(0, 0, 1)), pi / 2);
    EXPECT_DOUBLE_EQ(QvVector(1, 0, 0).SignedAngle(QvVector(0, 1, 0), QvVector(0, 0, -1)), 6.28318530718 - pi / 2);
    EXPECT_EQ(QvVector(0.3, 0.2, 0.1).SignedAngle(QvVector(0.3, 0.2, 0.1), QvVector(0, 0, 1)), 0.0);
}

TEST(VectorOps, ParallelCrossNegate)
{
    EXPECT_TRUE(QvVector(0, 0, 0).IsParallel(QvVector(1, 0, 0)));
    EXPECT_FALSE(QvVector(0, 0, 0).IsParallel(QvVector(0, 1, 0)));
    EXPECT_TRUE(QvVector(0, 2, 0).IsParallel(QvVector(0, -3, 0)));
    const QvVector c = QvVector(1, 0, 0).Cross(QvVector(0, 1, 0));
    EXPECT_TRUE(c == QvVector(0, 0, 1));
    QvVector z(0, 1, 0);
    z.Negate();
    EXPECT_TRUE(std::signbit(z[0]));
    EXPECT_EQ(z[1], -1.0);
}

TEST(PointArithmetic, DifferencesAndMoves)
{
    const QvPoint p(1, 2, 3), q(-4, 0.5, 7);
    EXPECT_TRUE((p - p).IsZero());
    EXPECT_TRUE(q + (p - q) == p);
    QvPoint sum;
    sum += p;
    sum += q;
    sum /= 2.0;
    EXPECT_TRUE(sum == QvPoint(-1.5, 1.25, 5));
    EXPECT_TRUE(2.0 * p == QvPoint(2, 4, 6));
    EXPECT_DOUBLE_EQ(p.SquaredDistance(q), 25 + 2.25 + 16);
}

TEST(PointStream, RoundTripIsByteExactAndTruncationsFail)
{
    const QvPoint p(1.5, -2.25, 1e300);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { p.Write(os, true); });
    ASSERT_EQ(bytes.size(), 24u);
    QvPoint back;
    std::istringstream is(bytes);
    ASSERT_TRUE(back.Read(is, true));
    EXPECT_EQ(back[0], 1.5);
    EXPECT_EQ(back[1], -2.25);
    EXPECT_EQ(back[2], 1e300);

    // A vector with the same coordinates has the same form.
    const std::string vbytes = qvtest::BytesOf([](std::ostream& os) { QvVector(1.5, -2.25, 1e300).Write(os); });
    EXPECT_EQ(vbytes, bytes);

    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& s) {
        QvVector v;
        return v.Read(s);
    });

    std::istringstream empty("");
    QvPoint untouched(7, 8, 9);
    EXPECT_FALSE(untouched.Read(empty));
    EXPECT_TRUE(empty.fail());
    EXPECT_TRUE(untouched == QvPoint(7, 8, 9));
}

} // namespace
