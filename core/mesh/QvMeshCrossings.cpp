// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvMeshCrossings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <set>

#include "core/mesh/QvMesh.h"

namespace {

using Tri = std::array<QvPoint, 3>;

// Sign of the volume of (a, b, c, d), zero within a rounding band relative to the
// lengths that enter it.
int Orient(const QvPoint& a, const QvPoint& b, const QvPoint& c, const QvPoint& d)
{
    const QvVector u = b - a;
    const QvVector v = c - a;
    const QvVector w = d - a;
    const double det = u.Cross(v).Dot(w);
    const double band = 1e-12 * u.Length() * v.Length() * w.Length();
    return det > band ? 1 : (det < -band ? -1 : 0);
}

// The same in a plane: the points' coordinates i0 and i1.
int Orient2(const QvPoint& a, const QvPoint& b, const QvPoint& c, int i0, int i1)
{
    const double ux = b[i0] - a[i0];
    const double uy = b[i1] - a[i1];
    const double vx = c[i0] - a[i0];
    const double vy = c[i1] - a[i1];
    const double det = ux * vy - uy * vx;
    const double band = 1e-12 * std::hypot(ux, uy) * std::hypot(vx, vy);
    return det > band ? 1 : (det < -band ? -1 : 0);
}

// Coordinates of the plane most faithful to a normal: the two other than its largest.
void PlaneAxes(const QvVector& normal, int& i0, int& i1)
{
    int drop = 0;
    for (int k = 1; k < 3; ++k)
        if (std::abs(normal[k]) > std::abs(normal[drop]))
            drop = k;
    i0 = drop == 0 ? 1 : 0;
    i1 = drop == 2 ? 1 : 2;
}

// In a plane: p inside or on triangle t.
bool InsideFlat(const Tri& t, const QvPoint& p, int i0, int i1)
{
    const int s0 = Orient2(t[0], t[1], p, i0, i1);
    const int s1 = Orient2(t[1], t[2], p, i0, i1);
    const int s2 = Orient2(t[2], t[0], p, i0, i1);
    return (s0 >= 0 && s1 >= 0 && s2 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0);
}

// In a plane: segments p-q and r-s meet (touching included).
bool SegmentsMeetFlat(const QvPoint& p, const QvPoint& q, const QvPoint& r, const QvPoint& s, int i0, int i1)
{
    const int o1 = Orient2(p, q, r, i0, i1);
    const int o2 = Orient2(p, q, s, i0, i1);
    const int o3 = Orient2(r, s, p, i0, i1);
    const int o4 = Orient2(r, s, q, i0, i1);
    if (o1 * o2 > 0 || o3 * o4 > 0)
        return false;
    if (o1 != 0 || o2 != 0 || o3 != 0 || o4 != 0)
        return true;
    // Collinear: they meet when their extents along the line overlap.
    const int k = std::abs(q[i0] - p[i0]) >= std::abs(q[i1] - p[i1]) ? i0 : i1;
    return std::max(p[k], q[k]) >= std::min(r[k], s[k]) && std::max(r[k], s[k]) >= std::min(p[k], q[k]);
}

// Segment p-q lying in the plane of t: does it meet t?
bool SegmentMeetsFlat(const QvPoint& p, const QvPoint& q, const Tri& t, int i0, int i1)
{
    if (InsideFlat(t, p, i0, i1) || InsideFlat(t, q, i0, i1))
        return true;
    for (int k = 0; k < 3; ++k)
        if (SegmentsMeetFlat(p, q, t[k], t[(k + 1) % 3], i0, i1))
            return true;
    return false;
}

QvVector NormalOf(const Tri& t) { return (t[1] - t[0]).Cross(t[2] - t[0]); }

// Segment p-q against triangle t (touching included).
bool SegmentMeets(const QvPoint& p, const QvPoint& q, const Tri& t)
{
    const int dp = Orient(t[0], t[1], t[2], p);
    const int dq = Orient(t[0], t[1], t[2], q);
    if (dp * dq > 0)
        return false;
    if (dp == 0 && dq == 0)
    {
        int i0 = 0;
        int i1 = 1;
        PlaneAxes(NormalOf(t), i0, i1);
        return SegmentMeetsFlat(p, q, t, i0, i1);
    }
    const int s1 = Orient(p, q, t[0], t[1]);
    const int s2 = Orient(p, q, t[1], t[2]);
    const int s3 = Orient(p, q, t[2], t[0]);
    return (s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0);
}

bool Cross(const Tri& a, const Tri& b)
{
    int da[3];
    int db[3];
    for (int k = 0; k < 3; ++k)
    {
        db[k] = Orient(a[0], a[1], a[2], b[k]);
        da[k] = Orient(b[0], b[1], b[2], a[k]);
    }
    const auto oneSide = [](const int d[3]) { return (d[0] > 0 && d[1] > 0 && d[2] > 0) || (d[0] < 0 && d[1] < 0 && d[2] < 0); };
    if (oneSide(da) || oneSide(db))
        return false;
    if (db[0] == 0 && db[1] == 0 && db[2] == 0)
    {
        int i0 = 0;
        int i1 = 1;
        PlaneAxes(NormalOf(a), i0, i1);
        for (int k = 0; k < 3; ++k)
            if (SegmentMeetsFlat(b[k], b[(k + 1) % 3], a, i0, i1))
                return true;
        return InsideFlat(b, a[0], i0, i1);
    }
    // Where two triangles meet, a side of one meets the other.
    for (int k = 0; k < 3; ++k)
        if (SegmentMeets(b[k], b[(k + 1) % 3], a) || SegmentMeets(a[k], a[(k + 1) % 3], b))
            return true;
    return false;
}

Tri TriangleOf(const QvMesh& mesh, int f)
{
    const std::int32_t* c = mesh.m_faces[f].m_vertices;
    return {mesh.m_vertices[c[0]].m_point, mesh.m_vertices[c[1]].m_point, mesh.m_vertices[c[2]].m_point};
}

bool Degenerate(const Tri& t)
{
    const QvVector u = t[1] - t[0];
    const QvVector v = t[2] - t[0];
    return !(u.Cross(v).Length() > 1e-12 * u.Length() * v.Length());
}

// Two faces of the mesh, corners shared by index taken into account.
bool FacesCross(const QvMesh& mesh, int f, int g)
{
    const std::int32_t* a = mesh.m_faces[f].m_vertices;
    const std::int32_t* b = mesh.m_faces[g].m_vertices;
    int shared = 0;
    int inB[3] = {-1, -1, -1};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (a[i] == b[j])
            {
                inB[i] = j;
                ++shared;
            }
    const Tri ta = TriangleOf(mesh, f);
    const Tri tb = TriangleOf(mesh, g);
    // A face without area (collinear corners, as stitched fans may make) has no side to
    // cross from; it is left to the faces around it.
    if (Degenerate(ta) || Degenerate(tb))
        return false;
    if (shared == 0)
        return Cross(ta, tb);
    if (shared == 3)
        return true;
    if (shared == 1)
    {
        // Meeting anywhere but in the shared corner means the side facing it in one
        // meets the other.
        int ia = 0;
        while (inB[ia] == -1)
            ++ia;
        const int ib = inB[ia];
        return SegmentMeets(ta[(ia + 1) % 3], ta[(ia + 2) % 3], tb) ||
               SegmentMeets(tb[(ib + 1) % 3], tb[(ib + 2) % 3], ta);
    }
    // A shared side: they cross only when folded flat onto the same side of it.
    int apexA = 0;
    while (inB[apexA] != -1)
        ++apexA;
    int apexB = 0;
    while (b[apexB] == a[(apexA + 1) % 3] || b[apexB] == a[(apexA + 2) % 3])
        ++apexB;
    const QvPoint& v = ta[(apexA + 1) % 3];
    const QvPoint& w = ta[(apexA + 2) % 3];
    if (Orient(v, w, ta[apexA], tb[apexB]) != 0)
        return false;
    const QvVector side = w - v;
    return side.Cross(ta[apexA] - v).Dot(side.Cross(tb[apexB] - v)) > 0.0;
}

struct Box
{
    double lo[3];
    double hi[3];
    int face;
    bool listed; // in `faces` (else only in `others`)
};

} // namespace

bool QvTrianglesCross(const QvPoint a[3], const QvPoint b[3])
{
    return Cross({a[0], a[1], a[2]}, {b[0], b[1], b[2]});
}

bool QvFacesCross(const QvMesh& mesh, const std::vector<int>& faces, const std::vector<int>& others)
{
    const int count = static_cast<int>(mesh.m_faces.size());
    std::vector<char> listed(static_cast<std::size_t>(count), 0);
    std::vector<char> taken(static_cast<std::size_t>(count), 0);
    std::vector<Box> boxes;
    const auto add = [&](int f, bool isListed) {
        if (f < 0 || f >= count || taken[f])
            return;
        taken[f] = 1;
        listed[f] = isListed ? 1 : 0;
        Box box{};
        box.face = f;
        box.listed = isListed;
        const Tri t = TriangleOf(mesh, f);
        for (int k = 0; k < 3; ++k)
        {
            box.lo[k] = std::min({t[0][k], t[1][k], t[2][k]});
            box.hi[k] = std::max({t[0][k], t[1][k], t[2][k]});
        }
        boxes.push_back(box);
    };
    for (const int f : faces)
        add(f, true);
    for (const int f : others)
        add(f, false);
    // Sweep along x: each box meets only the boxes that start before it ends.
    std::sort(boxes.begin(), boxes.end(), [](const Box& x, const Box& y) { return x.lo[0] < y.lo[0]; });
    for (std::size_t i = 0; i < boxes.size(); ++i)
    {
        const Box& x = boxes[i];
        for (std::size_t j = i + 1; j < boxes.size() && boxes[j].lo[0] <= x.hi[0]; ++j)
        {
            const Box& y = boxes[j];
            if (!x.listed && !y.listed)
                continue;
            if (y.lo[1] > x.hi[1] || x.lo[1] > y.hi[1] || y.lo[2] > x.hi[2] || x.lo[2] > y.hi[2])
                continue;
            if (FacesCross(mesh, x.face, y.face))
                return true;
        }
    }
    return false;
}

std::vector<int> QvFacesNearVertices(const QvMesh& mesh, const std::vector<int>& vertices, int rings)
{
    const int count = static_cast<int>(mesh.m_vertices.size());
    std::set<int> reached;
    std::set<int> faces;
    std::vector<int> frontier;
    for (const int v : vertices)
        if (v >= 0 && v < count && reached.insert(v).second)
            frontier.push_back(v);
    std::vector<int> around;
    for (int ring = 0; ring < rings && !frontier.empty(); ++ring)
    {
        std::vector<int> next;
        for (const int v : frontier)
        {
            mesh.GetVertexFaces(v, around, false);
            for (const int f : around)
            {
                if (!faces.insert(f).second)
                    continue;
                for (const int w : mesh.m_faces[f].m_vertices)
                    if (reached.insert(w).second)
                        next.push_back(w);
            }
        }
        frontier.swap(next);
    }
    return std::vector<int>(faces.begin(), faces.end());
}

bool QvPatchCrosses(const QvMesh& mesh, int firstFace)
{
    const int count = static_cast<int>(mesh.m_faces.size());
    if (firstFace < 0 || firstFace >= count)
        return false;
    double lo[3] = {1e300, 1e300, 1e300};
    double hi[3] = {-1e300, -1e300, -1e300};
    std::vector<int> patch;
    for (int f = firstFace; f < count; ++f)
    {
        patch.push_back(f);
        for (const int v : mesh.m_faces[f].m_vertices)
            for (int k = 0; k < 3; ++k)
            {
                lo[k] = std::min(lo[k], mesh.m_vertices[v].m_point[k]);
                hi[k] = std::max(hi[k], mesh.m_vertices[v].m_point[k]);
            }
    }
    std::vector<int> near;
    for (int f = 0; f < firstFace; ++f)
    {
        bool apart = false;
        for (int k = 0; k < 3 && !apart; ++k)
        {
            const std::int32_t* c = mesh.m_faces[f].m_vertices;
            const double a = mesh.m_vertices[c[0]].m_point[k];
            const double b = mesh.m_vertices[c[1]].m_point[k];
            const double d = mesh.m_vertices[c[2]].m_point[k];
            apart = std::max({a, b, d}) < lo[k] || std::min({a, b, d}) > hi[k];
        }
        if (!apart)
            near.push_back(f);
    }
    return QvFacesCross(mesh, patch, near);
}
