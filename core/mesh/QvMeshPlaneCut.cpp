// SPDX-License-Identifier: GPL-3.0-or-later
#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "core/geometry/QvPlane.h"
#include "core/mesh/QvMesh.h"

namespace {

struct Piece
{
    int corners[3];
    int tag;
};

// One section point as the cut sees it: the vertex it becomes and, for a crossed edge,
// the edge with its ends above and below the plane.
struct CutPoint
{
    int index = -1;
    int edge = -1;
    int upper = -1;
    int lower = -1;
};

void AddPieces(int a, int b, int p, int q, int tag, std::vector<Piece>& pieces)
{
    if (p != -1 && q != -1)
    {
        pieces.push_back({{a, b, p}, tag});
        if (p != q)
            pieces.push_back({{b, q, p}, tag});
    }
    else if (p != -1)
        pieces.push_back({{a, b, p}, tag});
    else if (q != -1)
        pieces.push_back({{a, b, q}, tag});
}

} // namespace

void QvMesh::CutByPlane(const QvPlane& plane, QvMesh* removed)
{
    std::vector<std::vector<QvSectionPoint>> sections;
    IntersectPlane(plane, sections);
    if (sections.empty())
        return;

    // Everything the edit needs is read here, while the section's element pointers and the
    // edge and face indices still hold; the edits below only use vertex indices, which face
    // removal without vertex removal leaves alone.
    const int m = static_cast<int>(m_vertices.size());
    std::set<int> crossed;
    std::set<int> sectionVertices;
    std::vector<QvPoint> newPositions;
    // A crossed edge gets one new vertex, found by its two ends, however often the
    // sections name it.
    std::map<std::pair<int, int>, int> edgePoints;
    std::vector<Piece> pieces;

    for (const std::vector<QvSectionPoint>& section : sections)
    {
        const std::size_t n = section.size();
        if (n == 0)
            continue;
        const bool closed = n >= 2 && section.front().m_pElement == section.back().m_pElement;
        std::vector<CutPoint> points(n);
        for (std::size_t i = 0; i < n; ++i)
        {
            const QvObject* element = section[i].m_pElement;
            CutPoint& point = points[i];
            if (element != nullptr && element->GetType() == kQvTypeEdge)
            {
                const QvEdge& edge = *static_cast<const QvEdge*>(element);
                point.edge = edge.m_index;
                for (const int f : edge.m_faces)
                    if (f != -1)
                        crossed.insert(f);
                const int v0 = edge.m_vertices[0];
                const int v1 = edge.m_vertices[1];
                const bool firstAbove = plane.Distance(m_vertices[v0].m_point, true) > 0.0;
                point.upper = firstAbove ? v0 : v1;
                point.lower = firstAbove ? v1 : v0;
                if (closed && i == n - 1)
                {
                    point.index = points[0].index;
                    continue;
                }
                const std::pair<int, int> key = v0 < v1 ? std::make_pair(v0, v1) : std::make_pair(v1, v0);
                const auto known = edgePoints.find(key);
                if (known != edgePoints.end())
                    point.index = known->second;
                else
                {
                    point.index = m + static_cast<int>(newPositions.size());
                    newPositions.push_back(section[i].m_point);
                    edgePoints.emplace(key, point.index);
                }
                sectionVertices.insert(point.index);
            }
            else if (element != nullptr && element->GetType() == kQvTypeVertex)
            {
                point.index = static_cast<const QvVertex*>(element)->m_index;
                sectionVertices.insert(point.index);
            }
        }

        for (std::size_t i = 0; i + 1 < n; ++i)
        {
            const CutPoint& s = points[i];
            const CutPoint& t = points[i + 1];
            if (s.index == -1 || t.index == -1)
                continue;
            int face = -1;
            if (s.edge != -1 && t.edge != -1)
                face = GetCommonFace(s.edge, t.edge);
            else if (s.edge != -1 || t.edge != -1)
            {
                const int e = s.edge != -1 ? s.edge : t.edge;
                const int v = s.edge != -1 ? t.index : s.index;
                const int joint = FindEdge(m_edges[e].m_vertices[0], v);
                if (joint != -1)
                    face = GetCommonFace(e, joint);
            }
            if (face == -1)
                continue;
            const int tag = m_faces[face].m_tag;
            AddPieces(s.index, t.index, s.upper, t.upper, tag, pieces);
            AddPieces(s.index, t.index, s.lower, t.lower, tag, pieces);
        }
    }

    for (auto f = crossed.rbegin(); f != crossed.rend(); ++f)
        RemoveFace(*f, false);
    for (const QvPoint& p : newPositions)
        AddVertex(p);

    std::vector<int> added;
    for (const Piece& piece : pieces)
    {
        const int face = static_cast<int>(m_faces.size());
        if (AddFace(piece.corners, piece.tag))
            added.push_back(face);
    }
    OrientFaces(added);
    UpdateFaceNormals(added);

    std::set<int> below;
    std::vector<int> around;
    for (int v = 0; v < static_cast<int>(m_vertices.size()); ++v)
    {
        if (sectionVertices.count(v) != 0 || !(plane.Distance(m_vertices[v].m_point, true) < 0.0))
            continue;
        GetVertexFaces(v, around, false);
        below.insert(around.begin(), around.end());
    }

    if (removed != nullptr)
    {
        std::map<int, int> newToOld;
        const std::unique_ptr<QvMesh> part = ExtractFaces(std::vector<int>(below.begin(), below.end()), newToOld);
        removed->CopyMeshData(*part);
    }
    for (auto f = below.rbegin(); f != below.rend(); ++f)
        RemoveFace(*f, true);
}
