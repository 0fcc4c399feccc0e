// SPDX-License-Identifier: GPL-3.0-or-later
// Tooth geometry at the measured step: crown points, landmark points, the FACC's
// line and planes, boxes, fitted side planes and lines, closest points and contacts.
#include <algorithm>
#include <limits>

#include "core/design/QvOBBTree.h"
#include "core/collision/QvCollisionDetecter.h"
#include "core/geometry/QvBBox.h"
#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvKDTree.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/measure/QvDentalMeasure.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "core/scheme/QvGapInfo.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeMgr.h"
#include "core/scheme/QvTreatStep.h"

namespace {

constexpr double kFloatMax = 3.4028235931503486e36;

const int kRightSide[8] = {14, 44, 15, 45, 16, 46, 17, 47};
const int kLeftSide[8] = {24, 34, 25, 35, 26, 36, 27, 37};

} // namespace

QvScheme* QvDentalMeasure::CurrentScheme() const
{
    if (!m_pModel)
        return nullptr;
    const QvSchemeMgr* mgr = QvGetSchemeMgr(*m_pModel);
    return mgr ? mgr->GetCurScheme() : nullptr;
}

bool QvDentalMeasure::IsToothExcluded(const QvTooth* tooth) const
{
    if (m_bInitial || !tooth)
        return false;
    const QvScheme* scheme = CurrentScheme();
    return scheme && scheme->IsExtracted(tooth);
}

QvTreatStep* QvDentalMeasure::GetToothStep(int step, const QvTooth* tooth) const
{
    if (m_bInitial || !tooth || IsToothExcluded(tooth))
        return nullptr;
    const QvScheme* scheme = CurrentScheme();
    return scheme ? scheme->FindStep(step, tooth) : nullptr;
}

bool QvDentalMeasure::IsToothAbsent(const QvTooth* tooth)
{
    return !tooth || tooth->GetState() == kQvToothNotMeasured || tooth->GetState() == kQvToothExtracted;
}

QvPoint QvDentalMeasure::PlacePoint(int step, const QvTooth* tooth, const QvPoint& p) const
{
    const QvTreatStep* placed = GetToothStep(step, tooth);
    return placed ? *placed->GetMatrix() * p : p;
}

QvVector QvDentalMeasure::PlaceVector(int step, const QvTooth* tooth, const QvVector& v) const
{
    const QvTreatStep* placed = GetToothStep(step, tooth);
    return placed ? *placed->GetMatrix() * v : v;
}

bool QvDentalMeasure::GetCrownPoints(int step, const QvTooth* tooth, std::vector<QvPoint>& out, bool crownOnly) const
{
    if (!tooth || tooth->GetState() == kQvToothNotMeasured)
        return false;
    const std::size_t first = out.size();
    out.reserve(first + tooth->m_vertices.size());
    if (crownOnly)
    {
        std::vector<bool> seen(tooth->m_vertices.size(), false);
        for (const QvFace& face : tooth->m_faces)
        {
            if (face.m_tag != 0)
                continue;
            for (int v : face.m_vertices)
                if (v >= 0 && static_cast<std::size_t>(v) < seen.size() && !seen[static_cast<std::size_t>(v)])
                {
                    seen[static_cast<std::size_t>(v)] = true;
                    out.push_back(tooth->m_vertices[static_cast<std::size_t>(v)].m_point);
                }
        }
    }
    else
        for (const QvVertex& v : tooth->m_vertices)
            out.push_back(v.m_point);
    if (const QvTreatStep* placed = GetToothStep(step, tooth))
        for (std::size_t i = first; i < out.size(); ++i)
            out[i] = *placed->GetMatrix() * out[i];
    return true;
}

QvBBox* QvDentalMeasure::GetToothBox(const QvTooth* tooth) const
{
    if (!tooth || tooth->GetState() == kQvToothNotMeasured || IsToothExcluded(tooth))
        return nullptr;
    std::vector<QvPoint> points;
    (void)GetCrownPoints(m_nStep, tooth, points, false);
    if (points.empty())
        return new QvBBox(QvPoint(), QvPoint());
    QvPoint lo = points[0], hi = points[0];
    for (const QvPoint& p : points)
        for (int k = 0; k < 3; ++k)
        {
            lo.m_coord[k] = std::min(lo.m_coord[k], p.m_coord[k]);
            hi.m_coord[k] = std::max(hi.m_coord[k], p.m_coord[k]);
        }
    return new QvBBox(lo, hi);
}

bool QvDentalMeasure::GetIncisalPoint(int step, const QvTooth* tooth, QvPoint& out) const
{
    if (!tooth || IsToothExcluded(tooth) || !tooth->GetToothRef())
        return false;
    const QvToothRef& ref = *tooth->GetToothRef();
    QvPoint first = ref.GetVertex(ref.GetMidCurve().GetFirstVertex());
    QvPoint last = ref.GetVertex(ref.GetMidCurve().GetLastVertex());
    if ((last - first).Dot(tooth->GetFrame()->m_dirX) < 0.0)
        std::swap(first, last);
    out = PlacePoint(step, tooth, last);
    return true;
}

bool QvDentalMeasure::GetCuspPoint(int step, const QvTooth* tooth, QvPoint& out) const
{
    if (!tooth || tooth->GetState() == kQvToothNotMeasured || IsToothExcluded(tooth) || !tooth->GetToothRef())
        return false;
    const QvToothRef& ref = *tooth->GetToothRef();
    const int digit = tooth->GetFdi() % 10;
    QvPoint p;
    if (digit == 1 || digit == 2)
        p = ref.GetVertex(ref.GetMidCurve().GetMiddleVertex());
    else
    {
        const QvFeaturePoint* feature = ref.FindFeaturePoint(digit >= 3 && digit <= 5 ? 2 : 3);
        if (!feature)
            return false;
        p = feature->m_position;
    }
    out = PlacePoint(step, tooth, p);
    return true;
}

namespace {

// The FACC curve of a tooth the FACC helpers may use, or null.
const QvBSplineCurve* UsableFacc(const QvDentalMeasure& m, const QvTooth* tooth)
{
    if (!tooth || tooth->GetState() == kQvToothNotMeasured || m.IsToothExcluded(tooth) || !tooth->GetToothRef())
        return nullptr;
    const QvBSplineCurve* curve = tooth->GetToothRef()->GetFacc().m_pCurve;
    return curve && curve->CanEvaluate() ? curve : nullptr;
}

// Mid-point by arc length and the unit tangent there.
void FaccMiddle(const QvBSplineCurve& curve, QvPoint& point, QvVector& tangent)
{
    double t = 0.0;
    curve.GetMidPoint(point, t);
    QvPoint c;
    QvVector d[1];
    if (curve.EvaluateDerivatives(1, c, d, t))
        tangent = d[0];
    tangent.Normalize();
}

} // namespace

QvLine* QvDentalMeasure::GetFaccAxis(const QvTooth* tooth) const
{
    const QvBSplineCurve* curve = UsableFacc(*this, tooth);
    if (!curve)
        return nullptr;
    QvPoint q;
    QvVector d;
    FaccMiddle(*curve, q, d);
    if (d.Dot(tooth->GetFrame()->m_dirZ) > 0.0)
        d.Negate();
    return new QvLine(PlacePoint(m_nStep, tooth, q), PlaceVector(m_nStep, tooth, d));
}

QvPlane* QvDentalMeasure::GetLabialPlane(const QvTooth* tooth) const
{
    const QvBSplineCurve* curve = UsableFacc(*this, tooth);
    if (!curve)
        return nullptr;
    QvPoint q;
    QvVector d;
    FaccMiddle(*curve, q, d);
    int nearest = -1;
    double bound = kFloatMax;
    std::vector<bool> seen(tooth->m_vertices.size(), false);
    for (const QvFace& face : tooth->m_faces)
    {
        if (face.m_tag != 0)
            continue;
        for (int v : face.m_vertices)
        {
            if (v < 0 || static_cast<std::size_t>(v) >= seen.size() || seen[static_cast<std::size_t>(v)])
                continue;
            seen[static_cast<std::size_t>(v)] = true;
            const double dd = tooth->m_vertices[static_cast<std::size_t>(v)].m_point.SquaredDistance(q);
            if (dd < bound)
            {
                bound = dd;
                nearest = v;
            }
        }
    }
    // Without crown faces there is no surface to touch.
    if (nearest < 0)
        return nullptr;
    const QvVector normal = tooth->GetVertexNormal(nearest);
    QvVector n = d.Cross(normal.Cross(d));
    QvVector y = tooth->GetFrame()->m_dirY;
    if (FdiQuadrant(tooth->GetFdi()) % 2 == 1)
        y.Negate();
    if (n.Dot(y) < 0.0)
        n.Negate();
    return new QvPlane(PlacePoint(m_nStep, tooth, q), PlaceVector(m_nStep, tooth, n));
}

QvPlane* QvDentalMeasure::GetFaccPlane(const QvTooth* tooth) const
{
    const QvBSplineCurve* curve = UsableFacc(*this, tooth);
    if (!curve)
        return nullptr;
    const QvPoint s0 = curve->Evaluate(0.0);
    const QvPoint s1 = curve->Evaluate(1.0);
    QvPoint r;
    double t = 0.0;
    curve->GetMidPoint(r, t);
    QvVector n = (s0 - r).Cross(s1 - r);
    const QvPoint rp = PlacePoint(m_nStep, tooth, r);
    const QvVector x = PlaceVector(m_nStep, tooth, tooth->GetFrame()->m_dirX);
    n = PlaceVector(m_nStep, tooth, n);
    if (n.IsZero())
    {
        std::unique_ptr<QvLine> axis(GetFaccAxis(tooth));
        std::unique_ptr<QvPlane> labial(GetLabialPlane(tooth));
        if (!axis || !labial)
            return nullptr;
        n = axis->GetDirection().Cross(labial->GetNormal());
    }
    if (n.Dot(x) < 0.0)
        n.Negate();
    return new QvPlane(rp, n);
}

QvPlane* QvDentalMeasure::GetBuccalPlane(int step, bool right) const
{
    if (!m_pModel)
        return nullptr;
    std::vector<QvPoint> points;
    for (int fdi : right ? kRightSide : kLeftSide)
    {
        const QvTooth* tooth = m_pModel->FindToothAtPosition(fdi);
        if (IsToothAbsent(tooth) || !tooth->GetToothRef())
            continue;
        const QvTreatStep* placed = GetToothStep(step, tooth);
        const QvToothRef& ref = *tooth->GetToothRef();
        for (const QvFeaturePoint& f : ref.m_featurePoints)
        {
            const QvPoint p = ref.GetVertex(f.m_nVertex);
            points.push_back(placed ? *placed->GetMatrix() * p : p);
        }
    }
    return points.empty() ? nullptr : QvPlane::FitPoints(points);
}

QvLine* QvDentalMeasure::GetBuccalLine(int step, bool right) const
{
    if (!m_pModel)
        return nullptr;
    std::vector<QvPoint> points;
    for (int fdi : right ? kRightSide : kLeftSide)
    {
        const QvTooth* tooth = m_pModel->FindToothAtPosition(fdi);
        if (IsToothAbsent(tooth) || !tooth->GetToothRef())
            continue;
        const QvToothRef& ref = *tooth->GetToothRef();
        points.push_back(PlacePoint(step, tooth, ref.GetVertex(ref.GetMidCurve().GetMiddleVertex())));
    }
    if (points.empty())
        return nullptr;
    std::unique_ptr<QvPlane> plane(GetBuccalPlane(step, right));
    if (!plane)
        return nullptr;
    for (QvPoint& p : points)
        p = plane->ProjectPoint(p);
    return QvLine::FitPoints(points);
}

QvPlane* QvDentalMeasure::GetLowerAnteriorPlane() const
{
    if (!m_pModel)
        return nullptr;
    std::vector<QvPoint> points;
    for (int fdi : {44, 43, 42, 41, 31, 32, 33, 34})
    {
        const QvTooth* tooth = m_pModel->FindToothAtPosition(fdi);
        if (!IsToothAbsent(tooth) && !IsToothExcluded(tooth))
            (void)GetCrownPoints(m_nStep, tooth, points, true);
    }
    QvPlane* plane = QvPlane::FitPoints(points);
    if (plane)
        if (const QvJaw* jaw = m_pModel->GetJaw(false); jaw && plane->GetNormal().Dot(jaw->GetFrame()->m_dirZ) < 0.0)
            plane->Reverse();
    return plane;
}

bool QvDentalMeasure::SelectPointsNearPlane(const QvPlane& plane, const std::vector<QvPoint>& points,
                                            std::vector<QvPoint>& out)
{
    out.clear();
    for (const QvPoint& p : points)
        if (plane.Distance(p, false) < 0.1)
            out.push_back(p);
    return !out.empty();
}

bool QvDentalMeasure::FindClosestPoint(const std::vector<QvPoint>& searched, const std::vector<QvPoint>& queries,
                                       double& distance, QvPoint& found, QvPoint& query)
{
    if (searched.empty())
        return false;
    const QvKDTree tree(searched);
    double best = kFloatMax;
    bool kept = false;
    for (const QvPoint& q : queries)
    {
        QvPoint nearest;
        int index = -1;
        const double d = tree.FindNearest(q, nearest, index);
        if (index < 0 || !(d < best))
            continue;
        best = d;
        found = nearest;
        query = q;
        kept = true;
        if (d <= 1e-7)
            break;
    }
    if (kept)
        distance = best;
    return kept;
}

namespace {

double Squared(const QvPoint& a, const QvPoint& b)
{
    const double dx = a.m_coord[0] - b.m_coord[0];
    const double dy = a.m_coord[1] - b.m_coord[1];
    const double dz = a.m_coord[2] - b.m_coord[2];
    return dx * dx + dy * dy + dz * dz;
}

// For each vertex of from, in order, the vertex of to of the running minimum (the
// minimum is carried from one vertex of from to the next). Ties within a row go to
// the lowest index, as a scan in index order would give them.
std::vector<int> CarriedNearest(const QvMesh& from, const QvMesh& to)
{
    std::vector<int> out(from.m_vertices.size(), -1);
    if (to.m_vertices.empty())
        return out;
    std::vector<QvPoint> points;
    points.reserve(to.m_vertices.size());
    for (const QvVertex& v : to.m_vertices)
        points.push_back(v.m_point);
    const QvKDTree tree(points);
    double carried = std::numeric_limits<double>::infinity();
    int best = -1;
    for (std::size_t i = 0; i < from.m_vertices.size(); ++i)
    {
        const QvPoint& p = from.m_vertices[i].m_point;
        QvPoint nearest;
        int j = -1;
        (void)tree.FindNearest(p, nearest, j);
        if (j >= 0)
        {
            const double dd = Squared(p, points[static_cast<std::size_t>(j)]);
            if (dd < carried)
            {
                // Equal distances at lower indices win, as in the scan.
                for (int k = 0; k < j; ++k)
                    if (Squared(p, points[static_cast<std::size_t>(k)]) == dd)
                    {
                        j = k;
                        break;
                    }
                carried = dd;
                best = j;
            }
        }
        out[i] = best;
    }
    return out;
}

void MutualPairs(const QvMesh& a, const QvMesh& b, const std::vector<int>& ab, const std::vector<int>& ba,
                 std::map<int, int>& out)
{
    for (std::size_t i = 0; i < ab.size(); ++i)
    {
        const int j = ab[i];
        if (j < 0 || static_cast<std::size_t>(j) >= ba.size() || ba[static_cast<std::size_t>(j)] != static_cast<int>(i))
            continue;
        if (a.m_vertices[i].m_point.Distance(b.m_vertices[static_cast<std::size_t>(j)].m_point) < 5.0)
            out.emplace(static_cast<int>(i), j);
    }
}

} // namespace

void QvDentalMeasure::FindContactPairs(const QvTooth* a, const QvTooth* b, std::map<int, int>& out)
{
    if (!a || !b)
        return;
    MutualPairs(*a, *b, CarriedNearest(*a, *b), CarriedNearest(*b, *a), out);
}

void QvDentalMeasure::FindContactPairsBruteForce(const QvTooth* a, const QvTooth* b, std::map<int, int>& out)
{
    if (!a || !b)
        return;
    auto scan = [](const QvMesh& from, const QvMesh& to) {
        std::vector<int> result(from.m_vertices.size(), -1);
        double carried = std::numeric_limits<double>::infinity();
        int best = -1;
        for (std::size_t i = 0; i < from.m_vertices.size(); ++i)
        {
            for (std::size_t j = 0; j < to.m_vertices.size(); ++j)
            {
                const double dd = Squared(from.m_vertices[i].m_point, to.m_vertices[j].m_point);
                if (dd < carried)
                {
                    carried = dd;
                    best = static_cast<int>(j);
                }
            }
            result[i] = best;
        }
        return result;
    };
    MutualPairs(*a, *b, scan(*a, *b), scan(*b, *a), out);
}

bool QvDentalMeasure::GetToothContact(QvTooth* a, QvTooth* b, std::unique_ptr<QvGapInfo>& out) const
{
    out.reset();
    if (!a || !b || a->GetState() == kQvToothNotMeasured || b->GetState() == kQvToothNotMeasured ||
        IsToothExcluded(a) || IsToothExcluded(b))
        return false;
    QvOBBTree treeA(a);
    QvOBBTree treeB(b);
    if (!m_bInitial)
    {
        if (const QvTreatStep* step = GetToothStep(m_nStep, a))
            treeA.SetPlacement(*step->GetMatrix());
        if (const QvTreatStep* step = GetToothStep(m_nStep, b))
            treeB.SetPlacement(*step->GetMatrix());
    }
    QvCollisionDetecter detecter(&treeA, &treeB);
    if (!detecter.Detect() || !detecter.GetGapInfo())
        return false;
    out = std::make_unique<QvGapInfo>(*detecter.GetGapInfo());
    return true;
}
