// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/collision/QvCollisionDetecter.h"

#include <algorithm>

#include "core/mesh/QvMesh.h"
#include "core/scheme/QvGapInfo.h"

namespace {

// Contours shorter than this in total, or of fewer than three segments, give no plane.
constexpr double kShortestContour = 0.001;
constexpr std::size_t kFewestContourPoints = 4;

} // namespace

QvCollisionDetecter::QvCollisionDetecter(QvOBBTree* a, QvOBBTree* b) : m_pTreeA(a), m_pTreeB(b) {}

QvCollisionDetecter::~QvCollisionDetecter() = default;

bool QvCollisionDetecter::Detect()
{
    m_segments.clear();
    if (!m_pTreeA || !m_pTreeB)
        return false;
    m_pTreeA->Intersect(m_pTreeB, m_segments);
    if (m_segments.empty())
        return false;
    // Only now: most pairs a step tests do not touch, and they should cost nothing per face.
    m_pTreeA->ResetFaceMarks();
    m_pTreeB->ResetFaceMarks();
    FindContactRegions();
    BuildRegionContours();
    FindPenetrationPatches();
    PairPatches();
    MeasurePenetration();
    return true;
}

QvOBBTree* QvCollisionDetecter::TreeOf(const QvOBBFace* face) const
{
    if (m_pTreeA && m_pTreeA->OwnsFace(face))
        return m_pTreeA;
    if (m_pTreeB && m_pTreeB->OwnsFace(face))
        return m_pTreeB;
    return nullptr;
}

QvOBBTree* QvCollisionDetecter::OtherTree(const QvOBBTree* tree) const
{
    return tree == m_pTreeA ? m_pTreeB : m_pTreeA;
}

void QvCollisionDetecter::EdgeNeighbours(const QvMesh& mesh, const QvFace& face, int out[3])
{
    for (int k = 0; k < 3; ++k)
    {
        out[k] = -1;
        const int e = mesh.FindEdge(face.m_vertices[k], face.m_vertices[(k + 1) % 3]);
        if (e < 0)
            continue;
        const QvEdge& edge = mesh.m_edges[static_cast<std::size_t>(e)];
        if (edge.IsBoundary())
            continue;
        out[k] = edge.GetOtherFace(face.m_index);
    }
}

void QvCollisionDetecter::FindContactRegions()
{
    if (!m_pTreeA || !m_pTreeB || !m_pTreeA->GetMesh() || !m_pTreeB->GetMesh())
        return;
    const QvMesh& meshA = *m_pTreeA->GetMesh();

    // Crossing face of A -> the faces of B it crosses, in segment order.
    std::map<int, std::vector<int>> crossed;
    for (const QvTriSegment& s : m_segments)
        crossed[s.m_pFirst->m_nIndex].push_back(s.m_pSecond->m_nIndex);

    // Vertices of crossing faces: 1 not yet expanded, 2 expanded, 0 not in the set.
    std::vector<char> vertexState(meshA.m_vertices.size(), 0);
    for (const auto& entry : crossed)
        for (const int c : m_pTreeA->GetFace(entry.first)->m_corners)
            vertexState[static_cast<std::size_t>(c)] = 1;

    int region = 0;
    std::vector<int> around;
    for (const auto& entry : crossed)
    {
        QvOBBFace* start = m_pTreeA->GetFace(entry.first);
        if (start->m_marks[0])
            continue;
        std::vector<int> faces{entry.first};
        start->m_marks[0] = true;
        for (std::size_t i = 0; i < faces.size(); ++i)
        {
            const QvOBBFace* current = m_pTreeA->GetFace(faces[i]);
            for (const int c : current->m_corners)
            {
                char& state = vertexState[static_cast<std::size_t>(c)];
                if (state != 1)
                    continue;
                state = 2;
                meshA.GetVertexFaces(c, around, false);
                for (const int f : around)
                {
                    QvOBBFace* record = m_pTreeA->GetFace(f);
                    if (record && !record->m_marks[0] && crossed.count(f) != 0)
                    {
                        record->m_marks[0] = true;
                        faces.push_back(f);
                    }
                }
            }
        }

        std::set<int> metOnB;
        for (const int f : faces)
        {
            const std::vector<int>& met = crossed[f];
            metOnB.insert(met.begin(), met.end());
        }
        for (const int f : faces)
        {
            m_pTreeA->GetFace(f)->m_marks[1] = true;
            m_faceRegionA.emplace(f, region);
        }
        for (const int f : metOnB)
        {
            QvOBBFace* record = m_pTreeB->GetFace(f);
            record->m_marks[0] = true;
            record->m_marks[1] = true;
            m_faceRegionB.emplace(f, region);
        }
        ++region;
    }
}

void QvCollisionDetecter::BuildRegionContours()
{
    if (!m_pTreeA || !m_pTreeB)
        return;

    std::map<int, std::vector<int>> segmentsOfFace;
    for (std::size_t i = 0; i < m_segments.size(); ++i)
        segmentsOfFace[m_segments[i].m_pFirst->m_nIndex].push_back(static_cast<int>(i));

    for (const auto& [face, region] : m_faceRegionA)
        m_regionFacesA[region].push_back(face);
    for (const auto& [face, region] : m_faceRegionB)
        m_regionFacesB[region].push_back(face);

    std::vector<std::pair<int, std::size_t>> usable; // region, contour point count
    std::vector<QvPoint> contour;
    for (const auto& [region, faces] : m_regionFacesA)
    {
        contour.clear();
        double length = 0.0;
        for (const int f : faces)
        {
            m_pTreeA->GetFace(f)->m_marks[0] = false;
            const auto it = segmentsOfFace.find(f);
            if (it == segmentsOfFace.end())
                continue;
            for (const int s : it->second)
            {
                const QvTriSegment& segment = m_segments[static_cast<std::size_t>(s)];
                contour.push_back(segment.m_start);
                contour.push_back(segment.m_end);
                length += segment.m_start.Distance(segment.m_end);
            }
        }
        if (contour.size() <= kFewestContourPoints || !(length > kShortestContour))
            continue;
        usable.emplace_back(region, contour.size());
        std::unique_ptr<QvPlane> plane(QvPlane::FitPoints(contour));
        if (plane)
            m_regionPlanes[region] = std::move(plane);
    }

    for (const auto& entry : m_faceRegionB)
        m_pTreeB->GetFace(entry.first)->m_marks[0] = false;

    // Longest contour first; on equal counts the later region.
    while (!usable.empty())
    {
        std::size_t best = 0;
        for (std::size_t i = 1; i < usable.size(); ++i)
            if (usable[i].second > usable[best].second ||
                (usable[i].second == usable[best].second && usable[i].first > usable[best].first))
                best = i;
        m_regionOrder.push_back(usable[best].first);
        usable.erase(usable.begin() + static_cast<std::ptrdiff_t>(best));
    }
}
