// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvFillHoleCommand.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "core/mesh/QvHoleOutline.h"
#include "core/mesh/QvMeshCrossings.h"
#include "core/mesh/QvTriangleCommand.h"

namespace {

// Unit normal of the loop by Newell's method: well defined for any non-degenerate
// loop, planar or not; zero when the loop encloses no area.
QvVector LoopNormal(const std::vector<QvPoint>& points)
{
    QvVector n;
    const std::size_t count = points.size();
    for (std::size_t i = 0; i < count; ++i)
    {
        const QvPoint& p = points[i];
        const QvPoint& q = points[(i + 1) % count];
        n[0] += (p[1] - q[1]) * (p[2] + q[2]);
        n[1] += (p[2] - q[2]) * (p[0] + q[0]);
        n[2] += (p[0] - q[0]) * (p[1] + q[1]);
    }
    const double length = n.Length();
    if (length == 0.0 || !std::isfinite(length))
        return QvVector();
    return n / length;
}

bool AllVerticesValid(const QvMesh& mesh, const std::vector<int>& vertices)
{
    const int count = static_cast<int>(mesh.m_vertices.size());
    for (const int v : vertices)
        if (v < 0 || v >= count)
            return false;
    return true;
}

} // namespace

QvFillHoleCommand::QvFillHoleCommand() = default;

QvFillHoleCommand::QvFillHoleCommand(QvMesh* mesh) : m_pMesh(mesh) {}

QvFillHoleCommand::~QvFillHoleCommand() = default;

bool QvFillHoleCommand::Execute() { return true; }

void QvFillHoleCommand::SetMesh(QvMesh* mesh) { m_pMesh = mesh; }

// ---- Advancing front -----------------------------------------------------------------

namespace {

// The angles of v's faces at v, summed in the mesh's face order around v.
double AngleSum(const QvMesh& mesh, int v, std::vector<int>& faces)
{
    double sum = 0.0;
    mesh.GetVertexFaces(v, faces, false);
    const QvPoint& pv = mesh.m_vertices[v].m_point;
    for (const int f : faces)
    {
        const QvFace& face = mesh.m_faces[f];
        int k = 0;
        while (k < 3 && face.m_vertices[k] != v)
            ++k;
        const QvPoint& p1 = mesh.m_vertices[face.m_vertices[(k + 1) % 3]].m_point;
        const QvPoint& p2 = mesh.m_vertices[face.m_vertices[(k + 2) % 3]].m_point;
        sum += (p1 - pv).Angle(p2 - pv);
    }
    return sum;
}

// The ranking's order: the largest angle sum first, equal sums in loop order.
struct RankOrder
{
    bool operator()(const std::pair<double, int>& x, const std::pair<double, int>& y) const
    {
        return x.first > y.first || (!(y.first > x.first) && x.second < y.second);
    }
};

} // namespace

void QvFillHoleCommand::RankLoopVertices(const std::vector<int>& front, QvAngleRanking& ranking) const
{
    std::vector<int> faces;
    for (int i = 0; i < static_cast<int>(front.size()); ++i)
        ranking.emplace(AngleSum(*m_pMesh, front[i], faces), i);
}

int QvFillHoleCommand::FillLoop(const std::vector<int>& loop, int tag)
{
    if (loop.empty() || m_pMesh == nullptr || !AllVerticesValid(*m_pMesh, loop))
        return 0;
    const int firstFace = static_cast<int>(m_pMesh->m_faces.size());
    const QvHoleOutline outline(*m_pMesh, loop);

    // A flat outline's patch cannot cross itself, but a bent one can cross the surface
    // around the hole. (A loop folded over itself in its plane keeps the plain front.)
    // Such a patch is taken back and the front cut once more, passing over every corner
    // whose triangle would cross the surface or the faces cut before it.
    const int n = static_cast<int>(loop.size());
    std::vector<int> faces;
    std::vector<int> near;
    for (int pass = 0; pass < 2; ++pass)
    {
        const bool keepClear = pass == 1;
        if (keepClear)
            near = QvFacesNearVertices(*m_pMesh, loop, firstFace);
        // Loop positions in front order, each with its neighbours and its angle sum, ranked
        // as RankLoopVertices ranks the front: the largest sum first, ties in front order.
        // A cut changes the sums of its three corners only, wherever they stand in the loop.
        std::vector<int> front = loop;
        std::vector<int> positions(n);
        std::vector<int> before(n);
        std::vector<int> after(n);
        std::vector<double> sums(n);
        std::set<std::pair<double, int>, RankOrder> ranking;
        for (int k = 0; k < n; ++k)
        {
            positions[k] = k;
            before[k] = (k + n - 1) % n;
            after[k] = (k + 1) % n;
            sums[k] = AngleSum(*m_pMesh, loop[k], faces);
            ranking.emplace(sums[k], k);
        }
        // Every step either adds a face and shortens the front by one or ends the loop.
        while (front.size() >= 3)
        {
            int cut = -1;
            for (const auto& [sum, k] : ranking)
            {
                const int previous = loop[before[k]];
                const int next = loop[after[k]];
                // The sharpest corner of a non-convex outline may lie outside it.
                if (!outline.IsFreeCorner(previous, loop[k], next, front) ||
                    !m_pMesh->AddFace(previous, loop[k], next, tag))
                    continue;
                if (keepClear && QvLastFaceCrosses(*m_pMesh, near, firstFace))
                {
                    m_pMesh->RemoveFace(static_cast<int>(m_pMesh->m_faces.size()) - 1, false);
                    continue;
                }
                cut = k;
                break;
            }
            if (cut == -1)
            {
                // A part-closed hole would leave the next strategy a front to start from
                // that is no hole loop of the mesh: take everything back.
                TakeBack(firstFace, static_cast<int>(m_pMesh->m_vertices.size()));
                return 0;
            }
            const std::size_t at = std::find(positions.begin(), positions.end(), cut) - positions.begin();
            front.erase(front.begin() + static_cast<std::ptrdiff_t>(at));
            positions.erase(positions.begin() + static_cast<std::ptrdiff_t>(at));
            ranking.erase({sums[cut], cut});
            const int corners[3] = {loop[before[cut]], loop[cut], loop[after[cut]]};
            after[before[cut]] = after[cut];
            before[after[cut]] = before[cut];
            for (const int k : positions)
                if (loop[k] == corners[0] || loop[k] == corners[1] || loop[k] == corners[2])
                {
                    ranking.erase({sums[k], k});
                    sums[k] = AngleSum(*m_pMesh, loop[k], faces);
                    ranking.emplace(sums[k], k);
                }
        }
        if (!outline.IsUsable() || !PatchCrosses(firstFace))
        {
            std::vector<int> added;
            for (int f = firstFace; f < static_cast<int>(m_pMesh->m_faces.size()); ++f)
                added.push_back(f);
            m_pMesh->UpdateFaceNormals(added);
            m_pMesh->OrientFaces(added);
            return static_cast<int>(added.size());
        }
        TakeBack(firstFace, static_cast<int>(m_pMesh->m_vertices.size()));
    }
    return 0;
}

bool QvFillHoleCommand::IsValidTriangle(const int corners[3]) const
{
    const int a = corners[0];
    const int b = corners[1];
    const int c = corners[2];
    if (a == b || b == c || c == a)
        return false;
    const int vertexCount = static_cast<int>(m_pMesh->m_vertices.size());
    for (int k = 0; k < 3; ++k)
        if (corners[k] < 0 || corners[k] >= vertexCount)
            return false;
    for (int k = 0; k < 3; ++k)
    {
        const int e = m_pMesh->FindEdge(corners[k], corners[(k + 1) % 3]);
        if (e != -1 && m_pMesh->m_edges[e].m_faces[0] != -1 && m_pMesh->m_edges[e].m_faces[1] != -1)
            return false;
    }
    const QvPoint& pa = m_pMesh->m_vertices[a].m_point;
    const QvPoint& pb = m_pMesh->m_vertices[b].m_point;
    const QvPoint& pc = m_pMesh->m_vertices[c].m_point;
    if (pa == pb || pb == pc || pc == pa)
        return false;
    QvVector l = pa - pb;
    QvVector m = pb - pc;
    l.Normalize();
    m.Normalize();
    return !(l == m || l == -m);
}

// ---- Planar fill ---------------------------------------------------------------------

bool QvFillHoleCommand::FillLoopPlanar(const std::vector<int>& loop, int tag)
{
    if (loop.empty() || m_pMesh == nullptr || !AllVerticesValid(*m_pMesh, loop))
        return false;
    const int firstFace = static_cast<int>(m_pMesh->m_faces.size());
    const int n = static_cast<int>(loop.size());

    std::vector<QvPoint> points;
    points.reserve(loop.size());
    for (const int v : loop)
        points.push_back(m_pMesh->m_vertices[v].m_point);

    // The triangulation flattens into the plane of the first corners it meets; on a loop
    // that is not quite planar that plane can stand at any angle to the hole and fold
    // the outline over itself. Projecting onto the loop's mean plane first gives it a
    // faithful outline to work on.
    const QvVector normal = LoopNormal(points);
    if (!normal.IsZero())
    {
        QvPoint centre(0.0, 0.0, 0.0);
        for (const QvPoint& p : points)
            centre += p;
        centre /= static_cast<double>(n);
        for (QvPoint& p : points)
            p = p - normal * (p - centre).Dot(normal);
    }

    QvTriangleCommand triangulation(points, QvTriangleCommand::Shape::Outline);
    if (!triangulation.Execute())
        return false;

    const std::vector<std::int32_t>& triangles = triangulation.m_outputTriangles;
    for (std::size_t t = 0; t + 2 < triangles.size(); t += 3)
    {
        // Corners are loop positions; a point the triangulation inserted has none.
        const int i = triangles[t];
        const int j = triangles[t + 1];
        const int k = triangles[t + 2];
        if (i < 0 || i >= n || j < 0 || j >= n || k < 0 || k >= n)
            continue;
        static_cast<void>(m_pMesh->AddFace(loop[i], loop[j], loop[k], tag));
    }
    // A refused triangle or one at a point the triangulation inserted leaves a gap.
    bool closed = true;
    for (int i = 0; i < n && closed; ++i)
    {
        const int e = m_pMesh->FindEdge(loop[i], loop[(i + 1) % n]);
        closed = e != -1 && (m_pMesh->m_edges[e].m_faces[0] >= firstFace || m_pMesh->m_edges[e].m_faces[1] >= firstFace);
    }
    if (!closed || PatchCrosses(firstFace))
    {
        TakeBack(firstFace, static_cast<int>(m_pMesh->m_vertices.size()));
        return false;
    }

    std::vector<int> added;
    for (int f = firstFace; f < static_cast<int>(m_pMesh->m_faces.size()); ++f)
        added.push_back(f);
    m_pMesh->OrientFaces(added);
    m_pMesh->UpdateFaceNormals();
    return true;
}

// ---- Face-list helpers ---------------------------------------------------------------

void QvFillHoleCommand::TakeBack(int firstFace, int firstVertex)
{
    for (int f = static_cast<int>(m_pMesh->m_faces.size()) - 1; f >= firstFace; --f)
        m_pMesh->RemoveFace(f, false);
    for (int v = static_cast<int>(m_pMesh->m_vertices.size()) - 1; v >= firstVertex; --v)
        m_pMesh->RemoveIsolatedVertex(v);
}

bool QvFillHoleCommand::PatchCrosses(int firstFace) const { return QvPatchCrosses(*m_pMesh, firstFace); }

bool QvFillHoleCommand::RemoveDanglingFaces(std::vector<int>& vertices)
{
    if (m_pMesh == nullptr)
        return false;
    int removed = 0;
    bool again = true;
    std::vector<int> faces;
    while (again && !vertices.empty())
    {
        again = false;
        for (std::size_t i = 0; i < vertices.size(); ++i)
        {
            const int v = vertices[i];
            if (v < 0 || v >= static_cast<int>(m_pMesh->m_vertices.size()))
                continue;
            m_pMesh->GetVertexFaces(v, faces, false);
            if (faces.size() != 1)
                continue;
            m_pMesh->RemoveFace(faces[0], false);
            vertices.erase(vertices.begin() + static_cast<std::ptrdiff_t>(i));
            ++removed;
            again = true;
            break;
        }
    }
    return removed > 0;
}

void QvFillHoleCommand::RemoveLastFaces(int count)
{
    if (m_pMesh == nullptr || count <= 0)
        return;
    for (int removed = 0; removed < count; ++removed)
    {
        const int last = static_cast<int>(m_pMesh->m_faces.size()) - 1;
        if (last <= 0)
            return;
        m_pMesh->RemoveFace(last, true);
    }
}

double QvFillHoleCommand::AddCornerAngle(const int corners[3], QvAngleRanking& angleToVertex,
                                         std::map<int, double>& vertexToAngle) const
{
    const int a = corners[0];
    const QvPoint& pa = m_pMesh->m_vertices[a].m_point;
    const double angle =
        (m_pMesh->m_vertices[corners[2]].m_point - pa).Angle(m_pMesh->m_vertices[corners[1]].m_point - pa);

    const auto entry = vertexToAngle.find(a);
    if (entry == vertexToAngle.end() || angleToVertex.empty())
        return angle;
    const double old = entry->second;
    const auto keyed = angleToVertex.find(old);
    if (keyed == angleToVertex.end())
        return old;
    vertexToAngle.erase(entry);
    angleToVertex.erase(keyed);
    vertexToAngle[a] = angle + old;
    angleToVertex.emplace(angle + old, a);
    return 0.0;
}

bool QvFillHoleCommand::IsEdgeReversed(const QvMesh* mesh, int a, int b)
{
    const int vertexCount = mesh == nullptr ? 0 : static_cast<int>(mesh->m_vertices.size());
    if (a < 0 || a >= vertexCount || b < 0 || b >= vertexCount)
        return false;
    const int e = mesh->FindEdge(a, b);
    if (e == -1)
        return false;
    const int f = mesh->m_edges[e].GetOtherFace(-1);
    if (f == -1)
        return false;
    const std::int32_t* c = mesh->m_faces[f].m_vertices;
    if (a == c[0])
        return b != c[1];
    if (a == c[1])
        return b != c[2];
    return a == c[2] && b != c[0];
}

double QvFillHoleCommand::VectorAngle(const QvVector& p, const QvVector& q)
{
    const double x = p.Length() * q.Length();
    if (x == 0.0)
        return -1.0;
    const double c = p.Dot(q) / x;
    if (IsZero(c - 1.0))
        return 0.0;
    if (IsZero(c + 1.0))
        return kQvPi;
    return std::acos(c);
}
