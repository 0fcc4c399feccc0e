// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvMeshSmoothCommand.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

#include "core/mesh/QvMesh.h"

namespace {

bool IsFinitePoint(const QvPoint& p)
{
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

bool IsValidVertex(const QvMesh& mesh, int vertex)
{
    return vertex >= 0 && static_cast<std::size_t>(vertex) < mesh.m_vertices.size();
}

// A colour array shorter or longer than the vertex array cannot be indexed by vertex.
bool CarriesColors(const QvMesh& mesh)
{
    return !mesh.m_colors.empty() && mesh.m_colors.size() == mesh.m_vertices.size();
}

// Truncation towards zero into an int32 component; out-of-range values saturate so that
// the conversion is never undefined, and a NaN keeps the old component.
std::int32_t ToComponent(double value, std::int32_t fallback)
{
    if (std::isnan(value))
        return fallback;
    const double t = std::trunc(value);
    if (t <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (t >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(t);
}

struct ColorSum
{
    double c[3] = {0.0, 0.0, 0.0};

    void Add(const QvColor& color, double weight)
    {
        c[0] += weight * static_cast<double>(color.m_r);
        c[1] += weight * static_cast<double>(color.m_g);
        c[2] += weight * static_cast<double>(color.m_b);
    }
    void Scale(double f)
    {
        c[0] *= f;
        c[1] *= f;
        c[2] *= f;
    }
    QvColor ToColor(const QvColor& fallback) const
    {
        return QvColor(ToComponent(c[0], fallback.m_r), ToComponent(c[1], fallback.m_g),
                       ToComponent(c[2], fallback.m_b));
    }
};

// One-rings fetched on first use; the smoothing passes never change the topology.
class RingCache
{
public:
    explicit RingCache(const QvMesh& mesh)
        : m_mesh(mesh), m_rings(mesh.m_vertices.size()), m_have(mesh.m_vertices.size(), 0)
    {
    }

    const std::vector<int>& Get(int vertex)
    {
        if (!m_have[vertex])
        {
            m_mesh.GetNeighborVertices(vertex, m_rings[vertex]);
            m_have[vertex] = 1;
        }
        return m_rings[vertex];
    }

private:
    const QvMesh& m_mesh;
    std::vector<std::vector<int>> m_rings;
    std::vector<char> m_have;
};

// Mean of the ring's positions; the ring must not be empty.
QvPoint RingMean(const QvMesh& mesh, const std::vector<int>& ring)
{
    QvPoint sum;
    for (const int j : ring)
        sum += mesh.m_vertices[j].m_point;
    return sum / static_cast<double>(ring.size());
}

// Sum of the distances from the vertex to its ring; the distance weights are d_j / D.
double DistanceSum(const QvMesh& mesh, int vertex, const std::vector<int>& ring)
{
    const QvPoint& p = mesh.m_vertices[vertex].m_point;
    double sum = 0.0;
    for (const int j : ring)
        sum += p.Distance(mesh.m_vertices[j].m_point);
    return sum;
}

// A ring whose neighbours all lie on the vertex (or a non-finite one) has no
// distance-weighted mean.
bool UsableDistanceSum(double d)
{
    return d > 0.0 && std::isfinite(d);
}

// Distance-weighted umbrella vector sum (d_j / D)(p_j - p_i); zero when the ring has
// no usable distance sum.
QvVector Umbrella(const QvMesh& mesh, int vertex, const std::vector<int>& ring)
{
    QvVector u;
    const double total = DistanceSum(mesh, vertex, ring);
    if (!UsableDistanceSum(total))
        return u;
    const QvPoint& p = mesh.m_vertices[vertex].m_point;
    for (const int j : ring)
    {
        const QvPoint& q = mesh.m_vertices[j].m_point;
        u += (q - p) * (p.Distance(q) / total);
    }
    return u;
}

// Keeps smoothing from turning faces over. On sliver triangles (scans) a vertex's move
// towards its ring mean can carry it across the opposite side of a thin face; such a
// move is halved, for that vertex only, until no face around it turns over, and dropped
// after a few halvings. A face turns over when its normal points against its normal
// when the operation began, so that small turns cannot add up to a flip; faces without
// area then cannot turn over.
class FlipGuard
{
public:
    explicit FlipGuard(const QvMesh& mesh)
        : m_mesh(mesh), m_faces(mesh.m_vertices.size()), m_have(mesh.m_vertices.size(), 0),
          m_moveOf(mesh.m_vertices.size(), -1), m_reference(mesh.m_faces.size()),
          m_haveReference(mesh.m_faces.size(), 0)
    {
    }

    // Shortens simultaneous moves (vertex, target) against the current positions.
    void Limit(std::vector<std::pair<int, QvPoint>>& moves)
    {
        if (moves.empty())
            return;
        for (std::size_t k = 0; k < moves.size(); ++k)
            m_moveOf[moves[k].first] = static_cast<int>(k);
        std::vector<int> affected;
        for (const auto& move : moves)
            for (const int f : FacesOf(move.first))
                affected.push_back(f);
        std::sort(affected.begin(), affected.end());
        affected.erase(std::unique(affected.begin(), affected.end()), affected.end());
        // A face is first touched before any of its corners has moved.
        for (const int f : affected)
            if (!m_haveReference[f])
            {
                m_reference[f] = AreaNormal(f);
                m_haveReference[f] = 1;
            }

        std::vector<int> halvings(moves.size(), 0);
        std::vector<char> shorten(moves.size(), 0);
        for (;;)
        {
            std::fill(shorten.begin(), shorten.end(), 0);
            bool any = false;
            for (const int f : affected)
            {
                if (!TurnsOver(f, moves))
                    continue;
                for (const int v : m_mesh.m_faces[f].m_vertices)
                    if (m_moveOf[v] != -1)
                    {
                        shorten[m_moveOf[v]] = 1;
                        any = true;
                    }
            }
            if (!any)
                break;
            // A turned face always has a corner still on its way (with every corner back
            // at its start it is as it was), so each round shortens something.
            bool changed = false;
            for (std::size_t k = 0; k < moves.size(); ++k)
            {
                if (!shorten[k] || halvings[k] > kMaxHalvings)
                    continue;
                const QvPoint& from = m_mesh.m_vertices[moves[k].first].m_point;
                moves[k].second = ++halvings[k] > kMaxHalvings ? from : from + (moves[k].second - from) * 0.5;
                changed = true;
            }
            if (!changed)
                break;
        }
        for (const auto& move : moves)
            m_moveOf[move.first] = -1;
    }

    // Shortens one move made on its own (the others already written).
    QvPoint Limit(int vertex, const QvPoint& target)
    {
        std::vector<std::pair<int, QvPoint>> one{{vertex, target}};
        Limit(one);
        return one[0].second;
    }

private:
    static constexpr int kMaxHalvings = 8;

    const std::vector<int>& FacesOf(int vertex)
    {
        if (!m_have[vertex])
        {
            m_mesh.GetVertexFaces(vertex, m_faces[vertex], false);
            m_have[vertex] = 1;
        }
        return m_faces[vertex];
    }

    QvVector AreaNormal(int face) const
    {
        const std::int32_t* c = m_mesh.m_faces[face].m_vertices;
        const QvPoint& a = m_mesh.m_vertices[c[0]].m_point;
        return (m_mesh.m_vertices[c[1]].m_point - a).Cross(m_mesh.m_vertices[c[2]].m_point - a);
    }

    bool TurnsOver(int face, const std::vector<std::pair<int, QvPoint>>& moves) const
    {
        // Slivers of a scan have areas far below the kernel's zero test: only an exact
        // zero means no orientation.
        const QvVector& n0 = m_reference[face];
        if (n0[0] == 0.0 && n0[1] == 0.0 && n0[2] == 0.0)
            return false;
        const std::int32_t* c = m_mesh.m_faces[face].m_vertices;
        QvPoint after[3];
        for (int k = 0; k < 3; ++k)
            after[k] = m_moveOf[c[k]] != -1 ? moves[m_moveOf[c[k]]].second : m_mesh.m_vertices[c[k]].m_point;
        const QvVector n1 = (after[1] - after[0]).Cross(after[2] - after[0]);
        return n0.Dot(n1) < 0.0;
    }

    const QvMesh& m_mesh;
    std::vector<std::vector<int>> m_faces;
    std::vector<char> m_have;
    std::vector<int> m_moveOf;
    // Area normals of the faces as the operation found them.
    std::vector<QvVector> m_reference;
    std::vector<char> m_haveReference;
};

} // namespace

QvMeshSmoothCommand::QvMeshSmoothCommand() = default;

QvMeshSmoothCommand::QvMeshSmoothCommand(QvMesh* mesh) : m_pMesh(mesh) {}

QvMeshSmoothCommand::QvMeshSmoothCommand(QvMesh* mesh, const std::vector<int>& vertices)
    : m_pMesh(mesh), m_vertexList(vertices), m_nIterations(1)
{
}

QvMeshSmoothCommand::~QvMeshSmoothCommand() = default;

bool QvMeshSmoothCommand::Execute()
{
    if (!m_pMesh)
        return false;
    QvMesh& mesh = *m_pMesh;
    const bool colors = CarriesColors(mesh);
    RingCache rings(mesh);
    FlipGuard guard(mesh);
    for (int pass = 0; pass < m_nIterations; ++pass)
    {
        for (const int v : m_vertexList)
        {
            if (!IsValidVertex(mesh, v))
                continue;
            const std::vector<int>& ring = rings.Get(v);
            if (ring.empty())
                continue;
            const double total = DistanceSum(mesh, v, ring);
            if (!UsableDistanceSum(total))
                continue;
            const QvPoint p = mesh.m_vertices[v].m_point;
            QvPoint moved;
            ColorSum color;
            for (const int j : ring)
            {
                const QvPoint& q = mesh.m_vertices[j].m_point;
                const double w = p.Distance(q) / total;
                moved += q * w;
                if (colors)
                    color.Add(mesh.m_colors[j], w);
            }
            if (!IsFinitePoint(moved))
                continue;
            (void)mesh.SetVertexPosition(v, guard.Limit(v, moved));
            if (colors)
                mesh.m_colors[v] = color.ToColor(mesh.m_colors[v]);
        }
    }
    mesh.UpdateFaceNormals();
    return true;
}

void QvMeshSmoothCommand::LaplacianPoints(const std::vector<int>& vertices, std::vector<QvPoint>& points,
                                          double lambda) const
{
    if (!m_pMesh || vertices.empty())
        return;
    const QvMesh& mesh = *m_pMesh;
    std::vector<QvVector> positions;
    positions.reserve(mesh.m_vertices.size());
    for (const QvVertex& vertex : mesh.m_vertices)
        positions.push_back(vertex.m_point - QvPoint());
    // Everything from the unchanged positions first, then appended in list order.
    std::vector<QvVector> results;
    results.reserve(vertices.size());
    for (const int v : vertices)
        if (IsValidVertex(mesh, v))
            results.push_back(LaplacianPoint(v, positions, lambda));
    for (const QvVector& r : results)
        points.emplace_back(r[0], r[1], r[2]);
}

void QvMeshSmoothCommand::LaplacianPoints(const std::vector<int>& vertices, std::vector<QvPoint>& points) const
{
    LaplacianPoints(vertices, points, 1.0);
}

QvVector QvMeshSmoothCommand::LaplacianPoint(int vertex, const std::vector<QvVector>& positions,
                                             double lambda) const
{
    if (vertex < 0 || static_cast<std::size_t>(vertex) >= positions.size())
        return QvVector();
    const QvVector& p = positions[vertex];
    if (!m_pMesh || !IsValidVertex(*m_pMesh, vertex))
        return p;
    std::vector<int> ring;
    m_pMesh->GetNeighborVertices(vertex, ring);
    QvVector sum;
    std::size_t count = 0;
    for (const int j : ring)
    {
        if (j < 0 || static_cast<std::size_t>(j) >= positions.size())
            continue;
        sum += positions[j] - p;
        ++count;
    }
    if (count == 0)
        return p;
    const QvVector result = p + sum * (lambda / static_cast<double>(count));
    if (!std::isfinite(result[0]) || !std::isfinite(result[1]) || !std::isfinite(result[2]))
        return p;
    return result;
}

bool QvMeshSmoothCommand::SmoothLaplacian(const std::set<int>& vertices, int iterations, double lambda)
{
    if (!m_pMesh || vertices.empty() || !std::isfinite(lambda))
        return false;
    QvMesh& mesh = *m_pMesh;
    const bool colors = CarriesColors(mesh);

    std::vector<int> active;
    std::vector<std::vector<int>> rings;
    for (const int v : vertices)
    {
        if (!IsValidVertex(mesh, v) || mesh.IsBoundaryVertex(v))
            continue;
        active.push_back(v);
        rings.emplace_back();
        mesh.GetNeighborVertices(v, rings.back());
    }

    std::vector<std::pair<int, QvPoint>> moves;
    moves.reserve(active.size());
    FlipGuard guard(mesh);
    for (int pass = 0; pass < iterations; ++pass)
    {
        moves.clear();
        for (std::size_t k = 0; k < active.size(); ++k)
        {
            const int v = active[k];
            const std::vector<int>& ring = rings[k];
            if (ring.empty())
                continue;
            const QvPoint& p = mesh.m_vertices[v].m_point;
            const QvPoint moved = p + (RingMean(mesh, ring) - p) * lambda;
            if (IsFinitePoint(moved))
                moves.emplace_back(v, moved);
            if (colors)
            {
                ColorSum mean;
                for (const int j : ring)
                    mean.Add(mesh.m_colors[j], 1.0);
                mean.Scale(1.0 / static_cast<double>(ring.size()));
                const QvColor& own = mesh.m_colors[v];
                ColorSum blended;
                blended.c[0] = own.m_r + lambda * (mean.c[0] - own.m_r);
                blended.c[1] = own.m_g + lambda * (mean.c[1] - own.m_g);
                blended.c[2] = own.m_b + lambda * (mean.c[2] - own.m_b);
                mesh.m_colors[v] = blended.ToColor(own);
            }
        }
        guard.Limit(moves);
        for (const auto& [v, p] : moves)
            (void)mesh.SetVertexPosition(v, p);
    }
    mesh.UpdateFaceNormals();
    return true;
}

bool QvMeshSmoothCommand::SmoothWeighted(const std::vector<std::set<int>>& groups, const std::vector<double>& factors,
                                         int iterations)
{
    // Every group reads its own factor: too few factors is refused rather than read past.
    if (!m_pMesh || groups.empty() || factors.empty() || factors.size() < groups.size())
        return false;
    for (std::size_t g = 0; g < groups.size(); ++g)
        if (!std::isfinite(factors[g]))
            return false;
    QvMesh& mesh = *m_pMesh;

    const std::size_t n = mesh.m_vertices.size();
    std::vector<char> active(n, 0);
    std::vector<std::vector<int>> rings(n);
    for (const std::set<int>& group : groups)
        for (const int v : group)
        {
            if (!IsValidVertex(mesh, v) || active[v] || mesh.IsBoundaryVertex(v))
                continue;
            active[v] = 1;
            mesh.GetNeighborVertices(v, rings[v]);
        }

    std::vector<std::pair<int, QvPoint>> moves;
    FlipGuard guard(mesh);
    for (int pass = 0; pass < iterations; ++pass)
    {
        for (std::size_t g = 0; g < groups.size(); ++g)
        {
            moves.clear();
            for (const int v : groups[g])
            {
                if (!IsValidVertex(mesh, v) || !active[v] || rings[v].empty())
                    continue;
                const QvPoint& p = mesh.m_vertices[v].m_point;
                const QvPoint moved = p + (RingMean(mesh, rings[v]) - p) * factors[g];
                if (IsFinitePoint(moved))
                    moves.emplace_back(v, moved);
            }
            guard.Limit(moves);
            for (const auto& [v, p] : moves)
                (void)mesh.SetVertexPosition(v, p);
        }
    }
    return true;
}

bool QvMeshSmoothCommand::SmoothListed(int iterations)
{
    if (!m_pMesh)
        return false;
    QvMesh& mesh = *m_pMesh;
    const int n = static_cast<int>(mesh.m_vertices.size());
    const bool colors = CarriesColors(mesh);

    std::vector<int> listed;
    if (m_vertexList.empty())
    {
        listed.reserve(n);
        for (int v = 0; v < n; ++v)
            listed.push_back(v);
    }
    else
    {
        for (const int v : m_vertexList)
            if (IsValidVertex(mesh, v))
                listed.push_back(v);
    }

    RingCache rings(mesh);
    FlipGuard guard(mesh);
    std::vector<QvPoint> q(n);
    std::vector<ColorSum> b(colors ? n : 0);
    std::vector<std::pair<int, QvPoint>> moves;
    moves.reserve(listed.size());
    for (int pass = 0; pass < iterations; ++pass)
    {
        for (int v = 0; v < n; ++v)
        {
            const std::vector<int>& ring = rings.Get(v);
            if (ring.empty())
                continue;
            q[v] = RingMean(mesh, ring);
            if (colors)
            {
                b[v] = ColorSum();
                for (const int j : ring)
                    b[v].Add(mesh.m_colors[j], 1.0);
                b[v].Scale(1.0 / static_cast<double>(ring.size()));
            }
        }

        moves.clear();
        std::vector<QvColor> newColors;
        if (colors)
            newColors = mesh.m_colors;
        for (const int v : listed)
        {
            const std::vector<int>& ring = rings.Get(v);
            if (ring.empty())
                continue;
            const QvPoint& p = mesh.m_vertices[v].m_point;
            QvVector correction;
            for (const int j : ring)
                correction += q[j] - mesh.m_vertices[j].m_point;
            correction = correction * (1.0 / static_cast<double>(ring.size()));
            const QvPoint moved = q[v] - (q[v] - p) * 0.5 + correction * 0.5;
            if (IsFinitePoint(moved))
                moves.emplace_back(v, moved);
            if (colors)
            {
                ColorSum mean;
                for (const int j : ring)
                {
                    const QvColor& cj = mesh.m_colors[j];
                    mean.c[0] += b[j].c[0] - cj.m_r;
                    mean.c[1] += b[j].c[1] - cj.m_g;
                    mean.c[2] += b[j].c[2] - cj.m_b;
                }
                mean.Scale(1.0 / static_cast<double>(ring.size()));
                const QvColor& own = mesh.m_colors[v];
                ColorSum value;
                value.c[0] = b[v].c[0] - 0.5 * (b[v].c[0] - own.m_r) + 0.5 * mean.c[0];
                value.c[1] = b[v].c[1] - 0.5 * (b[v].c[1] - own.m_g) + 0.5 * mean.c[1];
                value.c[2] = b[v].c[2] - 0.5 * (b[v].c[2] - own.m_b) + 0.5 * mean.c[2];
                newColors[v] = value.ToColor(own);
            }
        }
        guard.Limit(moves);
        for (const auto& [v, p] : moves)
            (void)mesh.SetVertexPosition(v, p);
        if (colors)
            mesh.m_colors.swap(newColors);
    }
    mesh.UpdateFaceNormals();
    return true;
}

bool QvMeshSmoothCommand::SmoothLambdaMu(const std::set<int>& vertices, int iterations, double lambda, double mu)
{
    if (!m_pMesh || vertices.empty() || !std::isfinite(lambda) || !std::isfinite(mu))
        return false;
    QvMesh& mesh = *m_pMesh;
    const std::size_t n = mesh.m_vertices.size();

    std::vector<int> active;
    for (const int v : vertices)
        if (IsValidVertex(mesh, v) && !mesh.IsBoundaryVertex(v))
            active.push_back(v);

    // The factors enter only as their sum and product, so their order does not matter.
    const double sum = lambda + mu;
    const double product = lambda * mu;
    RingCache rings(mesh);
    std::vector<QvVector> u(n);
    std::vector<QvVector> u2(active.size());
    std::vector<std::pair<int, QvPoint>> moves;
    moves.reserve(active.size());
    FlipGuard guard(mesh);
    for (int pass = 0; pass < iterations; ++pass)
    {
        std::fill(u.begin(), u.end(), QvVector());
        for (const int i : active)
            u[i] = Umbrella(mesh, i, rings.Get(i));

        for (std::size_t k = 0; k < active.size(); ++k)
        {
            const int i = active[k];
            const std::vector<int>& ring = rings.Get(i);
            u2[k] = QvVector();
            const double total = DistanceSum(mesh, i, ring);
            if (!UsableDistanceSum(total))
                continue;
            const QvPoint& p = mesh.m_vertices[i].m_point;
            for (const int j : ring)
            {
                // Neighbours outside the active set have no umbrella yet.
                if (u[j].IsZero())
                    u[j] = Umbrella(mesh, j, rings.Get(j));
                u2[k] += (u[j] - u[i]) * (p.Distance(mesh.m_vertices[j].m_point) / total);
            }
        }

        moves.clear();
        for (std::size_t k = 0; k < active.size(); ++k)
        {
            const int i = active[k];
            const QvPoint moved = mesh.m_vertices[i].m_point + u[i] * sum + u2[k] * product;
            if (IsFinitePoint(moved))
                moves.emplace_back(i, moved);
        }
        guard.Limit(moves);
        for (const auto& [v, p] : moves)
            (void)mesh.SetVertexPosition(v, p);
    }
    return true;
}
