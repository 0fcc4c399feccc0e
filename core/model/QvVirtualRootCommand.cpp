// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvVirtualRootCommand.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <set>

#include "core/base/QvParallel.h"
#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvBSplineSurface.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvInterpolation.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvPlane.h"
#include "core/mesh/QvMeshCrossings.h"
#include "core/mesh/QvMeshSmoothCommand.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothBase.h"

namespace {

constexpr double kCrownCurveTolerance = 1e-4;
constexpr double kRingCurveTolerance = 1e-3;
constexpr int kSmoothIterations = 2;
constexpr int kBlendSmoothIterations = 3;
constexpr double kNormalOffset = 0.001;
constexpr double kDocumentLength = 2.0;
constexpr double kDocumentRingScale = 0.5;
// Halvings of the root's length tried when a root crosses itself or the crown.
constexpr int kShorterRoots = 3;
// A root needing more vertices than this comes from a loop whose spacing is absurdly
// small against the root's size; building it would only exhaust memory.
constexpr std::size_t kMaxAddedVertices = std::size_t(1) << 22;

bool IsFinitePoint(const QvPoint& p)
{
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

double ClosedPerimeter(const std::vector<QvPoint>& points)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i)
        sum += points[i].Distance(points[(i + 1) % points.size()]);
    return sum;
}

QvPoint MeanPoint(const std::vector<QvPoint>& points)
{
    QvPoint sum;
    for (const QvPoint& p : points)
        sum += p;
    return sum / static_cast<double>(points.size());
}

// Positions of the loop's vertices; false for an index outside the mesh or a point
// that is not finite.
bool LoopPositions(const QvMesh& mesh, const std::vector<int>& loop, std::vector<QvPoint>& out)
{
    out.clear();
    out.reserve(loop.size());
    const int count = static_cast<int>(mesh.m_vertices.size());
    for (const int v : loop)
    {
        if (v < 0 || v >= count || !IsFinitePoint(mesh.m_vertices[v].m_point))
            return false;
        out.push_back(mesh.m_vertices[v].m_point);
    }
    return true;
}

// Element counts before a builder starts appending.
struct MeshMark
{
    int vertices;
    int edges;
    int faces;
};

MeshMark Mark(const QvMesh& mesh)
{
    return {static_cast<int>(mesh.m_vertices.size()), static_cast<int>(mesh.m_edges.size()),
            static_cast<int>(mesh.m_faces.size())};
}

// Undoes appends made since the mark. Appended faces reach older elements only through
// the second face slot of an older edge and the tails of older vertices' edge lists,
// so clearing those and truncating the arrays restores the mesh exactly.
void RollBack(QvMesh& mesh, const MeshMark& mark)
{
    for (int e = 0; e < mark.edges; ++e)
        for (std::int32_t& face : mesh.m_edges[e].m_faces)
            if (face >= mark.faces)
                face = -1;
    for (int v = 0; v < mark.vertices; ++v)
    {
        auto& edges = mesh.m_vertices[v].m_edges;
        edges.erase(std::remove_if(edges.begin(), edges.end(), [&mark](int e) { return e >= mark.edges; }),
                    edges.end());
    }
    mesh.m_faces.resize(static_cast<std::size_t>(mark.faces));
    mesh.m_edges.resize(static_cast<std::size_t>(mark.edges));
    mesh.m_vertices.resize(static_cast<std::size_t>(mark.vertices));
}

void OrientFrom(QvMesh& mesh, int firstFace)
{
    std::vector<int> added;
    for (int f = firstFace; f < static_cast<int>(mesh.m_faces.size()); ++f)
        added.push_back(f);
    mesh.OrientFaces(added);
}

// A refused triangle (repeated corner, side already between two faces) is simply left out.
void AddRootFace(QvMesh& mesh, int a, int b, int c)
{
    (void)mesh.AddFace(a, b, c, kQvFaceTagVirtualRoot);
}

// The strip between two columns of different (or equal) length that start side by side,
// and the tail fanning from the short column's last entry over the rest of the long one.
void AddStrip(QvMesh& mesh, const std::vector<int>& shortCol, const std::vector<int>& longCol)
{
    const std::size_t ls = shortCol.size();
    const std::size_t ll = longCol.size();
    for (std::size_t j = 0; j + 2 <= ls; ++j)
    {
        AddRootFace(mesh, shortCol[j], longCol[j + 1], shortCol[j + 1]);
        if (j + 2 < ll)
            AddRootFace(mesh, shortCol[j + 1], longCol[j + 1], longCol[j + 2]);
    }
    for (std::size_t j = ls; j + 1 < ll; ++j)
        AddRootFace(mesh, shortCol[ls - 1], longCol[j], longCol[j + 1]);
}

// Starts at the smallest index, then takes the remaining vertex nearest to the last one.
std::vector<int> NearestNeighbourChain(const QvMesh& mesh, const std::set<int>& vertices)
{
    std::vector<int> rest(vertices.begin(), vertices.end());
    std::vector<int> chain;
    chain.reserve(rest.size());
    if (rest.empty())
        return chain;
    chain.push_back(rest.front());
    rest.erase(rest.begin());
    while (!rest.empty())
    {
        const QvPoint& last = mesh.m_vertices[chain.back()].m_point;
        std::size_t best = 0;
        double bestDistance = std::numeric_limits<double>::infinity();
        for (std::size_t k = 0; k < rest.size(); ++k)
        {
            const double d = last.SquaredDistance(mesh.m_vertices[rest[k]].m_point);
            if (d < bestDistance)
            {
                bestDistance = d;
                best = k;
            }
        }
        chain.push_back(rest[best]);
        rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(best));
    }
    return chain;
}

// True when a face of the root (faces from firstFace on), or a crown face at a moved rim
// vertex, crosses another root face or a crown face near the root.
bool RootCrosses(const QvMesh& mesh, int firstFace, const std::vector<int>& rim)
{
    std::vector<int> listed;
    for (int f = firstFace; f < static_cast<int>(mesh.m_faces.size()); ++f)
        listed.push_back(f);
    std::vector<int> around;
    for (const int v : rim)
    {
        mesh.GetVertexFaces(v, around, false);
        for (const int f : around)
            if (f < firstFace)
                listed.push_back(f);
    }
    return QvFacesCross(mesh, listed, QvFacesInBox(mesh, listed, firstFace));
}

} // namespace

void QvGrowRingRoots(const std::vector<QvToothBase*>& teeth, double length, double ringScale, unsigned threads)
{
    // A tooth's root touches that tooth's mesh alone.
    QvParallelFor(teeth.size(), threads, [&](std::size_t i) {
        QvToothBase* tooth = teeth[i];
        tooth->UpdateBoundaryLoop();
        QvVirtualRootCommand grow(tooth, *tooth->GetBoundaryLoop(), length, ringScale);
        grow.SetMode(false);
        (void)grow.Execute();
    });
}

QvVirtualRootCommand::QvVirtualRootCommand() = default;

QvVirtualRootCommand::QvVirtualRootCommand(QvToothBase* tooth, const std::vector<int>& boundaryLoop, double length,
                                           double ringScale)
    : m_pTooth(tooth), m_boundaryLoop(boundaryLoop), m_dLength(length), m_dRingScale(ringScale)
{
}

QvVirtualRootCommand::~QvVirtualRootCommand() = default;

bool QvVirtualRootCommand::Execute() { return m_bMode ? BuildBlendedRoot() : BuildRingRoot(); }

// ---- Spacing rules ------------------------------------------------------------------

std::vector<int> QvVirtualRootCommand::ChooseStitchPositions(const std::vector<QvPoint>& loop, double spacing)
{
    std::vector<int> chosen;
    const int n = static_cast<int>(loop.size());
    if (n == 0)
        return chosen;
    chosen.push_back(0);
    int h = 0;
    for (int i = 1; i < n; ++i)
        if (loop[h].Distance(loop[i]) >= spacing)
        {
            chosen.push_back(i);
            h = i;
        }
    if (chosen.size() > 1 && loop[chosen.back()].Distance(loop[0]) < spacing)
        chosen.pop_back();
    return chosen;
}

int QvVirtualRootCommand::WallSegments(double wallLength, double spacing)
{
    const double ratio = wallLength / spacing;
    if (!std::isfinite(ratio) || ratio < 0.0 || ratio >= static_cast<double>(kMaxAddedVertices))
        return -1;
    return static_cast<int>(std::trunc(ratio));
}

int QvVirtualRootCommand::CapSegments(double distance, double spacing)
{
    const int h = WallSegments(distance, spacing);
    if (h < 0)
        return -1;
    return h < 3 ? 2 : h;
}

// ---- Base plane ---------------------------------------------------------------------

bool QvVirtualRootCommand::ComputeBasePlane(QvPlane& plane) const
{
    if (!m_pTooth)
        return false;
    const std::vector<int>& loop = *m_pTooth->GetBoundaryLoop();
    const QvFrame& frame = *m_pTooth->GetFrame();
    std::vector<QvPoint> points;
    // An unset frame would send the root along an arbitrary axis.
    if (loop.empty() || !frame.IsValid() || !IsFinitePoint(frame.m_centre) ||
        !IsFinitePoint(QvPoint(frame.m_dirZ[0], frame.m_dirZ[1], frame.m_dirZ[2])) ||
        !LoopPositions(*m_pTooth, loop, points))
        return false;
    const QvLine axis(frame.m_centre, frame.m_dirZ);
    double tmax = -1e10;
    for (const QvPoint& p : points)
    {
        double t = 0.0;
        (void)axis.ClosestPoint(p, &t);
        tmax = std::max(tmax, t);
    }
    QvVector z = frame.m_dirZ;
    z.Normalize();
    plane = QvPlane(frame.m_centre + z * tmax, frame.m_dirZ);
    return true;
}

// ---- Ring builder -------------------------------------------------------------------

bool QvVirtualRootCommand::BuildRingRoot()
{
    if (!m_pTooth)
        return false;
    m_pTooth->UpdateBoundaryLoop();
    QvPlane plane;
    if (!ComputeBasePlane(plane))
        return false;
    const std::vector<int> loop = *m_pTooth->GetBoundaryLoop();
    QvMesh& mesh = *m_pTooth;
    const MeshMark mark = Mark(mesh);

    // The crown's rim moves with the new vertices so that the join has no crease.
    std::vector<int> smoothed;
    for (const int v : m_boundaryLoop)
        if (v >= 0 && v < mark.vertices)
            smoothed.push_back(v);
    std::vector<QvPoint> rim;
    for (const int v : smoothed)
        rim.push_back(mesh.m_vertices[v].m_point);

    // A scanned rim's folds can make the wall cross itself or the crown; a shorter root
    // narrows less far below them. The shortest is kept whatever it does, so that the
    // tooth is never left open.
    double length = m_dLength;
    for (int attempt = 0;; ++attempt)
    {
        if (!BuildRootWall(plane, loop, length) || !CapOpenEnd(plane, length))
        {
            RollBack(mesh, mark);
            return false;
        }
        OrientFrom(mesh, mark.faces);
        std::vector<int> listed = smoothed;
        for (int v = mark.vertices; v < static_cast<int>(mesh.m_vertices.size()); ++v)
            listed.push_back(v);
        QvMeshSmoothCommand smooth(&mesh, listed);
        (void)smooth.SmoothListed(kSmoothIterations);
        if (attempt == kShorterRoots || !RootCrosses(mesh, mark.faces, smoothed))
            break;
        RollBack(mesh, mark);
        for (std::size_t k = 0; k < smoothed.size(); ++k)
            (void)mesh.SetVertexPosition(smoothed[k], rim[k]);
        length *= 0.5;
    }

    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    // A read crown's storage is full: the root doubled it.
    mesh.ReleaseSpareStorage();
    mesh.m_bModified = true;
    return true;
}

bool QvVirtualRootCommand::BuildRootWall(const QvPlane& plane, const std::vector<int>& loop, double length)
{
    std::vector<QvPoint> crown;
    if (!LoopPositions(*m_pTooth, loop, crown))
        return false;
    std::unique_ptr<QvBSplineCurve> crownCurve(QvBSplineCurve::Fit(crown, {}, true, kCrownCurveTolerance));
    if (!crownCurve || crownCurve->m_params.size() < crown.size())
        return false;
    // Copied before skinning, which refines the curves in place. A closed fit may also
    // list the closing point's parameter; only the loop's own are used.
    const std::vector<double> params(crownCurve->m_params.begin(),
                                     crownCurve->m_params.begin() + static_cast<std::ptrdiff_t>(crown.size()));

    std::vector<QvPoint> projected;
    projected.reserve(crown.size());
    for (const QvPoint& p : crown)
        projected.push_back(plane.ProjectPoint(p));
    const QvPoint g = MeanPoint(projected);
    const QvVector normal = plane.GetNormal();
    const double s = m_dRingScale;
    std::vector<QvPoint> ring;
    ring.reserve(projected.size());
    for (const QvPoint& q : projected)
    {
        QvPoint r = q * s;
        r += g * (1.0 - s);
        r = r + normal * length;
        if (!IsFinitePoint(r))
            return false;
        ring.push_back(r);
    }
    std::unique_ptr<QvBSplineCurve> ringCurve(QvBSplineCurve::Fit(ring, {}, true, kRingCurveTolerance));
    if (!ringCurve)
        return false;

    std::vector<QvBSplineCurve*> curves{crownCurve.get(), ringCurve.get()};
    std::unique_ptr<QvBSplineSurface> surface(QvBSplineSurface::Skin(curves));
    if (!surface)
        return false;
    return StitchWall(*surface, params, loop);
}

bool QvVirtualRootCommand::StitchWall(const QvBSplineSurface& surface, const std::vector<double>& params,
                                      const std::vector<int>& loop)
{
    QvMesh& mesh = *m_pTooth;
    std::vector<QvPoint> P;
    if (!LoopPositions(mesh, loop, P))
        return false;
    const int n = static_cast<int>(P.size());
    const double spacing = 2.0 * (ClosedPerimeter(P) / n);
    if (!std::isfinite(spacing) || !(spacing > 0.0))
        return false;
    const std::vector<int> chosen = ChooseStitchPositions(P, spacing);
    // One or two columns would join themselves or each other twice and never leave an
    // end ring to cap.
    if (chosen.size() < 3)
        return false;

    // Every position first, so that nothing is added when a column cannot be made.
    const std::size_t K = chosen.size();
    std::vector<std::vector<QvPoint>> inner(K);
    std::size_t total = 0;
    for (std::size_t k = 0; k < K; ++k)
    {
        const double u = params[static_cast<std::size_t>(chosen[k])];
        const int G = WallSegments(surface.Evaluate(u, 0.0).Distance(surface.Evaluate(u, 1.0)), spacing);
        if (G < 0)
            return false;
        total += static_cast<std::size_t>(G) + 1;
        if (total > kMaxAddedVertices)
            return false;
        for (int j = 1; j <= G + 1; ++j)
        {
            const QvPoint p = surface.Evaluate(u, static_cast<double>(j) / (G + 1));
            if (!IsFinitePoint(p))
                return false;
            inner[k].push_back(p);
        }
    }

    std::vector<std::vector<int>> columns(K);
    for (std::size_t k = 0; k < K; ++k)
    {
        columns[k].push_back(loop[static_cast<std::size_t>(chosen[k])]);
        for (const QvPoint& p : inner[k])
            columns[k].push_back(mesh.AddVertex(p));
    }

    std::vector<int> run;
    for (std::size_t k = 0; k < K; ++k)
    {
        const std::size_t next = (k + 1) % K;
        run.clear();
        int i = chosen[k];
        run.push_back(loop[static_cast<std::size_t>(i)]);
        while (i != chosen[next])
        {
            i = (i + 1) % n;
            run.push_back(loop[static_cast<std::size_t>(i)]);
        }
        const bool nextIsShort = columns[next].size() < columns[k].size();
        const std::vector<int>& shortCol = nextIsShort ? columns[next] : columns[k];
        const std::vector<int>& longCol = nextIsShort ? columns[k] : columns[next];
        for (std::size_t j = 0; j + 1 < run.size(); ++j)
            AddRootFace(mesh, longCol[1], run[j], run[j + 1]);
        AddStrip(mesh, shortCol, longCol);
    }
    return true;
}

// ---- Cap ----------------------------------------------------------------------------

bool QvVirtualRootCommand::CapOpenEnd(const QvPlane& plane, double length)
{
    const QvMesh& mesh = *m_pTooth;
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    const std::vector<int>* end = nullptr;
    double best = std::numeric_limits<double>::infinity();
    for (const std::vector<int>& loop : loops)
    {
        if (loop.empty())
            continue;
        const double d = plane.Distance(mesh.m_vertices[loop.front()].m_point, false);
        const double miss = std::fabs(length - d);
        if (!end || miss < best)
        {
            end = &loop;
            best = miss;
        }
    }
    if (!end)
        return false;
    return CapLoop(*end);
}

bool QvVirtualRootCommand::CapLoop(const std::vector<int>& loop)
{
    QvMesh& mesh = *m_pTooth;
    std::vector<QvPoint> B;
    if (loop.size() < 3 || !LoopPositions(mesh, loop, B))
        return false;
    const std::size_t m = B.size();
    const QvPoint q = MeanPoint(B);
    const double a = ClosedPerimeter(B) / static_cast<double>(m);

    std::vector<int> segments(m);
    std::size_t total = 1;
    for (std::size_t i = 0; i < m; ++i)
    {
        segments[i] = CapSegments(q.Distance(B[i]), a);
        if (segments[i] < 0)
            return false;
        total += static_cast<std::size_t>(segments[i]) - 1;
        if (total > kMaxAddedVertices)
            return false;
    }

    const int centre = mesh.AddVertex(q);
    std::vector<std::vector<int>> columns(m);
    for (std::size_t i = 0; i < m; ++i)
    {
        const int h = segments[i];
        columns[i].push_back(loop[i]);
        for (int j = 1; j < h; ++j)
        {
            const double t = static_cast<double>(j) / h;
            QvPoint p = B[i] * (1.0 - t);
            p += q * t;
            columns[i].push_back(mesh.AddVertex(p));
        }
    }
    for (std::size_t i = 0; i < m; ++i)
    {
        const std::size_t next = (i + 1) % m;
        const bool nextIsShort = columns[next].size() < columns[i].size();
        const std::vector<int>& shortCol = nextIsShort ? columns[next] : columns[i];
        const std::vector<int>& longCol = nextIsShort ? columns[i] : columns[next];
        AddRootFace(mesh, shortCol[0], longCol[0], longCol[1]);
        AddStrip(mesh, shortCol, longCol);
        AddRootFace(mesh, shortCol.back(), longCol.back(), centre);
    }
    return true;
}

// ---- Blended builder ----------------------------------------------------------------

bool QvVirtualRootCommand::BuildBlendedRoot()
{
    if (!m_pTooth)
        return false;
    QvMesh& mesh = *m_pTooth;
    m_pTooth->UpdateBoundaryLoop();
    const std::vector<int> loop = *m_pTooth->GetBoundaryLoop();

    QvPlane plane;
    if (!ComputeBasePlane(plane))
        return false;
    // The rim and its one ring on the crown side, taken before the root exists.
    std::set<int> rim(loop.begin(), loop.end());
    std::vector<int> around;
    for (const int v : loop)
    {
        mesh.GetNeighborVertices(v, around);
        rim.insert(around.begin(), around.end());
    }

    const MeshMark mark = Mark(mesh);
    bool solved = false;
    const auto grow = [&](double length) {
        if (!BuildRootWall(plane, loop, length) || !CapOpenEnd(plane, length))
            return false;
        OrientFrom(mesh, mark.faces);

        const QvPoint e = mesh.GetCenter();

        // Rings of the new root by their step count from the crown's rim.
        std::vector<std::set<int>> rings;
        std::vector<char> reached(mesh.m_vertices.size(), 0);
        std::vector<int> front(loop.begin(), loop.end());
        for (const int v : front)
            reached[static_cast<std::size_t>(v)] = 1;
        while (!front.empty())
        {
            std::set<int> ring;
            for (const int v : front)
            {
                mesh.GetNeighborVertices(v, around);
                for (const int w : around)
                    if (w >= mark.vertices && !reached[static_cast<std::size_t>(w)])
                    {
                        reached[static_cast<std::size_t>(w)] = 1;
                        ring.insert(w);
                    }
            }
            if (ring.empty())
                break;
            front.assign(ring.begin(), ring.end());
            rings.push_back(std::move(ring));
        }

        std::vector<QvTpsSample> samples;
        const std::vector<int> rimChain = NearestNeighbourChain(mesh, rim);
        for (std::size_t k = 0; k < rimChain.size(); ++k)
        {
            const QvPoint& p = mesh.m_vertices[static_cast<std::size_t>(rimChain[k])].m_point;
            samples.push_back({p, 0.0});
            if (k % 10 == 0)
            {
                const QvVector nv = mesh.GetVertexNormal(rimChain[k]);
                if (nv.Dot(p - e) > 0.0)
                {
                    samples.push_back({p + nv * kNormalOffset, 1.0});
                    samples.push_back({p - nv * kNormalOffset, -1.0});
                }
            }
        }
        if (rings.size() >= 2)
        {
            const std::vector<int> secondChain = NearestNeighbourChain(mesh, rings[1]);
            for (std::size_t k = 0; k < secondChain.size(); k += 5)
                samples.push_back({mesh.m_vertices[static_cast<std::size_t>(secondChain[k])].m_point, 0.0});
        }

        QvThinPlateSpline spline;
        spline.SetSamples(samples);
        solved = spline.Solve();
        if (solved && !rings.empty())
            for (const int v : rings[0])
            {
                const QvPoint moved = spline.ProjectToSurface(mesh.m_vertices[static_cast<std::size_t>(v)].m_point);
                if (IsFinitePoint(moved))
                    (void)mesh.SetVertexPosition(v, moved);
            }

        std::vector<double> weights;
        for (std::size_t k = 0; k < rings.size(); ++k)
            weights.push_back(k + 1 <= 10 ? static_cast<double>(k + 1) / 10.0 : 1.0);
        QvMeshSmoothCommand smooth(&mesh);
        (void)smooth.SmoothWeighted(rings, weights, kBlendSmoothIterations);

        return true;
    };
    // The blend bends the new wall towards the crown's surface; on a scanned rim's folds
    // it can cross itself or the crown, and a shorter root bends less far. The shortest
    // is kept whatever it does, so that the tooth is never left open.
    double length = m_dLength;
    for (int attempt = 0;; ++attempt)
    {
        if (!grow(length))
        {
            RollBack(mesh, mark);
            return false;
        }
        if (attempt == kShorterRoots || !RootCrosses(mesh, mark.faces, {}))
            break;
        RollBack(mesh, mark);
        length *= 0.5;
    }

    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    mesh.m_bModified = true;
    return solved;
}

// ---- Straight wall ------------------------------------------------------------------

bool QvVirtualRootCommand::BuildStraightWall(const QvPlane& plane)
{
    if (!m_pTooth)
        return false;
    QvMesh& mesh = *m_pTooth;
    const std::vector<int> loop = *m_pTooth->GetBoundaryLoop();
    std::vector<QvPoint> P;
    if (loop.size() < 3 || !LoopPositions(mesh, loop, P))
        return false;
    const std::size_t n = P.size();
    const double a = ClosedPerimeter(P) / static_cast<double>(n);

    std::vector<QvPoint> target;
    for (const QvPoint& p : P)
        target.push_back(plane.ProjectPoint(p));
    const QvPoint g = MeanPoint(target);
    for (QvPoint& t : target)
        t = g + (t - g) * m_dRingScale;

    std::vector<int> counts(n);
    std::size_t total = 0;
    for (std::size_t i = 0; i < n; ++i)
    {
        const int w = WallSegments(target[i].Distance(P[i]), a);
        if (w < 0 || !IsFinitePoint(target[i]))
            return false;
        counts[i] = w + 1;
        total += static_cast<std::size_t>(counts[i]);
        if (total > kMaxAddedVertices)
            return false;
    }

    const int firstFace = static_cast<int>(mesh.m_faces.size());
    std::vector<std::vector<int>> columns(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        const int w = counts[i];
        const QvVector step = (P[i] - target[i]) / static_cast<double>(w);
        for (int j = 0; j < w; ++j)
            columns[i].push_back(mesh.AddVertex(target[i] + step * static_cast<double>(j)));
        columns[i].push_back(loop[i]);
    }
    for (std::size_t i = 0; i < n; ++i)
    {
        const std::vector<int>& A = columns[i];
        const std::vector<int>& B = columns[(i + 1) % n];
        const std::size_t common = std::min(A.size(), B.size());
        for (std::size_t j = 0; j + 1 < common; ++j)
        {
            AddRootFace(mesh, A[j], B[j], B[j + 1]);
            AddRootFace(mesh, A[j], B[j + 1], A[j + 1]);
        }
        const std::vector<int>& shortCol = A.size() < B.size() ? A : B;
        const std::vector<int>& longCol = A.size() < B.size() ? B : A;
        for (std::size_t j = common - 1; j + 1 < longCol.size(); ++j)
            AddRootFace(mesh, shortCol.back(), longCol[j], longCol[j + 1]);
    }
    OrientFrom(mesh, firstFace);
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    mesh.m_bModified = true;
    return true;
}

// ---- Document pass ------------------------------------------------------------------

void GrowVirtualRoots(QvModel& model)
{
    for (QvEntity* entity : model.m_teeth)
    {
        if (!entity || !entity->IsKindOf(kQvTypeToothBase))
            continue;
        auto* tooth = static_cast<QvToothBase*>(entity);
        if ((tooth->m_state & kQvStateDeleted) != 0 || tooth->HasRootFaces())
            continue;
        tooth->UpdateBoundaryLoop();
        const std::vector<int> loop = *tooth->GetBoundaryLoop();
        QvVirtualRootCommand command(tooth, loop, kDocumentLength, kDocumentRingScale);
        command.SetMode(false);
        (void)command.Execute();
    }
}
