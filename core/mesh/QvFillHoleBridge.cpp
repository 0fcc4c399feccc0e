// SPDX-License-Identifier: GPL-3.0-or-later
// Strips of triangles across a hole, from one boundary edge to another of the same loop.
#include <algorithm>
#include <cmath>
#include <deque>

#include "core/mesh/QvFillHoleCommand.h"

namespace {

// Largest number of steps a strip is cut into; keeps the integer conversion defined for
// any pair of edges, however far apart.
constexpr double kMaxDivisions = 1.0e6;

QvVector Unit(const QvVector& v)
{
    QvVector u = v;
    u.Normalize();
    return u;
}

bool IsParallelUnit(const QvVector& a, const QvVector& b) { return std::fabs(std::fabs(a.Dot(b)) - 1.0) < 1e-7; }

// An edge passed in must be one of the target's boundary edges, as it is now.
bool IsBoundaryEdgeOf(const QvMesh& mesh, const QvEdge& edge)
{
    if (edge.m_index < 0 || edge.m_index >= static_cast<int>(mesh.m_edges.size()))
        return false;
    const QvEdge& own = mesh.m_edges[edge.m_index];
    return own.m_vertices[0] == edge.m_vertices[0] && own.m_vertices[1] == edge.m_vertices[1] &&
           own.m_faces[0] != -1 && own.m_faces[1] == -1;
}

int CornerAfter(const QvFace& face, int v)
{
    for (int k = 0; k < 3; ++k)
        if (face.m_vertices[k] == v)
            return face.m_vertices[(k + 1) % 3];
    return -1;
}

// Releases the side curves of a curved bridge on every way out of it.
class CurveRelease
{
public:
    CurveRelease(std::unique_ptr<QvBSplineCurve>& first, std::unique_ptr<QvBSplineCurve>& second)
        : m_first(first), m_second(second)
    {
    }
    ~CurveRelease()
    {
        m_first.reset();
        m_second.reset();
    }
    CurveRelease(const CurveRelease&) = delete;
    CurveRelease& operator=(const CurveRelease&) = delete;

private:
    std::unique_ptr<QvBSplineCurve>& m_first;
    std::unique_ptr<QvBSplineCurve>& m_second;
};

} // namespace

void QvFillHoleCommand::GetBridgeCorners(const QvEdge& first, const QvEdge& second, std::vector<int>& corners) const
{
    if (m_pMesh == nullptr || first.m_vertices[0] < 0 ||
        first.m_vertices[0] >= static_cast<int>(m_pMesh->m_vertices.size()))
        return;
    std::vector<int> walk;
    m_pMesh->GetBoundaryLoopFromVertex(walk, first.m_vertices[0]);
    std::vector<int> found;
    for (const int v : walk)
        if (v == first.m_vertices[0] || v == first.m_vertices[1] || v == second.m_vertices[0] ||
            v == second.m_vertices[1])
            found.push_back(v);
    if (found.size() >= 4)
    {
        const int closing = m_pMesh->FindEdge(found[0], found[3]);
        if (closing != -1 && (closing == first.m_index || closing == second.m_index))
            std::rotate(found.begin(), found.begin() + 3, found.begin() + 4);
    }
    corners.insert(corners.end(), found.begin(), found.end());
}

int QvFillHoleCommand::GetBridgeDivisions(const QvPoint points[4], double factor)
{
    const QvVector v10 = points[1] - points[0];
    const QvVector v21 = points[2] - points[1];
    const QvVector v30 = points[3] - points[0];
    const QvVector v20 = points[2] - points[0];
    const QvVector v32 = points[3] - points[2];
    for (const QvVector* v : {&v10, &v21, &v30, &v20, &v32})
        if (!(v->Length() >= kQvVectorTolerance))
            return -1;
    const QvVector u10 = Unit(v10);
    const QvVector u21 = Unit(v21);
    const QvVector u30 = Unit(v30);
    const QvVector u20 = Unit(v20);
    const QvVector u32 = Unit(v32);
    if (IsParallelUnit(u20, u30) || IsParallelUnit(u10, u20) || IsParallelUnit(u10, u30) ||
        IsParallelUnit(u32, u21) || IsParallelUnit(u32, u30))
        return -1;

    const double edges = (v10.Length() + v32.Length()) / 2.0;
    const double sides = (v21.Length() + v30.Length()) / 2.0;
    const double ratio = std::trunc(std::min(sides / edges, kMaxDivisions));
    const double scaled = std::trunc(std::min(ratio * factor, kMaxDivisions));
    if (!(scaled >= 3.0))
        return 2;
    return static_cast<int>(scaled);
}

void QvFillHoleCommand::BuildBridgeMesh(const QvPoint points[4], int divisions, QvMesh* mesh, bool curved) const
{
    if (mesh == nullptr || divisions < 2)
        return;
    const int base = static_cast<int>(mesh->m_vertices.size());
    if (curved)
    {
        if (!m_pFirstSideCurve || !m_pSecondSideCurve)
            return;
        for (int i = 0; i < divisions; ++i)
        {
            const double t = std::min(static_cast<double>(i) / (divisions - 1), 1.0);
            mesh->AddVertex(m_pSecondSideCurve->Evaluate(t));
            mesh->AddVertex(m_pFirstSideCurve->Evaluate(t));
        }
    }
    else
    {
        const QvVector u = Unit(points[2] - points[1]);
        const QvVector w = Unit(points[3] - points[0]);
        const double side03 = points[0].Distance(points[3]);
        const double side12 = points[1].Distance(points[2]);
        for (int i = 0; i <= divisions; ++i)
        {
            mesh->AddVertex(points[0] + w * (i * side03 / divisions));
            mesh->AddVertex(points[1] + u * (i * side12 / divisions));
        }
    }
    const int count = static_cast<int>(mesh->m_vertices.size());
    for (int i = base; i + 2 < count; ++i)
        static_cast<void>(mesh->AddFace(i, i + 1, i + 2, kQvFaceTagPlain));
    mesh->UpdateFaceNormals();
}

void QvFillHoleCommand::AddBridgeFaces(const QvPoint points[4], const std::vector<int>& corners, int divisions,
                                       bool curved)
{
    if (m_pMesh == nullptr || corners.size() < 4 || divisions < 2)
        return;
    const int c0 = corners[0];
    const int c1 = corners[1];
    const int c2 = corners[2];
    const int c3 = corners[3];
    const int tag = kQvFaceTagBridge;

    if (curved && divisions <= 2)
    {
        static_cast<void>(m_pMesh->AddFace(c0, c1, c2, tag));
        static_cast<void>(m_pMesh->AddFace(c0, c2, c3, tag));
        return;
    }

    const int h = static_cast<int>(m_pMesh->m_vertices.size());
    if (curved)
    {
        if (!m_pFirstSideCurve || !m_pSecondSideCurve)
            return;
        for (int i = 1; i <= divisions - 2; ++i)
        {
            const double t = std::min(static_cast<double>(i) / (divisions - 1), 1.0);
            m_pMesh->AddVertex(m_pSecondSideCurve->Evaluate(t));
            m_pMesh->AddVertex(m_pFirstSideCurve->Evaluate(t));
        }
    }
    else
    {
        const QvVector u = Unit(points[2] - points[1]);
        const QvVector w = Unit(points[3] - points[0]);
        const double side03 = points[0].Distance(points[3]);
        const double side12 = points[1].Distance(points[2]);
        for (int i = 1; i <= divisions - 1; ++i)
        {
            m_pMesh->AddVertex(points[0] + w * (i * side03 / divisions));
            m_pMesh->AddVertex(points[1] + u * (i * side12 / divisions));
        }
    }
    const int V = static_cast<int>(m_pMesh->m_vertices.size());
    if (curved)
    {
        static_cast<void>(m_pMesh->AddFace(c0, c1, h, tag));
        static_cast<void>(m_pMesh->AddFace(c1, h, h + 1, tag));
    }
    else
    {
        static_cast<void>(m_pMesh->AddFace(c0, c1, h, tag));
        static_cast<void>(m_pMesh->AddFace(h, c1, h + 1, tag));
    }
    for (int i = 0; i <= V - h - 3; ++i)
        static_cast<void>(m_pMesh->AddFace(h + i, h + i + 1, h + i + 2, tag));
    static_cast<void>(m_pMesh->AddFace(c3, V - 2, V - 1, tag));
    static_cast<void>(m_pMesh->AddFace(c3, V - 1, c2, tag));
}

void QvFillHoleCommand::BuildBridgeCurves(const QvPoint points[4], const std::vector<int>& corners,
                                          const QvEdge& first, const QvEdge& second)
{
    if (m_pMesh == nullptr || corners.size() < 4)
        return;
    const QvVector r = Unit(points[0] - points[1]);
    const QvVector s = Unit(points[2] - points[3]);

    const int faceCount = static_cast<int>(m_pMesh->m_faces.size());
    const auto faceOf = [faceCount](const QvEdge& edge) {
        const int f = edge.m_faces[0] != -1 ? edge.m_faces[0] : edge.m_faces[1];
        return f >= 0 && f < faceCount ? f : -1;
    };
    const int fa = faceOf(first);
    const int fb = faceOf(second);
    const auto normalOf = [this](int f) { return f == -1 ? QvVector() : Unit(m_pMesh->m_faces[f].m_normal); };
    const QvVector na = normalOf(fa);
    const QvVector nb = normalOf(fb);

    QvVector d;
    QvVector e;
    if (first.m_vertices[0] == corners[0] || first.m_vertices[0] == corners[1])
    {
        d = na.Cross(r);
        e = nb.Cross(s);
    }
    else
    {
        d = nb.Cross(r);
        e = na.Cross(s);
    }

    const auto direction = [this](int f, int k) {
        const QvFace& face = m_pMesh->m_faces[f];
        return Unit(m_pMesh->m_vertices[face.m_vertices[(k + 1) % 3]].m_point -
                    m_pMesh->m_vertices[face.m_vertices[k]].m_point);
    };
    for (int k = 0; k < 3; ++k)
    {
        if (fa != -1)
        {
            const QvVector dir = direction(fa, k);
            if (dir == r || dir == s)
                d.Negate();
        }
        if (fb != -1)
        {
            const QvVector dir = direction(fb, k);
            if (dir == -s || dir == -r)
                e.Negate();
        }
    }

    m_pFirstSideCurve.reset(QvBSplineCurve::FromEndTangents(points[1], points[2], d, e));
    m_pSecondSideCurve.reset(QvBSplineCurve::FromEndTangents(points[0], points[3], d, e));
}

void QvFillHoleCommand::OrientBridgeMesh(int edge, QvMesh* mesh) const
{
    if (mesh == nullptr || m_pMesh == nullptr || edge < 0 || edge >= static_cast<int>(m_pMesh->m_edges.size()) ||
        mesh->m_faces.empty())
        return;
    const QvEdge& reference = m_pMesh->m_edges[edge];
    const int s = std::max(reference.m_faces[0], reference.m_faces[1]);
    if (s < 0)
        return;
    QvPoint refPoints[3];
    for (int k = 0; k < 3; ++k)
        refPoints[k] = m_pMesh->m_vertices[m_pMesh->m_faces[s].m_vertices[k]].m_point;

    std::vector<std::vector<int>> loops;
    mesh->GetBoundaryLoops(loops);
    if (loops.empty())
        return;
    std::vector<int> matches;
    for (const int v : loops.front())
    {
        const QvPoint& p = mesh->m_vertices[v].m_point;
        if (p == refPoints[0] || p == refPoints[1] || p == refPoints[2])
            matches.push_back(v);
        if (matches.size() == 2)
            break;
    }
    if (matches.size() < 2)
        return;
    const int seedEdge = mesh->FindEdge(matches[0], matches[1]);
    if (seedEdge == -1)
        return;
    const int g = std::max(mesh->m_edges[seedEdge].m_faces[0], mesh->m_edges[seedEdge].m_faces[1]);
    if (g < 0)
        return;

    // The seed must run against the target's face along the side they share.
    bool sameWay = false;
    for (int k = 0; k < 3 && !sameWay; ++k)
    {
        const QvPoint& a = mesh->m_vertices[mesh->m_faces[g].m_vertices[k]].m_point;
        const QvPoint& b = mesh->m_vertices[mesh->m_faces[g].m_vertices[(k + 1) % 3]].m_point;
        for (int j = 0; j < 3; ++j)
            if (a == refPoints[j] && b == refPoints[(j + 1) % 3])
            {
                sameWay = true;
                break;
            }
    }
    if (sameWay)
        mesh->m_faces[g].Flip();

    // Flood from the seed; every face is entered once, so the pass ends on any strip.
    // Faces not connected to the seed are left as they are.
    const std::size_t faceCount = mesh->m_faces.size();
    std::vector<char> visited(faceCount, 0);
    std::deque<int> queue{g};
    visited[g] = 1;
    while (!queue.empty())
    {
        const int current = queue.front();
        queue.pop_front();
        for (const int side : mesh->m_faces[current].m_edges)
        {
            const QvEdge& sideEdge = mesh->m_edges[side];
            const int next = sideEdge.GetOtherFace(current);
            if (next == -1 || next == current || visited[next])
                continue;
            visited[next] = 1;
            const int p = sideEdge.m_vertices[0];
            const int q = sideEdge.m_vertices[1];
            const bool currentPQ = CornerAfter(mesh->m_faces[current], p) == q;
            const bool nextPQ = CornerAfter(mesh->m_faces[next], p) == q;
            if (currentPQ == nextPQ)
                mesh->m_faces[next].Flip();
            queue.push_back(next);
        }
    }
}

bool QvFillHoleCommand::BridgeEdges(const QvEdge& first, const QvEdge& second, QvMesh* output, bool separate)
{
    return Bridge(first, second, output, separate, false);
}

bool QvFillHoleCommand::BridgeEdgesSmooth(const QvEdge& first, const QvEdge& second, QvMesh* output,
                                          bool separate)
{
    const CurveRelease release(m_pFirstSideCurve, m_pSecondSideCurve);
    return Bridge(first, second, output, separate, true);
}

bool QvFillHoleCommand::Bridge(const QvEdge& firstIn, const QvEdge& secondIn, QvMesh* output, bool separate,
                               bool curved)
{
    if (m_pMesh == nullptr)
        return false;
    // Copies: the caller may pass the mesh's own edges, which move when the mesh grows.
    const QvEdge first = firstIn;
    const QvEdge second = secondIn;
    for (const int a : first.m_vertices)
        for (const int b : second.m_vertices)
            if (a == b)
                return false;
    if (!IsBoundaryEdgeOf(*m_pMesh, first) || !IsBoundaryEdgeOf(*m_pMesh, second))
        return false;
    if (separate && (output == nullptr || output == m_pMesh))
        return false;

    std::vector<int> corners;
    GetBridgeCorners(first, second, corners);
    // Both edges must lie on the walked loop, as the two opposite sides of the strip.
    if (corners.size() != 4)
        return false;
    const int e01 = m_pMesh->FindEdge(corners[0], corners[1]);
    const int e23 = m_pMesh->FindEdge(corners[2], corners[3]);
    const bool paired = (e01 == first.m_index && e23 == second.m_index) ||
                        (e01 == second.m_index && e23 == first.m_index);
    if (!paired)
        return false;

    QvPoint points[4];
    for (int k = 0; k < 4; ++k)
        points[k] = m_pMesh->m_vertices[corners[k]].m_point;
    const int divisions = GetBridgeDivisions(points, curved ? 1.5 : 1.0);
    if (divisions == -1)
        return false;
    if (curved)
        BuildBridgeCurves(points, corners, first, second);

    if (separate)
    {
        BuildBridgeMesh(points, divisions, output, curved);
        OrientBridgeMesh(first.m_index, output);
        return true;
    }
    const int firstFace = static_cast<int>(m_pMesh->m_faces.size());
    AddBridgeFaces(points, corners, divisions, curved);
    std::vector<int> added;
    for (int f = firstFace; f < static_cast<int>(m_pMesh->m_faces.size()); ++f)
        added.push_back(f);
    m_pMesh->UpdateFaceNormals(added);
    m_pMesh->OrientFaces(added);
    return true;
}
