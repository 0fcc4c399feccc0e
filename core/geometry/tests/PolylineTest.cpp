// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/convex_hull_2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <locale>
#include <map>
#include <numeric>
#include <sstream>
#include <utility>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPolyline.h"
#include "core/geometry/QvStreamIO.h"
#include "testing/ByteSweep.h"
#include "testing/PointSets.h"

namespace {

void ExpectNear(const QvPoint& a, const QvPoint& b, double tol)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

void ExpectSamePoints(const std::vector<QvPoint>& a, const std::vector<QvPoint>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(a[i][k], b[i][k]) << "point " << i;
}

const std::vector<QvPoint> kThree = {QvPoint(1.5, -2, 3), QvPoint(0.25, 1e-9, -7), QvPoint(1e6, 2, 0)};

// ---------------------------------------------------------------- stream form

TEST(PolylineStream, TextFormIsDecimalCountNewlineThenBinaryPoints)
{
    const QvPolyline line(kThree);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { line.Write(os, false); });
    ASSERT_EQ(bytes.size(), 2u + 72u);
    EXPECT_EQ(bytes.substr(0, 2), "3\n");
    double first = 0.0;
    std::memcpy(&first, bytes.data() + 2, 8);
    EXPECT_EQ(first, 1.5);

    QvPolyline back;
    std::istringstream is(bytes, std::ios::binary);
    ASSERT_TRUE(back.Read(is, false));
    ExpectSamePoints(back.m_points, kThree);
}

TEST(PolylineStream, BinaryFormIsInt32CountThenPoints)
{
    const QvPolyline line(kThree);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { line.Write(os, true); });
    ASSERT_EQ(bytes.size(), 4u + 72u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x03\x00\x00\x00", 4));
    QvPolyline back(std::vector<QvPoint>(5, QvPoint(9, 9, 9))); // surplus points are dropped
    std::istringstream is(bytes, std::ios::binary);
    ASSERT_TRUE(back.Read(is, true));
    ExpectSamePoints(back.m_points, kThree);
}

TEST(PolylineStream, EmptyCountLeavesTheListAlone)
{
    for (const bool binary : {false, true})
    {
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { QvPolyline().Write(os, binary); });
        EXPECT_EQ(bytes, binary ? std::string(4, '\0') : std::string("0\n"));
        QvPolyline existing(kThree);
        std::istringstream is(bytes, std::ios::binary);
        EXPECT_TRUE(existing.Read(is, binary));
        ExpectSamePoints(existing.m_points, kThree);
    }
}

// A locale that groups thousands would write "1.234" through formatted output.
struct GroupingPunct : std::numpunct<char>
{
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(PolylineStream, TextCountIgnoresTheLocale)
{
    const std::locale grouping(std::locale::classic(), new GroupingPunct);
    const std::locale previous = std::locale::global(grouping);
    std::vector<QvPoint> many(1234);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i] = QvPoint(double(i), -double(i), 0.5);
    std::ostringstream os(std::ios::binary);
    os.imbue(grouping);
    QvPolyline(many).Write(os, false);
    const std::string bytes = os.str();
    EXPECT_EQ(bytes.substr(0, 5), "1234\n");

    QvPolyline back;
    std::istringstream is(bytes, std::ios::binary);
    is.imbue(grouping);
    EXPECT_TRUE(back.Read(is, false));
    std::locale::global(previous);
    ExpectSamePoints(back.m_points, many);
}

TEST(PolylineStream, TextCountAcceptsFormattedIntegerSpelling)
{
    std::string bytes = " \t+2\n";
    for (double v : {1.0, 2.0, 3.0, 4.0, 5.0, 6.0})
        bytes.append(reinterpret_cast<const char*>(&v), 8);
    QvPolyline back;
    std::istringstream is(bytes, std::ios::binary);
    ASSERT_TRUE(back.Read(is, false));
    ASSERT_EQ(back.m_points.size(), 2u);
    ExpectNear(back.m_points[1], QvPoint(4, 5, 6), 0.0);
}

TEST(PolylineStream, BadCountsAreRefusedAndChangeNothing)
{
    const std::string point(24, '\0');
    auto i32 = [](std::int32_t v) { return qvtest::BytesOf([&](std::ostream& os) { qvio::WriteI32(os, v); }); };
    struct Case
    {
        const char* what;
        bool binary;
        std::string bytes;
    } cases[] = {
        {"negative binary", true, i32(-1) + point},
        {"most negative binary", true, i32(INT32_MIN)},
        {"more than the bytes left", true, i32(2) + point},
        {"huge binary", true, i32(INT32_MAX)},
        {"short count", true, std::string("\x01\x00", 2)},
        {"negative text", false, "-1\n" + point},
        {"huge text", false, "2147483647\n" + point},
        {"overflowing text", false, "99999999999\n" + point},
        {"no digits", false, "x\n" + point},
        {"sign only", false, "-\n"},
        {"no character after the count", false, "0"},
        {"empty", false, ""},
    };
    for (const Case& k : cases)
    {
        QvPolyline existing(kThree);
        std::istringstream is(k.bytes, std::ios::binary);
        EXPECT_FALSE(existing.Read(is, k.binary)) << k.what;
        EXPECT_TRUE(is.fail()) << k.what;
        ExpectSamePoints(existing.m_points, kThree);
    }
}

TEST(PolylineStream, FailedStreamReadsNothing)
{
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { QvPolyline(kThree).Write(os, true); });
    std::istringstream is(bytes, std::ios::binary);
    is.setstate(std::ios::failbit);
    QvPolyline line;
    EXPECT_FALSE(line.Read(is, true));
    EXPECT_TRUE(line.m_points.empty());
}

TEST(PolylineStream, SurvivesTruncationAndByteFlips)
{
    const std::vector<QvPoint> pts = qvtest::RandomPointsInCube(6, 5);
    for (const bool binary : {true, false})
    {
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { QvPolyline(pts).Write(os, binary); });
        qvtest::ExpectReaderSurvivesDamage(bytes, [binary](std::istream& is) {
            QvPolyline line;
            return line.Read(is, binary);
        });
    }
}

// ---------------------------------------------------------------- closing

TEST(PolylineClosing, ClosedOpenAndBack)
{
    const QvPoint a(0, 0, 0), b(1, 0, 0), c(1, 1, 0);
    struct Case
    {
        std::vector<QvPoint> pts;
        bool closed;
        std::size_t afterClose, afterOpen;
    } cases[] = {
        {{}, false, 0, 0},
        {{a}, false, 2, 1},
        {{a, a}, true, 2, 1},
        {{a, b, a}, true, 3, 2},
        {{a, b, c}, false, 4, 3},
        {{a, b, QvPoint(5e-8, 0, 0)}, true, 3, 2}, // within the point tolerance
    };
    for (const Case& k : cases)
    {
        QvPolyline line(k.pts);
        EXPECT_EQ(line.IsClosed(), k.closed);
        line.Close();
        EXPECT_EQ(line.m_points.size(), k.afterClose);
        EXPECT_EQ(line.IsClosed(), !k.pts.empty());
        QvPolyline opened(k.pts);
        opened.Open();
        EXPECT_EQ(opened.m_points.size(), k.afterOpen);
    }
    ExpectNear(QvPolyline({a, b, c, QvPoint(2, 3, 4)}).GetCentroid(), QvPoint(1, 1, 1), 0.0);
    ExpectNear(QvPolyline().GetCentroid(), QvPoint(0, 0, 0), 0.0);
}

// ---------------------------------------------------------------- corners

TEST(PolylineCorners, RightAngleOfAnOpenL)
{
    const QvPolyline line({QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(2, 0, 0), QvPoint(2, 1, 0), QvPoint(2, 2, 0)});
    std::vector<std::pair<std::int32_t, double>> corners;
    line.FindCorners(corners);
    ASSERT_EQ(corners.size(), 1u);
    EXPECT_EQ(corners[0].first, 2);
    EXPECT_NEAR(corners[0].second, 0.0, 1e-15);
}

// A closed, densely sampled rectangle: its four corners, and the closing copy of the first.
TEST(PolylineCorners, ClosedRectangleWrapsAround)
{
    std::vector<QvPoint> pts;
    const double h = 0.25;
    for (int i = 0; i < 16; ++i) pts.emplace_back(i * h, 0, 0);
    for (int i = 0; i < 8; ++i) pts.emplace_back(4, i * h, 0);
    for (int i = 0; i < 16; ++i) pts.emplace_back(4 - i * h, 2, 0);
    for (int i = 0; i < 8; ++i) pts.emplace_back(0, 2 - i * h, 0);
    pts.push_back(pts.front());
    std::vector<std::pair<std::int32_t, double>> corners;
    QvPolyline(pts).FindCorners(corners);
    std::vector<int> idx;
    for (const auto& c : corners)
    {
        idx.push_back(c.first);
        EXPECT_NEAR(c.second, 0.0, 1e-12);
    }
    EXPECT_EQ(idx, (std::vector<int>{0, 16, 24, 40, 48}));
}

// Closed lists shorter than the six-point window reach back past index 0 more than once.
TEST(PolylineCorners, ClosedListsShorterThanTheWindow)
{
    for (std::size_t n = 2; n <= 6; ++n)
    {
        std::vector<QvPoint> pts = qvtest::CirclePoints(static_cast<int>(n), 1.0);
        pts.push_back(pts.front());
        std::vector<std::pair<std::int32_t, double>> corners;
        QvPolyline(pts).FindCorners(corners);
        EXPECT_LE(corners.size(), pts.size());
        for (const auto& c : corners)
        {
            EXPECT_GE(c.first, 0);
            EXPECT_LT(c.first, static_cast<int>(pts.size()));
            EXPECT_LE(c.second, 1.0 + 1e-12);
        }
    }
    std::vector<std::pair<std::int32_t, double>> none;
    QvPolyline({QvPoint(1, 2, 3)}).FindCorners(none);
    QvPolyline().FindCorners(none);
    EXPECT_TRUE(none.empty());
}

// ---------------------------------------------------------------- smoothing

TEST(PolylineSmooth, GaussianWeightsOfSegmentLengths)
{
    QvPolyline line({QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(3, 0, 0)});
    line.Smooth(1);
    // Window lengths 0, 1, 2; sigma 1: weights e^-0.5, 1, e^-0.5.
    const double e = std::exp(-0.5);
    EXPECT_NEAR(line.m_points[1][0], (1.0 + 3.0 * e) / (1.0 + 2.0 * e), 1e-15);
    EXPECT_EQ(line.m_points[0][0], 0.0);
    EXPECT_EQ(line.m_points[2][0], 3.0);
}

TEST(PolylineSmooth, NothingHappensOutsideItsRange)
{
    const std::vector<QvPoint> three = {QvPoint(0, 0, 0), QvPoint(1, 1, 0), QvPoint(2, 0, 0)};
    const std::vector<QvPoint> seven = qvtest::RandomPointsInCube(7, 9);
    struct Case
    {
        const char* what;
        std::vector<QvPoint> pts;
        int a;
    } cases[] = {
        {"n < 2a", three, 2},
        {"n < 3", {QvPoint(0, 0, 0), QvPoint(1, 1, 0)}, 1},
        {"half-width 0", seven, 0},
        {"negative half-width", seven, -3},
        {"coincident points", std::vector<QvPoint>(6, QvPoint(1, 2, 3)), 2},
    };
    for (const Case& k : cases)
    {
        QvPolyline line(k.pts);
        line.Smooth(k.a);
        ExpectSamePoints(line.m_points, k.pts);
    }
}

TEST(PolylineSmooth, RepeatedPointsStayFinite)
{
    std::vector<QvPoint> pts = qvtest::CirclePoints(30, 5.0);
    pts.insert(pts.begin() + 10, 5, pts[10]); // six equal points: windows without spread
    QvPolyline line(pts);
    line.Smooth(3);
    for (const QvPoint& p : line.m_points)
    {
        EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
        EXPECT_NEAR(std::hypot(p[0], p[1]), 5.0, 1.0);
    }
}

// ---------------------------------------------------------------- self-intersection

TEST(PolylineSelfIntersection, Table)
{
    const QvPoint o(0, 0, 0), x(1, 0, 0), xy(1, 1, 0), y(0, 1, 0);
    struct Case
    {
        const char* what;
        std::vector<QvPoint> pts;
        bool crosses;
    } cases[] = {
        {"figure eight", {o, xy, x, y}, true},
        {"closed figure eight", {o, xy, x, y, o}, true},
        {"closed square", {o, x, xy, y, o}, false},
        {"open square", {o, x, xy, y}, false},
        {"three points", {o, xy, x}, false},
        {"spiral, no crossing", {o, QvPoint(3, 0, 0), QvPoint(3, 3, 0), QvPoint(1, 3, 0), QvPoint(1, 1, 0), QvPoint(2, 1, 0)}, false},
        {"spiral back over itself", {o, QvPoint(3, 0, 0), QvPoint(3, 3, 0), QvPoint(1, 3, 0), QvPoint(1, -1, 0)}, true},
        // Segments meet when their closest points lie within both, also when skew.
        {"skew in 3-D", {o, QvPoint(1, 1, 0), QvPoint(1, 0, 1), QvPoint(0, 1, 1)}, true},
        {"skew, apart along the segments", {o, QvPoint(1, 0, 0), QvPoint(5, 3, 1), QvPoint(5, 4, -1)}, false},
    };
    for (const Case& k : cases)
        EXPECT_EQ(QvPolyline(k.pts).IsSelfIntersecting(), k.crosses) << k.what;
}

// ---------------------------------------------------------------- convex hull

TEST(PolylineConvexHull, SmallAndStraightCases)
{
    std::vector<int> out;
    EXPECT_TRUE(QvPolyline({QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(2, 0, 0), QvPoint(2, 2, 0), QvPoint(0, 2, 0)})
                    .ConvexHull(out));
    EXPECT_EQ(out, (std::vector<int>{0, 2, 3, 4}));

    for (int n = 0; n <= 3; ++n)
    {
        std::vector<int> small;
        EXPECT_TRUE(QvPolyline(std::vector<QvPoint>(n, QvPoint(1, 1, 1))).ConvexHull(small));
        std::vector<int> expect(n);
        std::iota(expect.begin(), expect.end(), 0);
        EXPECT_EQ(small, expect);
    }

    // Appends to what the caller passes.
    std::vector<int> appended = {-7};
    EXPECT_TRUE(QvPolyline({QvPoint(0, 0, 0), QvPoint(1, 0.5, 0), QvPoint(2, 0, 0), QvPoint(1, 3, 0)}).ConvexHull(appended));
    EXPECT_EQ(appended, (std::vector<int>{-7, 0, 2, 3}));
}

TEST(PolylineConvexHull, NoStartingPointAppendsNothing)
{
    struct Case
    {
        const char* what;
        std::vector<QvPoint> pts;
    } cases[] = {
        {"coincident", std::vector<QvPoint>(5, QvPoint(3, 3, 3))},
        // 4000 samples turn by 0.09 degree each: the filter drops them all.
        {"dense circle", qvtest::CirclePoints(4000, 10.0)},
        {"beyond 1e10", {QvPoint(0, 2e10, 0), QvPoint(1, 3e10, 0), QvPoint(5, 2e10, 0), QvPoint(2, 5e10, 0)}},
    };
    for (const Case& k : cases)
    {
        std::vector<int> out;
        EXPECT_FALSE(QvPolyline(k.pts).ConvexHull(out)) << k.what;
        EXPECT_TRUE(out.empty()) << k.what;
    }
    std::vector<int> out;
    EXPECT_TRUE(QvPolyline(qvtest::CirclePoints(1000, 10.0)).ConvexHull(out)); // 0.36 degree each
    EXPECT_EQ(out.size(), 1000u);
}

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;

// Hull indices by CGAL over the points that turn by at least 0.1 degree in list order.
std::vector<int> OracleHull(const std::vector<QvPoint>& p)
{
    const std::size_t n = p.size();
    std::vector<Kernel::Point_2> kept;
    std::map<std::pair<double, double>, int> index;
    for (std::size_t i = 0; i < n; ++i)
    {
        QvVector u = p[i] - p[(i + n - 1) % n];
        QvVector v = p[(i + 1) % n] - p[i];
        u.Normalize();
        v.Normalize();
        if (u.Dot(v) > std::cos(0.1 * 3.14159265358979323846 / 180.0))
            continue;
        kept.emplace_back(p[i][0], p[i][1]);
        index[{p[i][0], p[i][1]}] = static_cast<int>(i);
    }
    std::vector<Kernel::Point_2> hull;
    CGAL::convex_hull_2(kept.begin(), kept.end(), std::back_inserter(hull));
    std::vector<int> out;
    for (const auto& h : hull)
        out.push_back(index.at({h.x(), h.y()}));
    std::sort(out.begin(), out.end());
    return out;
}

TEST(PolylineConvexHull, AgreesWithCgalOnRandomSets)
{
    for (std::uint64_t seed = 1; seed <= 40; ++seed)
    {
        const std::size_t n = 4 + (seed * 37) % 600;
        for (const double scale : {1e-3, 1.0, 1e3})
        {
            const std::vector<QvPoint> pts = qvtest::Scaled(qvtest::RandomPointsInCube(n, seed, -1, 1), scale);
            std::vector<int> out;
            ASSERT_TRUE(QvPolyline(pts).ConvexHull(out));
            EXPECT_EQ(out, OracleHull(pts)) << "seed " << seed << " scale " << scale;
        }
    }
}

// A hull corner on a nearly straight run of the list (a turn of 0.02 degree) is left out,
// and only that one; CGAL on all the points keeps it.
TEST(PolylineConvexHull, FilterDropsAStraightRunCorner)
{
    std::vector<QvPoint> pts = qvtest::RandomPointsInCube(50, 99, -1, 1);
    pts.push_back(QvPoint(10, -5, 0));
    pts.push_back(QvPoint(10.001, 0, 0));
    pts.push_back(QvPoint(10, 5, 0));
    std::vector<int> out;
    ASSERT_TRUE(QvPolyline(pts).ConvexHull(out));
    EXPECT_EQ(out, OracleHull(pts));
    EXPECT_TRUE(std::find(out.begin(), out.end(), 50) != out.end());
    EXPECT_TRUE(std::find(out.begin(), out.end(), 51) == out.end());
    EXPECT_TRUE(std::find(out.begin(), out.end(), 52) != out.end());

    std::vector<Kernel::Point_2> all, hull;
    for (const QvPoint& p : pts)
        all.emplace_back(p[0], p[1]);
    CGAL::convex_hull_2(all.begin(), all.end(), std::back_inserter(hull));
    EXPECT_TRUE(std::find(hull.begin(), hull.end(), Kernel::Point_2(10.001, 0)) != hull.end());
}

// ---------------------------------------------------------------- nearest-neighbour chains

TEST(PolylineNearestNeighbour, ChainOnALine)
{
    const QvPolyline line({QvPoint(0, 0, 0), QvPoint(3, 0, 0), QvPoint(1, 0, 0), QvPoint(2, 0, 0)});
    std::int32_t i = 9, j = 9;
    EXPECT_EQ(line.FindClosestPair(i, j), 1.0);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(j, 2);
    std::vector<int> out;
    EXPECT_TRUE(line.SortByNearestNeighbour(out));
    EXPECT_EQ(out, (std::vector<int>{0, 2, 3, 1}));

    std::vector<bool> visited = {true, false, true, false};
    EXPECT_EQ(line.FindNearestUnvisited(2, visited), 3);
    visited = {true, true, true, true};
    EXPECT_EQ(line.FindNearestUnvisited(2, visited), -1);
}

TEST(PolylineNearestNeighbour, NoChain)
{
    struct Case
    {
        const char* what;
        std::vector<QvPoint> pts;
    } cases[] = {
        {"empty", {}},
        {"one point", {QvPoint(1, 2, 3)}},
        {"pair farther than 1e10", {QvPoint(0, 0, 0), QvPoint(2e10, 0, 0)}},
        {"a point farther than 1e10 from both ends", {QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(5e10, 0, 0)}},
    };
    for (const Case& k : cases)
    {
        std::vector<int> out;
        EXPECT_FALSE(QvPolyline(k.pts).SortByNearestNeighbour(out)) << k.what;
        EXPECT_TRUE(out.empty()) << k.what;
    }
    std::int32_t i = 5, j = 5;
    EXPECT_EQ(QvPolyline({QvPoint(0, 0, 0)}).FindClosestPair(i, j), 1e10);
    EXPECT_EQ(i, -1);
    EXPECT_EQ(j, -1);
}

// On random sets the chain is a permutation that starts inside the closest pair and
// grows by nearest points: every step is no longer than any other choice at that end.
TEST(PolylineNearestNeighbour, RandomChainsArePermutations)
{
    for (std::uint64_t seed = 1; seed <= 5; ++seed)
    {
        const std::vector<QvPoint> pts = qvtest::RandomPointsInCube(40 * seed, seed);
        std::vector<int> out;
        ASSERT_TRUE(QvPolyline(pts).SortByNearestNeighbour(out));
        std::vector<int> sorted = out;
        std::sort(sorted.begin(), sorted.end());
        std::vector<int> all(pts.size());
        std::iota(all.begin(), all.end(), 0);
        EXPECT_EQ(sorted, all);
    }
}

TEST(PolylineReorder, Table)
{
    const QvPoint a(0, 0, 0), b(1, 0, 0), c(2, 0, 0), d(3, 0, 0);
    struct Case
    {
        const char* what;
        std::vector<QvPoint> in, out;
    } cases[] = {
        {"empty", {}, {}},
        {"closed pair of equal points", {a, a}, {a}},
        {"open", {a, d, b, c}, {a, b, c, d}},
        {"closed", {b, d, a, c, b}, {d, c, b, a, d}},
        {"unchainable closed list kept closed", {a, QvPoint(5e10, 0, 0), QvPoint(0, 5e10, 0), a},
         {a, QvPoint(5e10, 0, 0), QvPoint(0, 5e10, 0), a}},
    };
    for (const Case& k : cases)
    {
        QvPolyline line(k.in);
        line.ReorderByNearestNeighbour();
        ExpectSamePoints(line.m_points, k.out);
    }
}

// ---------------------------------------------------------------- orientation and areas

TEST(PolylineOrientation, ReversesClockwiseOnly)
{
    const std::vector<QvPoint> ccw = {QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(1, 1, 0), QvPoint(0, 1, 0)};
    std::vector<QvPoint> cw(ccw.rbegin(), ccw.rend());
    QvPolyline line(cw);
    line.MakeCounterClockwise();
    ExpectSamePoints(line.m_points, ccw);
    line.MakeCounterClockwise();
    ExpectSamePoints(line.m_points, ccw);
    QvPolyline straight(qvtest::CollinearPoints(4, QvPoint(0, 0, 0), QvPoint(3, -3, 0)));
    const std::vector<QvPoint> before = straight.m_points;
    straight.MakeCounterClockwise(); // no turn either way: a tie
    ExpectSamePoints(straight.m_points, before);
}

TEST(PolylineArea, ProjectionOntoTheYZPlane)
{
    for (const double s : {1e-3, 1.0, 1e3})
    {
        QvPolyline yz({QvPoint(5, 0, 0), QvPoint(5, s, 0), QvPoint(5, s, s), QvPoint(5, 0, s)});
        EXPECT_NEAR(yz.GetArea(), s * s, 1e-12 * s * s);
        QvPolyline closedYz({QvPoint(5, 0, 0), QvPoint(5, 0, s), QvPoint(5, s, s), QvPoint(5, s, 0), QvPoint(5, 0, 0)});
        EXPECT_NEAR(closedYz.GetArea(), s * s, 1e-12 * s * s);
        QvPolyline xy({QvPoint(0, 0, 0), QvPoint(s, 0, 0), QvPoint(s, s, 0), QvPoint(0, s, 0)});
        EXPECT_EQ(xy.GetArea(), 0.0);
    }
    EXPECT_EQ(QvPolyline().GetArea(), 0.0);
}

// The L-shaped hexagon of area 3, moved into a tilted plane.
std::vector<QvPoint> TiltedL(double scale)
{
    const double xy[6][2] = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
    const QvMatrix turn(QvVector(1, 2, -0.5), 0.7);
    std::vector<QvPoint> pts;
    for (const auto& q : xy)
        pts.push_back(turn * QvPoint(q[0] * scale, q[1] * scale, 0) + QvVector(3, -1, 2) * scale);
    return pts;
}

TEST(PlanarPolygon, AreaAndCentroidInTheirOwnPlane)
{
    const QvMatrix turn(QvVector(1, 2, -0.5), 0.7);
    for (const double s : {1e-3, 1.0, 1e3})
    {
        const std::vector<QvPoint> l = TiltedL(s);
        EXPECT_NEAR(GetPlanarPolygonArea(l), 3.0 * s * s, 1e-12 * s * s);
        const QvPoint expect = turn * QvPoint(2.5 / 3.0 * s, 2.5 / 3.0 * s, 0) + QvVector(3, -1, 2) * s;
        ExpectNear(GetPlanarPolygonCentroid(l), expect, 1e-12 * s);
        std::vector<QvPoint> reversed(l.rbegin(), l.rend());
        EXPECT_NEAR(GetPlanarPolygonArea(reversed), 3.0 * s * s, 1e-12 * s * s);
    }
    // The first fan triangles are degenerate: the normal comes from a later one.
    const std::vector<QvPoint> startsStraight = {QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(2, 0, 0),
                                                 QvPoint(2, 2, 0), QvPoint(0, 2, 0)};
    EXPECT_NEAR(GetPlanarPolygonArea(startsStraight), 4.0, 1e-12);
    ExpectNear(GetPlanarPolygonCentroid(startsStraight), QvPoint(1, 1, 0), 1e-12);
}

TEST(PlanarPolygon, NoAreaGivesTheMeanPoint)
{
    EXPECT_EQ(GetPlanarPolygonArea({QvPoint(0, 0, 0), QvPoint(1, 1, 1)}), 0.0);
    EXPECT_EQ(GetPlanarPolygonArea(qvtest::CollinearPoints(5, QvPoint(0, 0, 0), QvPoint(4, 4, 0))), 0.0);
    ExpectNear(GetPlanarPolygonCentroid(qvtest::CollinearPoints(5, QvPoint(0, 0, 0), QvPoint(4, 4, 0))),
               QvPoint(2, 2, 0), 1e-12);
    ExpectNear(GetPlanarPolygonCentroid({QvPoint(0, 0, 0), QvPoint(2, 4, 6)}), QvPoint(1, 2, 3), 0.0);
    ExpectNear(GetPlanarPolygonCentroid({}), QvPoint(0, 0, 0), 0.0);
}

// ---------------------------------------------------------------- flattening

TEST(Flatten, RightTriangle)
{
    std::vector<QvPoint> out;
    const QvMatrix m = FlattenPointsToPlane({QvPoint(1, 1, 1), QvPoint(2, 1, 1), QvPoint(1, 2, 1)}, out);
    ASSERT_EQ(out.size(), 3u);
    ExpectNear(out[0], QvPoint(0, 0, 0), 1e-12);
    ExpectNear(out[1], QvPoint(1, 0, 0), 1e-12);
    ExpectNear(out[2], QvPoint(0, 1, 0), 1e-12);
    ExpectNear(m * QvPoint(0, 0, 0), QvPoint(1, 1, 1), 1e-12);
}

// Flat points keep their distances, lie in z = 0, and the matrix carries them back.
TEST(Flatten, RoundTripForEveryCount)
{
    for (const double s : {1e-3, 1.0, 1e3})
    {
        const std::vector<QvPoint> l = TiltedL(s);
        for (std::size_t n = 0; n <= l.size(); ++n)
        {
            const std::vector<QvPoint> in(l.begin(), l.begin() + static_cast<std::ptrdiff_t>(n));
            std::vector<QvPoint> out(17, QvPoint(9, 9, 9));
            const QvMatrix m = FlattenPointsToPlane(in, out);
            ASSERT_EQ(out.size(), n);
            ASSERT_EQ(m.Rows(), 4);
            ASSERT_EQ(m.Cols(), 4);
            if (n == 0)
            {
                EXPECT_TRUE(m.IsIdentity());
            }
            for (std::size_t i = 0; i < n; ++i)
            {
                EXPECT_NEAR(out[i][2], 0.0, 1e-12 * s);
                ExpectNear(m * out[i], in[i], 1e-12 * s);
                EXPECT_NEAR(out[i].Distance(out[0]), in[i].Distance(in[0]), 1e-12 * s);
            }
            if (n >= 2)
            {
                EXPECT_NEAR(out[1][0], in[1].Distance(in[0]), 1e-12 * s);
                EXPECT_NEAR(out[1][1], 0.0, 1e-12 * s);
            }
        }
    }
}

} // namespace
