// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvKDTree.h"

#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

QvKDTreeNode::~QvKDTreeNode()
{
    delete m_pLeft;
    delete m_pRight;
}

QvKDTree::QvKDTree(const std::vector<QvPoint>& points) : m_points(points)
{
    m_pRoot = new QvKDTreeNode;
    // Every node is linked to its parent before it is built, so the root frees all of
    // them when memory runs out part way.
    try
    {
        m_pRoot->m_indices.resize(m_points.size());
        std::iota(m_pRoot->m_indices.begin(), m_pRoot->m_indices.end(), 0);
        m_pRoot->m_box.SetFromPoints(m_points);
        Build(m_pRoot);
    }
    catch (...)
    {
        delete m_pRoot;
        throw;
    }
}

QvKDTree::~QvKDTree() { delete m_pRoot; }

void QvKDTree::Build(QvKDTreeNode* node)
{
    if (static_cast<std::int64_t>(node->m_indices.size()) < m_nLeafThreshold)
        return;
    std::vector<int> left;
    std::vector<int> right;
    if (!Partition(node, left, right))
        return;
    QvBBox lower;
    QvBBox upper;
    if (!node->m_box.Split(node->m_nAxis, node->m_dSplitValue, lower, upper))
    {
        // The centre rounded onto the box's upper face (an extent of one ulp):
        // the points cannot be told apart any further, so the node stays a leaf.
        node->m_nAxis = -1;
        node->m_dSplitValue = 0.0;
        return;
    }
    node->m_pLeft = new QvKDTreeNode;
    node->m_pLeft->m_box = lower;
    node->m_pLeft->m_indices = std::move(left);
    node->m_pRight = new QvKDTreeNode;
    node->m_pRight->m_box = upper;
    node->m_pRight->m_indices = std::move(right);
    Build(node->m_pLeft);
    Build(node->m_pRight);
}

bool QvKDTree::Partition(QvKDTreeNode* node, std::vector<int>& left, std::vector<int>& right) const
{
    const int axis = node->m_box.GetLongestAxis();
    const double split = node->m_box.GetCentre()[axis];
    for (int i : node->m_indices)
    {
        if (split > m_points[i][axis])
            left.push_back(i);
        else
            right.push_back(i);
    }
    if (left.empty() || right.empty())
    {
        left.clear();
        right.clear();
        return false;
    }
    node->m_nAxis = axis;
    node->m_dSplitValue = split;
    return true;
}

void QvKDTree::ResetSearch(QvKDTreeSearch& search)
{
    search.m_offsets[0] = 0.0;
    search.m_offsets[1] = 0.0;
    search.m_offsets[2] = 0.0;
    search.m_dBestSquaredDistance = std::numeric_limits<double>::infinity();
    search.m_nBestIndex = -1;
}

double QvKDTree::FindNearest(const QvPoint& query, QvPoint& nearest, int& index) const
{
    QvKDTreeSearch search;
    ResetSearch(search);
    // The offsets must describe the same cell as rd: for a query outside the root
    // box, zero offsets would overstate the distance to the far cells and prune the
    // one that holds the answer.
    const QvBBox& box = m_pRoot->m_box;
    for (int a = 0; a < 3; ++a)
    {
        if (query[a] < box.m_minPoint[a])
            search.m_offsets[a] = box.m_minPoint[a] - query[a];
        else if (query[a] > box.m_maxPoint[a])
            search.m_offsets[a] = query[a] - box.m_maxPoint[a];
    }
    SearchNode(m_pRoot, query, box.SquaredDistance(query), search);
    index = search.m_nBestIndex;
    if (index < 0)
        return std::numeric_limits<double>::infinity();
    nearest = m_points[index];
    return query.Distance(nearest);
}

void QvKDTree::SearchNode(const QvKDTreeNode* node, const QvPoint& q, double rd, QvKDTreeSearch& search) const
{
    if (node->IsLeaf())
    {
        for (int i : node->m_indices)
        {
            const double d = q.SquaredDistance(m_points[i]);
            if (d < search.m_dBestSquaredDistance)
            {
                search.m_dBestSquaredDistance = d;
                search.m_nBestIndex = i;
            }
        }
        return;
    }
    const int a = node->m_nAxis;
    const double old = search.m_offsets[a];
    const double diff = q[a] - node->m_dSplitValue;
    const QvKDTreeNode* nearChild = diff < 0.0 ? node->m_pLeft : node->m_pRight;
    const QvKDTreeNode* farChild = diff < 0.0 ? node->m_pRight : node->m_pLeft;
    SearchNode(nearChild, q, rd, search);
    const double farRd = rd - old * old + diff * diff;
    if (farRd < search.m_dBestSquaredDistance)
    {
        search.m_offsets[a] = diff;
        SearchNode(farChild, q, farRd, search);
        search.m_offsets[a] = old;
    }
}
