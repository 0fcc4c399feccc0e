// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "core/gum/QvGumHelpers.h"
#include "core/mesh/QvMesh.h"

namespace {

const std::vector<QvPoint> kLine = {QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(3, 0, 0)};

void ExpectPoints(const std::vector<QvPoint>& got, const std::vector<QvPoint>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_LT(got[i].Distance(want[i]), 1e-12) << i;
}

} // namespace

TEST(GumHelpers, ChordParameters)
{
    struct Case
    {
        std::vector<QvPoint> points;
        std::vector<double> want;
    };
    const Case cases[] = {
        {kLine, {0.0, 1.0 / 3.0, 1.0}},
        {{QvPoint(2, 2, 2), QvPoint(2, 2, 2)}, {0.0, 1.0}},
        {{QvPoint(5, 0, 0)}, {1.0}},
        // No length to measure: even parameters, never 0 / 0.
        {{QvPoint(1, 1, 1), QvPoint(1, 1, 1), QvPoint(1, 1, 1), QvPoint(1, 1, 1)}, {0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0}},
        {{}, {}},
    };
    for (const Case& c : cases)
    {
        std::vector<double> params = {9.0, 9.0, 9.0, 9.0, 9.0, 9.0};
        GumChordParameters(c.points, params);
        ASSERT_EQ(params.size(), c.want.size());
        for (std::size_t i = 0; i < params.size(); ++i)
            EXPECT_NEAR(params[i], c.want[i], 1e-15);
    }
}

TEST(GumHelpers, EvenValuesAppendAndOneValue)
{
    std::vector<double> v = {7.0};
    GumEvenValues(5, v, 0.0, 1.0);
    EXPECT_EQ(v, (std::vector<double>{7.0, 0.0, 0.25, 0.5, 0.75, 1.0}));
    std::vector<double> one;
    GumEvenValues(1, one, 2.5, 4.0);
    EXPECT_EQ(one, std::vector<double>{2.5});
    GumEvenValues(0, one, 0.0, 1.0);
    EXPECT_EQ(one.size(), 1u);
}

TEST(GumHelpers, ResampleAt)
{
    std::vector<QvPoint> out;
    GumResampleAt(kLine, {0.0, 0.5, 1.0}, out);
    ExpectPoints(out, {QvPoint(0, 0, 0), QvPoint(1.5, 0, 0), QvPoint(3, 0, 0)});
    out.clear();
    GumResampleAt(kLine, {0.3}, out);
    ExpectPoints(out, {QvPoint(0, 0, 0), QvPoint(3, 0, 0)});
    // Parameters outside [0, 1] stay in the end segments instead of reading past the list.
    out.clear();
    GumResampleAt(kLine, {0.0, -0.5, 1.5, 1.0}, out);
    ExpectPoints(out, {QvPoint(0, 0, 0), QvPoint(0, 0, 0), QvPoint(3, 0, 0), QvPoint(3, 0, 0)});
    out.clear();
    GumResampleAt({QvPoint(4, 4, 4)}, {0.0, 0.5, 1.0}, out);
    ExpectPoints(out, {QvPoint(4, 4, 4), QvPoint(4, 4, 4), QvPoint(4, 4, 4)});
    out.clear();
    GumResampleAt({}, {0.0, 1.0}, out);
    EXPECT_TRUE(out.empty());
    out.clear();
    GumResampleEven(kLine, 4, out);
    ExpectPoints(out, {QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(2, 0, 0), QvPoint(3, 0, 0)});
}

TEST(GumHelpers, LerpAndSegmentSamples)
{
    std::vector<QvPoint> out = {QvPoint(9, 9, 9)};
    GumLerpPoints(QvPoint(0, 0, 0), QvPoint(2, 4, 6), {0.0, 0.5}, out);
    ExpectPoints(out, {QvPoint(9, 9, 9), QvPoint(0, 0, 0), QvPoint(1, 2, 3)});
    out.clear();
    GumSegmentSamples(QvPoint(0, 0, 0), QvPoint(3, 0, 0), 4, out);
    ExpectPoints(out, {QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(2, 0, 0), QvPoint(3, 0, 0)});
}

TEST(GumHelpers, MiddleChain)
{
    const std::vector<QvPoint> a = {QvPoint(0, 1, 0), QvPoint(2, 1, 0), QvPoint(4, 1, 0)};
    const std::vector<QvPoint> b = {QvPoint(0, -1, 0), QvPoint(2, -1, 0), QvPoint(4, -1, 0)};
    std::vector<QvPoint> out;
    // A runs against B: its reversed chain pairs with B end to end.
    GumMiddleChain(a, {2, 1, 0}, b, {0, 1, 2}, out);
    ExpectPoints(out, {QvPoint(0, 0, 0), QvPoint(2, 0, 0), QvPoint(4, 0, 0)});
    out.clear();
    GumMiddleChain(a, {0, 2}, b, {1}, out);
    ExpectPoints(out, {QvPoint(3, 0, 0)}); // midpoint of B's point and A's last index
    out.clear();
    GumMiddleChain(a, {0}, b, {}, out);
    EXPECT_TRUE(out.empty());
}

TEST(GumHelpers, SearchesByDirectionAndDistance)
{
    const std::vector<QvPoint> ring = {QvPoint(1, 0, 0), QvPoint(0, 1, 0), QvPoint(-1, 0, 0), QvPoint(0, -1, 0)};
    const QvPoint c(0, 0, 0);
    EXPECT_EQ(GumMostAlignedPoint(c, QvPoint(0, 5, 0), ring, -1), 1);
    EXPECT_EQ(GumMostAlignedPoint(c, QvPoint(0, 5, 0), ring, 1), 0); // first of equal cosines
    EXPECT_EQ(GumMostAlignedPoint(ring[0], c, ring, 0), 2);          // across the centre
    EXPECT_EQ(GumMostAlignedPoint(c, QvPoint(1, 0, 0), {QvPoint(-1, 0, 0)}, -1), -1);
    EXPECT_EQ(GumMostAlignedPoint(c, QvPoint(1, 0, 0), {}, -1), -1);

    EXPECT_EQ(GumNearestPoint(QvPoint(0.1, 0.9, 0), ring), 1);
    EXPECT_EQ(GumNearestPoint(c, {}), -1);
    EXPECT_EQ(GumNearestPointInRange(QvPoint(0.9, 0, 0), ring, 1, 3), 1);
    EXPECT_EQ(GumNearestPointInRange(c, ring, 3, 1), -1);
    EXPECT_EQ(GumNearestPointInRange(QvPoint(0, -1, 0), ring, 2, 99), 3);

    QvMesh mesh;
    for (const QvPoint& p : ring)
        mesh.AddVertex(p);
    const int listed[] = {3, 2, 1};
    EXPECT_EQ(GumNearestVertex(QvPoint(-1, 0.1, 0), mesh, listed, listed + 3), 1); // position, not vertex 2
    EXPECT_EQ(GumNearestVertex(c, mesh, listed, listed), -1);
}

TEST(GumHelpers, LargestRingGap)
{
    struct Case
    {
        std::vector<int> indices;
        int n, first, second;
    };
    const Case cases[] = {
        {{2, 5, 9}, 12, 9, 2},  // the wrapping gap 9 -> 2; 7 > 6 reverses the pair
        {{0, 3, 6}, 12, 0, 6},  // gap 6 -> 0 of exactly half a ring keeps ascending order
        {{1, 2}, 10, 1, 2},
        {{4}, 8, 4, 4},
        {{}, 8, -1, -1},
    };
    for (const Case& c : cases)
    {
        int first = 0, second = 0;
        GumLargestRingGap(c.indices, c.n, first, second);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(second, c.second);
    }
}
