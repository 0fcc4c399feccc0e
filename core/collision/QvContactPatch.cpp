// SPDX-License-Identifier: GPL-3.0-or-later
// The third stage of detection: penetration patches.
#include "core/collision/QvContactPatch.h"

#include <algorithm>

#include "core/collision/QvCollisionDetecter.h"
#include "core/geometry/QvLine.h"
#include "core/mesh/QvMesh.h"

bool QvCollisionDetecter::IsPointInside(const QvLine* line, QvOBBTree* other, const QvPoint& p)
{
    if (!line || !other)
        return false;
    m_lineHits.clear();
    other->IntersectLine(*line, m_lineHits);
    const std::size_t n = m_lineHits.size();
    if (n == 0 || n % 2 != 0)
        return false;

    m_insidePoints.clear();
    m_insidePoints.push_back(p);
    for (const QvLineHit& hit : m_lineHits)
        m_insidePoints.push_back(hit.m_point);
    const QvVector& d = line->m_direction;
    m_insideKeys.clear();
    for (std::size_t i = 0; i < m_insidePoints.size(); ++i)
    {
        const QvPoint& q = m_insidePoints[i];
        m_insideKeys.emplace_back(QvVector(q[0], q[1], q[2]).Dot(d), static_cast<int>(i));
    }
    // Exchange sort: equal keys keep the order the exchanges leave them in.
    for (std::size_t i = 0; i + 1 < m_insideKeys.size(); ++i)
        for (std::size_t j = i + 1; j < m_insideKeys.size(); ++j)
            if (m_insideKeys[i].first > m_insideKeys[j].first)
                std::swap(m_insideKeys[i], m_insideKeys[j]);
    for (std::size_t i = 0; i < m_insideKeys.size(); ++i)
        if (m_insideKeys[i].second == 0)
            return i % 2 == 1;
    return false;
}

std::vector<QvVertex*> QvCollisionDetecter::FindInsideVertices(QvOBBFace* face, const QvVector& dir)
{
    std::vector<QvVertex*> inside;
    QvOBBTree* tree = TreeOf(face);
    if (!tree)
        return inside;
    QvOBBTree* other = OtherTree(tree);
    QvMesh* mesh = tree->GetMesh();
    for (const int c : face->m_corners)
    {
        const QvPoint p = tree->GetPlacedPosition(c);
        const QvLine line(p, dir);
        if (IsPointInside(&line, other, p))
            inside.push_back(&mesh->m_vertices[static_cast<std::size_t>(c)]);
    }
    face->m_marks[2] = true;
    return inside;
}

int QvCollisionDetecter::FindSeedFace(bool onA, QvVertex* vertex, QvFace* face, const QvVector& dir)
{
    QvOBBTree* tree = onA ? m_pTreeA : m_pTreeB;
    QvOBBTree* other = onA ? m_pTreeB : m_pTreeA;
    if (!tree || !other || !vertex || !face)
        return -1;
    const int v = vertex->m_index;
    if (face->m_vertices[0] != v && face->m_vertices[1] != v && face->m_vertices[2] != v)
        return -1;

    std::vector<int> around;
    tree->GetMesh()->GetVertexFaces(v, around, false);
    for (const int f : around)
    {
        const QvOBBFace* record = tree->GetFace(f);
        if (!record || record->m_marks[1] || record->m_marks[0])
            continue;
        bool allInside = true;
        for (const int c : record->m_corners)
        {
            const QvPoint p = tree->GetPlacedPosition(c);
            const QvLine line(p, dir);
            if (!IsPointInside(&line, other, p))
            {
                allInside = false;
                break;
            }
        }
        if (allInside)
            return f;
    }
    return -1;
}

int QvCollisionDetecter::FindSeed(bool onA, const std::vector<int>& faces, const QvVector& dir)
{
    QvOBBTree* tree = onA ? m_pTreeA : m_pTreeB;
    if (!tree)
        return -1;
    for (const int f : faces)
    {
        QvOBBFace* record = tree->GetFace(f);
        if (!record)
            continue;
        for (QvVertex* vertex : FindInsideVertices(record, dir))
        {
            const int seed = FindSeedFace(onA, vertex, record->m_pFace, dir);
            if (seed >= 0)
                return seed;
        }
    }
    return -1;
}

void QvCollisionDetecter::FloodFaces(QvOBBFace* seed, std::set<int>& regions, std::vector<QvOBBFace*>& faces)
{
    QvOBBTree* tree = TreeOf(seed);
    if (!tree)
        return;
    const std::map<int, int>& faceRegion = tree == m_pTreeA ? m_faceRegionA : m_faceRegionB;
    const QvMesh& mesh = *tree->GetMesh();

    seed->m_marks[0] = true;
    const std::size_t first = faces.size();
    faces.push_back(seed);
    for (std::size_t i = first; i < faces.size(); ++i)
    {
        int neighbours[3];
        EdgeNeighbours(mesh, *faces[i]->m_pFace, neighbours);
        for (const int n : neighbours)
        {
            QvOBBFace* record = tree->GetFace(n);
            if (!record)
                continue;
            if (record->m_marks[1])
            {
                const auto it = faceRegion.find(n);
                if (it != faceRegion.end())
                    regions.insert(it->second);
                record->m_marks[0] = true;
                record->m_marks[2] = true;
            }
            else if (!record->m_marks[0])
            {
                record->m_marks[0] = true;
                faces.push_back(record);
            }
        }
    }
}

std::vector<int> QvCollisionDetecter::RemainingRegionFaces(bool onA, const std::vector<int>& faces)
{
    std::vector<int> candidates;
    QvOBBTree* tree = onA ? m_pTreeA : m_pTreeB;
    if (!tree)
        return candidates;
    const QvMesh& mesh = *tree->GetMesh();
    std::set<int> finished;
    for (const int f : faces)
    {
        const QvOBBFace* record = tree->GetFace(f);
        if (!record || finished.count(f) != 0)
            continue;
        if (!record->m_marks[2])
        {
            candidates.push_back(f);
            continue;
        }
        // A touched face ends the search here, and so do the crossing faces beside it
        // that no flood reached.
        finished.insert(f);
        int neighbours[3];
        EdgeNeighbours(mesh, *record->m_pFace, neighbours);
        for (const int n : neighbours)
        {
            const QvOBBFace* next = tree->GetFace(n);
            if (next && next->m_marks[1] && !next->m_marks[2])
                finished.insert(n);
        }
    }
    std::vector<int> remaining;
    for (const int f : candidates)
        if (finished.count(f) == 0)
            remaining.push_back(f);
    return remaining;
}

std::unique_ptr<QvContactPatch> QvCollisionDetecter::GrowPatch(QvOBBFace* seed, int region)
{
    QvOBBTree* tree = TreeOf(seed);
    if (!tree)
        return nullptr;
    const bool onA = tree == m_pTreeA;
    const std::map<int, std::vector<int>>& regionFaces = onA ? m_regionFacesA : m_regionFacesB;

    std::set<int> touched;
    std::vector<QvOBBFace*> faces;
    FloodFaces(seed, touched, faces);

    QvVector dir(1.0, 0.0, 0.0);
    const auto plane = m_regionPlanes.find(region);
    if (plane != m_regionPlanes.end() && plane->second)
        dir = plane->second->GetNormal();
    const auto own = regionFaces.find(region);
    std::vector<int> current = own == regionFaces.end() ? std::vector<int>() : own->second;
    std::vector<int> remaining = RemainingRegionFaces(onA, current);
    while (!remaining.empty())
    {
        // Every pass marks at least the first remaining face touched, so the list shrinks.
        const int next = FindSeed(onA, remaining, dir);
        current = std::move(remaining);
        if (next < 0)
            break;
        FloodFaces(tree->GetFace(next), touched, faces);
        remaining = RemainingRegionFaces(onA, current);
    }

    std::set<int> boundary;
    for (const int r : touched)
    {
        const auto it = regionFaces.find(r);
        if (it != regionFaces.end())
            boundary.insert(it->second.begin(), it->second.end());
    }

    auto patch = std::make_unique<QvContactPatch>();
    patch->m_pMesh = tree->GetMesh();
    patch->m_faces = std::move(faces);
    for (const int f : boundary)
        patch->m_boundaryFaces.push_back(tree->GetFace(f));
    patch->m_regions.assign(touched.begin(), touched.end());
    return patch;
}

void QvCollisionDetecter::FindPenetrationPatches()
{
    if (!m_pTreeA || !m_pTreeB || m_regionOrder.empty())
        return;
    static const std::vector<int> kNone;
    for (const int region : m_regionOrder)
    {
        const auto plane = m_regionPlanes.find(region);
        if (plane == m_regionPlanes.end() || !plane->second)
            continue;
        const QvVector dir = plane->second->GetNormal();
        const auto facesA = m_regionFacesA.find(region);
        const auto facesB = m_regionFacesB.find(region);

        const int seedA = FindSeed(true, facesA == m_regionFacesA.end() ? kNone : facesA->second, dir);
        if (seedA >= 0)
            m_patches.push_back(GrowPatch(m_pTreeA->GetFace(seedA), region));
        const int seedB = FindSeed(false, facesB == m_regionFacesB.end() ? kNone : facesB->second, dir);
        if (seedB >= 0)
            m_patches.push_back(GrowPatch(m_pTreeB->GetFace(seedB), region));
    }
}
