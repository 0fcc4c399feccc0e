// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvAutoAdjustPontic.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <set>

#include "core/design/QvOBBTree.h"
#include "core/design/QvOBBTreeMgr.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvPlane.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvToothBase.h"
#include "core/scheme/QvSchemeDetail.h"

namespace {

constexpr double kLowest = std::numeric_limits<double>::lowest();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

QvMatrix Identity4()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

QvPoint Midpoint(const QvPoint& a, const QvPoint& b)
{
    return QvPoint((a[0] + b[0]) * 0.5, (a[1] + b[1]) * 0.5, (a[2] + b[2]) * 0.5);
}

// Owns a matrix handed out by QvFrame::GetTransformTo.
QvMatrix TransformBetween(const QvFrame& from, const QvFrame& to)
{
    const std::unique_ptr<QvMatrix> m(from.GetTransformTo(to));
    return *m;
}

// The cached tree of a tooth, built first when missing, at the given placement.
QvOBBTree* PlacedTree(QvToothBase* tooth, const QvMatrix& placement)
{
    QvOBBTreeMgr* mgr = QvOBBTreeMgr::Instance();
    mgr->AddMesh(tooth);
    QvOBBTree* tree = mgr->FindTree(tooth);
    if (tree)
        tree->SetPlacement(placement);
    return tree;
}

// The crossings of the line from q through p with the tree's triangles, nearest to q
// first.
std::vector<QvPoint> Crossings(const QvOBBTree& tree, const QvPoint& q, const QvPoint& p)
{
    std::vector<QvLineHit> hits;
    tree.IntersectLine(QvLine(q, p - q), hits);
    std::vector<QvPoint> points;
    points.reserve(hits.size());
    for (const QvLineHit& hit : hits)
        points.push_back(hit.m_point);
    std::stable_sort(points.begin(), points.end(),
                     [&q](const QvPoint& a, const QvPoint& b) { return a.SquaredDistance(q) < b.SquaredDistance(q); });
    return points;
}

// Whether a crossing h lies between the plane (at q) and the vertex p, dv apart: on
// p's side of q and no farther from q than p. Crossings behind the plane would
// otherwise count the far side of the pontic as depth.
bool BetweenPlaneAndVertex(const QvPoint& h, const QvPoint& q, const QvPoint& p, double dv)
{
    return h.Distance(q) <= dv && (h - q).Dot(p - q) >= 0.0;
}

// (a, A) of one side: overlap depth (gap width negated) and the pontic's extent
// towards that side.
struct SideValue
{
    double depth = 0.0;
    double extent = 0.0;
};

class SideMeasure
{
public:
    SideMeasure(const QvOBBTree& pontic, const QvMesh& copy) : m_pontic(pontic), m_copy(copy) {}

    // neighbour null: measured as a side without neighbour.
    SideValue Measure(QvToothBase* neighbour, const QvMatrix& placement, const QvFrame& fn, const QvPlane& mid,
                      const QvFrame& f1) const
    {
        QvPlane plane = mid;
        // Normal from the neighbour towards the pontic: the neighbour's side is negative.
        if (plane.GetNormal().Dot(f1.m_centre - fn.m_centre) < 0.0)
            plane.Reverse();
        if (!neighbour)
            return FreeSide(plane);
        const QvOBBTree* tree = PlacedTree(neighbour, placement);
        if (!tree)
            return FreeSide(plane);
        std::vector<QvTriSegment> segments;
        m_pontic.Intersect(tree, segments);
        if (segments.empty())
            return Gap(*tree, plane);
        return Overlap(*tree, plane, segments);
    }

    // No neighbour: touching, with the largest signed distance of any vertex as extent.
    SideValue FreeSide(const QvPlane& plane) const
    {
        double largest = kLowest;
        for (std::size_t v = 0; v < m_copy.m_vertices.size(); ++v)
            largest = std::max(largest, plane.Distance(Placed(v), true));
        SideValue value;
        value.extent = m_copy.m_vertices.empty() ? 0.0 : largest;
        return value;
    }

private:
    QvPoint Placed(std::size_t v) const { return m_pontic.GetPlacedPosition(static_cast<int>(v)); }

    SideValue Gap(const QvOBBTree& tree, const QvPlane& plane) const
    {
        double smallest = kInfinity;
        double smallestDv = 0.0;
        double farthest = 0.0;
        for (std::size_t v = 0; v < m_copy.m_vertices.size(); ++v)
        {
            const QvPoint p = Placed(v);
            if (!(plane.Distance(p, true) < 0.0))
                continue;
            const QvPoint q = plane.ProjectPoint(p);
            const double dv = p.Distance(q);
            farthest = std::max(farthest, dv);
            for (const QvPoint& h : Crossings(tree, q, p))
            {
                const double g = h.Distance(p);
                if (g < smallest)
                {
                    smallest = g;
                    smallestDv = dv;
                }
            }
        }
        SideValue value;
        if (std::isfinite(smallest))
        {
            value.depth = -smallest;
            value.extent = smallestDv;
        }
        else
        {
            // No crossing (or no vertex on that side): no finite gap, so the side counts
            // as touching, reaching as far as the pontic does towards it.
            value.extent = farthest;
        }
        return value;
    }

    SideValue Overlap(const QvOBBTree& tree, const QvPlane& plane, const std::vector<QvTriSegment>& segments) const
    {
        std::vector<char> barrier(m_copy.m_edges.size(), 0);
        for (const QvTriSegment& segment : segments)
        {
            if (!segment.m_pFirst || !segment.m_pFirst->m_pFace)
                continue;
            for (const int e : segment.m_pFirst->m_pFace->m_edges)
                if (e >= 0 && static_cast<std::size_t>(e) < barrier.size())
                    barrier[static_cast<std::size_t>(e)] = 1;
        }

        const std::vector<std::vector<int>> regions = SplitRegions(barrier);
        std::size_t body = 0;
        for (std::size_t r = 1; r < regions.size(); ++r)
            if (regions[r].size() > regions[body].size())
                body = r;
        std::set<int> candidates;
        for (std::size_t r = 0; r < regions.size(); ++r)
            if (r != body)
                for (const int f : regions[r])
                {
                    int a = -1, b = -1, c = -1;
                    m_copy.m_faces[static_cast<std::size_t>(f)].GetVertices(a, b, c);
                    candidates.insert({a, b, c});
                }

        double largest = kLowest;
        double largestDv = 0.0;
        double dvSum = 0.0;
        for (const int v : candidates)
        {
            const QvPoint p = Placed(static_cast<std::size_t>(v));
            const QvPoint q = plane.ProjectPoint(p);
            const double dv = p.Distance(q);
            dvSum += dv;
            for (const QvPoint& h : Crossings(tree, q, p))
            {
                if (!BetweenPlaneAndVertex(h, q, p, dv))
                    continue;
                const double depth = h.Distance(p);
                if (depth > largest)
                {
                    largest = depth;
                    largestDv = dv;
                }
            }
        }
        SideValue value;
        if (largest > kLowest)
        {
            value.depth = largest;
            value.extent = largestDv;
        }
        else if (!candidates.empty())
            value.extent = dvSum / static_cast<double>(candidates.size());
        return value;
    }

    // Faces in index order; each unvisited face starts a region grown breadth-first
    // across every edge that is not a barrier.
    std::vector<std::vector<int>> SplitRegions(const std::vector<char>& barrier) const
    {
        const std::size_t count = m_copy.m_faces.size();
        std::vector<char> visited(count, 0);
        std::vector<std::vector<int>> regions;
        for (std::size_t start = 0; start < count; ++start)
        {
            if (visited[start])
                continue;
            visited[start] = 1;
            std::vector<int> region{static_cast<int>(start)};
            for (std::size_t next = 0; next < region.size(); ++next)
            {
                const int f = region[next];
                for (const int e : m_copy.m_faces[static_cast<std::size_t>(f)].m_edges)
                {
                    const auto edge = static_cast<std::size_t>(e);
                    if (e < 0 || edge >= barrier.size() || barrier[edge])
                        continue;
                    const int other = m_copy.m_edges[edge].GetOtherFace(f);
                    const auto face = static_cast<std::size_t>(other);
                    if (other < 0 || face >= count || visited[face])
                        continue;
                    visited[face] = 1;
                    region.push_back(other);
                }
            }
            regions.push_back(std::move(region));
        }
        return regions;
    }

    const QvOBBTree& m_pontic;
    const QvMesh& m_copy;
};

} // namespace

QvTemporaryOBBTree::QvTemporaryOBBTree(QvMesh* mesh) : m_pMesh(mesh)
{
    QvOBBTreeMgr::Instance()->AddMesh(mesh);
    m_pTree = QvOBBTreeMgr::Instance()->FindTree(mesh);
}

QvTemporaryOBBTree::~QvTemporaryOBBTree() { QvOBBTreeMgr::Instance()->RemoveMesh(m_pMesh); }

QvFrame QvPonticNeighbourFrame(const QvToothBase& tooth, const QvMatrix* placement)
{
    QvFrame frame = *tooth.GetFrame();
    if (!tooth.m_vertices.empty())
    {
        QvPoint centre = tooth.GetCenter();
        std::vector<QvPoint> rim;
        for (const int v : *tooth.GetBoundaryLoop())
            if (v >= 0 && static_cast<std::size_t>(v) < tooth.m_vertices.size())
                rim.push_back(tooth.m_vertices[static_cast<std::size_t>(v)].m_point);
        if (rim.size() >= 3)
        {
            const std::unique_ptr<QvPlane> plane(QvPlane::FitPoints(rim));
            if (plane)
                centre = plane->ProjectPoint(centre);
        }
        frame.m_centre = centre;
    }
    if (placement)
        frame.Transform(*placement);
    return frame;
}

QvPonticAxes QvPonticArchAxes(const QvFrame& f1, const QvFrame* f0, const QvFrame* f2)
{
    QvVector s;
    if (f0)
        s += f1.m_centre - f0->m_centre;
    if (f2)
        s += f2->m_centre - f1.m_centre;
    QvPonticAxes axes;
    axes.z = f1.m_dirZ;
    QvVector y = axes.z.Cross(s);
    if (y.IsZero())
    {
        s = f1.m_dirX;
        y = axes.z.Cross(s);
    }
    s = y.Cross(axes.z);
    s.Normalize();
    y.Normalize();
    axes.z.Normalize();
    axes.d = s;
    if (s.Dot(f1.m_dirX) < 0.0)
    {
        s.Negate();
        y.Negate();
    }
    axes.s = s;
    axes.y = y;
    return axes;
}

QvAutoAdjustPontic::QvAutoAdjustPontic(const std::vector<QvToothBase*>& teeth, const std::vector<QvMatrix>& matrices,
                                       bool ignoreNeighbours)
    : m_teeth(teeth), m_matrices(matrices), m_bIgnoreNeighbours(ignoreNeighbours)
{
}

QvAutoAdjustPontic::~QvAutoAdjustPontic() = default;

bool QvAutoAdjustPontic::ComputeScaleShift(double a, double extentA, double b, double extentB, double& k, double& t)
{
    const double space = (extentA - a) + (extentB - b);
    // The negated test also turns a not-a-number room away.
    if (!(space >= kMinimumSpace))
        return false;
    const double width = extentA + extentB;
    if (width == 0.0)
        return false;
    const double scale = 1.0 - (a + b) / width;
    const double shift = (a * extentB - b * extentA) / width;
    if (!std::isfinite(scale) || !std::isfinite(shift))
        return false;
    k = scale;
    t = shift;
    return true;
}

bool QvAutoAdjustPontic::Execute()
{
    if (m_teeth.size() < 3 || !m_teeth[1] || m_matrices.size() != m_teeth.size())
        return false;
    for (const QvMatrix& m : m_matrices)
        if (m.m_row != 4 || m.m_col != 4)
            return false;
    QvToothBase* pontic = m_teeth[1];
    QvToothBase* first = m_teeth[0];
    QvToothBase* second = m_teeth[2];
    m_result = QvMatrix(4, 4); // all zero: no room, until proven otherwise

    // The copy and its tree exist only during this call: the tree leaves the cache
    // before the copy is freed, also when something throws.
    auto copy = std::make_unique<QvMesh>();
    copy->CopyMeshData(*pontic);
    copy->Transform(m_matrices[1]);
    const QvTemporaryOBBTree temporary(copy.get());
    QvOBBTree* tree = temporary.Get();
    if (!tree)
        return true;

    QvFrame f1 = *pontic->GetFrame();
    f1.Transform(m_matrices[1]);
    QvFrame f0;
    QvFrame f2;
    if (first)
        f0 = QvPonticNeighbourFrame(*first, &m_matrices[0]);
    if (second)
        f2 = QvPonticNeighbourFrame(*second, &m_matrices[2]);
    const QvPonticAxes axes = QvPonticArchAxes(f1, first ? &f0 : nullptr, second ? &f2 : nullptr);

    QvPoint centre = first && second ? Midpoint(f0.m_centre, f2.m_centre) : f1.m_centre;
    centre = centre + axes.z * m_dHeightOffset;
    centre = centre + axes.y * m_dLateralOffset;
    const QvMatrix recentre = TransformBetween(f1, QvFrame(centre, axes.s, axes.y));
    m_matrices[1] = recentre * m_matrices[1];
    f1.Transform(recentre);
    tree->SetPlacement(recentre);

    const QvPlane mid(f1.m_centre, axes.d);
    const SideMeasure measure(*tree, *copy);
    SideValue sideA;
    SideValue sideB;
    if (m_bIgnoreNeighbours)
    {
        const QvFrame none;
        sideA = measure.Measure(nullptr, m_matrices[0], none, mid, f1);
        sideB = measure.Measure(nullptr, m_matrices[2], none, mid, f1);
    }
    else
    {
        sideA = measure.Measure(first, m_matrices[0], f0, mid, f1);
        sideB = measure.Measure(second, m_matrices[2], f2, mid, f1);
    }

    double k = 1.0;
    double t = 0.0;
    if (!ComputeScaleShift(sideA.depth, sideA.extent, sideB.depth, sideB.extent, k, t))
        return true;

    QvMatrix shift = Identity4();
    for (int i = 0; i < 3; ++i)
        shift[i][3] = t * axes.d[i];
    f1.Transform(shift);
    const QvFrame world(QvPoint(0, 0, 0), QvVector(1, 0, 0), QvVector(0, 1, 0));
    const QvMatrix toWorld = TransformBetween(f1, world);
    QvMatrix fromWorld = toWorld;
    if (!fromWorld.Invert())
        return true;
    QvMatrix scale = Identity4();
    scale[0][0] = k;
    const QvMatrix result = fromWorld * scale * toWorld * shift * recentre;
    if (qvscheme::IsFinitePlacement(result))
        m_result = result;
    return true;
}

void QvAutoAdjustPontic::ClearOpposingJaw(QvOBBTree* ponticTree, const QvVector& direction, QvMatrix& correction)
{
    if (!ponticTree || m_teeth.size() < 2 || !m_teeth[1] || m_matrices.size() < 2)
        return;
    const QvPlane plane(m_matrices[1] * m_teeth[1]->GetFrame()->m_centre, direction);
    const QvMesh* ponticMesh = ponticTree->GetMesh();
    if (!ponticMesh)
        return;

    bool touched = false;
    double deepest = kLowest;
    for (std::size_t i = 3; i < m_teeth.size() && i < m_matrices.size(); ++i)
    {
        QvToothBase* tooth = m_teeth[i];
        if (!tooth)
            continue;
        const QvOBBTree* tree = PlacedTree(tooth, m_matrices[i]);
        if (!tree)
            continue;
        std::vector<QvTriSegment> segments;
        ponticTree->Intersect(tree, segments);
        if (segments.empty())
            continue;
        touched = true;

        double reach = kLowest;
        for (std::size_t v = 0; v < tooth->m_vertices.size(); ++v)
            reach = std::max(reach, plane.Distance(tree->GetPlacedPosition(static_cast<int>(v)), true));
        reach += 0.05;
        for (std::size_t v = 0; v < ponticMesh->m_vertices.size(); ++v)
        {
            const QvPoint p = ponticTree->GetPlacedPosition(static_cast<int>(v));
            const double distance = plane.Distance(p, true);
            if (!(distance <= reach))
                continue;
            const QvPoint q = plane.ProjectPoint(p);
            for (const QvPoint& h : Crossings(*tree, q, p))
                if (BetweenPlaneAndVertex(h, q, p, std::fabs(distance)))
                    deepest = std::max(deepest, h.Distance(p));
        }
    }
    if (!touched)
        return;
    // Touching without a measurable depth still lifts the pontic by the clearance.
    const double lift = (deepest > kLowest ? deepest : 0.0) + 0.1;
    if (correction.m_row != 4 || correction.m_col != 4)
        correction = Identity4();
    for (int i = 0; i < 3; ++i)
        correction[i][3] = lift * direction[i];
}
