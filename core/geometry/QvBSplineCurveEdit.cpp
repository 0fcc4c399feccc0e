// SPDX-License-Identifier: GPL-3.0-or-later
// Editing curves without refitting them: single knot insertion and removal, sub-curves, moving the
// start of a closed curve, offset curves, and refining curves to common knots.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvNurbsHelper.h"

namespace {

constexpr double kInsertTolerance = 1e-7;
constexpr double kRemoveTolerance = 1e-5;

bool IsFinite(const QvPoint& p)
{
    return std::isfinite(p.m_coord[0]) && std::isfinite(p.m_coord[1]) && std::isfinite(p.m_coord[2]);
}

// a·P + b·Q without the vector detour.
QvPoint Blend(double a, const QvPoint& P, double b, const QvPoint& Q)
{
    return QvPoint(a * P.m_coord[0] + b * Q.m_coord[0], a * P.m_coord[1] + b * Q.m_coord[1],
                   a * P.m_coord[2] + b * Q.m_coord[2]);
}

// The offset points of Offset and OffsetAdaptive: the start offset along the principal normal,
// carried from sample to sample by the rotation between consecutive unit tangents.
// steps(a, b) is the number of equal steps of the knot interval [a, b].
template <typename Steps>
std::vector<QvPoint> OffsetPoints(const QvBSplineCurve& c, double d, Steps steps)
{
    const std::vector<double>& U = c.m_knots.m_values;
    const int p = c.m_degree;
    const int m = static_cast<int>(U.size());
    std::vector<double> T{U[static_cast<std::size_t>(p)]};
    for (int i = p + 1; i <= m - p - 1; ++i)
    {
        const double a = U[static_cast<std::size_t>(i - 1)];
        const double b = U[static_cast<std::size_t>(i)];
        if (!(b > a))
            continue;
        const int g = steps(a, b);
        const double h = (b - a) / g;
        double t = a;
        for (int k = 0; k < g; ++k)
        {
            t += h;
            T.push_back(t);
        }
    }
    // Repeated addition falls short of the end by rounding.
    T.back() = U[static_cast<std::size_t>(m - p - 1)];

    std::vector<QvPoint> points(T.size());
    std::vector<QvVector> tangents(T.size());
    for (std::size_t i = 0; i < T.size(); ++i)
    {
        QvVector d1;
        c.EvaluateDerivatives(1, points[i], &d1, T[i]);
        // A cusp has no tangent; Normalize gives the x axis instead of 0/0.
        d1.Normalize();
        tangents[i] = d1;
    }

    QvVector d12[2];
    c.EvaluateDerivatives(2, points[0], d12, T[0]);
    QvVector tn = d12[0];
    QvVector sn = d12[1];
    tn.Normalize();
    sn.Normalize();
    const QvVector normal = tn.Cross(sn).Cross(tn);

    std::vector<QvPoint> offset(T.size());
    offset[0] = points[0] + normal * d;
    for (std::size_t i = 1; i < T.size(); ++i)
    {
        const QvMatrix R(tangents[i - 1], tangents[i]);
        offset[i] = points[i] + R * (offset[i - 1] - points[i - 1]);
    }
    return offset;
}

} // namespace

// ---------------------------------------------------------------- knot insertion and removal

bool QvBSplineCurve::InsertKnot(bool force, double x)
{
    if (!(x > 0.0 && x < 1.0) || !CanEvaluate())
        return false;
    const int p = m_degree;
    const int n = static_cast<int>(m_ctrlPoints.size()) - 1;
    std::vector<double>& U = m_knots.m_values;
    // A value outside the curve's own domain would be put in the wrong place and unsort the knots.
    if (!(x > U[static_cast<std::size_t>(p)] && x < U[static_cast<std::size_t>(n + 1)]))
        return false;
    const int k = m_knots.FindSpan(p, x);
    if (U[static_cast<std::size_t>(k)] == x && !force)
        return false;
    int s = 0;
    for (int i = k - p; i <= k; ++i)
    {
        if (std::fabs(x - U[static_cast<std::size_t>(i)]) < kInsertTolerance)
        {
            ++s;
            x = U[static_cast<std::size_t>(i)];
        }
    }
    if (s >= p)
        return false;

    // In place: P[k-s..n] move up by one, then the new points k-s..k-p+1 are formed from the old
    // ones below them, highest first, so that each still reads unchanged neighbours.
    std::vector<QvPoint>& P = m_ctrlPoints;
    const QvPoint shifted = P[static_cast<std::size_t>(k - s)];
    P.insert(P.begin() + (k - s), shifted);
    for (int j = k - s; j >= k - p + 1; --j)
    {
        const double uj = U[static_cast<std::size_t>(j)];
        const double alpha = (x - uj) / (U[static_cast<std::size_t>(j + p)] - uj);
        P[static_cast<std::size_t>(j)] =
            Blend(alpha, P[static_cast<std::size_t>(j)], 1.0 - alpha, P[static_cast<std::size_t>(j - 1)]);
    }
    m_knots.InsertAfter(k, x);
    return true;
}

bool QvBSplineCurve::RemoveKnot(double u, double tol)
{
    const int p = m_degree;
    if (!(u > 0.0 && u < 1.0) || p <= 0 || !CanEvaluate())
        return false;
    const int n = static_cast<int>(m_ctrlPoints.size()) - 1;
    const std::vector<double>& U = m_knots.m_values;
    const int r = m_knots.FindSpan(p, u);
    int s = 0;
    for (int i = r - p + 1; i <= r; ++i)
    {
        if (std::fabs(u - U[static_cast<std::size_t>(i)]) < kRemoveTolerance)
        {
            ++s;
            u = U[static_cast<std::size_t>(i)];
        }
    }
    if (s == 0)
        return false;

    const int first = r - p;
    const int last = r - s;
    const int off = first - 1;
    // Only an inner knot with a control point on either side of its block can go.
    if (off < 0 || last + 1 > n)
        return false;
    std::vector<QvPoint> temp(static_cast<std::size_t>(p - s + 3));
    temp[0] = m_ctrlPoints[static_cast<std::size_t>(off)];
    temp[static_cast<std::size_t>(last + 1 - off)] = m_ctrlPoints[static_cast<std::size_t>(last + 1)];
    int i = first;
    int j = last;
    int ii = 1;
    int jj = last - off;
    auto alphaAt = [&](int k) {
        const double uk = U[static_cast<std::size_t>(k)];
        return (u - uk) / (U[static_cast<std::size_t>(k + p + 1)] - uk);
    };
    while (j - i > 0)
    {
        const double ai = alphaAt(i);
        const double aj = alphaAt(j);
        temp[static_cast<std::size_t>(ii)] =
            Blend(1.0, m_ctrlPoints[static_cast<std::size_t>(i)], -(1.0 - ai), temp[static_cast<std::size_t>(ii - 1)]) /
            ai;
        temp[static_cast<std::size_t>(jj)] =
            Blend(1.0, m_ctrlPoints[static_cast<std::size_t>(j)], -aj, temp[static_cast<std::size_t>(jj + 1)]) /
            (1.0 - aj);
        ++i;
        ++ii;
        --j;
        --jj;
    }
    double deviation = 0.0;
    if (j - i < 0)
    {
        deviation = temp[static_cast<std::size_t>(ii - 1)].Distance(temp[static_cast<std::size_t>(jj + 1)]);
    }
    else
    {
        const double ai = alphaAt(i);
        const QvPoint q = Blend(ai, temp[static_cast<std::size_t>(ii + 1)], 1.0 - ai,
                                temp[static_cast<std::size_t>(ii - 1)]);
        deviation = m_ctrlPoints[static_cast<std::size_t>(i)].Distance(q);
    }
    // A knot within the multiplicity tolerance but not equal to u divides by nearly nothing: the
    // points it produces are no shape to keep.
    if (!(deviation <= tol))
        return false;
    for (const QvPoint& t : temp)
        if (!IsFinite(t))
            return false;

    i = first;
    j = last;
    while (j - i > 0)
    {
        m_ctrlPoints[static_cast<std::size_t>(i)] = temp[static_cast<std::size_t>(i - off)];
        m_ctrlPoints[static_cast<std::size_t>(j)] = temp[static_cast<std::size_t>(j - off)];
        ++i;
        --j;
    }
    m_knots.m_values.erase(m_knots.m_values.begin() + r);
    const int fout = (2 * r - s - p) / 2;
    m_ctrlPoints.erase(m_ctrlPoints.begin() + fout);
    return true;
}

// ---------------------------------------------------------------- pieces

QvBSplineCurve* QvBSplineCurve::Extract(double t0, double t1) const
{
    const int p = m_degree;
    if (p < 1 || !CanEvaluate() || std::isnan(t0) || std::isnan(t1))
        return nullptr;
    const std::vector<double>& U = m_knots.m_values;
    const int m = static_cast<int>(U.size());
    const double a = std::max(U.front(), t0);
    const double b = std::min(U.back(), t1);
    // An empty or reversed piece, or one too short to hold a knot span of its own, is no curve.
    if (!(a < b) || IsZero(b - a))
        return nullptr;

    int s0 = 0;
    int s1 = 0;
    int first = -1;
    int last = -1;
    for (int i = 1; i <= m - 2; ++i)
    {
        const double x = U[static_cast<std::size_t>(i)];
        if (IsZero(x - a))
            ++s0;
        if (IsZero(x - b))
            ++s1;
        if (first < 0 && x > a && !IsZero(x - a))
            first = i;
        if (x < b && !IsZero(x - b))
            last = i;
    }
    if (first < 0 || last < 0)
        return nullptr;

    std::vector<double> knots(static_cast<std::size_t>(p) + 1, a);
    for (int i = first; i <= last; ++i)
        knots.push_back(U[static_cast<std::size_t>(i)]);
    knots.insert(knots.end(), static_cast<std::size_t>(p) + 1, b);
    for (double& e : knots)
        e = (e - a) / (b - a);

    QvBSplineCurve W(*this);
    for (int k = 0; k < p - s0; ++k)
        if (!W.InsertKnot(true, a))
            return nullptr;
    for (int k = 0; k < p - s1; ++k)
        if (!W.InsertKnot(true, b))
            return nullptr;

    const int from = first - p - 1 + (p - s0);
    const int to = last + (p - s0);
    if (from < 0 || to >= static_cast<int>(W.m_ctrlPoints.size()) ||
        static_cast<std::size_t>(to - from + 1) + static_cast<std::size_t>(p) + 1 != knots.size())
        return nullptr;
    std::vector<QvPoint> ctrl(W.m_ctrlPoints.begin() + from, W.m_ctrlPoints.begin() + to + 1);
    return new QvBSplineCurve(knots, ctrl, p, false);
}

bool QvBSplineCurve::MoveStart(double x)
{
    if (!m_closed)
        return false;
    if (IsZero(x))
        return true;
    std::unique_ptr<QvBSplineCurve> A(Extract(x, 1.0));
    std::unique_ptr<QvBSplineCurve> B(Extract(0.0, x));
    if (!A || !B)
        return false;
    const double LA = A->ArcLength(true, 0.0, 1.0);
    const double LB = B->ArcLength(true, 0.0, 1.0);
    // A curve without length has no share to give each part.
    if (!(LA + LB > 0.0) || !std::isfinite(LA + LB))
        return false;
    const double c = LA / (LB + LA);
    const int p = m_degree;

    QvKnotVector knots;
    const std::vector<double>& UA = A->m_knots.m_values;
    const std::vector<double>& UB = B->m_knots.m_values;
    for (std::size_t i = 0; i + 1 < UA.size(); ++i)
        knots.PushBack(UA[i] * c);
    for (std::size_t i = static_cast<std::size_t>(p) + 1; i < UB.size(); ++i)
        knots.PushBack(UB[i] * (1.0 - c) + c);
    knots.Normalize();

    std::vector<QvPoint> ctrl = A->m_ctrlPoints;
    ctrl.insert(ctrl.end(), B->m_ctrlPoints.begin() + 1, B->m_ctrlPoints.end());
    m_knots = knots;
    m_ctrlPoints.swap(ctrl);
    return true;
}

// ---------------------------------------------------------------- offsets

QvBSplineCurve* QvBSplineCurve::Offset(double d, double tol) const
{
    if (!CanEvaluate() || m_degree < 1)
        return nullptr;
    const std::vector<QvPoint> points = OffsetPoints(*this, d, [](double, double) { return 10; });
    return Fit(points, {}, m_closed, tol);
}

QvBSplineCurve* QvBSplineCurve::OffsetAdaptive(double d, double tol) const
{
    if (!CanEvaluate() || m_degree < 1)
        return nullptr;
    auto steps = [tol](double a, double b) {
        const double g = (b - a) / tol;
        // Out of the integer range (tol of 0, negative or not a number) the coarse count holds.
        if (!(g >= 0.0 && g < static_cast<double>(std::numeric_limits<int>::max())))
            return 5;
        return std::clamp(static_cast<int>(g), 5, 10);
    };
    const std::vector<QvPoint> points = OffsetPoints(*this, d, steps);
    return Fit(points, {}, m_closed, tol);
}

// ---------------------------------------------------------------- common knots

bool QvNurbsHelper::AreCompatible(const std::vector<QvBSplineCurve*>& curves)
{
    if (curves.size() < 2)
        return true;
    for (const QvBSplineCurve* c : curves)
        if (!c)
            return false;
    const int p = curves.front()->m_degree;
    for (const QvBSplineCurve* c : curves)
        if (c->m_degree != p)
            return false;

    QvKnotVector merged = curves.front()->m_knots;
    for (std::size_t i = 1; i < curves.size(); ++i)
        merged.Merge(curves[i]->m_knots, p);
    for (QvBSplineCurve* c : curves)
    {
        const std::vector<double> missing = qvknots::MissingKnots(c->m_knots.m_values, merged.m_values);
        for (double x : missing)
            static_cast<void>(c->InsertKnot(false, x));
    }
    return true;
}
