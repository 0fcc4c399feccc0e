// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <vector>

#include "core/geometry/QvBBox.h"
#include "core/geometry/QvLine.h"
#include "testing/ByteSweep.h"
#include "testing/PointSets.h"

namespace {

using qvtest::Rng;
using qvtest::Uniform;

void ExpectSameBox(const QvBBox& a, const QvBBox& b, const char* what = "")
{
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(a.m_minPoint[i], b.m_minPoint[i]) << what << " min " << i;
        EXPECT_EQ(a.m_maxPoint[i], b.m_maxPoint[i]) << what << " max " << i;
    }
}

QvBBox Box(double x0, double y0, double z0, double x1, double y1, double z1)
{
    return QvBBox(QvPoint(x0, y0, z0), QvPoint(x1, y1, z1));
}

const QvBBox kUnit = Box(0, 0, 0, 1, 1, 1);
const QvBBox kInverted = Box(1e10, 1e10, 1e10, -1e10, -1e10, -1e10);

TEST(BBox, EmptyByCornerDistanceOnly)
{
    EXPECT_FALSE(QvBBox().IsValid());
    struct Case
    {
        QvBBox box;
        bool valid;
    } cases[] = {
        {kUnit, true},
        {Box(1, 1, 1, 1, 1, 1 + 5e-8), false},  // corners within 1e-7
        {Box(1, 1, 1, 1, 1, 1 + 2e-7), true},   // a flat box is not empty
        {Box(1, 1, 1, 0, 0, 0), true},          // inverted, corners apart
        {kInverted, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.box.IsValid(), c.valid);

    QvBBox box = kUnit;
    box.Reset();
    ExpectSameBox(box, QvBBox());
    box.Set(QvPoint(3, 3, 3), QvPoint(1, 1, 1)); // no reordering
    ExpectSameBox(box, Box(3, 3, 3, 1, 1, 1));
    EXPECT_NEAR(Box(0, 0, 0, 1, 2, 2).GetDiagonal(), 3.0, 1e-15);
    const QvPoint c = Box(-1, 0, 2, 3, 1, 2).GetCentre();
    EXPECT_EQ(c[0], 1.0);
    EXPECT_EQ(c[1], 0.5);
    EXPECT_EQ(c[2], 2.0);
}

TEST(BBox, SetFromPoints)
{
    QvBBox box = kUnit;
    box.SetFromPoints({});
    ExpectSameBox(box, kInverted, "empty list");
    EXPECT_TRUE(box.IsValid());

    box.SetFromPoints({QvPoint(1, -2, 3), QvPoint(-1, 5, 0), QvPoint(0, 0, 7)});
    ExpectSameBox(box, Box(-1, -2, 0, 1, 5, 7));

    box.SetFromPoints({QvPoint(2, 2, 2)});
    ExpectSameBox(box, Box(2, 2, 2, 2, 2, 2));
    EXPECT_FALSE(box.IsValid());
}

TEST(BBox, Merge)
{
    struct Case
    {
        const char* name;
        QvBBox into, other, result;
    } cases[] = {
        {"new box into valid: unchanged", kUnit, QvBBox(), kUnit},
        {"valid into new box: copied", QvBBox(), Box(2, 3, 4, 5, 6, 7), Box(2, 3, 4, 5, 6, 7)},
        {"empty box away from the origin into a valid one: unchanged", kUnit, Box(9, 9, 9, 9, 9, 9), kUnit},
        {"inverted into valid: no contribution", Box(-1, 2, 0, 1, 3, 5), kInverted, Box(-1, 2, 0, 1, 3, 5)},
        {"valid into inverted: that box", kInverted, Box(-1, 2, 0, 1, 3, 5), Box(-1, 2, 0, 1, 3, 5)},
        {"union", Box(0, 0, 0, 1, 1, 1), Box(-1, 0.5, 0.2, 0.5, 4, 0.3), Box(-1, 0, 0, 1, 4, 1)},
        {"flat boxes still merge", Box(0, 0, 0, 1, 1, 0), Box(0, 0, 2, 1, 1, 2), Box(0, 0, 0, 1, 1, 2)},
        {"valid into an empty box elsewhere: copied", Box(9, 9, 9, 9, 9, 9), kUnit, kUnit},
    };
    for (const Case& c : cases)
    {
        QvBBox box = c.into;
        box.Merge(c.other);
        ExpectSameBox(box, c.result, c.name);
    }
}

TEST(BBox, LongestAxisTies)
{
    struct Case
    {
        double ex, ey, ez;
        int axis;
    } cases[] = {
        {1, 1, 1, 2}, {2, 2, 1, 1}, {3, 1, 1, 0}, {1, 3, 1, 1}, {1, 1, 3, 2},
        {3, 1, 3, 2}, {1, 3, 3, 2}, {3, 2, 1, 0}, {0, 0, 0, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Box(5, 5, 5, 5 + c.ex, 5 + c.ey, 5 + c.ez).GetLongestAxis(), c.axis)
            << c.ex << " " << c.ey << " " << c.ez;
}

TEST(BBox, SquaredDistanceAndContains)
{
    const QvBBox box = Box(0, 0, 0, 2, 1, 1);
    struct Case
    {
        QvPoint p;
        double squared;
        bool contained;
    } cases[] = {
        {{1, 0.5, 0.5}, 0, true},
        {{2, 1, 1}, 0, true},   // corner
        {{0, 0.5, 1}, 0, true}, // faces included
        {{3, 0.5, 0.5}, 1, false},
        {{-1, 0.5, 0.5}, 1, false},
        {{3, 2, -2}, 1 + 1 + 4, false},
        {{1, 1 + 0.0009765625, 0.5}, 0.0009765625 * 0.0009765625, false},
    };
    for (const Case& c : cases)
    {
        EXPECT_NEAR(box.SquaredDistance(c.p), c.squared, 1e-30) << c.p[0] << " " << c.p[1] << " " << c.p[2];
        EXPECT_EQ(box.Contains(c.p), c.contained) << c.p[0] << " " << c.p[1] << " " << c.p[2];
    }
}

TEST(BBox, IsOutside)
{
    struct Case
    {
        QvBBox other;
        bool outside;
    } cases[] = {
        {Box(1, 1, 1, 2, 2, 2), false}, // touching corner
        {Box(1, 0, 0, 2, 1, 1), false}, // touching face
        {Box(0.5, 0.5, 0.5, 3, 3, 3), false},
        {Box(0.2, 0.2, 0.2, 0.3, 0.3, 0.3), false}, // inside
        {Box(1.01, 0, 0, 2, 1, 1), true},
        {Box(0, -2, 0, 1, -0.01, 1), true},
        {Box(0, 0, 1.5, 1, 1, 2), true},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(kUnit.IsOutside(c.other), c.outside);
        EXPECT_EQ(c.other.IsOutside(kUnit), c.outside);
    }
}

// A line with its fields set as given, bypassing the normalisation of the constructors.
QvLine RawLine(const QvPoint& point, const QvVector& direction)
{
    QvLine line;
    line.m_point = point;
    line.m_direction = direction;
    return line;
}

TEST(BBox, IsLineOutside)
{
    struct Case
    {
        const char* name;
        QvLine line;
        bool outside;
    } cases[] = {
        {"through the box along z", QvLine(QvPoint(0.5, 0.5, 5), QvVector(0, 0, 1)), false},
        // Stored as given (not normalised): every component passes the zero test, so only the
        // point's coordinates are compared with the slabs, and z = 5 lies outside.
        {"zero-test direction", RawLine(QvPoint(0.5, 0.5, 5), QvVector(0, 0, 5e-8)), true},
        {"beside the box along z", QvLine(QvPoint(2, 0.5, 0), QvVector(0, 0, 1)), true},
        {"along an edge", QvLine(QvPoint(1, 1, -3), QvVector(0, 0, 1)), false},
        {"diagonal through corners", QvLine(QvPoint(0, 0, 0), QvVector(1, 1, 1)), false},
        {"grazing a corner", QvLine(QvPoint(1, 1, 1), QvVector(1, -1, 0)), false},
        {"missing a corner", QvLine(QvPoint(1.1, 1.1, 0.5), QvVector(1, -1, 0)), true},
        {"slanted miss", QvLine(QvPoint(0, 0, 3), QvVector(1, 1, 0)), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kUnit.IsLineOutside(c.line), c.outside) << c.name;
}

// Least Chebyshev signed distance from the line to the box (negative inside it), found by
// golden-section search: the distance is convex along the line, so this needs nothing of the slab test.
double LineBoxGap(const QvBBox& box, const QvLine& line, double range)
{
    const QvPoint c = box.GetCentre();
    const auto f = [&](double t) {
        const QvPoint p = line.m_point + line.m_direction * t;
        double worst = -1e300;
        for (int i = 0; i < 3; ++i)
            worst = std::max(worst, std::fabs(p[i] - c[i]) - (box.m_maxPoint[i] - box.m_minPoint[i]) / 2);
        return worst;
    };
    const double g = (std::sqrt(5.0) - 1) / 2;
    double lo = -range, hi = range;
    for (int i = 0; i < 200; ++i)
    {
        const double a = hi - g * (hi - lo);
        const double b = lo + g * (hi - lo);
        if (f(a) < f(b))
            hi = b;
        else
            lo = a;
    }
    return f((lo + hi) / 2);
}

TEST(BBox, IsLineOutsideAgreesWithSampling)
{
    Rng rng(41);
    int hits = 0, misses = 0;
    for (int i = 0; i < 3000; ++i)
    {
        QvPoint lo(Uniform(rng, -5, 5), Uniform(rng, -5, 5), Uniform(rng, -5, 5));
        const QvPoint hi = lo + QvVector(Uniform(rng, 0.1, 4), Uniform(rng, 0.1, 4), Uniform(rng, 0.1, 4));
        const QvBBox box(lo, hi);
        QvVector dir(Uniform(rng, -1, 1), Uniform(rng, -1, 1), Uniform(rng, -1, 1));
        // Axis-parallel lines take the other branch of the slab test.
        if (i % 4 == 0)
            dir[i / 4 % 3] = 0.0;
        if (i % 8 == 0)
            dir[(i / 8 + 1) % 3] = 0.0;
        QvPoint through(Uniform(rng, -8, 8), Uniform(rng, -8, 8), Uniform(rng, -8, 8));
        if (i % 2 == 0)
            through = lo + (hi - lo) * 0.5 + QvVector(Uniform(rng, -2, 2), Uniform(rng, -2, 2), Uniform(rng, -2, 2));
        const QvLine line(through + dir * Uniform(rng, -10, 10), dir);

        const double gap = LineBoxGap(box, line, 100);
        if (gap > 1e-6)
        {
            EXPECT_TRUE(box.IsLineOutside(line)) << i << " gap " << gap;
            ++misses;
        }
        else if (gap < -1e-9)
        {
            EXPECT_FALSE(box.IsLineOutside(line)) << i;
            ++hits;
        }
    }
    EXPECT_GT(hits, 500);
    EXPECT_GT(misses, 500);
}

TEST(BBox, Split)
{
    const QvBBox cube = Box(0, 0, 0, 2, 2, 2);
    const QvBBox sentinel = Box(7, 7, 7, 8, 8, 8);
    for (int axis = 0; axis < 3; ++axis)
    {
        for (const double v : {0.0, 2.0, -1.0, 3.0})
        {
            QvBBox lower = sentinel, upper = sentinel;
            EXPECT_FALSE(cube.Split(axis, v, lower, upper)) << axis << " " << v;
            ExpectSameBox(lower, sentinel);
            ExpectSameBox(upper, sentinel);
        }
    }
    QvBBox lower, upper;
    ASSERT_TRUE(cube.Split(1, 1.0, lower, upper));
    ExpectSameBox(lower, Box(0, 0, 0, 2, 1, 2));
    ExpectSameBox(upper, Box(0, 1, 0, 2, 2, 2));

    QvBBox l2 = sentinel, u2 = sentinel;
    EXPECT_FALSE(cube.Split(3, 1.0, l2, u2));
    EXPECT_FALSE(cube.Split(-1, 1.0, l2, u2));
    ExpectSameBox(l2, sentinel);
}

TEST(BBox, CornerOrder)
{
    QvPoint corners[8];
    Box(1, 2, 3, 4, 5, 6).GetCorners(corners);
    const double expected[8][3] = {{1, 2, 3}, {1, 2, 6}, {4, 2, 6}, {4, 2, 3},
                                   {1, 5, 3}, {1, 5, 6}, {4, 5, 3}, {4, 5, 6}};
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(corners[i][k], expected[i][k]) << i << " " << k;
}

TEST(BBox, StreamFormRoundTripsAndSurvivesDamage)
{
    const QvBBox box = Box(-1.5, 2.25, 1e-300, 3, 1e300, -0.0);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { box.Write(os, true); });
    ASSERT_EQ(bytes.size(), 48u);
    double first = 0.0, fourth = 0.0;
    std::memcpy(&first, bytes.data(), 8);
    std::memcpy(&fourth, bytes.data() + 24, 8);
    EXPECT_EQ(first, -1.5);
    EXPECT_EQ(fourth, 3.0);

    QvBBox back;
    std::istringstream is(bytes);
    ASSERT_TRUE(back.Read(is, true));
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { back.Write(os, false); }), bytes);

    // A short record leaves the box as it was.
    QvBBox kept = kUnit;
    std::istringstream shortStream(bytes.substr(0, 40));
    EXPECT_FALSE(kept.Read(shortStream));
    ExpectSameBox(kept, kUnit);

    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& s) {
        QvBBox b;
        return b.Read(s, true);
    });
}

} // namespace
