// SPDX-License-Identifier: GPL-3.0-or-later
// The fourth and fifth stages of detection: pairing the patches and measuring the depth.
#include "core/collision/QvPatchPair.h"

#include <algorithm>
#include <iterator>

#include "core/collision/QvCollisionDetecter.h"
#include "core/geometry/QvKDTree.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvToothBase.h"
#include "core/scheme/QvGapInfo.h"

namespace {

bool ShareRegion(const QvContactPatch& a, const QvContactPatch& b)
{
    // Both lists are ascending.
    auto i = a.m_regions.begin();
    auto j = b.m_regions.begin();
    while (i != a.m_regions.end() && j != b.m_regions.end())
    {
        if (*i == *j)
            return true;
        if (*i < *j)
            ++i;
        else
            ++j;
    }
    return false;
}

QvPoint Midpoint(const QvPoint& p, const QvPoint& q)
{
    return QvPoint((p[0] + q[0]) / 2.0, (p[1] + q[1]) / 2.0, (p[2] + q[2]) / 2.0);
}

} // namespace

void QvCollisionDetecter::SplitPatchesBySide(std::vector<int>& onA, std::vector<int>& onB) const
{
    onA.clear();
    onB.clear();
    QvMesh* meshA = m_pTreeA ? m_pTreeA->GetMesh() : nullptr;
    QvMesh* meshB = m_pTreeB ? m_pTreeB->GetMesh() : nullptr;
    for (std::size_t i = 0; i < m_patches.size(); ++i)
    {
        const QvContactPatch* patch = m_patches[i].get();
        if (!patch)
            continue;
        if (patch->m_pMesh == meshA)
            onA.push_back(static_cast<int>(i));
        else if (patch->m_pMesh == meshB)
            onB.push_back(static_cast<int>(i));
    }
}

void QvCollisionDetecter::MergePatch(QvContactPatch* into, QvContactPatch* from)
{
    if (!into || !from || into == from)
        return;
    into->m_faces.insert(into->m_faces.end(), from->m_faces.begin(), from->m_faces.end());

    std::vector<int> regions;
    std::set_union(into->m_regions.begin(), into->m_regions.end(), from->m_regions.begin(), from->m_regions.end(),
                   std::back_inserter(regions));
    regions.erase(std::unique(regions.begin(), regions.end()), regions.end());
    into->m_regions = std::move(regions);

    // Records of one tree lie in face order, so their addresses order like face indices.
    std::vector<QvOBBFace*> boundary = into->m_boundaryFaces;
    boundary.insert(boundary.end(), from->m_boundaryFaces.begin(), from->m_boundaryFaces.end());
    std::sort(boundary.begin(), boundary.end());
    boundary.erase(std::unique(boundary.begin(), boundary.end()), boundary.end());
    into->m_boundaryFaces = std::move(boundary);
}

void QvCollisionDetecter::MergeSharedPatches(const std::vector<int>& side, std::vector<bool>& removed)
{
    for (std::size_t k = 0; k + 1 < side.size(); ++k)
    {
        const auto i = static_cast<std::size_t>(side[k]);
        QvContactPatch* into = m_patches[i].get();
        if (removed[i] || !into)
            continue;
        // Later patches are compared even when already marked: i's regions grow with
        // every merge, so a later patch can match through a region i just took over.
        for (std::size_t l = k + 1; l < side.size(); ++l)
        {
            const auto j = static_cast<std::size_t>(side[l]);
            QvContactPatch* from = m_patches[j].get();
            if (!from || !ShareRegion(*into, *from))
                continue;
            MergePatch(into, from);
            removed[j] = true;
        }
    }
}

std::multimap<int, int> QvCollisionDetecter::PairSharedPatches(const std::vector<int>& first,
                                                               const std::vector<int>& second) const
{
    std::multimap<int, int> shared;
    for (std::size_t i = 0; i < first.size(); ++i)
    {
        const QvContactPatch* a = m_patches[static_cast<std::size_t>(first[i])].get();
        if (!a)
            continue;
        for (std::size_t j = 0; j < second.size(); ++j)
        {
            const QvContactPatch* b = m_patches[static_cast<std::size_t>(second[j])].get();
            if (b && ShareRegion(*a, *b))
                shared.emplace(static_cast<int>(i), static_cast<int>(j));
        }
    }
    return shared;
}

void QvCollisionDetecter::PairPatches()
{
    m_pairs.clear();
    if (m_patches.size() < 2)
        return;

    std::vector<int> onA;
    std::vector<int> onB;
    SplitPatchesBySide(onA, onB);
    if (!onA.empty() && !onB.empty())
    {
        std::vector<bool> removed(m_patches.size(), false);
        MergeSharedPatches(onA, removed);
        MergeSharedPatches(onB, removed);
        for (std::size_t i = m_patches.size(); i-- > 0;)
            if (removed[i])
                m_patches.erase(m_patches.begin() + static_cast<std::ptrdiff_t>(i));
    }

    SplitPatchesBySide(onA, onB);
    if (onA.empty() || onB.empty())
        return;
    // Group by the side with fewer patches; the other side's patches of a group are
    // merged into the group's first.
    const bool byB = onB.size() < onA.size();
    const std::vector<int>& keys = byB ? onB : onA;
    const std::vector<int>& values = byB ? onA : onB;
    std::map<int, std::set<int>> groups;
    for (const auto& [k, v] : PairSharedPatches(keys, values))
        groups[k].insert(v);
    for (const auto& [k, members] : groups)
    {
        if (members.empty())
            continue;
        QvContactPatch* keyPatch = m_patches[static_cast<std::size_t>(keys[static_cast<std::size_t>(k)])].get();
        QvContactPatch* head =
            m_patches[static_cast<std::size_t>(values[static_cast<std::size_t>(*members.begin())])].get();
        for (auto it = std::next(members.begin()); it != members.end(); ++it)
            MergePatch(head, m_patches[static_cast<std::size_t>(values[static_cast<std::size_t>(*it)])].get());
        m_pairs.push_back(byB ? QvPatchPair{head, keyPatch} : QvPatchPair{keyPatch, head});
    }
}

void QvCollisionDetecter::SamplePatch(QvContactPatch* patch, const QvMatrix& m, std::vector<QvPatchVertex>& vertices,
                                      std::vector<QvPoint>& points)
{
    vertices.clear();
    points.clear();
    if (!patch || !patch->m_pMesh)
        return;
    QvOBBTree* tree = nullptr;
    if (m_pTreeA && m_pTreeA->GetMesh() == patch->m_pMesh)
        tree = m_pTreeA;
    else if (m_pTreeB && m_pTreeB->GetMesh() == patch->m_pMesh)
        tree = m_pTreeB;
    QvOBBTree::Affine placement{};
    if (!tree || !tree->IsCurrent() || !QvOBBTree::ToAffine(m, placement))
        return;
    QvMesh& mesh = *patch->m_pMesh;

    std::set<int> corners;
    for (const QvOBBFace* f : patch->m_faces)
        corners.insert(std::begin(f->m_corners), std::end(f->m_corners));
    for (const int v : corners)
        vertices.push_back(
            QvPatchVertex{placement.Apply(tree->GetPosition(v)), &mesh.m_vertices[static_cast<std::size_t>(v)]});

    std::set<int> faceSet;
    for (const QvOBBFace* f : patch->m_faces)
        faceSet.insert(f->m_nIndex);
    for (const QvOBBFace* f : patch->m_boundaryFaces)
        faceSet.insert(f->m_nIndex);
    for (const int f : faceSet)
        tree->GetFace(f)->m_marks[0] = false;

    // Centroids, and every side once: between two faces of the set it is recorded by
    // the first one met, towards a face outside only while that face is unvisited.
    std::vector<int> edges;
    for (const int f : faceSet)
    {
        QvOBBFace* record = tree->GetFace(f);
        QvPoint centroid;
        for (const int c : record->m_corners)
            centroid += placement.Apply(tree->GetPosition(c));
        points.push_back(centroid / 3.0);
        for (int k = 0; k < 3; ++k)
        {
            const int e = mesh.FindEdge(record->m_corners[k], record->m_corners[(k + 1) % 3]);
            if (e < 0 || mesh.m_edges[static_cast<std::size_t>(e)].IsBoundary())
                continue;
            const QvOBBFace* next = tree->GetFace(mesh.m_edges[static_cast<std::size_t>(e)].GetOtherFace(f));
            if (next && !next->m_marks[0])
                edges.push_back(e);
        }
        record->m_marks[0] = true;
    }
    for (const int e : edges)
    {
        const QvEdge& edge = mesh.m_edges[static_cast<std::size_t>(e)];
        const QvPoint& p = tree->GetPosition(edge.m_vertices[0]);
        const QvPoint& q = tree->GetPosition(edge.m_vertices[1]);
        points.push_back(placement.Apply(p + (q - p) / 3.0));
        points.push_back(placement.Apply(p + (q - p) * 2.0 / 3.0));
    }
    for (const QvPatchVertex& v : vertices)
        points.push_back(v.m_point);
}

void QvCollisionDetecter::MeasurePenetration()
{
    if (!m_pTreeA || !m_pTreeB || !m_pTreeA->GetMesh() || !m_pTreeB->GetMesh())
        return;
    QvMesh* meshA = m_pTreeA->GetMesh();
    QvMesh* meshB = m_pTreeB->GetMesh();

    double depth = 0.0;
    QvPoint deepest(0.0, 0.0, 0.0);
    std::vector<QvOBBFace*> facesA;
    std::vector<QvOBBFace*> facesB;
    QvGapInfo::ContactMap depthsA;
    QvGapInfo::ContactMap depthsB;

    std::vector<QvPatchVertex> verticesA;
    std::vector<QvPatchVertex> verticesB;
    std::vector<QvPoint> samplesA;
    std::vector<QvPoint> samplesB;
    // The largest distance from a vertex to the nearest of the samples; the point
    // halfway between them.
    const auto farthest = [](const std::vector<QvPatchVertex>& from, const std::vector<QvPoint>& samples,
                             QvGapInfo::ContactMap& depths, QvPoint& at) {
        double largest = 0.0;
        const QvKDTree kd(samples);
        for (const QvPatchVertex& v : from)
        {
            QvPoint nearest;
            int index = -1;
            const double d = kd.FindNearest(v.m_point, nearest, index);
            if (index < 0)
                continue;
            depths[v.m_pVertex] = d;
            if (d > largest)
            {
                largest = d;
                at = Midpoint(v.m_point, nearest);
            }
        }
        return largest;
    };

    for (const QvPatchPair& pair : m_pairs)
    {
        if (!pair.m_pA || !pair.m_pB)
            continue;
        QvContactPatch* a = pair.m_pA->m_pMesh == meshA ? pair.m_pA : pair.m_pB;
        QvContactPatch* b = a == pair.m_pA ? pair.m_pB : pair.m_pA;
        SamplePatch(a, m_pTreeA->GetPlacement(), verticesA, samplesA);
        SamplePatch(b, m_pTreeB->GetPlacement(), verticesB, samplesB);

        QvPoint pointA;
        QvPoint pointB;
        const double maxB = farthest(verticesB, samplesA, depthsB, pointB);
        const double maxA = farthest(verticesA, samplesB, depthsA, pointA);
        const double pairDepth = std::max(maxA, maxB);
        if (pairDepth > depth)
        {
            depth = pairDepth;
            deepest = maxB < maxA ? pointA : pointB;
        }
        facesA.insert(facesA.end(), a->m_faces.begin(), a->m_faces.end());
        facesB.insert(facesB.end(), b->m_faces.begin(), b->m_faces.end());
    }

    // The contour lies at depth 0.
    if (!depthsA.empty() && !depthsB.empty())
    {
        for (const auto& entry : m_faceRegionA)
        {
            QvOBBFace* record = m_pTreeA->GetFace(entry.first);
            facesA.push_back(record);
            for (const int c : record->m_corners)
                depthsA[&meshA->m_vertices[static_cast<std::size_t>(c)]] = 0.0;
        }
        for (const auto& entry : m_faceRegionB)
        {
            QvOBBFace* record = m_pTreeB->GetFace(entry.first);
            facesB.push_back(record);
            for (const int c : record->m_corners)
                depthsB[&meshB->m_vertices[static_cast<std::size_t>(c)]] = 0.0;
        }
    }

    std::vector<QvGapSegment> segments;
    segments.reserve(m_segments.size());
    for (const QvTriSegment& s : m_segments)
        segments.push_back(QvGapSegment{s.m_pFirst->m_pFace, s.m_pSecond->m_pFace, s.m_start, s.m_end, s.m_bFlag});
    const auto toFaces = [](const std::vector<QvOBBFace*>& records) {
        std::vector<QvFace*> faces;
        faces.reserve(records.size());
        for (const QvOBBFace* r : records)
            faces.push_back(r->m_pFace);
        return faces;
    };
    m_pGapInfo = std::make_unique<QvGapInfo>(dynamic_cast<QvToothBase*>(meshA), dynamic_cast<QvToothBase*>(meshB),
                                             segments, toFaces(facesA), toFaces(facesB), depth, depthsA, depthsB,
                                             deepest);
}
