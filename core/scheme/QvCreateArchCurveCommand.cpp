// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvCreateArchCurveCommand.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvLine.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"

namespace {

constexpr double kCos10 = 0.984807753012206;
constexpr double kCos15 = 0.9659258262890639;
constexpr double kFitTolerance = 1e-5;
constexpr int kSampleIntervals = 100;

QvPoint Midpoint(const QvPoint& a, const QvPoint& b) { return a + (b - a) * 0.5; }

QvVector UnitTangent(const QvBSplineCurve& curve, double t)
{
    QvPoint point;
    QvVector derivative[1];
    if (!curve.EvaluateDerivatives(1, point, derivative, t))
        return QvVector();
    derivative[0].Normalize();
    return derivative[0];
}

int SideFdi(bool upper, bool second, int position) { return (upper ? 10 : 30) + (second ? 10 : 0) + position; }

int Multiplicity(const std::vector<double>& knots, double value)
{
    return static_cast<int>(std::count(knots.begin(), knots.end(), value));
}

// Inserts the inner value until it stands degree times; values at the domain ends
// already stand there degree + 1 times.
bool InsertToDegree(QvBSplineCurve& curve, double value)
{
    if (!(value > 0.0 && value < 1.0))
        return true;
    const int degree = curve.m_degree;
    for (int guard = 0; guard <= degree && Multiplicity(curve.m_knots.m_values, value) < degree; ++guard)
        if (!curve.InsertKnot(true, value))
            break;
    return Multiplicity(curve.m_knots.m_values, value) == degree;
}

} // namespace

QvCreateArchCurveCommand::QvCreateArchCurveCommand(int mode, QvModel* model, const QvPlane& plane)
    : m_bUpper(mode != 0), m_pModel(model), m_plane(plane)
{
}

bool QvCreateArchCurveCommand::Execute()
{
    QvBSplineCurve curve;
    if (!BuildCurve(curve))
        return false;
    m_curve = curve;
    return true;
}

bool QvCreateArchCurveCommand::BuildCurve(QvBSplineCurve& out) const
{
    if (!m_pModel)
        return false;
    PointLists lists;
    CollectToothPoints(lists);
    int reference = 0;
    QvMatrix toArch;
    if (!ToArchFrame(lists, reference, toArch))
        return false;
    QvArchParameters arch;
    if (!FitArchForm(lists, reference, arch))
        return false;
    std::unique_ptr<QvBSplineCurve> curve(SampleArch(arch));
    if (!curve)
        return false;
    // Without a tooth behind the arch there is nothing to reach back to; an end
    // segment that cannot be formed leaves the sampled ends, which are still an arch.
    const double depth = MeasureDistalDepth(*curve, toArch);
    if (depth >= 0.0)
        (void)ExtendEnds(*curve, depth);
    QvMatrix toWorld = toArch;
    if (!toWorld.Invert())
        return false;
    curve->Transform(toWorld);
    out = *curve;
    return true;
}

void QvCreateArchCurveCommand::CollectToothPoints(PointLists& lists) const
{
    for (std::vector<QvPoint>& list : lists)
        list.clear();
    if (!m_pModel)
        return;
    for (int position = 1; position <= 8; ++position)
    {
        const int fdiA = SideFdi(m_bUpper, false, position);
        const int fdiB = SideFdi(m_bUpper, true, position);
        QvTooth* a = m_pModel->FindToothAtPosition(fdiA);
        QvTooth* b = m_pModel->FindToothAtPosition(fdiB);
        const QvToothRef* refA = a ? a->GetToothRef() : nullptr;
        const QvToothRef* refB = b ? b->GetToothRef() : nullptr;
        bool countA = false;
        bool countB = false;
        int kind = 0;
        if (refA)
        {
            countA = true;
            countB = refB != nullptr;
            kind = a->GetToothKind();
        }
        else if (refB)
        {
            countB = true;
            kind = b->GetToothKind();
        }
        else
        {
            continue;
        }

        std::vector<QvPoint>& list = lists[static_cast<std::size_t>(position - 1)];
        if (kind == 1)
        {
            QvPoint point;
            if (const QvTooth* first = m_pModel->FindTooth(fdiA); first && MidCurveEnd(first, point))
                list.push_back(point);
            if (b && MidCurveEnd(b, point))
                list.push_back(point);
        }
        else if (kind >= 2 && kind <= 4)
        {
            const int key = kind == 4 ? 3 : 2;
            for (const auto& [counts, ref] : {std::pair{countA, refA}, std::pair{countB, refB}})
                if (counts && ref->GetFeatureVertex(key) != -1)
                    list.push_back(ref->FindFeaturePoint(key)->m_position);
        }
    }
}

bool QvCreateArchCurveCommand::MidCurveEnd(const QvTooth* tooth, QvPoint& out) const
{
    if (!tooth || !m_pModel)
        return false;
    const QvTooth* owner = m_pModel->FindTooth(tooth->GetFdi());
    const QvToothRef* ref = owner ? owner->GetToothRef() : nullptr;
    if (!ref)
        return false;
    // An empty list or foreign indices would name vertex 0 or the origin: no landmark.
    const QvMidCurve& mid = ref->GetMidCurve();
    if (mid.m_vertices.empty() || !ref->IsToothVertex(mid.GetFirstVertex()) || !ref->IsToothVertex(mid.GetLastVertex()))
        return false;
    const QvPoint first = ref->GetVertex(mid.GetFirstVertex());
    const QvPoint last = ref->GetVertex(mid.GetLastVertex());
    out = (last - first).Dot(tooth->GetFrame()->m_dirX) > 0.0 ? last : first;
    return true;
}

bool QvCreateArchCurveCommand::ToArchFrame(PointLists& lists, int& reference, QvMatrix& toArch) const
{
    reference = 0;
    for (int position = 7; position >= 1; --position)
        if (!lists[static_cast<std::size_t>(position - 1)].empty())
        {
            reference = position;
            break;
        }
    if (reference == 0)
        return false;

    for (std::vector<QvPoint>& list : lists)
        for (QvPoint& point : list)
            point = m_plane.ProjectPoint(point);

    const std::vector<QvPoint>& refList = lists[static_cast<std::size_t>(reference - 1)];
    QvVector x;
    if (refList.size() == 2)
    {
        x = refList[1] - refList[0];
    }
    else
    {
        for (const std::vector<QvPoint>& list : lists)
            if (list.size() == 2)
            {
                QvVector d = list[1] - list[0];
                d.Normalize();
                x += d;
            }
    }
    x.Normalize();
    QvVector y = m_plane.GetNormal().Cross(x);
    y.Normalize();

    std::vector<QvPoint> mids;
    for (const std::vector<QvPoint>& list : lists)
        if (list.size() == 2)
            mids.push_back(Midpoint(list[0], list[1]));
    if (mids.size() < 2)
        return false;
    if (y.Dot(mids.front() - mids.back()) < 0.0)
        y = -y;

    QvPoint origin;
    if (refList.size() == 2)
    {
        origin = Midpoint(refList[0], refList[1]);
    }
    else
    {
        QvPoint mean;
        for (const QvPoint& mid : mids)
            mean += mid;
        mean /= static_cast<double>(mids.size());
        const QvLine across(refList[0], x);
        if (!across.Intersect(QvLine(mean, y), origin))
            return false;
    }

    const QvFrame from(origin, x, y);
    const QvFrame to(QvPoint(0, 0, 0), QvVector(1, 0, 0), QvVector(0, 1, 0));
    const std::unique_ptr<QvMatrix> motion(from.GetTransformTo(to));
    if (!motion)
        return false;
    toArch = *motion;
    for (std::vector<QvPoint>& list : lists)
        for (QvPoint& point : list)
            point = toArch * point;
    return true;
}

bool QvCreateArchCurveCommand::FitArchForm(const PointLists& lists, int reference, QvArchParameters& out)
{
    if (reference < 1 || reference > 8)
        return false;
    std::vector<QvPoint> fitPoints;
    for (int position = 1; position < reference; ++position)
        for (const QvPoint& point : lists[static_cast<std::size_t>(position - 1)])
            fitPoints.push_back(point);
    std::stable_sort(fitPoints.begin(), fitPoints.end(),
                     [](const QvPoint& a, const QvPoint& b) { return a.m_coord[0] < b.m_coord[0]; });

    const QvLine xAxis(QvPoint(0, 0, 0), QvVector(1, 0, 0));
    const QvLine yAxis(QvPoint(0, 0, 0), QvVector(0, 1, 0));

    const std::vector<QvPoint>& refList = lists[static_cast<std::size_t>(reference - 1)];
    double width = 0.0;
    if (refList.size() == 2)
        width = refList[0].Distance(refList[1]);
    else if (refList.size() == 1)
        width = 2.0 * yAxis.Distance(refList[0]);
    else
        return false;

    double depth = 0.0;
    const std::vector<QvPoint>& incisors = lists[0];
    if (incisors.size() == 1)
    {
        depth = std::fabs(incisors[0].m_coord[1]);
    }
    else if (incisors.size() == 2)
    {
        depth = xAxis.Distance(Midpoint(incisors[0], incisors[1]));
    }
    else
    {
        const std::unique_ptr<QvBSplineCurve> curve(QvBSplineCurve::Fit(fitPoints, {}, false, kFitTolerance));
        if (!curve)
            return false;
        const std::array<double, 2> crossings = PlaneCrossings(*curve, QvPlane(QvPoint(0, 0, 0), QvVector(1, 0, 0)));
        depth = xAxis.Distance(curve->Evaluate(crossings[0]));
    }
    // Both divide below: an arch without width or depth is no arch.
    if (!std::isfinite(width) || !std::isfinite(depth) || IsZero(width) || IsZero(depth))
        return false;

    double suu = 0.0;
    double suv = 0.0;
    for (const QvPoint& point : fitPoints)
    {
        const double x = point.m_coord[0];
        double u = 1.0 - 4.0 * x * x / (width * width);
        double v = point.m_coord[1] / depth;
        if (IsZero(u))
            u = 0.0;
        if (IsZero(v))
            v = 0.0;
        if (u > 0.0 && v > 0.0)
        {
            const double lu = std::log(u);
            suu += lu * lu;
            suv += lu * std::log(v);
        }
    }
    if (IsZero(suu))
        return false;
    const double exponent = suv / suu;
    if (!(exponent >= 0.0) || !std::isfinite(exponent))
        return false;
    out.depth = depth;
    out.width = width;
    out.exponent = exponent;
    return true;
}

std::array<double, 2> QvCreateArchCurveCommand::PlaneCrossings(const QvBSplineCurve& curve, const QvPlane& plane)
{
    std::array<double, 2> result{0.0, 0.0};
    const double halves[2][2] = {{0.0, 0.5}, {0.5, 1.0}};
    for (int h = 0; h < 2; ++h)
    {
        double lo = halves[h][0];
        double hi = halves[h][1];
        double m = 0.5 * (lo + hi);
        // The interval halves every round, so the zero test ends it within ~25 rounds.
        for (int round = 0; round < 200; ++round)
        {
            m = 0.5 * (lo + hi);
            const QvPoint atLo = curve.Evaluate(lo);
            const QvPoint atM = curve.Evaluate(m);
            const QvPoint atHi = curve.Evaluate(hi);
            QvPoint crossing;
            bool hit = false;
            if (plane.IntersectSegment(QvLineSeg(atLo, atM), crossing))
            {
                hi = m;
                hit = true;
            }
            else
            {
                lo = m;
                hit = plane.IntersectSegment(QvLineSeg(atM, atHi), crossing);
            }
            if ((hit && crossing.Distance(atM) < 1e-5) || IsZero(hi - lo))
                break;
        }
        result[static_cast<std::size_t>(h)] = m;
    }
    return result;
}

double QvCreateArchCurveCommand::ArchValue(double x, const QvArchParameters& arch)
{
    // Rounding can put the ends a hair outside the arch, where the power of a negative
    // base would be NaN.
    const double u = 1.0 - 4.0 * x * x / (arch.width * arch.width);
    return arch.depth * std::pow(u > 0.0 ? u : 0.0, arch.exponent);
}

QvBSplineCurve* QvCreateArchCurveCommand::SampleArch(const QvArchParameters& arch)
{
    std::vector<QvPoint> points(kSampleIntervals + 1);
    const int half = kSampleIntervals / 2;
    for (int i = 0; i < half; ++i)
    {
        const double x = -arch.width / 2.0 + i * arch.width / kSampleIntervals;
        points[static_cast<std::size_t>(i)] = QvPoint(x, ArchValue(x, arch), 0.0);
        points[static_cast<std::size_t>(kSampleIntervals - i)] = QvPoint(-x, ArchValue(x, arch), 0.0);
    }
    points[static_cast<std::size_t>(half)] = QvPoint(0.0, arch.depth, 0.0);
    return QvBSplineCurve::Fit(points, {}, false, kFitTolerance);
}

double QvCreateArchCurveCommand::MeasureDistalDepth(const QvBSplineCurve& sampled, const QvMatrix& toArch) const
{
    if (!m_pModel)
        return -1.0;
    QvTooth* last[2] = {nullptr, nullptr};
    for (int position = m_bIncludeThirdMolars ? 8 : 7; position >= 1; --position)
    {
        last[0] = m_pModel->FindToothAtPosition(SideFdi(m_bUpper, false, position));
        last[1] = m_pModel->FindToothAtPosition(SideFdi(m_bUpper, true, position));
        if (last[0] || last[1])
            break;
    }

    const QvPoint r0 = sampled.Evaluate(0.0);
    const QvPoint rm = sampled.Evaluate(0.5);
    const QvPoint r1 = sampled.Evaluate(1.0);
    const QvLine base(Midpoint(r0, r1), r1 - r0);
    QvVector backward = Midpoint(r0, r1) - rm;
    backward.Normalize();
    QvMatrix toWorld = toArch;
    if (!toWorld.Invert())
        return -1.0;
    const QvVector worldBackward = toWorld * backward;

    double depth = -1.0;
    for (const QvTooth* tooth : last)
    {
        QvPoint vertex;
        if (!tooth || !FarthestVertex(*tooth, tooth->GetFrame()->m_centre, worldBackward, vertex))
            continue;
        depth = std::max(depth, base.Distance(toArch * m_plane.ProjectPoint(vertex)));
    }
    return depth;
}

bool QvCreateArchCurveCommand::FarthestVertex(const QvMesh& mesh, const QvPoint& centre, const QvVector& direction,
                                              QvPoint& out)
{
    if (mesh.m_vertices.empty())
        return false;
    double best = -std::numeric_limits<double>::infinity();
    for (const QvVertex& vertex : mesh.m_vertices)
    {
        const double along = (vertex.m_point - centre).Dot(direction);
        if (along > best)
        {
            best = along;
            out = vertex.m_point;
        }
    }
    return true;
}

bool QvCreateArchCurveCommand::ExtendEnds(QvBSplineCurve& curve, double depth)
{
    if (curve.m_degree != 3 || !curve.CanEvaluate())
        return false;
    const QvVector backward(0.0, -1.0, 0.0);
    const auto cosine = [&](double t) { return UnitTangent(curve, t).Dot(backward); };

    // Where the arch has turned 10 to 15 degrees away from straight back.
    double w = 1.0;
    if (cosine(1.0) > kCos10)
    {
        double lo = 0.5;
        double hi = 1.0;
        for (int round = 0; round < 200; ++round)
        {
            w = 0.5 * (lo + hi);
            const double c = cosine(w);
            if (c > kCos10)
                hi = w;
            else if (c < kCos15)
                lo = w;
            else
                break;
        }
    }
    const bool atEnd = IsZero(w - 1.0);

    const QvPoint p = curve.Evaluate(w);
    const QvVector tangent = UnitTangent(curve, w);
    const double a = cosine(w);
    const double sine = std::sqrt(std::max(0.0, 1.0 - a * a));
    const double reach = depth + std::fabs((curve.Evaluate(1.0) - p).Dot(backward));
    if (IsZero(1.0 + a))
        return false;
    const QvPoint e(p.m_coord[0] + reach * sine / (1.0 + a), p.m_coord[1] - reach, 0.0);

    QvPoint g = e;
    if (!atEnd)
    {
        if (IsZero(a))
            return false;
        const QvPoint f(p.m_coord[0] + reach * sine / a, p.m_coord[1] - reach, 0.0);
        QvPoint crossing;
        if (e.Distance(f) > 0.0 && QvLine(p, curve.Evaluate(1.0)).Intersect(QvLine(e, f), crossing))
        {
            if ((crossing - e).Dot(crossing - f) <= 0.0)
                g = e + (f - e) * (e.Distance(crossing) / e.Distance(f));
            else
                g = crossing.Distance(e) < crossing.Distance(f) ? e : f;
        }
    }

    // The end segment: a cubic from P along the tangent to G, symmetric about the
    // bisector of PG.
    const QvVector chord = g - p;
    const double length = chord.Length();
    if (IsZero(length))
        return false;
    const double along = (chord / length).Dot(tangent);
    if (!(along > 0.0) || IsZero(along))
        return false;
    const double h = length / (2.0 * along);
    const QvPoint s = p + tangent * h;
    QvVector d = g - s;
    d.Normalize();
    const std::unique_ptr<QvBSplineCurve> segment(QvBSplineCurve::FromEndTangents(p, g, tangent * (2.0 * h), d * (2.0 * h)));

    const double lo = 1.0 - w;
    const double hi = w;
    const double lm = curve.ArcLength(false, lo, hi);
    const double ls = segment->ArcLength(false, 0.0, 1.0);
    if (IsZero(lm + ls) || IsZero(2.0 * w - 1.0))
        return false;
    const double g0 = lm / (lm + ls);
    const double i0 = (1.0 - g0) / 2.0;
    const double i1 = i0 + g0;

    QvBSplineCurve work = curve;
    for (double& knot : work.m_knots.m_values)
    {
        if (std::fabs(knot - lo) < 1e-7)
            knot = lo;
        else if (std::fabs(knot - hi) < 1e-7)
            knot = hi;
    }
    if (!InsertToDegree(work, lo) || !InsertToDegree(work, hi))
        return false;
    for (double& knot : work.m_knots.m_values)
    {
        // The two joints are set exactly: the assembly below finds them by value.
        if (knot == lo)
            knot = i0;
        else if (knot == hi)
            knot = i1;
        else
            knot = (knot - lo) * g0 / (2.0 * w - 1.0) + i0;
    }

    const std::vector<double>& knots = work.m_knots.m_values;
    const auto first = [&](double value) {
        return static_cast<std::size_t>(std::find(knots.begin() + 1, knots.end(), value) - knots.begin());
    };
    // Indices into the list without its first knot.
    const std::size_t j0 = first(i0) - 1;
    const std::size_t j1 = first(i1) - 1;
    if (j0 + 1 >= knots.size() || j1 + 1 >= knots.size() || j1 <= j0 || j1 > work.m_ctrlPoints.size())
        return false;

    std::vector<double> joined = {0.0, 0.0, 0.0, 0.0};
    joined.insert(joined.end(), knots.begin() + static_cast<std::ptrdiff_t>(j0 + 1),
                  knots.begin() + static_cast<std::ptrdiff_t>(j1 + 1));
    joined.insert(joined.end(), {i1, i1, i1, 1.0, 1.0, 1.0, 1.0});

    const std::vector<QvPoint>& right = segment->m_ctrlPoints;
    std::vector<QvPoint> points;
    for (int k = 3; k >= 1; --k)
        points.push_back(MirrorAcrossY(right[static_cast<std::size_t>(k)]));
    points.insert(points.end(), work.m_ctrlPoints.begin() + static_cast<std::ptrdiff_t>(j0),
                  work.m_ctrlPoints.begin() + static_cast<std::ptrdiff_t>(j1));
    points.insert(points.end(), right.begin(), right.end());

    curve.m_knots.m_values = std::move(joined);
    curve.m_ctrlPoints = std::move(points);
    return true;
}
