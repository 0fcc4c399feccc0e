// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/collision/QvGapDetecter.h"
#include "core/collision/QvRigidPlacement.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "core/design/QvOBBTree.h"
#include "core/design/QvOBBTreeMgr.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvKDTree.h"
#include "core/geometry/QvLine.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvToothBase.h"
#include "core/scheme/QvGapInfo.h"

QvGapToothMoments::QvGapToothMoments(const QvMesh& mesh, const QvOBBTree* tree)
{
    matches = tree && tree->MatchesPositions();
    const QvOBBTree::Moments m = matches ? tree->GetMoments() : QvOBBTree::ComputeMoments(mesh);
    count = m.count;
    centre = m.centre;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            scatter[i][j] = m.scatter[i][j];
}

namespace {

constexpr double kNoGap = 1e10;
// Leaves this close to a plane are cut: well above the 1e-7 within which a corner
// counts as on the plane.
constexpr double kNearPlane = 1e-6;
// How far beyond the other tooth's box section points are gathered at first.
constexpr double kFirstReach = 0.5;

// The rotation-and-scale part and the translation of a placement, read as a matrix
// times a point reads them (a 3 x 3 matrix turns only; any other size gives zeros).
struct Placement
{
    explicit Placement(const QvMatrix& m)
    {
        const bool turns = (m.Rows() == 3 && m.Cols() >= 3) || (m.Rows() == 4 && m.Cols() >= 4);
        for (int i = 0; i < 3; ++i)
        {
            for (int j = 0; j < 3; ++j)
                r[i][j] = turns ? m[i][j] : 0.0;
            t[i] = m.Rows() == 4 && m.Cols() >= 4 ? m[i][3] : 0.0;
        }
    }
    // The vector carried back by the transposed turn: n . (R p + t) = (R^T n) . p + n . t.
    QvVector Back(const QvVector& n) const
    {
        QvVector out;
        for (int j = 0; j < 3; ++j)
            out[j] = (r[0][j] * n[0] + r[1][j] * n[1]) + r[2][j] * n[2];
        return out;
    }
    QvVector Turn(const QvVector& v) const
    {
        QvVector out;
        for (int i = 0; i < 3; ++i)
            out[i] = (r[i][0] * v[0] + r[i][1] * v[1]) + r[i][2] * v[2];
        return out;
    }
    double r[3][3];
    double t[3];
};

// The nearest section point of a to each point of b in order, and the midpoint of the
// nearest pair: the first of equally near pairs wins.
void Nearest(const std::vector<QvPoint>& a, const std::vector<QvPoint>& b, double& distance, QvPoint& point)
{
    const QvKDTree tree(a);
    double best = kNoGap;
    QvPoint mid(0.0, 0.0, 0.0);
    for (const QvPoint& q : b)
    {
        QvPoint p;
        int index = -1;
        const double d = tree.FindNearest(q, p, index);
        if (index >= 0 && d < best)
        {
            best = d;
            mid = QvPoint((p[0] + q[0]) / 2.0, (p[1] + q[1]) / 2.0, (p[2] + q[2]) / 2.0);
        }
    }
    distance = best;
    point = mid;
}

// The plane n . x + d = 0 over placed points x = R p + t as (R^T n) . p + (n . t + d) = 0
// over the tooth's own points p, with the same distances.
QvPlane OwnPlane(const QvPlane& plane, const QvMatrix& placement)
{
    const Placement m(placement);
    const QvVector n = plane.GetNormal();
    const QvVector own = m.Back(n);
    QvPlane local = plane;
    for (int i = 0; i < 3; ++i)
        local.m_coef[i] = own[i];
    local.m_coef[3] = plane.m_coef[3] + ((n[0] * m.t[0] + n[1] * m.t[1]) + n[2] * m.t[2]);
    return local;
}

// -1, 0 or +1: below, on or above the plane, as the plane sections tell them.
int Side(const QvPlane& plane, const QvPoint& p)
{
    const double d = plane.Distance(p, true);
    return IsZero(d) ? 0 : (d > 0.0 ? 1 : -1);
}

// The principal-axes frame (axes sorted) of points with the given moments.
std::unique_ptr<QvFrame> FitFrame(const QvPoint& centre, const double scatter[3][3], double count)
{
    QvMatrix cov(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            cov[i][j] = scatter[i][j] / count;
    return std::unique_ptr<QvFrame>(QvFrame::FromCovariance(centre, cov, true));
}

// The tooth's axis line from its own moments, carried by its placement.
std::unique_ptr<QvLine> AxisFrom(const QvGapToothMoments& own, const QvMatrix& placement)
{
    if (own.count < 3.0)
        return nullptr;
    const std::unique_ptr<QvFrame> frame = FitFrame(own.centre, own.scatter, own.count);
    if (!frame)
        return nullptr;
    frame->Transform(placement);
    return std::make_unique<QvLine>(frame->m_centre, frame->m_dirZ);
}

} // namespace

QvGapDetecter::QvGapDetecter(QvToothBase* first, const QvMatrix& firstPlacement, QvToothBase* second,
                             const QvMatrix& secondPlacement, QvGapToothCache* cache)
    : m_pFirst(first), m_firstPlacement(firstPlacement), m_pSecond(second), m_secondPlacement(secondPlacement),
      m_pCache(cache)
{
}

QvGapDetecter::~QvGapDetecter() = default;

void QvGapDetecter::BuildPlanes()
{
    if (!m_pFirst || !m_pSecond)
        return;
    // The spread of the two placed teeth together, from each tooth's own moments: a
    // tooth placed by (R, t) has its centroid at R c + t and its scatter turned to
    // R S R^T; the pair's scatter adds to these the spread of the two centroids about
    // the common one.
    const QvGapToothMoments first = ToothMoments(0), second = ToothMoments(1);
    const double count = first.count + second.count;
    if (count < 3.0)
        return;
    const QvGapToothMoments* own[2] = {&first, &second};
    const QvMatrix* placement[2] = {&m_firstPlacement, &m_secondPlacement};
    QvPoint placedCentre[2];
    QvPoint centre;
    for (int k = 0; k < 2; ++k)
        if (own[k]->count > 0.0)
        {
            placedCentre[k] = *placement[k] * own[k]->centre;
            centre += placedCentre[k] * own[k]->count;
        }
    centre = centre / count;
    double scatter[3][3] = {};
    for (int k = 0; k < 2; ++k)
    {
        if (own[k]->count == 0.0)
            continue;
        const Placement m(*placement[k]);
        const QvVector offset = placedCentre[k] - centre;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
            {
                double turned = 0.0;
                for (int a = 0; a < 3; ++a)
                    for (int b = 0; b < 3; ++b)
                        turned += m.r[i][a] * own[k]->scatter[a][b] * m.r[j][b];
                scatter[i][j] += turned + own[k]->count * offset[i] * offset[j];
            }
    }
    const std::unique_ptr<QvFrame> frame = FitFrame(centre, scatter, count);
    if (!frame)
        return;
    const std::unique_ptr<QvLine> axis = AxisFrom(first, m_firstPlacement);
    if (!axis)
        return;
    QvVector v = axis->GetDirection();
    v.Normalize();

    const double a = frame->m_dirX.Dot(v);
    const double b = frame->m_dirY.Dot(v);
    const double c = frame->m_dirZ.Dot(v);
    const bool xMostAligned =
        a != 0.0 && std::fabs(b) <= std::fabs(a) && std::fabs(c) <= std::max(std::fabs(a), std::fabs(b));
    // Never section across the tooth's long axis: the sections would be rings around
    // single teeth instead of profiles through both.
    const QvVector normal = xMostAligned ? frame->m_dirY : frame->m_dirX;

    for (int i = 0; i < 3; ++i)
        m_planes.push_back(std::make_unique<QvPlane>(frame->m_centre, normal));
    m_planes[1]->Offset(kPlaneStep);
    m_planes[2]->Reverse();
    m_planes[2]->Offset(kPlaneStep);
}

std::unique_ptr<QvLine> QvGapDetecter::GetToothAxis(const QvToothBase* tooth) const
{
    if (!tooth)
        return nullptr;
    return AxisFrom(QvGapToothMoments(*tooth, nullptr), tooth == m_pFirst ? m_firstPlacement : m_secondPlacement);
}

QvGapToothMoments QvGapDetecter::ToothMoments(int tooth)
{
    QvToothBase* mesh = tooth == 0 ? m_pFirst : m_pSecond;
    const QvOBBTree* tree = QvOBBTreeMgr::Instance()->FindTree(mesh);
    if (tree && !tree->IsCurrent())
        tree = nullptr;
    m_bTreeLooked[tooth] = true;
    if (const QvGapToothCache::Entry* known = m_pCache && tree ? m_pCache->Find(mesh, tree) : nullptr)
    {
        m_trees[tooth] = tree;
        return known->moments;
    }
    QvGapToothMoments moments(*mesh, tree);
    m_trees[tooth] = moments.matches ? tree : nullptr;
    // Only a match is kept: a mesh that differs from its tree is summed again.
    if (m_pCache && m_trees[tooth])
        m_pCache->Add(mesh, tree, moments);
    return moments;
}

const QvOBBTree* QvGapDetecter::FaceIndex(int tooth)
{
    if (!m_bTreeLooked[tooth])
        (void)ToothMoments(tooth);
    return m_trees[tooth];
}

bool QvGapDetecter::SectionPoints(int tooth, const QvPlane& plane, std::vector<QvPoint>& out)
{
    const QvMesh& mesh = tooth == 0 ? *m_pFirst : *m_pSecond;
    const QvMatrix& placement = tooth == 0 ? m_firstPlacement : m_secondPlacement;
    const QvPlane local = OwnPlane(plane, placement);

    std::vector<std::vector<QvSectionPoint>> sections;
    if (const QvOBBTree* tree = FaceIndex(tooth))
    {
        // Every edge the section can pass belongs to a face whose leaf the plane meets.
        std::vector<const QvOBBFace*> faces;
        tree->FindFacesNearPlane(local, kNearPlane, nullptr, faces);
        std::vector<int> edges;
        edges.reserve(3 * faces.size());
        for (const QvOBBFace* f : faces)
            edges.insert(edges.end(), std::begin(f->m_pFace->m_edges), std::end(f->m_pFace->m_edges));
        mesh.IntersectPlane(local, edges, sections);
    }
    else
        mesh.IntersectPlane(local, sections);
    if (sections.empty())
        return false;
    for (const std::vector<QvSectionPoint>& section : sections)
        for (const QvSectionPoint& entry : section)
            out.push_back(placement * entry.m_point);
    return true;
}

QvGapDetecter::Near QvGapDetecter::NearSectionPoints(int tooth, const QvPlane& plane, double reach,
                                                     std::vector<QvPoint>& out)
{
    const QvMesh& mesh = tooth == 0 ? *m_pFirst : *m_pSecond;
    const QvMatrix& placement = tooth == 0 ? m_firstPlacement : m_secondPlacement;
    const QvMatrix& otherPlacement = tooth == 0 ? m_secondPlacement : m_firstPlacement;
    const QvOBBTree* tree = m_trees[tooth];
    const QvOBBTree* other = m_trees[1 - tooth];
    if (!other->GetRoot() || !other->GetRoot()->HasBox())
        return Near::kUnsure;
    const QvPlane local = OwnPlane(plane, placement);

    // The faces of the leaves the plane passes inside the other tooth's box, grown by
    // the reach, in this tooth's own coordinates.
    QvMatrix back = placement;
    if (!back.Invert())
        return Near::kUnsure;
    QvOBB region(other->GetRoot()->GetBox(), back * otherPlacement);
    for (double& h : region.m_halfSize)
        h += reach + kNearPlane;
    std::vector<const QvOBBFace*> faces;
    tree->FindFacesNearPlane(local, kNearPlane, &region, faces);
    std::vector<int> edges;
    edges.reserve(3 * faces.size());
    for (const QvOBBFace* f : faces)
    {
        const QvFace& face = *f->m_pFace;
        if (face.m_vertices[0] != f->m_corners[0] || face.m_vertices[1] != f->m_corners[1] ||
            face.m_vertices[2] != f->m_corners[2])
            return Near::kUnsure;
        edges.insert(edges.end(), std::begin(face.m_edges), std::end(face.m_edges));
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

    // Every edge the section crosses gives its crossing point, and every corner on the
    // plane itself, as the tracing of QvMesh::IntersectPlane gives them. An edge lying in
    // the plane would make the tracing skip corners: left to the full sections.
    bool cut = false;
    std::vector<int> onPlane;
    for (const int e : edges)
    {
        const QvEdge& edge = mesh.m_edges[static_cast<std::size_t>(e)];
        const QvPoint& p0 = mesh.m_vertices[static_cast<std::size_t>(edge.m_vertices[0])].m_point;
        const QvPoint& p1 = mesh.m_vertices[static_cast<std::size_t>(edge.m_vertices[1])].m_point;
        const int s0 = Side(local, p0);
        const int s1 = Side(local, p1);
        if (s0 * s1 == 1)
            continue;
        cut = true;
        if (s0 * s1 == -1)
        {
            const double d0 = local.Distance(p0, true);
            const double d1 = local.Distance(p1, true);
            out.push_back(placement * (p0 + (p1 - p0) * (d0 / (d0 - d1))));
            continue;
        }
        if (s0 == 0 && s1 == 0)
            return Near::kUnsure;
        onPlane.push_back(s0 == 0 ? edge.m_vertices[0] : edge.m_vertices[1]);
    }
    std::sort(onPlane.begin(), onPlane.end());
    onPlane.erase(std::unique(onPlane.begin(), onPlane.end()), onPlane.end());
    for (const int v : onPlane)
    {
        const QvVertex& vertex = mesh.m_vertices[static_cast<std::size_t>(v)];
        for (const int e : vertex.m_edges)
        {
            const QvEdge& edge = mesh.m_edges[static_cast<std::size_t>(e)];
            if (Side(local, mesh.m_vertices[static_cast<std::size_t>(edge.GetOtherVertex(v))].m_point) == 0)
                return Near::kUnsure;
        }
        out.push_back(placement * vertex.m_point);
    }
    if (cut)
        return Near::kCut;

    // Nothing near the other tooth: whether the plane cuts this tooth at all.
    faces.clear();
    tree->FindFacesNearPlane(local, kNearPlane, nullptr, faces);
    for (const QvOBBFace* f : faces)
    {
        int sum = 0;
        for (int k = 0; k < 3; ++k)
        {
            const int c = f->m_pFace->m_vertices[k];
            if (c != f->m_corners[k])
                return Near::kUnsure;
            sum += Side(local, mesh.m_vertices[static_cast<std::size_t>(c)].m_point);
        }
        if (sum != 3 && sum != -3)
            return Near::kCut;
    }
    return Near::kMissed;
}

QvGapDetecter::Near QvGapDetecter::MeasureNear(const QvPlane& plane, double& distance, QvPoint& point)
{
    if (!FaceIndex(0) || !FaceIndex(1) || !QvIsRigidPlacement(m_firstPlacement) ||
        !QvIsRigidPlacement(m_secondPlacement))
        return Near::kUnsure;
    // The nearest pair lies within its own distance of both teeth's boxes: measured among
    // the points within a first reach and found no farther apart than that, it is the
    // nearest pair of the whole sections. Otherwise once more with the reach it showed.
    double reach = kFirstReach;
    for (int pass = 0; pass < 2; ++pass)
    {
        std::vector<QvPoint> a, b;
        const Near first = NearSectionPoints(0, plane, reach, a);
        if (first != Near::kCut)
            return first;
        const Near second = NearSectionPoints(1, plane, reach, b);
        if (second != Near::kCut)
            return second;
        if (a.empty() || b.empty())
            return Near::kUnsure;
        double d = kNoGap;
        QvPoint p;
        Nearest(a, b, d, p);
        if (d <= reach)
        {
            distance = d;
            point = p;
            return Near::kCut;
        }
        reach = d * (1.0 + 1e-9) + kNearPlane;
    }
    return Near::kUnsure;
}

bool QvGapDetecter::MeasureOnPlane(const QvPlane* plane, double& distance, QvPoint& point)
{
    if (!m_pFirst || !m_pSecond || !plane)
        return false;
    switch (MeasureNear(*plane, distance, point))
    {
    case Near::kCut:
        return true;
    case Near::kMissed:
        return false;
    case Near::kUnsure:
        break;
    }
    std::vector<QvPoint> a, b;
    if (!SectionPoints(0, *plane, a) || !SectionPoints(1, *plane, b))
        return false;
    Nearest(a, b, distance, point);
    return true;
}

bool QvGapDetecter::Detect()
{
    m_planes.clear();
    m_pResult.reset();
    BuildPlanes();

    double best = kNoGap;
    int index = -1;
    QvPoint at(0.0, 0.0, 0.0);
    for (std::size_t i = 0; i < m_planes.size(); ++i)
    {
        double d = 0.0;
        QvPoint p;
        if (MeasureOnPlane(m_planes[i].get(), d, p) && d < best)
        {
            best = d;
            at = p;
            index = static_cast<int>(i);
        }
    }
    if (index < 0)
        return false;

    // The centre plane is never walked: it has no outward side.
    if (index != 0)
        for (int step = 0; step < kMaxWalk; ++step)
        {
            QvPlane* plane = m_planes[static_cast<std::size_t>(index)].get();
            plane->Offset(kPlaneStep);
            double d = 0.0;
            QvPoint p;
            if (!MeasureOnPlane(plane, d, p) || !(d <= best))
                break;
            best = d;
            at = p;
        }

    m_pResult = std::make_unique<QvGapInfo>(m_pFirst, m_pSecond, kQvGapKindGap, at, best);
    return best > 0.0;
}
