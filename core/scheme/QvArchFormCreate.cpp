// SPDX-License-Identifier: GPL-3.0-or-later
// Automatic creation of an arch form from the teeth of the case: the fitted arch
// curve is rebuilt from cubic pieces fitted to its first half and mirrored onto the
// second, so that the result is exactly symmetric, then turned to face across the
// caller's mid plane.
#include <algorithm>
#include <array>
#include <limits>
#include <memory>

#include "core/geometry/QvLine.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvCreateArchCurveCommand.h"

namespace {

constexpr int kSegmentSamples = 20;

QvPoint Midpoint(const QvPoint& a, const QvPoint& b) { return a + (b - a) * 0.5; }

QvPoint Lerp(const QvPoint& a, const QvPoint& b, double w) { return a + (b - a) * w; }

QvVector UnitTangent(const QvBSplineCurve& curve, double t)
{
    QvPoint point;
    QvVector derivative[1];
    if (!curve.EvaluateDerivatives(1, point, derivative, t))
        return QvVector();
    derivative[0].Normalize();
    return derivative[0];
}

QvPoint Mirror(const QvPlane& plane, const QvPoint& p)
{
    const QvPoint q = plane.ProjectPoint(p);
    return q + (q - p);
}

// The two ends of the tooth's mid curve, when it has one of more than two vertices
// of its own mesh.
bool MidCurveEnds(const QvTooth* tooth, QvPoint& first, QvPoint& last)
{
    const QvToothRef* ref = tooth ? tooth->GetToothRef() : nullptr;
    if (!ref || !ref->HasMidCurve())
        return false;
    const QvMidCurve& mid = ref->GetMidCurve();
    if (!ref->IsToothVertex(mid.GetFirstVertex()) || !ref->IsToothVertex(mid.GetLastVertex()))
        return false;
    first = ref->GetVertex(mid.GetFirstVertex());
    last = ref->GetVertex(mid.GetLastVertex());
    return true;
}

// The end of the mid curve further back along the tooth's X axis; on a tie the last.
bool MolarEndPoint(const QvTooth* tooth, QvPoint& out)
{
    QvPoint first;
    QvPoint last;
    if (!MidCurveEnds(tooth, first, last))
        return false;
    out = (last - first).Dot(tooth->GetFrame()->m_dirX) > 0.0 ? first : last;
    return true;
}

// The same end for a contact; on a tie the first.
bool ContactEnd(const QvTooth* tooth, QvPoint& out)
{
    QvPoint first;
    QvPoint last;
    if (!MidCurveEnds(tooth, first, last))
        return false;
    out = (last - first).Dot(tooth->GetFrame()->m_dirX) < 0.0 ? last : first;
    return true;
}

bool ContactPoint(const QvModel& model, int fdiA, int fdiB, QvPoint& out)
{
    QvPoint a;
    QvPoint b;
    if (!ContactEnd(model.FindTooth(fdiA), a) || !ContactEnd(model.FindTooth(fdiB), b))
        return false;
    out = Midpoint(a, b);
    return true;
}

// The end points of the last molar pair that has one, with their closest curve
// parameters.
struct MolarEnds
{
    int count = 0;
    QvPoint points[2];
    double params[2] = {0.0, 0.0};
};

bool SearchMolarEnds(const QvModel& model, bool upper, bool thirdMolars, const QvBSplineCurve& curve, MolarEnds& out)
{
    for (int n = (upper ? 18 : 38) - (thirdMolars ? 0 : 1); n % 10 != 0; --n)
    {
        MolarEnds found;
        for (const int fdi : {n, n + 10})
        {
            QvPoint point;
            if (!MolarEndPoint(model.FindTooth(fdi), point))
                continue;
            double t = 0.0;
            QvPoint closest;
            if (!curve.ClosestPoint(point, t, closest))
                return false;
            found.points[found.count] = point;
            found.params[found.count] = t;
            ++found.count;
        }
        if (found.count > 0)
        {
            out = found;
            return true;
        }
    }
    return false;
}

// The division parameters at the arch ends, made symmetric.
void EndParameters(const MolarEnds& ends, double& first, double& second)
{
    if (ends.count == 2)
    {
        const double a = std::min(ends.params[0], ends.params[1]);
        const double l = std::max(ends.params[0], ends.params[1]);
        first = a < 1.0 - l ? a : 1.0 - l;
        second = a < 1.0 - l ? 1.0 - a : l;
        return;
    }
    const double v = ends.params[0] >= 0.5 ? 1.0 - ends.params[0] : ends.params[0];
    first = v;
    second = 1.0 - v;
}

class SymmetricRefit
{
public:
    SymmetricRefit(const QvBSplineCurve& curve, const QvModel& model, const QvArchForm& form)
        : m_curve(curve), m_model(model), m_form(form), m_refNormal(form.m_refPlane.GetNormal())
    {
        m_c0 = curve.Evaluate(0.0);
        m_c1 = curve.Evaluate(1.0);
        m_cm = curve.Evaluate(0.5);
        m_front = m_cm - Midpoint(m_c0, m_c1);
        m_front.Normalize();
    }

    bool Build(QvBSplineCurve& out) const
    {
        std::vector<double> divisions = Divisions();
        // The first half of the divisions, closed at the middle.
        std::vector<double> bounds(divisions.begin(), divisions.begin() + static_cast<std::ptrdiff_t>(divisions.size() / 2));
        bounds.push_back(0.5);
        for (std::size_t i = 1; i < bounds.size(); ++i)
            if (!(bounds[i] > bounds[i - 1]))
                return false;

        std::vector<std::array<QvPoint, 4>> segments;
        for (std::size_t i = 0; i + 1 < bounds.size(); ++i)
        {
            std::array<QvPoint, 4> segment;
            if (!FitSegment(bounds[i], bounds[i + 1], i == 0, segment))
                return false;
            segments.push_back(segment);
        }
        QvVector mirrorNormal = m_front.Cross(m_refNormal);
        const QvPlane mirror(m_cm, mirrorNormal);
        for (std::size_t i = segments.size(); i-- > 0;)
        {
            const std::array<QvPoint, 4>& source = segments[i];
            std::array<QvPoint, 4> mirrored;
            for (int k = 0; k < 4; ++k)
                mirrored[static_cast<std::size_t>(k)] = Mirror(mirror, source[static_cast<std::size_t>(3 - k)]);
            segments.push_back(mirrored);
        }
        Join(segments, out);
        return true;
    }

private:
    std::vector<double> Divisions() const
    {
        MolarEnds ends;
        const bool haveEnds =
            SearchMolarEnds(m_model, m_form.m_bUpper, m_form.m_bThirdMolars, m_curve, ends);
        if (m_form.m_bUpper)
        {
            std::vector<double> d = {0.0, 0.27, 0.4, 0.6, 0.73, 1.0};
            std::array<double, 2> crossings{};
            if (PairCrossings(11, 12, 21, 22, crossings))
            {
                d[2] = std::min(crossings[0], crossings[1]);
                d[3] = std::max(crossings[0], crossings[1]);
            }
            if (PairCrossings(13, 14, 23, 24, crossings))
            {
                const double g = std::min(crossings[0], crossings[1]);
                d[1] = g;
                d[4] = 1.0 - g;
            }
            if (haveEnds)
                EndParameters(ends, d[0], d[5]);
            return d;
        }
        std::vector<double> d = {0.0, 0.36, 0.64, 1.0};
        std::vector<double> canines;
        for (const int fdi : {33, 43})
        {
            const QvTooth* tooth = m_model.FindTooth(fdi);
            if (!tooth || tooth->GetState() == 0 || tooth->GetState() == kQvToothNotMeasured)
                continue;
            const QvToothRef* ref = tooth->GetToothRef();
            const QvFeaturePoint* feature = ref ? ref->FindFeaturePoint(2) : nullptr;
            double t = 0.0;
            QvPoint closest;
            if (feature && m_curve.ClosestPoint(feature->m_position, t, closest))
                canines.push_back(t);
        }
        if (!canines.empty())
        {
            double inner = 0.0;
            if (canines.size() == 2)
            {
                const double e = std::min(canines[0], canines[1]);
                const double f = std::max(canines[0], canines[1]);
                inner = (e + 1.0 - f) / 2.0;
            }
            else
            {
                inner = canines[0] >= 0.5 ? 1.0 - canines[0] : canines[0];
            }
            d[1] = inner;
            d[2] = 1.0 - inner;
        }
        if (haveEnds)
            EndParameters(ends, d[0], d[3]);
        return d;
    }

    // The crossings of the curve with a plane across the arch at the contacts of the
    // two tooth pairs; false when neither pair has a contact point.
    bool PairCrossings(int a1, int b1, int a2, int b2, std::array<double, 2>& out) const
    {
        std::vector<QvPoint> closest;
        for (const auto& [a, b] : {std::pair{a1, b1}, std::pair{a2, b2}})
        {
            QvPoint contact;
            double t = 0.0;
            QvPoint onCurve;
            if (ContactPoint(m_model, a, b, contact) && m_curve.ClosestPoint(contact, t, onCurve))
                closest.push_back(onCurve);
        }
        if (closest.empty())
            return false;
        QvPlane plane(closest[0], m_front);
        if (closest.size() == 2)
        {
            const QvLine mid(m_cm, m_front.Cross(m_refNormal));
            const double offset = (mid.Distance(closest[0]) + mid.Distance(closest[1])) / 2.0;
            plane = QvPlane(m_cm - m_front * offset, m_front);
        }
        out = QvCreateArchCurveCommand::PlaneCrossings(m_curve, plane);
        return true;
    }

    // One cubic piece over [s, e] whose inner control points slide from the ends
    // towards the meeting point of the end tangents, keeping the best fit.
    bool FitSegment(double s, double e, bool first, std::array<QvPoint, 4>& out) const
    {
        std::vector<QvPoint> samples;
        m_curve.Sample(kSegmentSamples, samples, s, e);
        const QvPoint ps = m_curve.Evaluate(s);
        const QvPoint pe = m_curve.Evaluate(e);
        QvPoint c;
        bool met = false;
        if (first)
        {
            const QvLine bisector(Midpoint(ps, pe), (pe - ps).Cross(m_refNormal));
            met = QvLine(pe, UnitTangent(m_curve, e)).Intersect(bisector, c);
        }
        else
        {
            met = QvLine(ps, UnitTangent(m_curve, s)).Intersect(QvLine(pe, UnitTangent(m_curve, e)), c);
        }
        // Parallel tangents meet nowhere: slide towards the chord's middle instead.
        if (!met)
            c = Midpoint(ps, pe);

        double best = std::numeric_limits<double>::max();
        bool found = false;
        for (int step = 1; step < 20; ++step)
        {
            const double w = 0.05 * step;
            const std::vector<QvPoint> control = {ps, Lerp(ps, c, w), Lerp(pe, c, w), pe};
            const QvBSplineCurve segment(std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1}, control, 3, false);
            double worst = 0.0;
            bool measured = true;
            for (std::size_t j = 1; j + 1 < samples.size(); ++j)
            {
                double t = 0.0;
                QvPoint closest;
                if (!segment.ClosestPoint(samples[j], t, closest))
                {
                    measured = false;
                    break;
                }
                worst = std::max(worst, closest.Distance(samples[j]));
            }
            if (!measured)
                break;
            if (worst < best)
            {
                best = worst;
                found = true;
                std::copy(control.begin(), control.end(), out.begin());
            }
        }
        return found;
    }

    // Bezier pieces into one curve; each piece's parameter length keeps the speed
    // continuous at the joints.
    static void Join(const std::vector<std::array<QvPoint, 4>>& segments, QvBSplineCurve& out)
    {
        std::vector<double> starts = {0.0};
        double length = 1.0;
        for (std::size_t i = 1; i < segments.size(); ++i)
        {
            const double before = (segments[i - 1][3] - segments[i - 1][2]).Length() / length;
            const double after = (segments[i][1] - segments[i][0]).Length();
            starts.push_back(starts.back() + length);
            if (!IsZero(before) && !IsZero(after))
                length = after / before;
        }
        const double end = starts.back() + length;

        std::vector<double> knots = {0.0, 0.0, 0.0, 0.0};
        std::vector<QvPoint> control;
        for (std::size_t i = 0; i < segments.size(); ++i)
        {
            if (i > 0)
                knots.insert(knots.end(), 3, starts[i] / end);
            const std::size_t take = i + 1 < segments.size() ? 3 : 4;
            control.insert(control.end(), segments[i].begin(), segments[i].begin() + static_cast<std::ptrdiff_t>(take));
        }
        knots.insert(knots.end(), 4, 1.0);
        out = QvBSplineCurve(knots, control, 3, false);
    }

    const QvBSplineCurve& m_curve;
    const QvModel& m_model;
    const QvArchForm& m_form;
    QvVector m_refNormal;
    QvPoint m_c0;
    QvPoint m_c1;
    QvPoint m_cm;
    QvVector m_front;
};

} // namespace

bool QvArchForm::Create(const QvPlane& midPlane)
{
    if (!m_pModel)
        return false;
    QvCreateArchCurveCommand command(m_bUpper ? 1 : 0, m_pModel, m_refPlane);
    command.SetFlag(m_bThirdMolars);
    if (!command.Execute())
        return false;

    QvBSplineCurve curve;
    if (!SymmetricRefit(*command.GetCurve(), *m_pModel, *this).Build(curve))
        return false;

    // Turn the middle of the arch to cross the mid plane at right angles.
    const QvVector refNormal = m_refPlane.GetNormal();
    const QvVector midNormal = midPlane.GetNormal();
    const QvPoint middle = curve.Evaluate(0.5);
    QvVector tangent = UnitTangent(curve, 0.5);
    if (tangent.Dot(midNormal) < 0.0)
        tangent = -tangent;
    const QvFrame source(middle, tangent, refNormal);
    const QvFrame target(midPlane.ProjectPoint(middle), midNormal, refNormal);
    const std::unique_ptr<QvMatrix> motion(source.GetTransformTo(target));
    if (!motion)
        return false;
    curve.Transform(*motion);

    MolarEnds ends;
    if (!SearchMolarEnds(*m_pModel, m_bUpper, m_bThirdMolars, curve, ends))
        return false;
    QvPoint firstEnd = ends.points[0];
    QvPoint secondEnd = ends.points[0];
    if (ends.count == 2)
    {
        const bool ordered = ends.params[0] <= ends.params[1];
        firstEnd = ends.points[ordered ? 0 : 1];
        secondEnd = ends.points[ordered ? 1 : 0];
    }
    else
    {
        const QvPoint start = curve.Evaluate(0.0);
        const QvPoint finish = curve.Evaluate(1.0);
        const QvPoint mirrored = Mirror(QvPlane(Midpoint(start, finish), finish - start), ends.points[0]);
        if (ends.params[0] < 0.5)
            secondEnd = mirrored;
        else
            firstEnd = mirrored;
    }

    std::vector<QvPoint> points = {m_refPlane.ProjectPoint(firstEnd)};
    const std::vector<double>& knots = curve.m_knots.m_values;
    std::vector<double> distinct;
    for (std::size_t i = 0; i < knots.size(); ++i)
        if (i == 0 || knots[i] - knots[i - 1] >= 1e-7)
            distinct.push_back(knots[i]);
    for (std::size_t i = 1; i + 1 < distinct.size(); ++i)
        points.push_back(curve.Evaluate(distinct[i]));
    points.push_back(m_refPlane.ProjectPoint(secondEnd));

    m_curve = curve;
    m_points.m_points = std::move(points);
    return true;
}
