// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "core/geometry/QvKDTree.h"
#include "testing/PointSets.h"

namespace {

struct Answer
{
    int index = -1;
    double distance = 0.0;
};

// First point of least squared distance, in list order.
Answer BruteForce(const std::vector<QvPoint>& points, const QvPoint& q)
{
    Answer best;
    double bestSq = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < points.size(); ++i)
    {
        const double d = q.SquaredDistance(points[i]);
        if (d < bestSq)
        {
            bestSq = d;
            best.index = static_cast<int>(i);
        }
    }
    best.distance = std::sqrt(bestSq);
    return best;
}

Answer Query(const QvKDTree& tree, const QvPoint& q)
{
    Answer a;
    QvPoint nearest;
    a.distance = tree.FindNearest(q, nearest, a.index);
    return a;
}

// Invariants of every node: children split the parent's list at the split value
// and the parent's cell at that value; leaves are small unless they cannot be split.
void CheckNode(const QvKDTree& tree, const QvKDTreeNode* node, const std::string& where)
{
    SCOPED_TRACE(where);
    const std::vector<QvPoint>& pts = tree.GetPoints();
    for (int i : node->m_indices)
        ASSERT_EQ(node->m_box.SquaredDistance(pts[i]), 0.0) << "point " << i << " outside its cell";
    if (node->IsLeaf())
    {
        EXPECT_EQ(node->m_nAxis, -1);
        EXPECT_EQ(node->m_dSplitValue, 0.0);
        // A big leaf is one whose cell's centre split leaves one side empty.
        if (node->m_indices.size() >= 5)
        {
            const int a = node->m_box.GetLongestAxis();
            const double split = node->m_box.GetCentre()[a];
            const bool firstLeft = pts[node->m_indices[0]][a] < split;
            for (int i : node->m_indices)
                EXPECT_EQ(pts[i][a] < split, firstLeft) << "a separable leaf of " << node->m_indices.size();
        }
        return;
    }
    ASSERT_NE(node->m_pLeft, nullptr);
    ASSERT_NE(node->m_pRight, nullptr);
    const int a = node->m_nAxis;
    ASSERT_GE(a, 0);
    ASSERT_LE(a, 2);
    EXPECT_EQ(a, node->m_box.GetLongestAxis());
    EXPECT_EQ(node->m_dSplitValue, node->m_box.GetCentre()[a]);
    std::vector<int> merged;
    for (int i : node->m_pLeft->m_indices)
    {
        EXPECT_LT(pts[i][a], node->m_dSplitValue);
        merged.push_back(i);
    }
    for (int i : node->m_pRight->m_indices)
    {
        EXPECT_GE(pts[i][a], node->m_dSplitValue);
        merged.push_back(i);
    }
    std::vector<int> parent = node->m_indices;
    std::sort(parent.begin(), parent.end());
    std::sort(merged.begin(), merged.end());
    EXPECT_EQ(parent, merged);
    EXPECT_EQ(node->m_pLeft->m_box.m_maxPoint[a], node->m_dSplitValue);
    EXPECT_EQ(node->m_pRight->m_box.m_minPoint[a], node->m_dSplitValue);
    CheckNode(tree, node->m_pLeft, where + "L");
    CheckNode(tree, node->m_pRight, where + "R");
}

std::vector<QvPoint> XRow(int n)
{
    std::vector<QvPoint> pts;
    for (int i = 0; i < n; ++i)
        pts.emplace_back(i, 0, 0);
    return pts;
}

TEST(KDTreeBuild, FiveInARowSplitsAtTheCentre)
{
    const QvKDTree tree(XRow(5));
    const QvKDTreeNode* root = tree.GetRoot();
    ASSERT_FALSE(root->IsLeaf());
    EXPECT_EQ(root->m_nAxis, 0);
    EXPECT_EQ(root->m_dSplitValue, 2.0);
    EXPECT_EQ(root->m_indices, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(root->m_pLeft->m_indices, (std::vector<int>{0, 1}));
    EXPECT_EQ(root->m_pRight->m_indices, (std::vector<int>{2, 3, 4}));
    EXPECT_TRUE(root->m_pLeft->IsLeaf());
    EXPECT_TRUE(root->m_pRight->IsLeaf());
    CheckNode(tree, root, "root");
}

TEST(KDTreeBuild, BigLeavesOnlyWhereTheCentreSplitIsOneSided)
{
    // Coincident points cannot be split: all go right, so the node stays a leaf.
    const QvKDTree coincident(std::vector<QvPoint>(5, QvPoint(1, 2, 3)));
    EXPECT_TRUE(coincident.GetRoot()->IsLeaf());
    EXPECT_EQ(coincident.GetRoot()->m_nAxis, -1);
    EXPECT_EQ(coincident.GetRoot()->m_indices.size(), 5u);

    const QvKDTree four(XRow(4));
    EXPECT_TRUE(four.GetRoot()->IsLeaf());

    // Duplicates among separable points: the invariants hold down to the leaves.
    std::vector<QvPoint> dups = qvtest::GridPoints(6, 5, 4, 0.5);
    const std::vector<QvPoint> again = dups;
    dups.insert(dups.end(), again.begin(), again.end());
    dups.insert(dups.end(), 7, QvPoint(1, 1, 1));
    const QvKDTree dupTree(dups);
    CheckNode(dupTree, dupTree.GetRoot(), "root");

    const QvKDTree cube(qvtest::RandomPointsInCube(3000, 11));
    CheckNode(cube, cube.GetRoot(), "root");
}

TEST(KDTreeFindNearest, SmallCases)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        const char* name;
        std::vector<QvPoint> points;
        QvPoint query;
        int index;
        double distance;
    } cases[] = {
        {"between cells", XRow(5), {2.4, 0, 0}, 2, 0.4},
        {"five coincident", std::vector<QvPoint>(5, QvPoint(1, 1, 1)), {1, 1, 2}, 0, 1.0},
        {"four in one leaf, nearest last", {{5, 0, 0}, {0, 5, 0}, {0, 0, 5}, {1, 1, 1}}, {1, 1, 0}, 3, 1.0},
        // 1e5 away: the squared distance exceeds any finite start value of 1e10.
        {"far query", XRow(5), {-2e5, 0, 0}, 0, 2e5},
        {"far query beyond the far corner", XRow(5), {4, 3e5, 4e5}, 4, 5e5},
        {"tie inside a leaf: first in the list", {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}}, {0, 0, 0}, 0, 1.0},
        {"tie across the split: the near cell first", XRow(5), {1.5, 0, 0}, 1, 0.5},
        {"tie across the split, query on the right", XRow(5), {2.5, 0, 0}, 2, 0.5},
        {"query on the split value", XRow(5), {2, 7, 0}, 2, 7.0},
        {"empty", {}, {0, 0, 0}, -1, inf},
        {"NaN query", XRow(5), {std::nan(""), 0, 0}, -1, inf},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const QvKDTree tree(c.points);
        const QvPoint untouched(-7, -7, -7);
        QvPoint nearest = untouched;
        int index = 12345;
        const double d = tree.FindNearest(c.query, nearest, index);
        EXPECT_EQ(index, c.index);
        EXPECT_DOUBLE_EQ(d, c.distance);
        if (c.index >= 0)
            EXPECT_TRUE(nearest == c.points[c.index]);
        else
            EXPECT_TRUE(nearest == untouched);
    }
}

// Queries fill a box three times the size of the points' box, so most lie outside
// the root cell (where a search that forgets the offset to the root box goes wrong).
std::vector<QvPoint> WideQueries(std::size_t n, std::uint64_t seed, double scale)
{
    return qvtest::Scaled(qvtest::RandomPointsInCube(n, seed, -3.0, 3.0), scale);
}

TEST(KDTreeFindNearest, EqualsBruteForceOnTenThousandPoints)
{
    const std::vector<QvPoint> points = qvtest::RandomPointsInCube(10000, 1);
    const std::vector<QvPoint> queries = WideQueries(10000, 2, 1.0);
    const QvKDTree tree(points);
    int outside = 0;
    for (std::size_t k = 0; k < queries.size(); ++k)
    {
        const QvPoint& q = queries[k];
        outside += tree.GetRoot()->m_box.SquaredDistance(q) > 0.0;
        const Answer want = BruteForce(points, q);
        const Answer got = Query(tree, q);
        ASSERT_EQ(got.index, want.index) << "query " << k;
        ASSERT_EQ(got.distance, want.distance) << "query " << k;
    }
    EXPECT_GT(outside, 9000);
}

TEST(KDTreeFindNearest, EqualsBruteForceOnStructuredSets)
{
    struct Fixture
    {
        const char* name;
        std::vector<QvPoint> points;
        double scale;
    };
    std::vector<QvPoint> grid = qvtest::GridPoints(12, 12, 12, 1.0 / 6.0);
    const std::vector<QvPoint> repeated(grid.begin(), grid.begin() + 500);
    grid.insert(grid.end(), repeated.begin(), repeated.end());
    // Every halving of the cell peels off one point: a tree 600 levels deep.
    std::vector<QvPoint> geometric;
    for (int k = 0; k < 600; ++k)
        geometric.emplace_back(std::ldexp(1.0, -k), 0.0, 0.0);
    const Fixture fixtures[] = {
        {"sphere", qvtest::RandomPointsOnSphere(3000, 3, QvPoint(0.2, -0.1, 0.3), 1.0), 1.0},
        {"cube 1e-3", qvtest::Scaled(qvtest::RandomPointsInCube(3000, 4), 1e-3), 1e-3},
        {"cube 1e3", qvtest::Scaled(qvtest::RandomPointsInCube(3000, 5), 1e3), 1e3},
        {"flat slab", qvtest::GridPoints(40, 40, 1, 0.05), 1.0},
        {"circle", qvtest::CirclePoints(2000, 1.0), 1.0},
        {"grid with duplicates", grid, 1.0},
        {"geometric", geometric, 1.0},
    };

    for (const Fixture& f : fixtures)
    {
        SCOPED_TRACE(f.name);
        const QvKDTree tree(f.points);
        CheckNode(tree, tree.GetRoot(), "root");
        std::vector<QvPoint> queries = WideQueries(3000, 6, f.scale);
        // Grid nodes and cell centres: exact ties between several points.
        for (const QvPoint& p : qvtest::GridPoints(5, 5, 5, 0.25 * f.scale, QvPoint(-0.5, -0.5, -0.5) * f.scale))
            queries.push_back(p);
        for (std::size_t k = 0; k < queries.size(); ++k)
        {
            const Answer want = BruteForce(f.points, queries[k]);
            const Answer got = Query(tree, queries[k]);
            ASSERT_GE(got.index, 0) << "query " << k;
            // Among tied points the tree may meet another one first.
            ASSERT_EQ(got.distance, want.distance) << "query " << k;
            ASSERT_EQ(queries[k].Distance(f.points[got.index]), want.distance) << "query " << k;
        }
    }
}

TEST(KDTreeFindNearest, ConcurrentQueriesMatchSerialOnes)
{
    const std::vector<QvPoint> points = qvtest::RandomPointsOnSphere(10000, 7, QvPoint(), 10.0);
    const std::vector<QvPoint> queries = WideQueries(5000, 8, 10.0);
    const QvKDTree tree(points);
    std::vector<Answer> serial;
    for (const QvPoint& q : queries)
        serial.push_back(Query(tree, q));

    const int threadCount = 8;
    std::vector<std::vector<Answer>> results(threadCount, std::vector<Answer>(queries.size()));
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t)
    {
        // Every thread answers every query, each starting at a different place,
        // so that different searches overlap in time.
        threads.emplace_back([&, t] {
            const std::size_t n = queries.size();
            for (std::size_t k = 0; k < n; ++k)
            {
                const std::size_t i = (k + t * n / threadCount) % n;
                results[t][i] = Query(tree, queries[i]);
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    for (int t = 0; t < threadCount; ++t)
    {
        for (std::size_t i = 0; i < queries.size(); ++i)
        {
            ASSERT_EQ(results[t][i].index, serial[i].index) << "thread " << t << " query " << i;
            ASSERT_EQ(results[t][i].distance, serial[i].distance) << "thread " << t << " query " << i;
        }
    }
}

} // namespace
