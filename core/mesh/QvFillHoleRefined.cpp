// SPDX-License-Identifier: GPL-3.0-or-later
// Refined hole filling: an advancing front whose long new sides are cut into pieces of
// about the hole's edge length, then splitting of the long thin faces of the patch.
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <utility>

#include "core/mesh/QvFillHoleCommand.h"
#include "core/mesh/QvHoleOutline.h"

namespace {

constexpr double kMaxPerimeter = 40.0;
constexpr int kMaxLoopVertices = 120;

using Side = std::pair<int, int>;

Side MakeSide(int a, int b) { return a < b ? Side(a, b) : Side(b, a); }

QvPoint Midpoint(const QvPoint& p, const QvPoint& q) { return (p + QvVector(q[0], q[1], q[2])) / 2.0; }

// The patch being refined: faces from the first patch face to the end of the face list.
// Faces are found again from their sides whenever they are needed, because every removal
// moves the last face (and edge) into the freed slot.
class PatchRefiner
{
public:
    PatchRefiner(QvMesh& mesh, int firstFace, const std::vector<int>& loop, int tag, double target)
        : m_mesh(mesh), m_firstFace(firstFace), m_tag(tag), m_target(target), m_threshold(1.5 * target)
    {
        const std::size_t n = loop.size();
        for (std::size_t i = 0; i < n; ++i)
            m_loopSides.insert(MakeSide(loop[i], loop[(i + 1) % n]));
        // Splits and mends only ever add faces, so the patch's growth bounds the work on
        // any input, degenerate faces included.
        const double patchFaces = static_cast<double>(mesh.m_faces.size()) - firstFace;
        m_faceLimit = static_cast<std::size_t>(firstFace) + static_cast<std::size_t>(64.0 * (patchFaces + 16.0));
    }

    void Run()
    {
        if (!(m_target > 0.0) || !std::isfinite(m_target))
            return;
        for (;;)
        {
            if (m_mesh.m_faces.size() >= m_faceLimit)
                return;
            const int candidate = FindCandidate();
            if (candidate == -1)
                return;
            SplitCandidate(candidate);
            ResolveHangingVertices();
        }
    }

private:
    struct Pending
    {
        Side side;     // the side of the neighbour that carries the hanging vertex
        int hanging;   // the midpoint placed on that side
    };

    const QvPoint& P(int v) const { return m_mesh.m_vertices[v].m_point; }
    double Length(int a, int b) const { return P(a).Distance(P(b)); }

    // A side the patch must not split: a side of the hole itself, or any side shared with
    // a face outside the patch.
    bool IsLoopSide(int a, int b) const
    {
        if (m_loopSides.count(MakeSide(a, b)) != 0)
            return true;
        const int e = m_mesh.FindEdge(a, b);
        if (e == -1)
            return false;
        for (const int f : m_mesh.m_edges[e].m_faces)
            if (f != -1 && f < m_firstFace)
                return true;
        return false;
    }

    int FindCandidate() const
    {
        const int faceCount = static_cast<int>(m_mesh.m_faces.size());
        for (int f = m_firstFace; f < faceCount; ++f)
        {
            const std::int32_t* k = m_mesh.m_faces[f].m_vertices;
            const double s[3] = {Length(k[0], k[1]), Length(k[1], k[2]), Length(k[2], k[0])};
            const double longest = std::max({s[0], s[1], s[2]});
            const double shortest = std::min({s[0], s[1], s[2]});
            if (!(longest >= m_target))
                continue;
            int loopSides = 0;
            int loopSide = -1;
            for (int j = 0; j < 3; ++j)
                if (IsLoopSide(k[j], k[(j + 1) % 3]))
                {
                    ++loopSides;
                    loopSide = j;
                }
            if (loopSides > 1)
                continue;
            if (loopSides == 1 && s[loopSide] == longest)
                continue;
            if (longest > 3.0 * shortest)
                return f;
        }
        return -1;
    }

    // The midpoint of side a-b: the one placed on it earlier when the side was split from
    // its other face already, so that both faces share it.
    int MidpointOf(int a, int b)
    {
        const auto found = m_midpoints.find(MakeSide(a, b));
        if (found != m_midpoints.end())
            return found->second;
        const int m = m_mesh.AddVertex(Midpoint(P(a), P(b)));
        m_midpoints.emplace(MakeSide(a, b), m);
        return m;
    }

    void Add(int a, int b, int c) { static_cast<void>(m_mesh.AddFace(a, b, c, m_tag)); }

    // Records that side a-b of the face beyond it now carries the hanging vertex m.
    void Enter(std::vector<Pending>& generation, int a, int b, int m)
    {
        if (m_mesh.FindEdge(a, b) == -1)
            return; // no face beyond: nothing hangs
        const Side side = MakeSide(a, b);
        for (const Pending& p : generation)
            if (p.side == side)
                return;
        generation.push_back({side, m});
    }

    // The patch face beyond a hanging side, -1 when there is none any more.
    int FaceAcross(const Side& side) const
    {
        const int e = m_mesh.FindEdge(side.first, side.second);
        if (e == -1)
            return -1;
        const QvEdge& edge = m_mesh.m_edges[e];
        if (edge.m_faces[1] != -1)
            return -1; // both faces still there: the side was never opened
        const int f = edge.m_faces[0];
        return f >= m_firstFace ? f : -1;
    }

    void SplitCandidate(int face)
    {
        const std::int32_t k[3] = {m_mesh.m_faces[face].m_vertices[0], m_mesh.m_faces[face].m_vertices[1],
                                   m_mesh.m_faces[face].m_vertices[2]};
        int b0 = -1;
        int b1 = -1;
        for (int j = 0; j < 3 && b0 == -1; ++j)
            if (IsLoopSide(k[j], k[(j + 1) % 3]))
            {
                b0 = std::min(j, (j + 1) % 3);
                b1 = std::max(j, (j + 1) % 3);
            }
        if (b0 == -1)
        {
            const double s01 = Length(k[0], k[1]);
            const double s02 = Length(k[0], k[2]);
            const double s12 = Length(k[1], k[2]);
            const double shortest = std::min({s01, s02, s12});
            if (s01 == shortest)
            {
                b0 = 0;
                b1 = 1;
            }
            else if (s02 == shortest)
            {
                b0 = 0;
                b1 = 2;
            }
            else
            {
                b0 = 1;
                b1 = 2;
            }
        }
        const int B0 = k[b0];
        const int B1 = k[b1];
        const int A = k[3 - b0 - b1];

        // Corners are all reused at once, so none of them may be dropped as loose.
        m_mesh.RemoveFace(face, false);
        const int M0 = MidpointOf(A, B0);
        const int M1 = MidpointOf(A, B1);
        Add(A, M0, M1);
        if (Length(A, B1) > Length(A, B0))
        {
            Add(M0, M1, B0);
            Add(M1, B1, B0);
        }
        else
        {
            Add(M0, M1, B1);
            Add(M0, B1, B0);
        }
        m_current.clear();
        Enter(m_current, A, B0, M0);
        Enter(m_current, A, B1, M1);
    }

    void ResolveHangingVertices()
    {
        while (!m_current.empty())
        {
            m_next.clear();
            // Ascending face index, taken afresh before each step since every step moves faces.
            while (!m_current.empty())
            {
                if (m_mesh.m_faces.size() >= m_faceLimit)
                    return;
                std::size_t pick = m_current.size();
                int pickFace = std::numeric_limits<int>::max();
                for (std::size_t i = 0; i < m_current.size(); ++i)
                {
                    const int f = FaceAcross(m_current[i].side);
                    if (f != -1 && f < pickFace)
                    {
                        pick = i;
                        pickFace = f;
                    }
                }
                if (pick == m_current.size())
                    break;
                const Pending entry = m_current[pick];
                m_current.erase(m_current.begin() + static_cast<std::ptrdiff_t>(pick));
                Resolve(pickFace, entry);
            }
            m_current.swap(m_next);
        }
    }

    void Resolve(int face, const Pending& entry)
    {
        const std::int32_t w[3] = {m_mesh.m_faces[face].m_vertices[0], m_mesh.m_faces[face].m_vertices[1],
                                   m_mesh.m_faces[face].m_vertices[2]};
        const int M = entry.hanging;
        int shared[2] = {-1, -1};
        int sharedCount = 0;
        int z = -1;
        for (const int v : w)
        {
            if ((v == entry.side.first || v == entry.side.second) && sharedCount < 2)
                shared[sharedCount++] = v;
            else
                z = v;
        }
        if (sharedCount != 2 || z == -1)
            return;
        int loopSides = 0;
        int x = -1;
        int y = -1;
        for (int j = 0; j < 3; ++j)
            if (IsLoopSide(w[j], w[(j + 1) % 3]))
            {
                ++loopSides;
                x = w[j];
                y = w[(j + 1) % 3];
            }

        m_mesh.RemoveFace(face, false);
        const double H = m_threshold;

        if (loopSides >= 2)
        {
            Add(shared[0], z, M);
            Add(shared[1], z, M);
            return;
        }
        if (loopSides == 1)
        {
            int e = x;
            int d = y;
            if (m_mesh.FindEdge(M, x) == -1)
            {
                e = y;
                d = x;
            }
            int c = -1;
            for (const int v : w)
                if (v != x && v != y)
                {
                    c = v;
                    break;
                }
            if (H > Length(d, c))
            {
                Add(c, M, d);
                Add(e, M, d);
                return;
            }
            const int M2 = MidpointOf(d, c);
            Add(c, M, M2);
            if (Length(d, c) > Length(e, c))
            {
                Add(e, M2, M);
                Add(e, M2, d);
            }
            else
            {
                Add(d, M2, M);
                Add(e, M, d);
            }
            Enter(m_next, d, c, M2);
            return;
        }

        const int c0 = shared[0];
        const int c1 = shared[1];
        const double l0 = Length(c0, z);
        const double l1 = Length(c1, z);
        if (H > l0 && H > l1)
        {
            Add(z, M, c1);
            Add(c0, M, z);
            return;
        }
        const double base = Length(c0, c1);
        // The longer of the two sides to z is split; the same steps serve either side.
        const auto splitSide = [&](int near, int far, double lNear) {
            const int M2 = MidpointOf(near, z);
            Add(near, M2, M);
            if (lNear > base)
            {
                Add(far, M2, M);
                Add(far, M2, z);
            }
            else
            {
                Add(z, M2, M);
                Add(far, z, M);
            }
            Enter(m_next, near, z, M2);
        };
        if (l0 > l1)
            splitSide(c0, c1, l0);
        else
            splitSide(c1, c0, l1);
    }

    QvMesh& m_mesh;
    const int m_firstFace;
    const int m_tag;
    const double m_target;
    const double m_threshold;
    std::size_t m_faceLimit = 0;
    std::set<Side> m_loopSides;
    std::map<Side, int> m_midpoints;
    std::vector<Pending> m_current;
    std::vector<Pending> m_next;
};

// Takes back everything a fill added: its faces, then the vertices it created, which
// sit at the end of the vertex list and have no edges once the faces are gone.
void Abandon(QvMesh& mesh, int firstFace, int firstVertex)
{
    for (int f = static_cast<int>(mesh.m_faces.size()) - 1; f >= firstFace; --f)
        mesh.RemoveFace(f, false);
    while (static_cast<int>(mesh.m_vertices.size()) > firstVertex && mesh.m_vertices.back().m_edges.empty())
        mesh.m_vertices.pop_back();
}

} // namespace

bool QvFillHoleCommand::FillLoopRefined(const std::vector<int>& loop, int tag)
{
    if (loop.empty() || m_pMesh == nullptr)
        return false;
    const int vertexCount = static_cast<int>(m_pMesh->m_vertices.size());
    for (const int v : loop)
        if (v < 0 || v >= vertexCount)
            return false;
    const int firstFace = static_cast<int>(m_pMesh->m_faces.size());
    const int n = static_cast<int>(loop.size());

    double perimeter = 0.0;
    for (int i = 0; i < n; ++i)
        perimeter += m_pMesh->m_vertices[loop[i]].m_point.Distance(m_pMesh->m_vertices[loop[(i + 1) % n]].m_point);
    if (perimeter > kMaxPerimeter || n > kMaxLoopVertices)
        return false;
    const double target = 2.0 * perimeter / n;
    if (!(target > 0.0) || !std::isfinite(target))
        return false;

    std::vector<int> front = loop;
    QvAngleRanking ranking;
    RankLoopVertices(front, ranking);
    QvHoleOutline outline(*m_pMesh, loop);

    // The front loses its corner every step and its new pieces are at least the target
    // length long, so a sound hole closes in far fewer steps than this.
    const double pieces = perimeter / target;
    const long long stepLimit = 16LL * (n + static_cast<long long>(pieces) + 16);
    for (long long step = 0;; ++step)
    {
        const int m = static_cast<int>(front.size());
        if (step >= stepLimit || ranking.empty())
        {
            Abandon(*m_pMesh, firstFace, vertexCount);
            return false;
        }
        // The largest angle sum whose triangle stays inside the outline.
        int i = -1;
        for (const auto& entry : ranking)
        {
            const int at = entry.second;
            if (outline.IsFreeCorner(front[(at + m - 1) % m], front[at], front[(at + 1) % m], front))
            {
                i = at;
                break;
            }
        }
        if (i == -1)
        {
            Abandon(*m_pMesh, firstFace, vertexCount);
            return false;
        }
        const int corner[3] = {front[(i + m - 1) % m], front[i], front[(i + 1) % m]};
        if (!IsValidTriangle(corner))
        {
            Abandon(*m_pMesh, firstFace, vertexCount);
            return false;
        }
        std::vector<int> created;
        AddCornerFan(corner, created, tag, target);
        for (const int v : created)
            outline.AddVertex(v, m_pMesh->m_vertices[v].m_point);
        front.erase(front.begin() + i);
        front.insert(front.begin() + i, created.begin(), created.end());
        ranking.clear();
        RankLoopVertices(front, ranking);
        if (front.size() == 3)
        {
            static_cast<void>(m_pMesh->AddFace(front[0], front[1], front[2], tag));
            break;
        }
        if (front.size() < 3)
            break;
    }

    RefinePatch(firstFace, loop, tag, target);
    if (PatchCrosses(firstFace))
    {
        Abandon(*m_pMesh, firstFace, vertexCount);
        return false;
    }

    std::vector<int> added;
    for (int f = firstFace; f < static_cast<int>(m_pMesh->m_faces.size()); ++f)
        added.push_back(f);
    m_pMesh->UpdateFaceNormals(added);
    m_pMesh->OrientFaces(added);
    return true;
}

void QvFillHoleCommand::AddCornerFan(const int corners[3], std::vector<int>& newVertices, int tag,
                                     double targetLength)
{
    const int p = corners[0];
    const int c = corners[1];
    const int q = corners[2];
    const QvPoint from = m_pMesh->m_vertices[p].m_point;
    const QvPoint to = m_pMesh->m_vertices[q].m_point;
    const double d = from.Distance(to);
    // No side is cut into more pieces than the largest loop could ever need.
    const double ratio = targetLength > 0.0 ? d / targetLength : 0.0;
    const int k = std::isfinite(ratio) ? static_cast<int>(std::min(ratio, 1.0e4)) : 0;
    const int s = k >= 1 ? k : 1;

    std::vector<int> chain{p};
    if (k >= 2)
    {
        QvVector u = to - from;
        u.Normalize();
        const double step = d / s;
        for (int e = 1; e < s; ++e)
        {
            const int v = m_pMesh->AddVertex(from + u * (e * step));
            chain.push_back(v);
            newVertices.push_back(v);
        }
    }
    chain.push_back(q);
    for (std::size_t j = 0; j + 1 < chain.size(); ++j)
        static_cast<void>(m_pMesh->AddFace(chain[j], c, chain[j + 1], tag));
}

void QvFillHoleCommand::RefinePatch(int firstFace, const std::vector<int>& loop, int tag, double targetLength)
{
    if (m_pMesh == nullptr || firstFace < 0 || static_cast<int>(m_pMesh->m_faces.size()) <= firstFace)
        return;
    PatchRefiner(*m_pMesh, firstFace, loop, tag, targetLength).Run();
}
