// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvHolePatchBuilder.h"

#include "core/mesh/QvMeshEditSteps.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>

#include "core/geometry/QvCircle.h"

namespace {

QvPoint Flat(const QvPoint& p) { return QvPoint(p[0], p[1], 0.0); }

QvLineSeg Flat(const QvLineSeg& s) { return QvLineSeg(Flat(s.m_start), Flat(s.m_end)); }

// Twice the signed area of (a, b, c) in the XY plane: positive when counter-clockwise.
double Orient(const QvPoint& a, const QvPoint& b, const QvPoint& c)
{
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

// cross(unit(u), unit(v)) in the XY plane.
double UnitCross(const QvVector& u, const QvVector& v)
{
    QvVector a(u[0], u[1], 0.0);
    QvVector b(v[0], v[1], 0.0);
    a.Normalize();
    b.Normalize();
    return a[0] * b[1] - a[1] * b[0];
}

// The patch's vertices by planar position, for finding the first vertex at a point
// among thousands: those within the equality tolerance in x are the only candidates.
class FlatIndex
{
public:
    explicit FlatIndex(const QvMesh& mesh) : m_mesh(mesh)
    {
        const int count = static_cast<int>(mesh.m_vertices.size());
        m_order.reserve(count);
        for (int v = 0; v < count; ++v)
            m_order.emplace_back(mesh.m_vertices[v].m_point[0], v);
        std::sort(m_order.begin(), m_order.end());
    }
    // The lowest index whose flat position equals q's; -1 when none.
    int Find(const QvPoint& p) const
    {
        const QvPoint q = Flat(p);
        // Equal points lie closer than 1e-7; the wider window only adds candidates.
        auto it = std::lower_bound(m_order.begin(), m_order.end(), std::make_pair(q[0] - 1e-6, -1));
        int found = -1;
        for (; it != m_order.end() && it->first <= q[0] + 1e-6; ++it)
            if ((found == -1 || it->second < found) && Flat(m_mesh.m_vertices[it->second].m_point) == q)
                found = it->second;
        return found;
    }

private:
    const QvMesh& m_mesh;
    std::vector<std::pair<double, int>> m_order;
};

bool IsFinite(const QvPoint& p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

double SegmentDistance2D(const QvPoint& q, const QvPoint& a, const QvPoint& b)
{
    const double dx = b[0] - a[0];
    const double dy = b[1] - a[1];
    const double len2 = dx * dx + dy * dy;
    double t = 0.0;
    if (len2 > 0.0)
        t = std::clamp(((q[0] - a[0]) * dx + (q[1] - a[1]) * dy) / len2, 0.0, 1.0);
    const double ex = a[0] + t * dx - q[0];
    const double ey = a[1] + t * dy - q[1];
    return std::sqrt(ex * ex + ey * ey);
}

} // namespace

QvHolePatchBuilder::QvHolePatchBuilder() = default;

QvHolePatchBuilder::QvHolePatchBuilder(const std::vector<QvPoint>& points) : m_points(points) {}

QvHolePatchBuilder::QvHolePatchBuilder(const std::vector<QvPoint>& points, const std::vector<QvLineSeg>& segments)
    : m_points(points), m_segments(segments)
{
}

QvHolePatchBuilder::~QvHolePatchBuilder() = default;

int QvHolePatchBuilder::FindVertexAt(const QvPoint& p) const
{
    const QvPoint q = Flat(p);
    for (const QvVertex& v : m_patch.m_vertices)
        if (Flat(v.m_point) == q)
            return v.m_index;
    return -1;
}

// ---- Run ----------------------------------------------------------------------------------

bool QvHolePatchBuilder::Run()
{
    for (const QvPoint& p : m_points)
        if (!IsFinite(p))
            return false;
    for (const QvLineSeg& s : m_segments)
        if (!IsFinite(s.m_start) || !IsFinite(s.m_end))
            return false;
    if (!IsSegmentChainSimple())
        return false;
    CreateSuperTriangle();
    BeginInsertion();
    for (const QvPoint& p : m_points)
        if (!InsertOnePoint(p))
        {
            EndInsertion();
            return false;
        }
    EndInsertion();
    if (m_segments.empty())
        return true;
    for (const QvLineSeg& s : m_segments)
        if (!InsertSegment(s))
            return false;
    // The flood that removes the outside stops only at outline edges: one missing edge
    // would let it through to the inside.
    if (!m_patch.m_faces.empty())
    {
        const FlatIndex index(m_patch);
        for (const QvLineSeg& s : m_segments)
        {
            const int a = index.Find(s.m_start);
            const int b = index.Find(s.m_end);
            if (a == -1 || b == -1 || m_patch.FindEdge(a, b) == -1)
                return false;
        }
    }
    RemoveOutside();
    return true;
}

void QvHolePatchBuilder::GetPatch(QvMesh& target) const { target = m_patch; }

void QvHolePatchBuilder::TakePatch(QvMesh& target)
{
    // What the mesh's copy assignment does, with the element lists moved.
    static_cast<QvEntity&>(target) = m_patch;
    target.m_vertices = std::move(m_patch.m_vertices);
    target.m_edges = std::move(m_patch.m_edges);
    target.m_faces = std::move(m_patch.m_faces);
    target.m_colors = std::move(m_patch.m_colors);
    target.m_bFirstFlag = m_patch.m_bFirstFlag;
    target.m_bModified = m_patch.m_bModified;
    m_patch.Clear();
    m_tracking = false;
    m_boxesValid = false;
}

std::vector<int>& QvHolePatchBuilder::GetBoundaryVertexIndices()
{
    const FlatIndex index(m_patch);
    for (const QvLineSeg& s : m_segments)
    {
        const int v = index.Find(s.m_start);
        if (v != -1)
            m_boundaryIndices.push_back(v);
    }
    return m_boundaryIndices;
}

void QvHolePatchBuilder::RemoveSuperTriangle()
{
    m_boxesValid = false;
    m_tracking = false;
    if (m_patch.m_vertices.size() <= 3)
        return;
    std::set<int> faces;
    std::vector<int> around;
    for (int v = 0; v < 3; ++v)
    {
        m_patch.GetVertexFaces(v, around, false);
        faces.insert(around.begin(), around.end());
    }
    for (auto it = faces.rbegin(); it != faces.rend(); ++it)
        m_patch.RemoveFace(*it, true);
}

bool QvHolePatchBuilder::IsFaceValid(int face) const
{
    if (face < 0 || face >= static_cast<int>(m_patch.m_faces.size()))
        return false;
    const QvFace& f = m_patch.m_faces[face];
    const int a = f.m_vertices[0];
    const int b = f.m_vertices[1];
    const int c = f.m_vertices[2];
    if (a == b || b == c || c == a)
        return false;
    const QvPoint& p0 = m_patch.m_vertices[a].m_point;
    const QvPoint& p1 = m_patch.m_vertices[b].m_point;
    const QvPoint& p2 = m_patch.m_vertices[c].m_point;
    if (p0 == p1 || p1 == p2 || p2 == p0)
        return false;
    QvVector s = p0 - p1;
    QvVector t = p1 - p2;
    s.Normalize();
    t.Normalize();
    return !(s == t || s == -t);
}

// ---- Triangulation mirror --------------------------------------------------------------

// Elements as the mesh keeps them: the same indices, side slots, edge directions and
// incidence orders after every AddFace and RemoveFace, so that the insertion walks and
// re-triangulates exactly as it would on the mesh itself (the edits are the mesh's own,
// core/mesh/QvMeshEditSteps.h).
struct QvHolePatchBuilder::Triangulation
{
    struct Vertex
    {
        QvPoint m_point;
        std::vector<int> m_edges;
        void AddEdge(int edge) { m_edges.push_back(edge); }
        void RemoveEdge(int edge)
        {
            const auto it = std::find(m_edges.begin(), m_edges.end(), edge);
            if (it != m_edges.end())
                m_edges.erase(it);
        }
    };
    struct Edge
    {
        int m_vertices[2];
        int m_faces[2];
        int GetOtherFace(int face) const { return face == m_faces[0] ? m_faces[1] : m_faces[0]; }
        int GetOtherVertex(int vertex) const { return vertex == m_vertices[0] ? m_vertices[1] : m_vertices[0]; }
    };
    struct Face
    {
        int m_vertices[3];
        int m_edges[3];
        int GetThirdVertex(int a, int b) const
        {
            for (const int v : m_vertices)
                if (v != a && v != b)
                    return v;
            return -1;
        }
    };
    std::vector<Vertex> m_vertices;
    std::vector<Edge> m_edges;
    std::vector<Face> m_faces;

    int FindEdge(int a, int b) const { return qvmeshedit::FindEdge(*this, a, b); }
    bool AddFace(int a, int b, int c) { return qvmeshedit::AddFace(*this, a, b, c); }

    int AddVertex(const QvPoint& point)
    {
        m_vertices.push_back({point, {}});
        return static_cast<int>(m_vertices.size()) - 1;
    }

    // The face goes, the last face takes its place; sides left without a face go with
    // it, from the end of the edge list. Vertices stay.
    void RemoveFace(int face)
    {
        const int deadEdges = qvmeshedit::DetachFace(*this, face);
        m_faces.pop_back();
        m_edges.resize(m_edges.size() - static_cast<std::size_t>(deadEdges));
    }
};

void QvHolePatchBuilder::BeginInsertion()
{
    if (m_fast)
        return;
    m_fast = std::make_unique<Triangulation>();
    Triangulation& t = *m_fast;
    t.m_vertices.reserve(m_patch.m_vertices.size() + m_points.size());
    for (const QvVertex& v : m_patch.m_vertices)
        t.m_vertices.push_back({v.m_point, v.m_edges.ToVector()});
    t.m_edges.reserve(m_patch.m_edges.size());
    for (const QvEdge& e : m_patch.m_edges)
        t.m_edges.push_back({{e.m_vertices[0], e.m_vertices[1]}, {e.m_faces[0], e.m_faces[1]}});
    t.m_faces.reserve(m_patch.m_faces.size());
    for (const QvFace& f : m_patch.m_faces)
        t.m_faces.push_back({{f.m_vertices[0], f.m_vertices[1], f.m_vertices[2]},
                             {f.m_edges[0], f.m_edges[1], f.m_edges[2]}});
    m_patch.m_vertices.clear();
    m_patch.m_edges.clear();
    m_patch.m_faces.clear();
}

void QvHolePatchBuilder::EndInsertion()
{
    if (!m_fast)
        return;
    Triangulation& t = *m_fast;
    m_patch.m_vertices.resize(t.m_vertices.size());
    for (std::size_t i = 0; i < t.m_vertices.size(); ++i)
    {
        QvVertex& v = m_patch.m_vertices[i];
        v.m_index = static_cast<std::int32_t>(i);
        v.m_point = t.m_vertices[i].m_point;
        v.m_edges = std::move(t.m_vertices[i].m_edges);
    }
    m_patch.m_edges.resize(t.m_edges.size());
    for (std::size_t i = 0; i < t.m_edges.size(); ++i)
    {
        QvEdge& e = m_patch.m_edges[i];
        e.m_index = static_cast<std::int32_t>(i);
        e.SetVertices(t.m_edges[i].m_vertices[0], t.m_edges[i].m_vertices[1]);
        e.SetFaces(t.m_edges[i].m_faces[0], t.m_edges[i].m_faces[1]);
    }
    m_patch.m_faces.resize(t.m_faces.size());
    for (std::size_t i = 0; i < t.m_faces.size(); ++i)
    {
        QvFace& f = m_patch.m_faces[i];
        f.m_index = static_cast<std::int32_t>(i);
        f.SetVertices(t.m_faces[i].m_vertices[0], t.m_faces[i].m_vertices[1], t.m_faces[i].m_vertices[2]);
        f.SetEdges(t.m_faces[i].m_edges[0], t.m_faces[i].m_edges[1], t.m_faces[i].m_edges[2]);
    }
    m_fast.reset();
}

// ---- Steps --------------------------------------------------------------------------------

bool QvHolePatchBuilder::IsSegmentChainSimple() const
{
    const int n = static_cast<int>(m_segments.size());
    for (int i = 0; i < n; ++i)
    {
        const QvLineSeg si = Flat(m_segments[i]);
        const int last = i == 0 ? n - 2 : n - 1;
        for (int j = i + 2; j <= last; ++j)
        {
            const QvLineSeg sj = Flat(m_segments[j]);
            const double minXi = std::min(si.m_start[0], si.m_end[0]);
            const double maxXi = std::max(si.m_start[0], si.m_end[0]);
            const double minYi = std::min(si.m_start[1], si.m_end[1]);
            const double maxYi = std::max(si.m_start[1], si.m_end[1]);
            const double minXj = std::min(sj.m_start[0], sj.m_end[0]);
            const double maxXj = std::max(sj.m_start[0], sj.m_end[0]);
            const double minYj = std::min(sj.m_start[1], sj.m_end[1]);
            const double maxYj = std::max(sj.m_start[1], sj.m_end[1]);
            if (minXi > maxXj || minXj > maxXi || minYi > maxYj || minYj > maxYi)
                continue;
            QvPoint x;
            if (si.Intersect(sj, x))
                return false;
        }
    }
    return true;
}

bool QvHolePatchBuilder::CreateSuperTriangle()
{
    if (m_points.empty())
        return false;
    // An equilateral triangle whose inscribed circle is ten times the radius of the
    // circle around the points' box: every point lies well inside, never on a side.
    double minX = m_points[0][0];
    double maxX = minX;
    double minY = m_points[0][1];
    double maxY = minY;
    for (const QvPoint& p : m_points)
    {
        minX = std::min(minX, p[0]);
        maxX = std::max(maxX, p[0]);
        minY = std::min(minY, p[1]);
        maxY = std::max(maxY, p[1]);
    }
    const double cx = 0.5 * (minX + maxX);
    const double cy = 0.5 * (minY + maxY);
    double half = 0.5 * std::max(maxX - minX, maxY - minY);
    if (!(half > 0.0))
        half = 1.0;
    const double r = 10.0 * std::sqrt(2.0) * half;
    const double s3 = std::sqrt(3.0);
    m_patch.AddVertex(QvPoint(cx, cy + 2.0 * r, 0.0));
    m_patch.AddVertex(QvPoint(cx + s3 * r, cy - r, 0.0));
    m_patch.AddVertex(QvPoint(cx - s3 * r, cy - r, 0.0));
    static_cast<void>(m_patch.AddFace(0, 1, 2, 0));
    return true;
}

bool QvHolePatchBuilder::FaceCircle(int face, QvPoint& centre, double& radius) const
{
    const Triangulation::Face& f = m_fast->m_faces[face];
    const auto position = [this](int v) { return Flat(m_fast->m_vertices[v].m_point); };
    const std::unique_ptr<QvCircle> circle(QvCircle::FromThreePoints(
        position(f.m_vertices[0]), position(f.m_vertices[1]), position(f.m_vertices[2])));
    if (!circle)
        return false;
    centre = circle->m_centre;
    radius = circle->m_radius;
    return true;
}

void QvHolePatchBuilder::TrackFaces()
{
    const int faceCount = static_cast<int>(m_fast->m_faces.size());
    if (m_tracking && static_cast<int>(m_circles.size()) == faceCount)
        return;
    m_circles.assign(faceCount, Circle{});
    m_undefinedCount = 0;
    for (int f = 0; f < faceCount; ++f)
        if (!FaceCircle(f, m_circles[f].centre, m_circles[f].radius))
        {
            m_circles[f].undefined = true;
            ++m_undefinedCount;
        }
    m_tracking = true;
}

int QvHolePatchBuilder::LocateFace(const QvPoint& q) const
{
    const auto position = [this](int v) { return Flat(m_fast->m_vertices[v].m_point); };
    const int faceCount = static_cast<int>(m_fast->m_faces.size());
    // The first face in index order that holds q, sides included; only that choice
    // matters when q lies on a side or a corner, so the walk below hands such a point
    // and every walk that cannot finish over to this scan.
    const auto scan = [&]() {
        for (int f = 0; f < faceCount; ++f)
        {
            const Triangulation::Face& face = m_fast->m_faces[f];
            const QvPoint a = position(face.m_vertices[0]);
            const QvPoint b = position(face.m_vertices[1]);
            const QvPoint c = position(face.m_vertices[2]);
            const double o = Orient(a, b, c);
            if (o == 0.0)
                continue;
            const double sign = o > 0.0 ? 1.0 : -1.0;
            if (sign * Orient(a, b, q) >= 0.0 && sign * Orient(b, c, q) >= 0.0 && sign * Orient(c, a, q) >= 0.0)
                return f;
        }
        return -1;
    };
    if (faceCount == 0)
        return -1;
    // Points come in grid order, each next to the one before: a walk from the newest
    // face crosses a few faces where a scan would test them all.
    int f = faceCount - 1;
    for (int step = 0; step < faceCount; ++step)
    {
        const Triangulation::Face& face = m_fast->m_faces[f];
        const QvPoint corner[3] = {position(face.m_vertices[0]), position(face.m_vertices[1]),
                                   position(face.m_vertices[2])};
        const double o = Orient(corner[0], corner[1], corner[2]);
        if (o == 0.0)
            return scan();
        const double sign = o > 0.0 ? 1.0 : -1.0;
        int exit = -1;
        bool onSide = false;
        for (int k = 0; k < 3 && exit == -1; ++k)
        {
            const double side = sign * Orient(corner[k], corner[(k + 1) % 3], q);
            if (side < 0.0)
                exit = k;
            else if (side == 0.0)
                onSide = true;
        }
        if (exit == -1)
            return onSide ? scan() : f;
        const int e = m_fast->FindEdge(face.m_vertices[exit], face.m_vertices[(exit + 1) % 3]);
        const int g = e == -1 ? -1 : m_fast->m_edges[e].GetOtherFace(f);
        if (g == -1)
            return scan();
        f = g;
    }
    return scan();
}

void QvHolePatchBuilder::RemoveTrackedFace(int face)
{
    // The mesh moves its last face into the freed place; the circles follow.
    m_fast->RemoveFace(face);
    m_undefinedCount -= m_circles[face].undefined ? 1 : 0;
    m_circles[face] = m_circles.back();
    m_circles.pop_back();
}

bool QvHolePatchBuilder::AddTrackedFace(int a, int b, int c)
{
    if (!m_fast->AddFace(a, b, c))
    {
        m_tracking = false;
        return false;
    }
    Circle circle;
    circle.undefined = !FaceCircle(static_cast<int>(m_fast->m_faces.size()) - 1, circle.centre, circle.radius);
    m_undefinedCount += circle.undefined ? 1 : 0;
    m_circles.push_back(circle);
    return true;
}

bool QvHolePatchBuilder::InsertPoint(const QvPoint& p)
{
    BeginInsertion();
    const bool inserted = InsertOnePoint(p);
    EndInsertion();
    return inserted;
}

bool QvHolePatchBuilder::InsertOnePoint(const QvPoint& p)
{
    m_boxesValid = false;
    const QvPoint q = Flat(p);
    const auto position = [this](int v) { return Flat(m_fast->m_vertices[v].m_point); };

    if (m_fast->m_vertices.size() == 3 && m_fast->m_faces.size() == 1)
    {
        m_fast->RemoveFace(0);
        m_fast->AddVertex(p);
        static_cast<void>(m_fast->AddFace(0, 1, 3));
        static_cast<void>(m_fast->AddFace(1, 2, 3));
        static_cast<void>(m_fast->AddFace(0, 2, 3));
        m_tracking = false;
        return true;
    }

    // A face without a circumcircle anywhere in the patch stops the insertion, as the
    // test of every face against p would; the faces' flags are kept up to date instead.
    TrackFaces();
    if (m_undefinedCount != 0)
        return false;

    // Circumcircle tests near co-circular points (a regular grid is full of them) can
    // disagree in rounding, giving a cavity that is split, holed or not visible from p,
    // whose fan would overlap. The cavity is therefore grown from the face holding p
    // through faces whose circumcircle holds p, then widened across every side that p
    // does not see.
    const int home = LocateFace(q);
    if (home == -1)
    {
        m_fast->AddVertex(p);
        return true;
    }
    for (const int v : m_fast->m_faces[home].m_vertices)
        if (position(v) == q)
        {
            m_fast->AddVertex(p);
            return true;
        }

    // Cavity faces stay in ascending order: the widening below, the rim's order and the
    // removal all go by it.
    const int faceCount = static_cast<int>(m_fast->m_faces.size());
    if (static_cast<int>(m_tested.size()) < faceCount)
    {
        m_tested.resize(faceCount, 0);
        m_inCavity.resize(faceCount, 0);
    }
    const unsigned stamp = ++m_insertion;
    const auto inCavity = [&](int f) { return m_inCavity[f] == stamp; };
    std::vector<int>& cavity = m_cavity;
    cavity.assign(1, home);
    m_tested[home] = stamp;
    m_inCavity[home] = stamp;
    for (std::size_t next = 0; next < cavity.size(); ++next)
    {
        const int f = cavity[next];
        for (const int e : m_fast->m_faces[f].m_edges)
        {
            const int g = m_fast->m_edges[e].GetOtherFace(f);
            if (g == -1 || m_tested[g] == stamp)
                continue;
            m_tested[g] = stamp;
            // Every face has its circle here: a face without one stopped the insertion above.
            const Circle& circle = m_circles[g];
            if (q.Distance(circle.centre) < circle.radius)
            {
                m_inCavity[g] = stamp;
                cavity.push_back(g);
            }
        }
    }
    std::sort(cavity.begin(), cavity.end());
    for (bool widened = true; widened;)
    {
        widened = false;
        for (const int f : cavity)
        {
            const Triangulation::Face& face = m_fast->m_faces[f];
            for (const int e : face.m_edges)
            {
                const Triangulation::Edge& side = m_fast->m_edges[e];
                const int g = side.GetOtherFace(f);
                if (g != -1 && inCavity(g))
                    continue;
                const QvPoint a = position(side.m_vertices[0]);
                const QvPoint b = position(side.m_vertices[1]);
                const QvPoint c = position(face.GetThirdVertex(side.m_vertices[0], side.m_vertices[1]));
                const double oc = Orient(a, b, c);
                const double op = Orient(a, b, q);
                if ((oc > 0.0 && op > 0.0) || (oc < 0.0 && op < 0.0))
                    continue;
                if (g == -1)
                    return false;
                m_inCavity[g] = stamp;
                cavity.insert(std::lower_bound(cavity.begin(), cavity.end(), g), g);
                widened = true;
                break;
            }
            if (widened)
                break;
        }
    }

    std::vector<std::pair<int, int>>& rim = m_rim;
    std::vector<int>& rimVertices = m_rimVertices;
    std::vector<int>& cavityVertices = m_cavityVertices;
    rim.clear();
    rimVertices.clear();
    cavityVertices.clear();
    for (const int f : cavity)
    {
        const Triangulation::Face& face = m_fast->m_faces[f];
        cavityVertices.insert(cavityVertices.end(), face.m_vertices, face.m_vertices + 3);
        for (const int e : face.m_edges)
        {
            const Triangulation::Edge& side = m_fast->m_edges[e];
            const int g = side.GetOtherFace(f);
            if (g == -1 || !inCavity(g))
            {
                rim.emplace_back(side.m_vertices[0], side.m_vertices[1]);
                rimVertices.push_back(side.m_vertices[0]);
                rimVertices.push_back(side.m_vertices[1]);
            }
        }
    }
    const auto distinct = [](std::vector<int>& list) {
        std::sort(list.begin(), list.end());
        return std::unique(list.begin(), list.end()) - list.begin();
    };
    // A vertex inside the cavity would lose all its faces.
    if (distinct(rimVertices) != distinct(cavityVertices))
        return false;

    for (auto it = cavity.rbegin(); it != cavity.rend(); ++it)
        RemoveTrackedFace(*it);
    const int v = m_fast->AddVertex(p);
    for (const auto& [a, b] : rim)
        if (!AddTrackedFace(a, b, v))
            return false;
    return true;
}

bool QvHolePatchBuilder::InsertSegment(const QvLineSeg& segment)
{
    m_tracking = false;
    if (m_patch.m_faces.empty())
        return true;
    const QvLineSeg s = Flat(segment);
    const auto position = [this](int v) { return Flat(m_patch.m_vertices[v].m_point); };

    // A vertex inside the segment would end up inside the re-triangulated region and
    // lose its faces.
    UpdateBoxes();
    const double nearX[2] = {std::min(s.m_start[0], s.m_end[0]) - 1e-6, std::max(s.m_start[0], s.m_end[0]) + 1e-6};
    const double nearY[2] = {std::min(s.m_start[1], s.m_end[1]) - 1e-6, std::max(s.m_start[1], s.m_end[1]) + 1e-6};
    const int vertexCount = static_cast<int>(m_patch.m_vertices.size());
    for (int v = 0; v < vertexCount; ++v)
    {
        const auto& c = m_vertexXY[v];
        if (c[0] < nearX[0] || c[0] > nearX[1] || c[1] < nearY[0] || c[1] > nearY[1])
            continue;
        const QvVertex& vertex = m_patch.m_vertices[v];
        if (vertex.m_edges.empty())
            continue;
        const QvPoint p = Flat(vertex.m_point);
        if (p == s.m_start || p == s.m_end)
            continue;
        if (SegmentDistance2D(p, s.m_start, s.m_end) < 1e-7)
            return false;
    }

    // A face whose box keeps clear of the segment's cannot cross it; the margin is far
    // above the tolerances of the intersection test.
    const double margin = 1e-6 * (1.0 + s.Length());
    const double lowX = std::min(s.m_start[0], s.m_end[0]) - margin;
    const double highX = std::max(s.m_start[0], s.m_end[0]) + margin;
    const double lowY = std::min(s.m_start[1], s.m_end[1]) - margin;
    const double highY = std::max(s.m_start[1], s.m_end[1]) + margin;
    std::set<int> crossed;
    const int faceCount = static_cast<int>(m_patch.m_faces.size());
    for (int f = 0; f < faceCount; ++f)
    {
        const auto& box = m_faceBoxes[f];
        if (box[1] < lowX || box[0] > highX || box[3] < lowY || box[2] > highY)
            continue;
        const QvFace& face = m_patch.m_faces[f];
        for (int k = 0; k < 3; ++k)
        {
            const QvLineSeg side(position(face.m_vertices[k]), position(face.m_vertices[(k + 1) % 3]));
            if (side == s)
                continue;
            QvPoint x;
            if (side.Intersect(s, x) && x.Distance(s.m_start) >= 1e-6 && x.Distance(s.m_end) >= 1e-6)
            {
                crossed.insert(f);
                break;
            }
        }
    }
    if (crossed.empty())
        return true;

    std::vector<int> loop;
    if (!GetCavityBoundary(crossed, loop))
        return false;
    std::vector<int> right;
    std::vector<int> left;
    if (!SplitCavity(loop, s, right, left))
        return false;
    m_boxesValid = false;
    for (auto it = crossed.rbegin(); it != crossed.rend(); ++it)
        m_patch.RemoveFace(*it, false);
    return TriangulatePolygon(right) && TriangulatePolygon(left);
}

void QvHolePatchBuilder::UpdateBoxes()
{
    const int faceCount = static_cast<int>(m_patch.m_faces.size());
    const int vertexCount = static_cast<int>(m_patch.m_vertices.size());
    if (m_boxesValid && static_cast<int>(m_faceBoxes.size()) == faceCount &&
        static_cast<int>(m_vertexXY.size()) == vertexCount)
        return;
    m_vertexXY.resize(vertexCount);
    for (int v = 0; v < vertexCount; ++v)
        m_vertexXY[v] = {m_patch.m_vertices[v].m_point[0], m_patch.m_vertices[v].m_point[1]};
    m_faceBoxes.resize(faceCount);
    for (int f = 0; f < faceCount; ++f)
    {
        const std::int32_t* c = m_patch.m_faces[f].m_vertices;
        const auto& a = m_vertexXY[c[0]];
        const auto& b = m_vertexXY[c[1]];
        const auto& d = m_vertexXY[c[2]];
        m_faceBoxes[f] = {std::min({a[0], b[0], d[0]}), std::max({a[0], b[0], d[0]}), std::min({a[1], b[1], d[1]}),
                          std::max({a[1], b[1], d[1]})};
    }
    m_boxesValid = true;
}

bool QvHolePatchBuilder::GetCavityBoundary(const std::set<int>& faces, std::vector<int>& loop) const
{
    loop.clear();
    if (faces.empty())
        return false;
    std::set<int> rim;
    for (const int f : faces)
        for (const int e : m_patch.m_faces[f].m_edges)
        {
            const int g = m_patch.m_edges[e].GetOtherFace(f);
            if (g == -1 || faces.count(g) == 0)
                rim.insert(e);
        }
    const int start = m_patch.m_faces[*faces.begin()].m_vertices[0];
    int current = start;
    while (!rim.empty())
    {
        int next = -1;
        for (const int e : m_patch.m_vertices[current].m_edges)
            if (rim.count(e) != 0)
            {
                next = e;
                break;
            }
        if (next == -1)
            break;
        current = m_patch.m_edges[next].GetOtherVertex(current);
        rim.erase(next);
        loop.push_back(current);
    }
    if (!rim.empty() || loop.empty() || loop.back() != start)
        return false;
    // A boundary that touches itself is walked as one loop through the shared vertex;
    // it is not a simple polygon.
    std::set<int> distinct(loop.begin(), loop.end());
    return distinct.size() == loop.size();
}

bool QvHolePatchBuilder::SplitCavity(const std::vector<int>& loop, const QvLineSeg& segment, std::vector<int>& right,
                                     std::vector<int>& left) const
{
    right.clear();
    left.clear();
    const int n = static_cast<int>(loop.size());
    if (n < 3)
        return false;
    const QvPoint s1 = Flat(segment.m_start);
    const QvPoint s2 = Flat(segment.m_end);
    const int a = FindVertexAt(s1);
    const int b = FindVertexAt(s2);
    if (a == -1 || b == -1 || a == b)
        return false;
    const int e0 = std::min(a, b);
    const int e1 = std::max(a, b);

    std::set<int> loopEdges;
    for (int i = 0; i < n; ++i)
        loopEdges.insert(m_patch.FindEdge(loop[i], loop[(i + 1) % n]));

    int t = -1;
    std::set<int> rightSet;
    std::set<int> leftSet;
    for (const int v : loop)
    {
        if (v == e0 || v == e1)
        {
            t = v;
            continue;
        }
        const QvPoint p = Flat(m_patch.m_vertices[v].m_point);
        if (UnitCross(s2 - s1, p - s1) < 0.0)
            rightSet.insert(v);
        else
            leftSet.insert(v);
    }
    if (t == -1)
        return false;
    const int other = t == e0 ? e1 : e0;

    const auto build = [&](std::set<int>& pending, std::vector<int>& chain) {
        chain.push_back(t);
        while (!pending.empty())
        {
            bool appended = false;
            for (const int e : m_patch.m_vertices[chain.back()].m_edges)
            {
                if (loopEdges.count(e) == 0)
                    continue;
                const int w = m_patch.m_edges[e].GetOtherVertex(chain.back());
                if (pending.erase(w) != 0)
                {
                    chain.push_back(w);
                    appended = true;
                    break;
                }
            }
            if (!appended)
                return false;
        }
        // The chain is closed by the segment only when its last vertex meets the far end
        // along the loop.
        if (chain.size() > 1 && loopEdges.count(m_patch.FindEdge(chain.back(), other)) == 0)
            return false;
        chain.push_back(other);
        return true;
    };
    if (!build(rightSet, right) || !build(leftSet, left))
        return false;
    if (static_cast<int>(right.size() + left.size()) != n + 2)
        return false;
    if (right.size() <= 2)
        right.clear();
    if (left.size() <= 2)
        left.clear();
    return true;
}

double QvHolePatchBuilder::GetCornerAngle(const std::vector<int>& loop, int i) const
{
    const int n = static_cast<int>(loop.size());
    const QvPoint p = Flat(m_patch.m_vertices[loop[i]].m_point);
    const QvPoint a = Flat(m_patch.m_vertices[loop[(i + n - 1) % n]].m_point);
    const QvPoint b = Flat(m_patch.m_vertices[loop[(i + 1) % n]].m_point);
    QvVector u = b - p;
    QvVector v = a - p;
    u.Normalize();
    v.Normalize();
    const double angle = std::acos(std::clamp(u.Dot(v), -1.0, 1.0));
    const double turn = Orient(a, p, b);
    return turn < 0.0 ? -angle : angle;
}

void QvHolePatchBuilder::OrientCounterClockwise(std::vector<int>& loop) const
{
    const std::size_t n = loop.size();
    if (n < 3)
        return;
    // The signed area decides for any simple loop; extreme-vertex turns do not when
    // the extreme vertex sits on a straight run.
    double area = 0.0;
    for (std::size_t i = 0; i < n; ++i)
    {
        const QvPoint& p = m_patch.m_vertices[loop[i]].m_point;
        const QvPoint& q = m_patch.m_vertices[loop[(i + 1) % n]].m_point;
        area += p[0] * q[1] - q[0] * p[1];
    }
    if (area < 0.0)
        std::reverse(loop.begin(), loop.end());
}

bool QvHolePatchBuilder::TriangulatePolygon(std::vector<int>& loop)
{
    m_boxesValid = false;
    m_tracking = false;
    if (loop.size() < 3)
        return true;
    OrientCounterClockwise(loop);
    const auto position = [this](int v) { return Flat(m_patch.m_vertices[v].m_point); };

    std::vector<std::pair<double, int>> ranked;
    while (loop.size() > 3)
    {
        const int n = static_cast<int>(loop.size());
        ranked.clear();
        for (int i = 0; i < n; ++i)
            ranked.emplace_back(GetCornerAngle(loop, i), i);
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& x, const auto& y) { return x.first > y.first; });

        // The flattest convex corner first, but only an ear: a corner whose triangle
        // holds no other loop vertex, so that the cut never overlaps the rest.
        int chosen = -1;
        for (const auto& [value, i] : ranked)
        {
            if (!(value > 0.0))
                break;
            const int ia = loop[(i + n - 1) % n];
            const int ip = loop[i];
            const int ib = loop[(i + 1) % n];
            const QvPoint a = position(ia);
            const QvPoint p = position(ip);
            const QvPoint b = position(ib);
            if (!(Orient(a, p, b) > 0.0))
                continue;
            bool empty = true;
            for (const int w : loop)
            {
                if (w == ia || w == ip || w == ib)
                    continue;
                const QvPoint x = position(w);
                if (Orient(a, p, x) >= 0.0 && Orient(p, b, x) >= 0.0 && Orient(b, a, x) >= 0.0)
                {
                    empty = false;
                    break;
                }
            }
            if (empty)
            {
                chosen = i;
                break;
            }
        }
        if (chosen == -1)
            return false;
        if (!m_patch.AddFace(loop[(chosen + n - 1) % n], loop[chosen], loop[(chosen + 1) % n], 0))
            return false;
        loop.erase(loop.begin() + chosen);
    }
    return m_patch.AddFace(loop[0], loop[1], loop[2], 0);
}

void QvHolePatchBuilder::RemoveOutside()
{
    m_boxesValid = false;
    m_tracking = false;
    std::vector<int> outline;
    const FlatIndex index(m_patch);
    for (const QvLineSeg& s : m_segments)
    {
        const int v = index.Find(s.m_start);
        if (v != -1)
            outline.push_back(v);
    }
    OrientCounterClockwise(outline);
    const int n = static_cast<int>(outline.size());
    std::set<int> outlineEdges;
    for (int j = 0; j < n; ++j)
        outlineEdges.insert(m_patch.FindEdge(outline[j], outline[(j + 1) % n]));

    std::set<int> outside;
    std::deque<int> queue;
    for (int j = 0; j < n; ++j)
    {
        const int from = outline[j];
        const int to = outline[(j + 1) % n];
        const int e = m_patch.FindEdge(from, to);
        if (e == -1 || m_patch.m_edges[e].IsBoundary())
            continue;
        const QvEdge& edge = m_patch.m_edges[e];
        const int first = edge.m_faces[0];
        const int t = m_patch.m_faces[first].GetThirdVertex(from, to);
        const QvPoint& pf = m_patch.m_vertices[from].m_point;
        const QvPoint& pt = m_patch.m_vertices[to].m_point;
        const QvPoint& pk = m_patch.m_vertices[t].m_point;
        const int seed = UnitCross(pt - pf, pk - pf) < 0.0 ? first : edge.m_faces[1];
        outside.insert(seed);
        queue.push_back(seed);
        while (!queue.empty())
        {
            const int f = queue.front();
            queue.pop_front();
            for (const int side : m_patch.m_faces[f].m_edges)
            {
                if (outlineEdges.count(side) != 0)
                    continue;
                const int g = m_patch.m_edges[side].GetOtherFace(f);
                if (g != -1 && outside.insert(g).second)
                    queue.push_back(g);
            }
        }
    }
    for (auto it = outside.rbegin(); it != outside.rend(); ++it)
        m_patch.RemoveFace(*it, true);
}
