// SPDX-License-Identifier: GPL-3.0-or-later
// Nearest-point queries on a fixed point set.
#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry/QvBBox.h"
#include "core/geometry/QvPoint.h"

class QvKDTreeNode
{
public:
    QvKDTreeNode() = default;
    QvKDTreeNode(const QvKDTreeNode&) = delete;
    QvKDTreeNode& operator=(const QvKDTreeNode&) = delete;
    ~QvKDTreeNode();

    bool IsLeaf() const { return m_pLeft == nullptr && m_pRight == nullptr; }

    QvBBox m_box;
    // -1 and 0 while the node was never split.
    std::int32_t m_nAxis = -1;
    double m_dSplitValue = 0.0;
    // Kept in inner nodes too.
    std::vector<int> m_indices;
    QvKDTreeNode* m_pLeft = nullptr;
    QvKDTreeNode* m_pRight = nullptr;
};

// State of one query. Each call owns its own, so any number of queries may run
// at once on one tree, on any threads.
struct QvKDTreeSearch
{
    double m_offsets[3];
    double m_dBestSquaredDistance;
    std::int32_t m_nBestIndex;
};

class QvKDTree
{
public:
    explicit QvKDTree(const std::vector<QvPoint>& points);
    QvKDTree(const QvKDTree&) = delete;
    QvKDTree& operator=(const QvKDTree&) = delete;
    ~QvKDTree();

    // Distance from the query to the nearest stored point, which goes to nearest and
    // its position in the list to index; of equally near points the first met wins.
    // A tree without points (or a query with a NaN coordinate) has no answer: index
    // is -1, nearest is untouched and the result is +infinity.
    double FindNearest(const QvPoint& query, QvPoint& nearest, int& index) const;

    // Start values: offsets 0, no best point, best distance +infinity.
    static void ResetSearch(QvKDTreeSearch& search);

    void Build(QvKDTreeNode* node);
    // False, with the node untouched, when the centre split leaves one side empty.
    [[nodiscard]] bool Partition(QvKDTreeNode* node, std::vector<int>& left, std::vector<int>& right) const;
    // rd: squared distance from q to the node's cell, made of search.m_offsets.
    void SearchNode(const QvKDTreeNode* node, const QvPoint& q, double rd, QvKDTreeSearch& search) const;

    const std::vector<QvPoint>& GetPoints() const { return m_points; }
    const QvKDTreeNode* GetRoot() const { return m_pRoot; }

private:
    std::vector<QvPoint> m_points;
    QvKDTreeNode* m_pRoot = nullptr;
    std::int32_t m_nLeafThreshold = 5;
};
